#include "ui/CMainUIApp.h"

#include <glog/logging.h>

#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <utility>

#include "Common/Database.h"
#include "Common/MainTables.h"
#include "Common/Paths.h"
#include "Common/SystemConf.h"
#include "Common/Version.h"
#include "server_link/MQClient.h"
#include "service/ProxyCtrl.h"
#include "ui/CMainUIDlg.h"
#include "ui/Rights.h"
#include "ui/SingleInstance.h"
#include "ui/StartupRules.h"
#include "ui/common/Messages.h"
#include "ui/res/Strings.h"

namespace {

QtMessageHandler qtHandler = nullptr;  // Qt's own, restored once the application is made
bool handlerInstalled = false;

void TellNoDisplay(const std::string& reason) {
    std::cerr << "torvoproxy-console: cannot open a window: " << reason
              << ". Run it in a graphical session (or under xvfb-run)." << std::endl;
}

void FatalWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        if (qtHandler) {
            qtHandler(type, context, text);
        } else {
            std::cerr << qFormatLogMessage(type, context, text).toStdString() << std::endl;
        }
        return;
    }
    // Qt's own words end in advice to reinstall: only their first line is worth passing on.
    const std::string qt = text.trimmed().section(QLatin1Char('\n'), 0, 0).toStdString();
    const char* display = std::getenv("DISPLAY");
    TellNoDisplay(std::string("no display could be reached") +
                  (display && *display ? std::string(" at DISPLAY=") + display : std::string()) +
                  " (" + qt + ")");
    std::_Exit(CMainUIApp::kNoDisplayStatus);
}

}  // namespace

bool CMainUIApp::PrepareDisplay() {
    const std::string reason = NoDisplayReason(
        std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
    if (!reason.empty()) {
        TellNoDisplay(reason);
        return false;
    }
    qtHandler = qInstallMessageHandler(FatalWithoutDisplay);
    handlerInstalled = true;
    return true;
}

CMainUIApp::CMainUIApp(int& argc, char** argv)
    : detail::CommandLine(argc, argv), QApplication(argc, argv) {
    if (std::exchange(handlerInstalled, false)) qInstallMessageHandler(qtHandler);
    setApplicationName(QStringLiteral("TorvoProxy"));
}

CMainUIApp::~CMainUIApp() = default;

bool CMainUIApp::HaveRights() {
    const RightsFacts facts = GatherRightsFacts();
    // The language is not known yet: a refusal is shown in both.
    auto both = [](res::Ctl id, const QString& arg) {
        return res::Str(id, res::UiLanguage::English).arg(arg) + QStringLiteral("\n\n") +
               res::Str(id, res::UiLanguage::Chinese).arg(arg);
    };
    switch (DecideRights(facts)) {
        case RightsAction::GoOn:
            return true;
        case RightsAction::RelaunchElevated:
            RelaunchElevated();
            return false;
        case RightsAction::ReportNoRoot:
            ShowMessage(nullptr, both(res::Ctl::NeedRoot, {}), res::Str(res::IDS_TIP_CAPTION),
                        MessageIcon::Critical);
            return false;
        case RightsAction::ReportNoWriteAccess:
            ShowMessage(
                nullptr,
                both(res::Ctl::NeedWriteAccess, QString::fromStdString(GetModuleDirectory())),
                res::Str(res::IDS_TIP_CAPTION), MessageIcon::Critical);
            return false;
    }
    return false;
}

bool CMainUIApp::OnlyInstance() {
    instanceLock_ = std::make_unique<SingleInstanceLock>();
    switch (instanceLock_->TryAcquire()) {
        case SingleInstanceLock::Result::Acquired:
        case SingleInstanceLock::Result::Unavailable:  // treated as the only instance
            return true;
        case SingleInstanceLock::Result::Refused:
            LOG(ERROR) << "single-instance lock refused: " << instanceLock_->Problem();
            ShowMessage(nullptr,
                        res::Str(res::Ctl::UnsafeLockFolder)
                            .arg(QString::fromStdString(instanceLock_->Problem())),
                        res::Str(res::IDS_TIP_CAPTION), MessageIcon::Critical);
            return false;
        case SingleInstanceLock::Result::HeldElsewhere:
            break;
    }
    if (IsRestartCommandLine(rawArguments)) {
        // The console that restarted us is still ending; take its place once it has gone.
        instanceLock_->TakeOverWhenFree();
        return true;
    }
    ShowMessage(nullptr, res::Str(res::Fixed::AlreadyRunningText),
                res::Str(res::Fixed::AlreadyRunningCaption), MessageIcon::Critical);
    return false;
}

bool CMainUIApp::InitInstance() {
    if (!HaveRights()) return false;

    Version::instance().load();
    // An older main.db gains the tables and columns the pages read (as the server's start
    // does); a failure is logged, and the pages then show what they can read.
    UseDatabase(UpgradeMainTables, DbFailure::kLogError);
    SystemConf::instance().load();
    res::SetUiLanguage(res::UiLanguageForSetting(SystemConf::instance().language));

    if (!OnlyInstance()) return false;

    // The control channel talks to the server only while the proxy service runs.
    MQClientSingleton::instance()->SetRunningCheck(
        [] { return ProxyCtrl().QueryStatus() == kServiceRunning; });
    CMainUIDlg dlg;
    if (shownHook_) {
        QTimer::singleShot(0, &dlg, [this, &dlg] { shownHook_(dlg); });
    }
    dlg.exec();
    return false;
}
