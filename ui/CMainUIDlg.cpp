#include "ui/CMainUIDlg.h"

#include <glog/logging.h>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include "Common/SystemConf.h"
#include "server_link/LinkWorker.h"
#include "ui/CAboutDlg.h"
#include "ui/CTabControl.h"
#include "ui/StartupRules.h"
#include "ui/pages/plumbing/ServiceNotices.h"
#include "ui/pages/tabs/CAlarmAndLogPages.h"
#include "ui/pages/tabs/CDashboardDlg.h"
#include "ui/pages/tabs/CMonitoringDlg.h"
#include "ui/pages/tabs/CSettingDlg.h"
#include "ui/res/Artwork.h"
#include "ui/res/Strings.h"

namespace {

struct TabEntry {
    int label;  // string id
    int image;  // index into the tab image strip
    const char* pageName;
};

// Tab order: monitoring, settings, alarms, logs.
constexpr TabEntry kTabs[CMainUIDlg::kPageCount] = {
    {res::IDS_TAB_MONITORING, res::kTabImageMonitoring, "page106"},
    {res::IDS_TAB_SETTING, res::kTabImageSetting, "page105"},
    {res::IDS_TAB_ALARM, res::kTabImageAlarm, "page107"},
    {res::IDS_TAB_LOGS, res::kTabImageLogs, "page108"},
};

}  // namespace

LanguageSwitch DefaultLanguageSwitch() {
    return {
        [] { return SystemConf::instance().language; },
        [](const std::string& code) { SystemConf::instance().saveLanguage(code); },
        [] {
            const QString exe = QCoreApplication::applicationFilePath();
            if (!QProcess::startDetached(exe, {QString::fromLatin1(kRestartCommandLine)})) {
                LOG(ERROR) << "cannot start " << exe.toStdString() << " " << kRestartCommandLine;
            }
        },
    };
}

CMainUIDlg::CMainUIDlg(QWidget* parent, LanguageSwitch languageSwitch)
    : QDialog(parent), languageSwitch_(std::move(languageSwitch)), client_(new QWidget(this)) {
    setObjectName(QStringLiteral("dialog102"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    setWindowIcon(res::ProgramIcon());
    setWindowTitle(res::Str(res::IDS_MAIN_TITLE));
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildMenu();
    layout->setMenuBar(menuBar_);
    client_->setObjectName(QStringLiteral("client"));
    layout->addWidget(client_);
    client_->installEventFilter(this);

    PlaceAndSize();
    TheLinkWorker().Open();  // a window made after an earlier one closed polls again
    BuildPages();
    // The first layout runs once the window is up.
    QTimer::singleShot(0, this, [this] { Layout(); });
}

void CMainUIDlg::BuildMenu() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menu130"));
    menuBar_->setNativeMenuBar(false);

    QMenu* file = menuBar_->addMenu(res::Str(res::Ctl::MenuFile));
    exitAction_ = file->addAction(res::Str(res::Ctl::MenuExit), this, &CMainUIDlg::OnExit);
    exitAction_->setObjectName(QStringLiteral("command32774"));

    QMenu* language = menuBar_->addMenu(res::Str(res::Ctl::MenuLanguage));
    chineseAction_ =
        language->addAction(res::Str(res::Ctl::MenuChinese), this, [this] { OnLanguage("zh"); });
    chineseAction_->setObjectName(QStringLiteral("command32791"));
    englishAction_ =
        language->addAction(res::Str(res::Ctl::MenuEnglish), this, [this] { OnLanguage("en"); });
    englishAction_->setObjectName(QStringLiteral("command32792"));
    for (QAction* a : {chineseAction_, englishAction_}) a->setCheckable(true);

    QMenu* about = menuBar_->addMenu(res::Str(res::Ctl::MenuAbout));
    aboutAction_ = about->addAction(res::Str(res::Ctl::MenuAboutUs), this, &CMainUIDlg::OnAbout);
    aboutAction_->setObjectName(QStringLiteral("command32776"));

    for (QMenu* popup : {file, language, about}) {
        connect(popup, &QMenu::aboutToShow, this, &CMainUIDlg::PrepareMenu);
    }
    PrepareMenu();
}

void CMainUIDlg::PrepareMenu() {
    exitAction_->setIcon(res::MenuExitPicture());
    aboutAction_->setIcon(res::MenuAboutPicture());
    const bool chinese = languageSwitch_.current() == "zh";
    chineseAction_->setChecked(chinese);
    englishAction_->setChecked(!chinese);
}

QRect CMainUIDlg::InitialGeometry(const QRect& screen) {
    const int w = screen.width(), h = screen.height();
    const int x = (w - w / 3) / 2, y = (h - 2 * (h / 3)) / 2;
    QRect frame(0, 0, std::max(x + w / 3, kMinimumWidth),
                std::max(y + 2 * (h / 3), kMinimumHeight));
    frame.moveCenter(screen.center());
    return frame;
}

void CMainUIDlg::PlaceAndSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect frame = InitialGeometry(screen->geometry());
    resize(frame.size());
    move(frame.topLeft());
}

void CMainUIDlg::BuildPages() {
    auto* dashboard = new CDashboardDlg(client_);
    dashboard_ = dashboard;
    if (dashboard_->objectName().isEmpty()) dashboard_->setObjectName(QStringLiteral("page104"));
    dashboard_->show();
    new ServiceNotices(dashboard);  // a child of the dashboard

    tabs_ = new CTabControl(client_);
    QTabBar* bar = tabs_->Bar();
    for (const TabEntry& tab : kTabs) bar->addTab(res::TabImage(tab.image), res::Str(tab.label));

    pages_[0] = new CMonitoringDlg(tabs_);
    pages_[1] = new CSettingDlg(tabs_);
    pages_[2] = new CAlarmDlg(tabs_);
    pages_[3] = new CLogDlg(tabs_);
    for (int i = 0; i < kPageCount; ++i) {
        if (pages_[i]->objectName().isEmpty()) {
            pages_[i]->setObjectName(QString::fromLatin1(kTabs[i].pageName));
        }
    }
    connect(bar, &QTabBar::currentChanged, this, &CMainUIDlg::SelectPage);
    bar->setFocus();
    SelectPage(0);
}

void CMainUIDlg::SelectPage(int index) {
    for (int i = 0; i < kPageCount; ++i) {
        if (i == index) {
            pages_[i]->show();
            pages_[i]->setFocus();
        } else {
            pages_[i]->hide();
        }
    }
}

void CMainUIDlg::Layout() {
    if (!dashboard_ || !tabs_) return;
    const int cw = client_->width(), ch = client_->height(), t = ch / 3;
    dashboard_->setGeometry(10, 0, cw - 20, t);
    tabs_->setGeometry(10, t, cw - 20, ch - t - 10);
    const QRect area = tabs_->PageArea();
    for (QWidget* page : pages_) page->setGeometry(area);
}

bool CMainUIDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) Layout();
    return QDialog::eventFilter(watched, event);
}

void CMainUIDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();  // nothing happens
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CMainUIDlg::done(int result) {
    // The polls stop with the window: queued commands are dropped and the one in progress is
    // interrupted, so closing never waits on a slow server beyond a receive slice (a service
    // manager query in progress still ends by its own limit).
    TheLinkWorker().Close();
    QDialog::done(result);
}

void CMainUIDlg::closeEvent(QCloseEvent* event) {
    done(QDialog::Rejected);
    event->accept();
}

void CMainUIDlg::OnExit() {
    done(QDialog::Rejected);
    if (restart_) languageSwitch_.startRestartedConsole();
}

void CMainUIDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainUIDlg::OnLanguage(const std::string& code) {
    if (languageSwitch_.current() == code) {
        PrepareMenu();  // a checkable action flips itself when clicked; put the mark back
        return;
    }
    languageSwitch_.save(code);
    restart_ = 1;
    OnExit();
}
