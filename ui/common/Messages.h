#pragma once
// Every message box of the console goes through one sink, so tests can observe messages
// instead of blocking on a modal box. The default sink shows a real QMessageBox.
#include <QString>

class QWidget;

enum class MessageIcon { Information, Warning, Critical, Question };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows a message and returns once the user has dismissed it. parent may be null (a
    // message from a worker thread has no owner window).
    virtual void Show(QWidget* parent, const QString& text, const QString& caption,
                      MessageIcon icon) = 0;
    // Asks a yes/no question (window thread only); true for yes. A sink that only shows
    // messages shows it and answers yes.
    virtual bool Ask(QWidget* parent, const QString& text, const QString& caption) {
        Show(parent, text, caption, MessageIcon::Question);
        return true;
    }
};

// The sink in use; a QMessageBox sink unless a test installed another one.
MessageSink& Messages();
// Installs a sink (nullptr restores the default). The caller keeps ownership.
void SetMessageSink(MessageSink* sink);

// Shorthand for Messages().Show(...).
void ShowMessage(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon);
// Shorthand for Messages().Ask(...).
bool AskQuestion(QWidget* parent, const QString& text, const QString& caption);
