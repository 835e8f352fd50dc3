#pragma once
// The allowed client networks: a label, the list (one network a line) and, beside it, what is
// wrong with the first bad entry as it is typed, or a hint when all is good.
#include <QWidget>
#include <string>

#include "Common/ClientNetworks.h"

class QLabel;
class QPlainTextEdit;

class AllowedNetworksEdit : public QWidget {
    Q_OBJECT
public:
    explicit AllowedNetworksEdit(QWidget* parent);

    // Shows a stored list, one network a line.
    void Show(const std::string& stored);
    // The list as typed, checked.
    NetworkListCheck Check() const;
    // Why the typed list cannot be saved, in the window's language; empty when it can.
    QString Problem() const;

    QPlainTextEdit* List() const { return list_; }
    QLabel* Note() const { return note_; }

private:
    void ShowNote();

    QPlainTextEdit* list_ = nullptr;
    QLabel* note_ = nullptr;
};
