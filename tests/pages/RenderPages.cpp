// Renders the dashboard and the monitoring page, fed by a scripted server, into PNG files in
// both languages: pages_render <output directory>.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <cstdio>
#include <memory>

#include "server_link/MQClient.h"
#include "service/ServiceManagerFactory.h"
#include "tests/fakes/FakeServiceManager.h"
#include "tests/fakes/ScriptedChannelServer.h"
#include "ui/pages/CDashboardDlg.h"
#include "ui/pages/CMonitoringDlg.h"
#include "ui/res/Strings.h"

namespace {

void Script(ScriptedChannelServer& server) {
    server.SetFramedReply("statistic",
                          R"({"err_code":0,"data":{"onlineUsers":12,)"
                          R"("onlineDevices":5,"totalAlarms":3,"totalIOBytes":"1.82 GB"}})");
    server.SetFramedReply("engine", "2026-12-6 8:30:12");
    server.SetFramedReply("system", "");
    server.SetFramedReply("flowrealtime", R"({"err_code":0,"data":[
      {"ip":"192.168.1.23","user":"alice","current_connections":14,"total_bytes":"35.2 MB","bytes_persecond":"120 KB/s"},
      {"ip":"192.168.1.40","user":"bob","current_connections":3,"total_bytes":"2.1 MB","bytes_persecond":"8 KB/s"},
      {"ip":"10.0.0.7","user":"","current_connections":1,"total_bytes":"740 KB","bytes_persecond":"0 B/s"}]})");
    server.SetFramedReply("flowip", R"({"err_code":0,"data":[
      {"ip":"192.168.1.23","total_bytes":"812 MB","last_report_time":"2026-12-6 9:41:3"},
      {"ip":"10.0.0.7","total_bytes":"1.1 GB","last_report_time":"2026-12-6 9:40:58"}]})");
    server.SetFramedReply("flowuser", R"({"err_code":0,"data":[
      {"user":"alice","total_bytes":"1.4 GB","last_report_time":"2026-12-6 9:41:3"}]})");
}

bool Save(QWidget& widget, const QString& path) {
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(outDir);

    ScriptedChannelServer server;
    Script(server);
    if (!server.Start()) return 1;
    MQClientSingleton::instance()->SetPort(server.port());
    MQClientSingleton::instance()->SetStateSource([] { return 4; });
    auto manager = std::make_shared<FakeServiceManager>();
    manager->SetInstalled(raw_state::kRunning);
    SetDefaultServiceManager(manager);

    bool ok = true;
    for (auto [language, code] :
         {std::pair{res::UiLanguage::English, "en"}, std::pair{res::UiLanguage::Chinese, "zh"}}) {
        res::SetUiLanguage(language);
        CDashboardDlg dashboard(nullptr);
        dashboard.resize(1260, 300);
        dashboard.show();
        CMonitoringDlg monitoring(nullptr);
        monitoring.resize(1240, 420);
        monitoring.show();
        app.processEvents();
        ok &= Save(dashboard, QStringLiteral("%1/dashboard-%2.png").arg(outDir, code));
        ok &= Save(monitoring, QStringLiteral("%1/monitoring-%2.png").arg(outDir, code));
        monitoring.ShowPage(1);
        app.processEvents();
        ok &= Save(monitoring, QStringLiteral("%1/monitoring-device-%2.png").arg(outDir, code));
    }
    SetDefaultServiceManager(nullptr);
    return ok ? 0 : 1;
}
