#include "ui/pages/tabs/CMonitoringDlg.h"

#include <QResizeEvent>
#include <QTabWidget>

#include "ui/pages/tabs/CMonitoringConnectionsDlg.h"
#include "ui/pages/tabs/CMonitoringSubPages.h"
#include "ui/res/Strings.h"

CMonitoringDlg::CMonitoringDlg(QWidget* parent)
    : QWidget(parent),
      tabs_(new QTabWidget(this)),
      realtime_(new CMonitoringRealtimeDlg(tabs_)),
      device_(new CMonitoringDeviceDlg(tabs_)),
      user_(new CMonitoringUserDlg(tabs_)),
      connections_(new CMonitoringConnectionsDlg(tabs_)) {
    setObjectName("monitoring106");
    tabs_->setObjectName("tab1006");
    // Vertical tabs on the left; the tab widget puts the shown sub-page to their right.
    tabs_->setTabPosition(QTabWidget::West);
    tabs_->setDocumentMode(false);
    tabs_->addTab(realtime_, res::Str(res::IDS_TAB_REALTIME));
    tabs_->addTab(device_, res::Str(res::IDS_TAB_BY_DEVICE));
    tabs_->addTab(user_, res::Str(res::IDS_TAB_BY_USER));
    tabs_->addTab(connections_, res::Str(res::IDS_TAB_CONNECTIONS));
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { ShowPage(index); });
    // The page itself takes no keys: focusing it focuses its tab strip.
    setFocusProxy(tabs_);
    ShowPage(0);
}

void CMonitoringDlg::ShowPage(int index) {
    if (index < 0 || index >= tabs_->count()) return;
    if (tabs_->currentIndex() != index) tabs_->setCurrentIndex(index);  // re-enters once
    tabs_->widget(index)->setFocus();
}

void CMonitoringDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    tabs_->setGeometry(rect());
}
