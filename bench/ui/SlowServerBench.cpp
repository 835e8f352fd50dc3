// The main window against a server that answers slowly: every reply 4 s late, a reply that
// trickles in a byte every 2 s after "1000\r\n", and a server that accepts and never answers.
// For each (after a baseline with a server that answers at once), the time from making the window
// to its first paint, the longest wait of the window thread over the next seconds (sampled by a 20
// ms timer), the time the About menu takes to open, and the time closing takes. The service reads
// as running throughout.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "server_link/LinkWorker.h"
#include "server_link/MQClient.h"
#include "service/ServiceManagerFactory.h"
#include "tests/fakes/FakeServiceManager.h"
#include "tests/fakes/ScriptedChannelServer.h"
#include "ui/CMainUIDlg.h"

namespace {

using Reply = ScriptedChannelServer::Reply;
using namespace std::chrono_literals;

// Notes the moment a widget is first painted or shown.
struct Moment : QObject {
    Moment(QObject* watched, QEvent::Type type, const QElapsedTimer& clock)
        : type_(type), clock_(clock) {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (ms < 0 && event->type() == type_) ms = clock_.nsecsElapsed() / 1e6;
        return false;
    }
    double ms = -1;
    QEvent::Type type_;
    const QElapsedTimer& clock_;
};

void Scenario(const char* name, const Reply& reply, int watchMs) {
    ScriptedChannelServer server;
    server.SetDefaultReply(reply);
    if (!server.Start()) return;
    MQClientSingleton::instance()->SetPort(server.port());

    QElapsedTimer clock;
    clock.start();
    auto window = std::make_unique<CMainUIDlg>(
        nullptr,
        LanguageSwitch{[] { return std::string("en"); }, [](const std::string&) {}, [] {}});
    Moment painted(window.get(), QEvent::Paint, clock);
    window->show();
    while (painted.ms < 0 && clock.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    // The window thread's longest stall: a 20 ms timer that should fire every 20 ms.
    double worstLag = 0, last = clock.nsecsElapsed() / 1e6;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        worstLag = std::max(worstLag, now - last - 20);
        last = now;
    });
    sampler.start(20);

    QMenu* about = window->MenuBar()->actions().at(2)->menu();
    QElapsedTimer menuClock;
    Moment menuShown(about, QEvent::Show, menuClock);
    QTimer::singleShot(watchMs / 2, [&] {
        menuClock.start();
        about->popup(window->MenuBar()->mapToGlobal(QPoint(0, window->MenuBar()->height())));
    });
    const qint64 until = clock.elapsed() + watchMs;
    while (clock.elapsed() < until) QApplication::processEvents(QEventLoop::AllEvents, 20);
    sampler.stop();
    about->hide();

    QElapsedTimer closing;
    closing.start();
    window->close();
    const double closeMs = closing.nsecsElapsed() / 1e6;
    std::printf(
        "%-34s first paint %8.1f ms | worst window-thread stall %7.1f ms | About menu %6.1f ms "
        "| close %6.1f ms | requests %zu\n",
        name, painted.ms, worstLag, menuShown.ms, closeMs, server.requests().size());
    window.reset();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    auto manager = std::make_shared<FakeServiceManager>();
    manager->SetInstalled(raw_state::kRunning);
    SetDefaultServiceManager(manager);
    MQClientSingleton::instance()->SetRunningCheck([] { return true; });

    Reply trickle{{"1000\r\n"}, 2000ms};
    for (int i = 0; i < 1000; ++i) trickle.pieces.emplace_back("a");
    const int watchMs = argc > 1 ? std::max(1000, atoi(argv[1])) : 12000;
    // The first window of the process also pays for fonts and platform start-up: a baseline.
    Scenario("answers at once (baseline)", Reply::Framed("{}"), watchMs);
    Scenario("every reply 4 s late", Reply::Framed("{}", 4000ms), watchMs);
    Scenario("a byte every 2 s after 1000\\r\\n", trickle, watchMs);
    Scenario("accepts, never answers", Reply::Framed("{}", 600s), watchMs);
    SetDefaultServiceManager(nullptr);
    return 0;
}
