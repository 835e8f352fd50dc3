#include "ui/pages/tabs/CMonitoringConnectionsDlg.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <algorithm>
#include <utility>

#include "Common/ByteCount.h"
#include "Common/DateTime.h"
#include "Common/UserConf.h"
#include "server_link/MQClient.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/plumbing/ApplyConf.h"
#include "ui/pages/plumbing/LinkReplies.h"
#include "ui/pages/plumbing/PageMessages.h"
#include "ui/pages/plumbing/PollWhileShown.h"

namespace {

using R = ConnectionRow;
using control::DisconnectBy;
constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;
constexpr int kBarHeight = 30;
constexpr int kFilterWidth = 220;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename Number>
RecordColumn<R> NumberColumn(int titleId, int width, Number R::*field,
                             std::function<QString(Number)> text,
                             Qt::Alignment alignment = kRight) {
    return {
        titleId, width, alignment, [field, text](const R& r) { return text(r.*field); },
        [field](const R& a, const R& b) { return record_compare::Numeric(a.*field, b.*field); }};
}

std::vector<RecordColumn<R>> Columns() {
    const std::function<QString(uint64_t)> bytes = [](uint64_t n) { return Q(FormatBytes(n)); };
    RecordColumn<R> user{
        res::IDS_COL_USER_NAME, 110, kLeft,
        [](const R& r) { return r.user.empty() ? res::Str(res::IDS_ANONYMOUS) : Q(r.user); },
        [](const R& a, const R& b) { return record_compare::Text(a.user, b.user); }};
    return {user,
            TextColumn<R>(res::IDS_COL_CLIENT_ADDRESS, 130, kLeft, &R::ip),
            TextColumn<R>(res::IDS_CTL_COL_PROTOCOL, 70, Qt::AlignCenter, &R::protocol),
            TextColumn<R>(res::IDS_CTL_COL_DESTINATION, 220, kLeft, &R::destination),
            NumberColumn<int64_t>(
                res::IDS_CTL_COL_SINCE, 140, &R::since,
                [](int64_t t) { return Q(DateTime::FromUnixTime(t).ToString()); }, Qt::AlignCenter),
            NumberColumn<uint64_t>(res::IDS_CTL_COL_UP, 90, &R::bytesUp, bytes),
            NumberColumn<uint64_t>(res::IDS_CTL_COL_DOWN, 90, &R::bytesDown, bytes),
            NumberColumn<uint64_t>(res::IDS_CTL_COL_RATE, 100, &R::rate,
                                   [](uint64_t n) { return Q(FormatBytes(n) + "/s"); })};
}

std::optional<ConnectionList> FetchConnections() {
    std::string body;
    if (!MQClientSingleton::instance()->Connections(body)) return std::nullopt;
    return ReadConnections(body);
}

// How a cut went: the connections the server closed, and whether any request failed.
struct CutResult {
    uint64_t closed = 0;
    bool failed = false;
};

struct MenuCommand {
    CMonitoringConnectionsDlg::Command id;
    int textId;
    void (CMonitoringConnectionsDlg::*run)();
};
constexpr MenuCommand kCommands[] = {
    {CMonitoringConnectionsDlg::kDisconnect, res::IDS_DISCONNECT,
     &CMonitoringConnectionsDlg::OnDisconnect},
    {CMonitoringConnectionsDlg::kDisconnectUser, res::IDS_DISCONNECT_USER,
     &CMonitoringConnectionsDlg::OnDisconnectUser},
    {CMonitoringConnectionsDlg::kDisconnectAddress, res::IDS_DISCONNECT_ADDRESS,
     &CMonitoringConnectionsDlg::OnDisconnectAddress},
    {CMonitoringConnectionsDlg::kDisableAccount, res::IDS_DISABLE_ACCOUNT,
     &CMonitoringConnectionsDlg::OnDisableAccount},
};

bool Confirmed(QWidget* parent, const std::string& question) {
    return AskQuestion(parent, Q(question), res::Str(res::IDS_TIP_CAPTION));
}

}  // namespace

ConnectionListModel::ConnectionListModel() : RecordListModel(Columns()) {}

void ConnectionListModel::sort(int column, Qt::SortOrder) {
    if (column < 0 || column >= columnCount()) return;
    order_ = column == column_ && order_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                               : Qt::AscendingOrder;
    column_ = column;
    RecordListModel::sort(column_, order_);
}

void ConnectionListModel::Show(std::vector<ConnectionRow> rows) {
    Reset(std::move(rows));
    if (column_ >= 0) RecordListModel::sort(column_, order_);
}

CMonitoringConnectionsDlg::CMonitoringConnectionsDlg(QWidget* parent)
    : QWidget(parent),
      filter_(new QLineEdit(this)),
      count_(new QLabel(this)),
      status_(new QLabel(this)),
      list_(new RecordListView(this)),
      link_(new LinkReplies(this)),
      fetch_(FetchConnections) {
    setObjectName("monitoringConnections113");
    list_->setObjectName("connectionList1009");
    filter_->setObjectName("connectionFilter");
    filter_->setPlaceholderText(res::Str(res::Ctl::RecordFilter));
    filter_->setClearButtonEnabled(true);
    list_->SetRecordModel(&model_);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->installEventFilter(this);
    QAction* copy = list_->CopyAction();
    for (const MenuCommand& command : kCommands) {
        auto* action = new QAction(res::Str(command.textId), list_);
        action->setObjectName(QString("command%1").arg(command.id));
        connect(action, &QAction::triggered, this, [this, run = command.run] { (this->*run)(); });
        list_->insertAction(copy, action);
    }
    // Shown in the menu; the key itself is handled in eventFilter.
    Action(kDisconnect)->setShortcut(QKeySequence::Delete);
    Action(kDisconnect)->setShortcutContext(Qt::WidgetShortcut);
    auto* separator = new QAction(list_);
    separator->setSeparator(true);
    list_->insertAction(copy, separator);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CMonitoringConnectionsDlg::UpdateActions);
    connect(filter_, &QLineEdit::textChanged, this, &CMonitoringConnectionsDlg::ShowFiltered);
    setFocusProxy(list_);
    poll_ = new PollWhileShown(this, kRefreshMs, [this] {
        if (!window()->isMinimized()) Refresh();  // a minimised window keeps its children shown
    });
    UpdateActions();
}

QAction* CMonitoringConnectionsDlg::Action(Command command) const {
    return list_->findChild<QAction*>(QString("command%1").arg(command));
}

void CMonitoringConnectionsDlg::SetFetch(Fetch fetch) {
    fetch_ = fetch ? std::move(fetch) : FetchConnections;
}

const QTimer& CMonitoringConnectionsDlg::RefreshTimer() const {
    return poll_->Timer();
}

void CMonitoringConnectionsDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
}

void CMonitoringConnectionsDlg::Layout() {
    const int fieldHeight = filter_->sizeHint().height();
    const int top = (kBarHeight - fieldHeight) / 2;
    filter_->setGeometry(4, top, kFilterWidth, fieldHeight);
    const int countLeft = 4 + kFilterWidth + 12;
    const int countWidth = std::max(count_->sizeHint().width(), 160);
    count_->setGeometry(countLeft, 0, countWidth, kBarHeight);
    const int statusLeft = countLeft + countWidth + 12;
    status_->setGeometry(statusLeft, 0, std::max(0, width() - statusLeft - 4), kBarHeight);
    list_->setGeometry(0, kBarHeight, width(), std::max(0, height() - kBarHeight));
}

bool CMonitoringConnectionsDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Delete)) {
        OnDisconnect();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CMonitoringConnectionsDlg::Refresh() {
    link_->Ask("rows", fetch_,
               [this](std::optional<ConnectionList> list) { ShowRows(std::move(list)); });
}

void CMonitoringConnectionsDlg::ShowRows(std::optional<ConnectionList> list) {
    all_ = list ? std::move(*list) : ConnectionList{};
    count_->setText(
        list ? Q(ConnectionCountText(all_.rows.size(), all_.total, res::CurrentUiLanguage()))
             : QString());
    Layout();  // the count's width may have grown
    ShowFiltered();
}

void CMonitoringConnectionsDlg::ShowFiltered() {
    std::set<uint64_t> selected;
    for (const ConnectionRow& row : SelectedRows()) selected.insert(row.id);
    const QModelIndex current = list_->currentIndex();
    const bool hadCurrent = current.isValid();
    const uint64_t currentId = hadCurrent ? model_.Rows()[current.row()].id : 0;

    model_.Show(MatchingConnections(all_.rows, filter_->text().toStdString()));

    // The same connections selected again, wherever the new order put them.
    QItemSelection selection;
    const auto& rows = model_.Rows();
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        if (hadCurrent && rows[r].id == currentId) {
            list_->selectionModel()->setCurrentIndex(model_.index(r, 0),
                                                     QItemSelectionModel::NoUpdate);
        }
        if (selected.count(rows[r].id) != 0) {
            selection.select(model_.index(r, 0), model_.index(r, model_.columnCount() - 1));
        }
    }
    list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    UpdateActions();
}

std::vector<ConnectionRow> CMonitoringConnectionsDlg::SelectedRows() const {
    QModelIndexList selected = list_->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<ConnectionRow> rows;
    for (const QModelIndex& index : selected) rows.push_back(model_.Rows().at(index.row()));
    return rows;
}

std::optional<ConnectionRow> CMonitoringConnectionsDlg::FocusRow() const {
    const QModelIndex current = list_->currentIndex();
    if (current.isValid() && list_->selectionModel()->isRowSelected(current.row())) {
        return model_.Rows().at(current.row());
    }
    const std::vector<ConnectionRow> selected = SelectedRows();
    if (selected.empty()) return std::nullopt;
    return selected.front();
}

void CMonitoringConnectionsDlg::UpdateActions() {
    const std::optional<ConnectionRow> row = FocusRow();
    const bool user = row && !row->user.empty();  // anonymous rows have no user commands
    Action(kDisconnect)->setEnabled(row.has_value());
    Action(kDisconnectAddress)->setEnabled(row.has_value());
    Action(kDisconnectUser)->setEnabled(user);
    Action(kDisableAccount)->setEnabled(user);
}

void CMonitoringConnectionsDlg::OnDisconnect() {
    const std::vector<ConnectionRow> rows = SelectedRows();
    if (rows.empty()) return;
    const std::string question = CutQuestion(CutKind::kSelected, rows.size(), rows[0].ip,
                                             rows[0].destination, res::CurrentUiLanguage());
    if (!Confirmed(this, question)) return;
    std::vector<std::string> ids;
    for (const ConnectionRow& row : rows) ids.push_back(std::to_string(row.id));
    Cut(DisconnectBy::kId, std::move(ids));
}

void CMonitoringConnectionsDlg::OnDisconnectUser() {
    CutAllOf(DisconnectBy::kUser, CutKind::kUser);
}

void CMonitoringConnectionsDlg::OnDisconnectAddress() {
    CutAllOf(DisconnectBy::kIp, CutKind::kAddress);
}

std::optional<std::string> CMonitoringConnectionsDlg::AskAllOf(DisconnectBy by, CutKind kind) {
    const std::optional<ConnectionRow> row = FocusRow();
    if (!row) return std::nullopt;
    const std::string& value = by == DisconnectBy::kUser ? row->user : row->ip;
    if (value.empty()) return std::nullopt;  // an anonymous row has no user to cut
    const size_t count = ConnectionsNamed(all_.rows, by, value);
    if (!Confirmed(this, CutQuestion(kind, count, value, {}, res::CurrentUiLanguage()))) {
        return std::nullopt;
    }
    return value;
}

void CMonitoringConnectionsDlg::CutAllOf(DisconnectBy by, CutKind kind) {
    if (const std::optional<std::string> value = AskAllOf(by, kind)) Cut(by, {*value});
}

void CMonitoringConnectionsDlg::OnDisableAccount() {
    const std::optional<std::string> user = AskAllOf(DisconnectBy::kUser, CutKind::kDisableAccount);
    if (!user) return;
    // Read afresh: the account may have been added or deleted since the console read them.
    UserConf& accounts = UserConf::instance();
    accounts.load();
    const auto account = accounts.accounts.find(*user);
    if (account == accounts.accounts.end()) {
        ShowMessage(this,
                    Q(res::FormatText(
                        res::TextOf(res::IDS_CTL_NO_ACCOUNT, res::CurrentUiLanguage()), {*user})),
                    res::Str(res::IDS_TIP_CAPTION), MessageIcon::Warning);
        return;
    }
    AccountLimits limits = account->second.limits;
    limits.enabled = false;
    if (accounts.setLimits(account->second.rowid, limits) != AccountChange::kDone) {
        ShowOperationFailed(this);
        return;
    }
    // The server reads the account disabled before its sessions are cut, so none logs in again.
    SendApplyConf();
    Cut(DisconnectBy::kUser, {*user});
}

void CMonitoringConnectionsDlg::Cut(DisconnectBy by, std::vector<std::string> values) {
    status_->clear();
    const std::string key = "cut/" + std::to_string(++cuts_);
    const bool posted = link_->Ask(
        key.c_str(),
        [by, values = std::move(values)] {
            CutResult result;
            for (const std::string& value : values) {
                std::string body;
                const std::optional<uint64_t> closed =
                    MQClientSingleton::instance()->Disconnect(by, value, body) ? ReadClosed(body)
                                                                               : std::nullopt;
                if (closed) {
                    result.closed += *closed;
                } else {
                    result.failed = true;
                }
            }
            return result;
        },
        [this](const CutResult& result) {
            const QString closed = res::Str(res::IDS_CONNECTIONS_CLOSED).arg(result.closed);
            status_->setText(result.failed ? res::Str(res::IDS_DISCONNECT_FAILED) +
                                                 (result.closed ? "  " + closed : QString())
                                           : closed);
            Refresh();
        });
    if (!posted) status_->setText(res::Str(res::IDS_DISCONNECT_FAILED));
}
