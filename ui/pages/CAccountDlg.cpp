#include "ui/pages/CAccountDlg.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QResizeEvent>
#include <QToolBar>

#include "Common/UserConf.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/ApplyConf.h"
#include "ui/pages/PageMessages.h"
#include "ui/res/Artwork.h"

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;

std::vector<RecordColumn<AccountRow>> Columns() {
    RecordColumn<AccountRow> createTime{
        res::IDS_CREATE_TIME, 200, Qt::AlignCenter,
        [](const AccountRow& r) { return QString::fromStdString(r.createTime); },
        [](const AccountRow& a, const AccountRow& b) {
            return CompareCreateTimes(a.createTime, b.createTime);
        }};
    return {TextColumn<AccountRow>(res::IDS_USER_NAME, 150, kLeft, &AccountRow::userName),
            createTime};
}

std::optional<AccountInput> RunAccountDialog(QWidget* parent, CAddAccountDlg::Purpose purpose,
                                             const QString& userName) {
    const int title =
        purpose == CAddAccountDlg::Purpose::Add ? res::IDS_ADD_ACCOUNT : res::IDS_MODIFY_ACCOUNT;
    CAddAccountDlg dialog(parent, purpose, res::Str(title), userName);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return AccountInput{dialog.UserName(), dialog.Password()};
}

struct Tool {
    int commandId;
    res::AccountTool picture;
    void (CAccountDlg::*command)();
};
constexpr Tool kTools[] = {
    {32777, res::AccountTool::Add, &CAccountDlg::OnAdd},
    {32778, res::AccountTool::Modify, &CAccountDlg::OnModify},
    {32779, res::AccountTool::Delete, &CAccountDlg::OnDelete},
};

QString ToolTip(int commandId) {
    switch (commandId) {
        case 32777:
            return res::Str(res::IDS_ADD_ACCOUNT);
        case 32778:
            return res::Str(res::IDS_MODIFY_ACCOUNT);
        default:
            return res::Str(res::Ctl::DeleteAccount);
    }
}

}  // namespace

CAccountDlg::CAccountDlg(QWidget* parent, DialogRunner runDialog)
    : QWidget(parent),
      model_(Columns()),
      toolBar_(new QToolBar(this)),
      list_(new RecordListView(this)),
      runDialog_(runDialog ? std::move(runDialog) : RunAccountDialog) {
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
    Fill();
}

QAction* CAccountDlg::Action(int commandId) const {
    return findChild<QAction*>(QString("command%1").arg(commandId));
}

void CAccountDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    toolBar_->setGeometry(0, 0, kToolbarWidth, kToolbarHeight);
    list_->setGeometry(0, kToolbarHeight, width(), height() - kToolbarHeight);
}

void CAccountDlg::Fill() {
    std::vector<AccountRow> rows;
    rows.reserve(UserConf::instance().accounts.size());
    for (const auto& [name, account] : UserConf::instance().accounts) {
        rows.push_back({account.rowid, name, account.password, account.createTime});
    }
    model_.Reset(std::move(rows));
}

std::optional<AccountRow> CAccountDlg::Selected() const {
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    if (selected.isEmpty()) return std::nullopt;
    return model_.Rows().at(selected.first().row());
}

void CAccountDlg::OnAdd() {
    const std::optional<AccountInput> input =
        runDialog_(this, CAddAccountDlg::Purpose::Add, QString());
    if (!input) return;
    ReportChange(UserConf::instance().addAccount(input->userName.toStdString(),
                                                 input->password.toStdString()),
                 res::IDS_ADDED_SUCCESSFULLY);
}

void CAccountDlg::OnModify() {
    const std::optional<AccountRow> row = Selected();
    if (!row) {
        ShowTip(this, res::IDS_SELECT_ACCOUNT_TO_MODIFY);
        return;
    }
    const std::optional<AccountInput> input =
        runDialog_(this, CAddAccountDlg::Purpose::Modify, QString::fromStdString(row->userName));
    if (!input) return;
    ReportChange(UserConf::instance().modifyAccount(row->rowid, input->userName.toStdString(),
                                                    input->password.toStdString()),
                 res::IDS_MODIFIED_SUCCESSFULLY);
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
    const std::optional<AccountRow> row = Selected();
    if (!row) {
        ShowTip(this, res::IDS_SELECT_ACCOUNT_TO_DELETE);
        return;
    }
    UserConf::instance().deleteAccount(row->rowid);
    SendApplyConf();
    Fill();
}
