#pragma once
// The Setting tab: the listen port and the anonymous-access switch (the TorvoAgent switch is
// kept but hidden), saved into main.db and applied with "applyconf"; a button that opens the
// allowed client networks; under the port the addresses clients use, with a Copy button (the
// line says instead when the running server listens on another port than the saved one); below
// them the account page in the "Account setting" box.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "Common/PortHolder.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class BackgroundRun;
class CAccountDlg;
class LinkReplies;

class CSettingDlg : public QWidget {
    Q_OBJECT
public:
    // Loads SystemConf and UserConf, shows their values and builds the account page.
    // Opens the allowed-networks dialog on the list as stored (none: unreadable); the list Ok'd,
    // or none when cancelled. Tests replace it.
    using NetworksRunner = std::function<std::optional<std::string>(
        QWidget* parent, const std::optional<std::string>& stored)>;

    explicit CSettingDlg(QWidget* parent, NetworksRunner runNetworks = {});

    // Every 5 s while the page shows, it asks the server ("system") which port it listens on.
    static constexpr int kRunningPortPeriodMs = 5000;

    // Save: checks the port (1 to 65535, not the control channel's), asks before keeping a new
    // port another program listens on (found off the window thread, so the save may end after
    // the call returns), writes the port, the switch and the allowed networks in one
    // transaction (the networks kept as they are when they could not be read, which it says),
    // hints at a restart when the port changed, sends "applyconf" (whose answer gives the
    // running port) and says it is saved; a failed write says so instead and sends nothing.
    void OnSave();
    // "Allowed client networks…": the list Ok'd in the dialog is what the next Save stores.
    void OnNetworks();
    // Who listens on a port (FindPortHolder by default); tests on a shared machine replace it.
    using PortHolderFinder = PortHolder (*)(uint16_t port);
    static void SetPortHolderFinder(PortHolderFinder finder);
    // Asks the running server for its listen port; the note follows the answer.
    void RefreshRunningPort();
    // Copies the client addresses, one per line.
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
    QPushButton* NetworksButton() const { return networksButton_; }
    // The allowed networks Save stores: as loaded or Ok'd; none when they could not be read.
    const std::optional<std::string>& AllowedNetworks() const { return allowedNetworks_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void ShowFields();
    // When another program listens on the new port, asks whether to keep it anyway; false
    // when the administrator does not.
    bool PortFreeOrKept(const PortHolder& holder);
    // Writes the fields as read, applies them and says how it went.
    void SaveFields();
    // Tells the running server to read main.db again; its answer is the port it listens on.
    void ApplyConfiguration();

    // Reads the controls into the fields; false (after saying why) when the port is not valid.
    bool ReadFields();
    void Layout();
    // The address line (or the note), for the saved port and the running server's.
    void ShowAddresses();
    // The line and Copy in the row of Save, Copy level with it.
    void PlaceAddressLine();

    int torvoAgentAllow_ = 0;
    int torvoAgentAllowLoaded_ = 0;
    int anonymousAllow_ = 0;
    int listenPort_ = 0;
    int listenPortLoaded_ = 0;
    std::optional<std::string> allowedNetworks_;  // as stored; none when unreadable

    QGroupBox* systemGroup_ = nullptr;
    QGroupBox* accountGroup_ = nullptr;
    QCheckBox* anonymousBox_ = nullptr;
    QCheckBox* torvoAgentBox_ = nullptr;
    QLabel* portLabel_ = nullptr;
    QLineEdit* portEdit_ = nullptr;
    QLabel* protocolHint_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* networksButton_ = nullptr;
    QLabel* addressLine_ = nullptr;
    QString addressText_;  // what the line shows, before it is cut to fit
    QPushButton* copyAddresses_ = nullptr;
    NetworksRunner runNetworks_;
    CAccountDlg* accountPage_ = nullptr;
    LinkReplies* link_ = nullptr;
    BackgroundRun* portCheck_ = nullptr;   // who holds a new port, before Save writes it
    std::optional<uint16_t> runningPort_;  // none while no server answers
    uint64_t applyConfs_ = 0;
};
