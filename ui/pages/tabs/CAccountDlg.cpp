#include "ui/pages/tabs/CAccountDlg.h"

#include <QAction>
#include <QDateTime>
#include <QItemSelectionModel>
#include <QResizeEvent>
#include <QSplitter>
#include <QToolBar>
#include <map>

#include "Common/AccountLimits.h"
#include "Common/AccountTexts.h"
#include "Common/Database.h"
#include "Common/DateTime.h"
#include "Common/UserConf.h"
#include "server_link/MQClient.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/dialogs/CAccountLimitsDlg.h"
#include "ui/pages/plumbing/ApplyConf.h"
#include "ui/pages/plumbing/BackgroundRun.h"
#include "ui/pages/plumbing/LinkReplies.h"
#include "ui/pages/plumbing/PageMessages.h"
#include "ui/pages/plumbing/PasswordWorker.h"
#include "ui/pages/plumbing/PollWhileShown.h"
#include "ui/res/Artwork.h"

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;

int StateTextId(const AccountRow& row) {
    return AccountStateTextId(
        StateOf(row.limits, row.usedThisMonth, QDateTime::currentSecsSinceEpoch()));
}

std::vector<RecordColumn<AccountRow>> Columns() {
    RecordColumn<AccountRow> createTime{
        res::IDS_CREATE_TIME, 200, Qt::AlignCenter,
        [](const AccountRow& r) { return QString::fromStdString(r.createTime); },
        [](const AccountRow& a, const AccountRow& b) {
            return CompareCreateTimes(a.createTime, b.createTime);
        }};
    RecordColumn<AccountRow> state{res::IDS_COL_STATE, 90, Qt::AlignCenter,
                                   [](const AccountRow& r) { return res::Str(StateTextId(r)); },
                                   [](const AccountRow& a, const AccountRow& b) {
                                       return record_compare::Numeric(StateTextId(a),
                                                                      StateTextId(b));
                                   }};
    RecordColumn<AccountRow> expires{
        res::IDS_COL_EXPIRES, 100, Qt::AlignCenter,
        [](const AccountRow& r) {
            return QString::fromStdString(LastDayText(r.limits.expires, res::CurrentUiLanguage()));
        },
        [](const AccountRow& a, const AccountRow& b) {  // no date: after every date
            return record_compare::Numeric(a.limits.expires.value_or(INT64_MAX),
                                           b.limits.expires.value_or(INT64_MAX));
        }};
    RecordColumn<AccountRow> traffic{
        res::IDS_COL_MONTH_TRAFFIC, 190, Qt::AlignCenter,
        [](const AccountRow& r) {
            return QString::fromStdString(
                MonthTrafficText(r.usedThisMonth, r.limits.monthlyBytes, res::CurrentUiLanguage()));
        },
        [](const AccountRow& a, const AccountRow& b) {
            return record_compare::Numeric(a.usedThisMonth, b.usedThisMonth);
        }};
    return {TextColumn<AccountRow>(res::IDS_USER_NAME, 150, kLeft, &AccountRow::userName),
            createTime, state, expires, traffic};
}

std::optional<AccountLimits> RunLimitsDialog(QWidget* parent, const QString& userName,
                                             const AccountLimits& limits) {
    CAccountLimitsDlg dialog(parent, userName, limits);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Limits();
}

std::optional<AccountInput> RunAccountDialog(QWidget* parent, CAddAccountDlg::Purpose purpose,
                                             const QString& userName) {
    const int title =
        purpose == CAddAccountDlg::Purpose::Add ? res::IDS_ADD_ACCOUNT : res::IDS_MODIFY_ACCOUNT;
    CAddAccountDlg dialog(parent, purpose, res::Str(title), userName);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return AccountInput{dialog.UserName(), dialog.Password()};
}

// A poll comes again in 5 s: it waits briefly for main.db rather than a minute.
std::optional<AccountCounters> ReadCounters(int64_t now) {
    constexpr int kWaitMs = 2000;
    AccountCounters counters;
    const bool read = UseDatabase(
        [&](CppSQLite3DB& db) {
            counters.limits = ReadAccountLimits(db);
            counters.traffic = ReadMonthTraffic(db, TrafficMonth(now));
        },
        DbFailure::kSilent, DatabaseOptions{{}, kWaitMs, kWaitMs});
    if (!read) return std::nullopt;
    return counters;
}

CAccountDlg::CounterReader counterReader = ReadCounters;

std::optional<std::vector<TrafficDay>> ReadTrafficDays(const std::string& account) {
    std::string body;
    if (!MQClientSingleton::instance()->Traffic(account, body)) return std::nullopt;
    return ReadTraffic(body);
}

CAccountDlg::TrafficReader trafficReader = ReadTrafficDays;

// The chart keeps a readable height when the splitter is dragged.
constexpr int kChartMinimumHeight = 120;

struct Tool {
    int commandId;
    res::AccountTool picture;
    void (CAccountDlg::*command)();
};
constexpr Tool kTools[] = {
    {32777, res::AccountTool::Add, &CAccountDlg::OnAdd},
    {32778, res::AccountTool::Modify, &CAccountDlg::OnModify},
    {32779, res::AccountTool::Delete, &CAccountDlg::OnDelete},
    {32780, res::AccountTool::Limits, &CAccountDlg::OnLimits},
};

QString ToolTip(int commandId) {
    switch (commandId) {
        case 32777:
            return res::Str(res::IDS_ADD_ACCOUNT);
        case 32778:
            return res::Str(res::IDS_MODIFY_ACCOUNT);
        case 32780:
            return res::Str(res::IDS_ACCOUNT_LIMITS);
        default:
            return res::Str(res::Ctl::DeleteAccount);
    }
}

}  // namespace

CAccountDlg::CAccountDlg(QWidget* parent, DialogRunner runDialog, LimitsRunner runLimits)
    : QWidget(parent),
      model_(Columns()),
      toolBar_(new QToolBar(this)),
      splitter_(new QSplitter(Qt::Vertical, this)),
      list_(new RecordListView(splitter_)),
      runDialog_(runDialog ? std::move(runDialog) : RunAccountDialog),
      runLimits_(runLimits ? std::move(runLimits) : RunLimitsDialog),
      counterRead_(new BackgroundRun(this)),
      hashing_(new LinkReplies(this, ThePasswordWorker())),
      trafficLink_(new LinkReplies(this)) {
    setObjectName("account114");
    toolBar_->setObjectName("toolbar134");
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    for (const Tool& tool : kTools) {
        QAction* action =
            toolBar_->addAction(res::AccountToolIcon(tool.picture), ToolTip(tool.commandId));
        action->setObjectName(QString("command%1").arg(tool.commandId));
        connect(action, &QAction::triggered, this,
                [this, command = tool.command] { (this->*command)(); });
    }
    list_->setObjectName("list1008");
    list_->SetRecordModel(&model_);
    setFocusProxy(list_);
    auto* chart = new chart::CChartCtrl(splitter_);
    chart->setObjectName("trafficChart");
    chart->setMinimumHeight(kChartMinimumHeight);
    traffic_ = account_traffic::SetUpTrafficChart(*chart);
    splitter_->setObjectName("accountSplitter");
    splitter_->setChildrenCollapsible(false);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 1);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CAccountDlg::RefreshTraffic);
    connect(&model_, &QAbstractItemModel::modelReset, this, &CAccountDlg::RefreshTraffic);
    counterPoll_ = new PollWhileShown(this, kCounterPollMs, [this] { RefreshCounters(); });
    Fill();
}

void CAccountDlg::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    RefreshTraffic();
}

QTimer& CAccountDlg::CounterTimer() {
    return counterPoll_->Timer();
}

void CAccountDlg::SetCounterReader(CounterReader reader) {
    counterReader = reader ? std::move(reader) : ReadCounters;
}

void CAccountDlg::SetTrafficReader(TrafficReader reader) {
    trafficReader = reader ? std::move(reader) : ReadTrafficDays;
}

void CAccountDlg::RefreshTraffic() {
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    trafficWanted_ =
        selected.isEmpty() ? std::string() : model_.Rows().at(selected.first().row()).userName;
    if (trafficWanted_.empty()) {
        account_traffic::ShowNoTraffic(traffic_, {});
        return;
    }
    const DateTime now = DateTime::Now();
    const CalendarDay today{now.year, now.month, now.day};
    // While an earlier account's days are still asked for, this ask is refused: that reply
    // asks again for the account wanted by then.
    trafficLink_->Ask(
        "traffic",
        [read = trafficReader, account = trafficWanted_, today] {
            const std::optional<std::vector<TrafficDay>> rows = read(account);
            return std::pair(
                account, rows ? std::optional(LastDays(*rows, today, account_traffic::kChartDays))
                              : std::nullopt);
        },
        [this](const std::pair<std::string, std::optional<std::vector<DayBytes>>>& reply) {
            const auto& [account, days] = reply;
            if (account != trafficWanted_) {
                RefreshTraffic();
                return;
            }
            const QString name = QString::fromStdString(account);
            if (days) {
                account_traffic::ShowTrafficDays(traffic_, name, *days);
            } else {
                account_traffic::ShowNoTraffic(traffic_, name);
            }
        });
}

void CAccountDlg::RefreshCounters() {
    counterRead_->Read(
        [read = counterReader, now = QDateTime::currentSecsSinceEpoch()] { return read(now); },
        [this](const std::optional<AccountCounters>& counters) {
            if (!counters) return;  // the rows keep what they showed
            model_.UpdateRows([&](AccountRow& row) {
                const auto limit = counters->limits.find(row.rowid);
                row.limits = limit == counters->limits.end() ? AccountLimits{} : limit->second;
                const auto used = counters->traffic.find(row.rowid);
                row.usedThisMonth = used == counters->traffic.end() ? 0 : used->second;
            });
        });
}

QAction* CAccountDlg::Action(int commandId) const {
    return findChild<QAction*>(QString("command%1").arg(commandId));
}

void CAccountDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!splitterPlaced_ && height() > kToolbarHeight) {  // list and chart share it at first
        const int half = (height() - kToolbarHeight) / 2;
        splitter_->setSizes({half, half});
        splitterPlaced_ = true;
    }
    toolBar_->setGeometry(0, 0, kToolbarWidth, kToolbarHeight);
    splitter_->setGeometry(0, kToolbarHeight, width(), height() - kToolbarHeight);
}

void CAccountDlg::Fill() {
    std::vector<AccountRow> rows;
    rows.reserve(UserConf::instance().accounts.size());
    for (const auto& [name, account] : UserConf::instance().accounts) {
        rows.push_back({account.rowid, name, account.password, account.createTime, account.limits,
                        account.usedThisMonth});
    }
    model_.Reset(std::move(rows));
}

std::optional<AccountRow> CAccountDlg::Selected(int selectTipId) {
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        ShowTip(this, selectTipId);
        return std::nullopt;
    }
    return model_.Rows().at(selected.first().row());
}

void CAccountDlg::OnAdd() {
    const std::optional<AccountInput> input =
        runDialog_(this, CAddAccountDlg::Purpose::Add, QString());
    if (!input) return;
    WithStoredPassword(input->password.toStdString(), [this, name = input->userName.toStdString()](
                                                          const StoredPassword& stored) {
        ReportChange(UserConf::instance().addAccount(name, stored), res::IDS_ADDED_SUCCESSFULLY);
    });
}

void CAccountDlg::OnModify() {
    const std::optional<AccountRow> row = Selected(res::IDS_SELECT_ACCOUNT_TO_MODIFY);
    if (!row) return;
    const std::optional<AccountInput> input =
        runDialog_(this, CAddAccountDlg::Purpose::Modify, QString::fromStdString(row->userName));
    if (!input) return;
    const auto modify = [this, rowid = row->rowid, name = input->userName.toStdString()](
                            const std::optional<StoredPassword>& stored) {
        ReportChange(UserConf::instance().modifyAccount(rowid, name, stored),
                     res::IDS_MODIFIED_SUCCESSFULLY);
    };
    if (input->password.isEmpty()) {
        modify(std::nullopt);  // empty fields keep the stored password: nothing to hash
    } else {
        WithStoredPassword(input->password.toStdString(), modify);
    }
}

void CAccountDlg::WithStoredPassword(std::string password,
                                     std::function<void(const StoredPassword&)> then) {
    // Each request its own key: a second Ok while the first is hashed is not dropped.
    const std::string key = "hash/" + std::to_string(++hashes_);
    const bool posted = hashing_->Ask(
        key.c_str(), [password = std::move(password)] { return MakeStoredPassword(password); },
        [this, then = std::move(then)](const std::optional<StoredPassword>& stored) {
            if (stored) {
                then(*stored);
            } else {
                ReportChange(AccountChange::kFailed, 0);
            }
        });
    if (!posted) ReportChange(AccountChange::kFailed, 0);
}

void CAccountDlg::OnLimits() {
    const std::optional<AccountRow> row = Selected(res::IDS_SELECT_ACCOUNT_FOR_LIMITS);
    if (!row) return;
    const std::optional<AccountLimits> limits =
        runLimits_(this, QString::fromStdString(row->userName), row->limits);
    if (!limits) return;
    ReportChange(UserConf::instance().setLimits(row->rowid, *limits), res::IDS_SAVED_SUCCESSFULLY);
}

void CAccountDlg::ReportChange(AccountChange change, int doneStringId) {
    switch (change) {
        case AccountChange::kDone:
            SendApplyConf();
            ShowTip(this, doneStringId);
            Fill();
            break;
        case AccountChange::kNameTaken:
            ShowTip(this, res::IDS_USER_NAME_OCCUPIED);
            break;
        case AccountChange::kGone:  // deleted meanwhile: the list shows what is there now
            Fill();
            ShowTip(this, res::IDS_ACCOUNT_GONE);
            break;
        case AccountChange::kFailed:
            ShowOperationFailed(this);
            break;
    }
}

void CAccountDlg::OnDelete() {
    const std::optional<AccountRow> row = Selected(res::IDS_SELECT_ACCOUNT_TO_DELETE);
    if (!row) return;
    UserConf::instance().deleteAccount(row->rowid);
    SendApplyConf();
    Fill();
}
