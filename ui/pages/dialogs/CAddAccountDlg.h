#pragma once
// The modal dialog that asks for a user name and a password typed twice, for adding an account
// or modifying one. Ok checks the fields by the accounts' common rules (AccountFieldsProblem)
// and stays open with a message at the first that fails. When modifying, both password fields
// left empty mean "keep the password", as their placeholder text says; each field takes at
// most kAccountFieldMaxChars characters (its tool tip says so).
#include <QDialog>

class QLineEdit;

class CAddAccountDlg : public QDialog {
    Q_OBJECT
public:
    enum class Purpose { Add, Modify };

    CAddAccountDlg(QWidget* parent, Purpose purpose, const QString& title,
                   const QString& userName = {});

    // Ok: closes with Accepted only when every check passes.
    void accept() override;

    QString UserName() const;
    QString Password() const;  // empty when modifying without a new password
    QLineEdit* UserNameEdit() const { return userName_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QLineEdit* RepeatEdit() const { return repeat_; }

private:
    // The string id of the first check that fails, or 0.
    int FirstFailedCheck() const;

    Purpose purpose_;
    QLineEdit* userName_;
    QLineEdit* password_;
    QLineEdit* repeat_;
};
