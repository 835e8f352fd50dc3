#pragma once
// The modal dialog the Setting page's "Allowed client networks…" button opens: the list, one
// network a line, checked as it is typed (what is wrong with the first bad entry, with the
// network probably meant), "Restore defaults", Ok and Cancel. Ok closes only on a list that
// can be stored; the page's Save stores it.
#include <QDialog>
#include <optional>
#include <string>

class AllowedNetworksEdit;
class QPushButton;

class CAllowedNetworksDlg : public QDialog {
    Q_OBJECT
public:
    // `stored` is the list as stored; none when it could not be read (the list opens empty and
    // the note says so).
    CAllowedNetworksDlg(QWidget* parent, const std::optional<std::string>& stored);

    // Ok: closes with Accepted only when the list is not empty and every entry is a network.
    void accept() override;
    // The list in its stored form (canonical networks joined by ",").
    std::string Stored() const;

    AllowedNetworksEdit* Networks() const { return networks_; }
    QPushButton* RestoreDefaultsButton() const { return restoreDefaults_; }

private:
    AllowedNetworksEdit* networks_;
    QPushButton* restoreDefaults_;
};
