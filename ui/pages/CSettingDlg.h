#pragma once
// The Setting tab: the listen port and the anonymous-access switch (the TorvoAgent switch is
// kept but hidden), saved into main.db and applied with "applyconf"; below them the account
// page in the "Account setting" box.
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class CAccountDlg;

class CSettingDlg : public QWidget {
    Q_OBJECT
public:
    // Loads SystemConf and UserConf, shows their values and builds the account page.
    explicit CSettingDlg(QWidget* parent);

    // Save: checks the port (1 to 65535), writes both stores, hints at a restart when the port
    // changed, sends "applyconf" and says it is saved; a failed write says so instead and sends
    // nothing.
    void OnSave();

    QGroupBox* SystemGroup() const { return systemGroup_; }
    QGroupBox* AccountGroup() const { return accountGroup_; }
    QCheckBox* AnonymousBox() const { return anonymousBox_; }
    QCheckBox* TorvoAgentBox() const { return torvoAgentBox_; }
    QLineEdit* PortEdit() const { return portEdit_; }
    QPushButton* SaveButton() const { return saveButton_; }
    CAccountDlg* AccountPage() const { return accountPage_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void ShowFields();
    // Reads the controls into the fields; false (after saying why) when the port is not valid.
    bool ReadFields();
    void Layout();

    int torvoAgentAllow_ = 0;
    int torvoAgentAllowLoaded_ = 0;
    int anonymousAllow_ = 0;
    int listenPort_ = 0;
    int listenPortLoaded_ = 0;

    QGroupBox* systemGroup_ = nullptr;
    QGroupBox* accountGroup_ = nullptr;
    QCheckBox* anonymousBox_ = nullptr;
    QCheckBox* torvoAgentBox_ = nullptr;
    QLabel* portLabel_ = nullptr;
    QLineEdit* portEdit_ = nullptr;
    QLabel* protocolHint_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    CAccountDlg* accountPage_ = nullptr;
};
