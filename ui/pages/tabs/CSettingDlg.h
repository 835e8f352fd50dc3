#pragma once
// The Setting tab: the listen port and the anonymous-access switch (the TorvoAgent switch is
// kept but hidden), saved into main.db and applied with "applyconf"; under the port the
// addresses clients use (with a Copy button) and, while the running server listens on another
// port than the saved one, a note saying so; under those the allowed client networks; below
// them the account page in the "Account
// setting" box.
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class AllowedNetworksEdit;
class CAccountDlg;
class LinkReplies;

class CSettingDlg : public QWidget {
    Q_OBJECT
public:
    // Loads SystemConf and UserConf, shows their values and builds the account page.
    explicit CSettingDlg(QWidget* parent);

    // Every 5 s while the page shows, it asks the server ("system") which port it listens on.
    static constexpr int kRunningPortPeriodMs = 5000;

    // Save: checks the port (1 to 65535, not the control channel's) and the allowed networks,
    // writes the stores, hints at a restart when the port changed, sends "applyconf" and says
    // it is saved; a failed write says so instead and sends nothing.
    void OnSave();
    // Asks the running server for its listen port; the note follows the answer.
    void RefreshRunningPort();
    // Copies the client addresses, one a line.
    void CopyAddresses() const;

    QGroupBox* SystemGroup() const { return systemGroup_; }
    QGroupBox* AccountGroup() const { return accountGroup_; }
    QCheckBox* AnonymousBox() const { return anonymousBox_; }
    QCheckBox* TorvoAgentBox() const { return torvoAgentBox_; }
    QLineEdit* PortEdit() const { return portEdit_; }
    QPushButton* SaveButton() const { return saveButton_; }
    CAccountDlg* AccountPage() const { return accountPage_; }
    QLabel* AddressLine() const { return addressLine_; }
    QPushButton* CopyAddressesButton() const { return copyAddresses_; }
    QLabel* RunningPortNote() const { return runningPortNote_; }
    AllowedNetworksEdit* Networks() const { return networks_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildControls();
    void ShowFields();
    // Reads the controls into the fields; false (after saying why) when the port or a network
    // is not valid.
    bool ReadFields();
    void Layout();
    // The address line and the note, for the saved port and the running server's.
    void ShowAddresses();
    void PlaceAddressLine();

    int torvoAgentAllow_ = 0;
    int torvoAgentAllowLoaded_ = 0;
    int anonymousAllow_ = 0;
    int listenPort_ = 0;
    int listenPortLoaded_ = 0;
    std::string allowedNetworks_;  // as stored

    QGroupBox* systemGroup_ = nullptr;
    QGroupBox* accountGroup_ = nullptr;
    QCheckBox* anonymousBox_ = nullptr;
    QCheckBox* torvoAgentBox_ = nullptr;
    QLabel* portLabel_ = nullptr;
    QLineEdit* portEdit_ = nullptr;
    QLabel* protocolHint_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QLabel* addressLine_ = nullptr;
    QPushButton* copyAddresses_ = nullptr;
    QLabel* runningPortNote_ = nullptr;
    AllowedNetworksEdit* networks_ = nullptr;
    CAccountDlg* accountPage_ = nullptr;
    LinkReplies* link_ = nullptr;
    std::optional<uint16_t> runningPort_;  // none while no server answers
    QTimer runningPortTimer_;
};
