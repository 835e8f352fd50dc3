#include "ui/pages/dialogs/CAllowedNetworksDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Common/ClientNetworks.h"
#include "ui/common/DialogUnits.h"
#include "ui/pages/dialogs/OkCancel.h"
#include "ui/pages/plumbing/PageMessages.h"
#include "ui/pages/widgets/AllowedNetworksEdit.h"

CAllowedNetworksDlg::CAllowedNetworksDlg(QWidget* parent, const std::optional<std::string>& stored)
    : QDialog(parent),
      networks_(new AllowedNetworksEdit(this)),
      restoreDefaults_(new QPushButton(res::Str(res::IDS_RESTORE_DEFAULTS), this)) {
    setObjectName("allowedNetworksDialog");
    setWindowTitle(res::Str(res::IDS_NETWORKS_TITLE));
    networks_->Show(stored.value_or(std::string()));
    if (!stored) networks_->Note()->setText(res::Str(res::IDS_NETWORKS_UNREADABLE));
    restoreDefaults_->setObjectName("restoreDefaults");
    connect(restoreDefaults_, &QPushButton::clicked, this,
            [this] { networks_->Show(kDefaultClientNetworks); });

    const auto [ok, cancel] = MakeOkCancel(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(restoreDefaults_);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(networks_);
    layout->addLayout(buttons);
    resize(DluToPixels(fontMetrics(), 300, 160));
}

void CAllowedNetworksDlg::accept() {
    if (const QString problem = networks_->Problem(); !problem.isEmpty()) {
        ShowMessage(this, problem, res::Str(res::IDS_TIP_CAPTION), MessageIcon::Warning);
        networks_->List()->setFocus();
        return;
    }
    QDialog::accept();
}

std::string CAllowedNetworksDlg::Stored() const {
    return networks_->Check().stored;
}
