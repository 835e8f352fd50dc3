// The console with its user replaced by lines on standard output, for the start-up tests and
// the start-up measurement: "message <caption>|<text>" for each message box, "painted
// language=<en|zh> title=<title>" at the main window's first paint (it then closes), "ended".
#include <glog/logging.h>

#include <QEvent>
#include <QTimer>
#include <cstdio>

#include "ui/CMainUIApp.h"
#include "ui/CMainUIDlg.h"
#include "ui/Messages.h"
#include "ui/res/Strings.h"

namespace {

void Print(const QString& line) {
    std::fputs((line + '\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

class PrintingSink : public MessageSink {
public:
    void Show(QWidget*, const QString& text, const QString& caption, MessageIcon) override {
        Print("message " + caption + "|" + text);
    }
};

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dlg = qobject_cast<CMainUIDlg*>(watched);
        if (!done_ && dlg && event->type() == QEvent::Paint) {
            done_ = true;
            const bool chinese = res::CurrentUiLanguage() == res::UiLanguage::Chinese;
            Print(QString("painted language=%1 title=%2")
                      .arg(chinese ? "zh" : "en", dlg->windowTitle()));
            QTimer::singleShot(0, dlg, [dlg] { dlg->close(); });
        }
        return false;
    }

private:
    bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    google::InitGoogleLogging(argv[0]);
    PrintingSink sink;
    SetMessageSink(&sink);
    CMainUIApp app(argc, argv);
    FirstPaint firstPaint;
    app.installEventFilter(&firstPaint);
    app.InitInstance();
    Print("ended");
    return 0;
}
