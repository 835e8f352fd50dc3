#pragma once
// The account page inside the settings page's "Account setting" box: a toolbar (add, modify,
// delete, limits) over the list of proxy accounts with each one's state, expiry and traffic
// this month, and under it (a splitter between) the selected account's traffic per day for the
// last 30 days as the server reports it. Every change goes through UserConf and is followed
// by "applyconf", so that a running server reloads its accounts.
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "Common/UserConf.h"
#include "server_link/Replies.h"
#include "ui/common/RecordListModel.h"
#include "ui/pages/dialogs/CAddAccountDlg.h"
#include "ui/pages/widgets/TrafficChart.h"

class QAction;
class QSplitter;
class QToolBar;
class BackgroundRun;
class PollWhileShown;
class RecordListView;

// One list row's own copy of an account.
struct AccountRow {
    int64_t rowid = 0;
    std::string userName;
    std::string password;
    std::string createTime;
    AccountLimits limits;
    uint64_t usedThisMonth = 0;
};

// Every account's limits and this month's traffic, by row id, as main.db holds them now.
struct AccountCounters {
    std::map<int64_t, AccountLimits> limits;
    std::map<int64_t, uint64_t> traffic;
};

// What the add/modify dialog gave back when it closed with Ok.
struct AccountInput {
    QString userName;
    QString password;
};

class LinkReplies;

class CAccountDlg : public QWidget {
public:
    // Opens the add/modify dialog; nullopt when it was cancelled. Tests replace it.
    using DialogRunner = std::function<std::optional<AccountInput>(
        QWidget* parent, CAddAccountDlg::Purpose purpose, const QString& userName)>;
    // Opens the limits dialog; nullopt when it was cancelled. Tests replace it.
    using LimitsRunner = std::function<std::optional<AccountLimits>(
        QWidget* parent, const QString& userName, const AccountLimits& limits)>;
    // Four tool buttons (the three account commands and Limits).
    static constexpr int kToolbarWidth = 130;
    static constexpr int kToolbarHeight = 30;

    explicit CAccountDlg(QWidget* parent, DialogRunner runDialog = {}, LimitsRunner runLimits = {});

    // Toolbar commands (a double click on a row does nothing). Add, and a modify with a new
    // password, store it once its hash is made off the window thread: their outcome shows when
    // ThePasswordWorker's answer comes back.
    void OnAdd();
    void OnModify();
    void OnDelete();
    void OnLimits();
    // Shows UserConf's accounts, in user-name order.
    void Fill();
    // Reads each listed account's limits and this month's traffic from main.db again (the
    // server stores its counts there every second), off the window thread: State and Used
    // follow them when the read comes back, the rows keep their order, the selection and the
    // scroll position. Runs every kCounterPollMs while the page is shown, and when it is shown;
    // a read still under way is not doubled.
    void RefreshCounters();
    static constexpr int kCounterPollMs = 5000;
    QTimer& CounterTimer();
    // Reads the counters on the worker (from main.db by default); nothing when the read
    // failed. Tests replace it.
    using CounterReader = std::function<std::optional<AccountCounters>(int64_t now)>;
    static void SetCounterReader(CounterReader reader);

    // Asks the server for the selected account's days ("traffic NAME") on the link worker and
    // charts the last 30 (days without a row as 0); no selection, a stopped server or an
    // unreadable reply: no bars. Runs when the selection changes and when the page is shown.
    void RefreshTraffic();
    // Reads an account's days on the link worker; nullopt when there are none to show. Tests
    // and the screenshot tour replace it.
    using TrafficReader =
        std::function<std::optional<std::vector<TrafficDay>>(const std::string& account)>;
    static void SetTrafficReader(TrafficReader reader);
    const account_traffic::TrafficChart& Traffic() const { return traffic_; }
    QSplitter* Splitter() const { return splitter_; }

    QToolBar* ToolBar() const { return toolBar_; }
    // 32777 add, 32778 modify, 32779 delete, 32780 limits
    QAction* Action(int commandId) const;
    RecordListView* List() const { return list_; }
    const RecordListModel<AccountRow>& Model() const { return model_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The selected row's account; with no row selected, the tip `selectTipId` and nothing.
    std::optional<AccountRow> Selected(int selectTipId);
    // After an add or modify: on success "applyconf", the done message and a refill; else the
    // reason.
    void ReportChange(AccountChange change, int doneStringId);
    // Makes the password's digest and hash on ThePasswordWorker, then runs `then` with them
    // here; when no hash can be made, says the operation failed.
    void WithStoredPassword(std::string password, std::function<void(const StoredPassword&)> then);

    RecordListModel<AccountRow> model_;
    QToolBar* toolBar_;
    QSplitter* splitter_;
    RecordListView* list_;
    account_traffic::TrafficChart traffic_;
    DialogRunner runDialog_;
    LimitsRunner runLimits_;
    PollWhileShown* counterPoll_ = nullptr;
    BackgroundRun* counterRead_;
    LinkReplies* hashing_;
    uint64_t hashes_ = 0;
    LinkReplies* trafficLink_;
    std::string trafficWanted_;  // the account whose days the chart should show
    bool splitterPlaced_ = false;
};
