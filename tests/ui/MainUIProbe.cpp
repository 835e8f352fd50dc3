// The console with its user replaced by lines on standard output: "message <caption>|<text>"
// for each message box, "painted language=<en|zh> title=<title>" at the main window's first
// paint (it then closes, after $PROBE_KEEP_OPEN_MS when set), "ended".
#include <glog/logging.h>

#include <QEvent>
#include <QTimer>
#include <cstdio>

#include "ui/CMainUIApp.h"
#include "ui/CMainUIDlg.h"
#include "ui/common/Messages.h"
#include "ui/res/Strings.h"

namespace {

void Print(const QString& line) {
    std::fputs((line + '\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

struct PrintingSink : MessageSink {
    void Show(QWidget*, const QString& text, const QString& caption, MessageIcon) override {
        Print("message " + caption + "|" + text);
    }
};

struct FirstPaint : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dlg = qobject_cast<CMainUIDlg*>(watched);
        if (!done && dlg && event->type() == QEvent::Paint) {
            done = true;
            const bool zh = res::CurrentUiLanguage() == res::UiLanguage::Chinese;
            Print(
                QString("painted language=%1 title=%2").arg(zh ? "zh" : "en", dlg->windowTitle()));
            QTimer::singleShot(qEnvironmentVariableIntValue("PROBE_KEEP_OPEN_MS"), dlg,
                               [dlg] { dlg->close(); });
        }
        return false;
    }
    bool done = false;
};

}  // namespace

int main(int argc, char** argv) {
    FLAGS_logtostderr = true;  // the test reads it; no file anywhere
    google::InitGoogleLogging(argv[0]);
    PrintingSink sink;
    SetMessageSink(&sink);
    if (!CMainUIApp::PrepareDisplay()) return CMainUIApp::kNoDisplayStatus;
    CMainUIApp app(argc, argv);
    FirstPaint firstPaint;
    app.installEventFilter(&firstPaint);
    app.InitInstance();
    Print("ended");
    return 0;
}
