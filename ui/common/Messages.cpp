#include "ui/common/Messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <atomic>

namespace {

QMessageBox::Icon ToBoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

class BoxSink : public MessageSink {
public:
    void Show(QWidget* parent, const QString& text, const QString& caption,
              MessageIcon icon) override {
        auto show = [&] {
            QMessageBox box(ToBoxIcon(icon), caption, text, QMessageBox::Ok, parent);
            box.exec();
        };
        // Widgets live on the window thread only: a worker's message is shown there and the
        // worker waits until the user has dismissed it.
        if (QThread::currentThread() == qApp->thread()) {
            show();
        } else {
            QMetaObject::invokeMethod(qApp, show, Qt::BlockingQueuedConnection);
        }
    }
    bool Ask(QWidget* parent, const QString& text, const QString& caption) override {
        QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No,
                        parent);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
};

BoxSink g_boxSink;
std::atomic<MessageSink*> g_sink{nullptr};

}  // namespace

MessageSink& Messages() {
    MessageSink* sink = g_sink.load();
    return sink ? *sink : g_boxSink;
}

void SetMessageSink(MessageSink* sink) {
    g_sink.store(sink);
}

void ShowMessage(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) {
    Messages().Show(parent, text, caption, icon);
}

bool AskQuestion(QWidget* parent, const QString& text, const QString& caption) {
    return Messages().Ask(parent, text, caption);
}
