#pragma once
// The about box: program icon, product version (from version.ini), Ok, and a link to the help
// page installed beside the console in its language (help-en.html, help-zh.html); without the
// page there is no link.
#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

// The help page beside the console in the current language; empty when it is not there.
QUrl InstalledHelpUrl();

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* HelpLink() const { return link_; }

private:
    QLabel* version_;
    QLabel* link_;
    QPushButton* ok_;
};
