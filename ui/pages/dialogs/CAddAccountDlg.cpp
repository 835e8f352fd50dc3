#include "ui/pages/dialogs/CAddAccountDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "Common/AccountFields.h"
#include "ui/common/DialogUnits.h"
#include "ui/pages/dialogs/OkCancel.h"
#include "ui/pages/plumbing/PageMessages.h"

namespace {

constexpr int kDluWidth = 245;
constexpr int kDluHeight = 97;
constexpr int kDluButtonTop = 76;

// Label, edit and object name of each field row, top to bottom.
struct FieldRow {
    res::Ctl label;
    const char* editName;
    bool password;
};
constexpr FieldRow kRows[] = {
    {res::Ctl::AccountUserName, "edit1015", false},
    {res::Ctl::AccountPassword, "edit1016", true},
    {res::Ctl::AccountRepeatPassword, "edit1017", true},
};

}  // namespace

CAddAccountDlg::CAddAccountDlg(QWidget* parent, Purpose purpose, const QString& title,
                               const QString& userName)
    : QDialog(parent), purpose_(purpose) {
    setObjectName("dialog113");
    setWindowTitle(title);
    const QFontMetrics metrics = fontMetrics();
    setFixedSize(DluToPixels(metrics, kDluWidth, kDluHeight));

    // Labels right-aligned before their edits; the labels are as wide as the widest of them.
    int labelWidth = DluToPixels(metrics, 70, 0).width();
    for (const FieldRow& row : kRows)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(res::Str(row.label)) + 4);
    QLineEdit* edits[3];
    for (int i = 0; i < 3; ++i) {
        const QRect line = DluToRect(metrics, 14, 12 + i * 20, 0, 14);
        auto* label = new QLabel(res::Str(kRows[i].label), this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setGeometry(line.x(), line.y(), labelWidth, line.height());
        auto* edit = new QLineEdit(this);
        edit->setObjectName(kRows[i].editName);
        edit->setMaxLength(kAccountFieldMaxChars);
        edit->setToolTip(res::Str(res::IDS_ACCOUNT_FIELDS_HINT));
        if (kRows[i].password) {
            edit->setEchoMode(QLineEdit::Password);
            if (purpose == Purpose::Modify)
                edit->setPlaceholderText(res::Str(res::IDS_KEEP_PASSWORD_HINT));
        }
        const int left = line.x() + labelWidth + 6;
        edit->setGeometry(left, line.y(), width() - left - line.x(), line.height());
        edits[i] = edit;
    }
    userName_ = edits[0];
    password_ = edits[1];
    repeat_ = edits[2];
    userName_->setText(userName);

    const auto [ok, cancel] = MakeOkCancel(this);
    const QRect okRect = DluToRect(metrics, kDluWidth - 2 * 57, kDluButtonTop, 50, 14);
    ok->setGeometry(okRect);
    cancel->setGeometry(okRect.translated(DluToPixels(metrics, 57, 0).width(), 0));
}

QString CAddAccountDlg::UserName() const {
    return userName_->text();
}

QString CAddAccountDlg::Password() const {
    return password_->text();
}

int CAddAccountDlg::FirstFailedCheck() const {
    return AccountFieldsProblem(
        userName_->text().toStdString(), password_->text().toStdString(),
        repeat_->text().toStdString(),
        purpose_ == Purpose::Modify ? AccountFieldsPurpose::kModify : AccountFieldsPurpose::kAdd);
}

void CAddAccountDlg::accept() {
    if (const int failed = FirstFailedCheck()) {
        ShowTip(this, failed, MessageIcon::Warning);
        return;
    }
    QDialog::accept();
}
