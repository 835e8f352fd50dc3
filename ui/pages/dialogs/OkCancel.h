#pragma once
// The Ok ("button1", the default) and Cancel ("button2") buttons of the account and network
// dialogs, wired to the dialog's accept (which may check first) and reject.
#include <QDialog>
#include <QPushButton>

#include "ui/res/Strings.h"

struct OkCancel {
    QPushButton* ok;
    QPushButton* cancel;
};

inline OkCancel MakeOkCancel(QDialog* dialog) {
    auto* ok = new QPushButton(res::Str(res::Ctl::AccountOk), dialog);
    ok->setObjectName("button1");
    ok->setDefault(true);
    auto* cancel = new QPushButton(res::Str(res::Ctl::AccountCancel), dialog);
    cancel->setObjectName("button2");
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return {ok, cancel};
}
