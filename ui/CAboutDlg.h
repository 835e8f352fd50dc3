#pragma once
// The about box: program icon, product version (from version.ini), Ok, and a link to the
// product's online help.
#include <QDialog>

class QLabel;
class QPushButton;

inline constexpr char kOnlineHelpUrl[] = "https://torvoproxy.example.org/help";

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

private:
    QLabel* version_;
    QLabel* link_;
    QPushButton* ok_;
};
