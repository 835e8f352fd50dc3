#include "ui/pages/widgets/AllowedNetworksEdit.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>

#include "Common/NetworkListText.h"
#include "ui/common/DialogUnits.h"
#include "ui/res/Strings.h"

AllowedNetworksEdit::AllowedNetworksEdit(QWidget* parent) : QWidget(parent) {
    setObjectName("allowedNetworks");
    auto* label = new QLabel(res::Str(res::IDS_NETWORKS_LABEL), this);
    list_ = new QPlainTextEdit(this);
    list_->setObjectName("allowedNetworksList");
    list_->setTabChangesFocus(true);
    list_->setLineWrapMode(QPlainTextEdit::NoWrap);
    list_->setFixedWidth(DluToPixels(fontMetrics(), 130, 0).width());
    label->setBuddy(list_);
    note_ = new QLabel(this);
    note_->setObjectName("allowedNetworksNote");
    note_->setWordWrap(true);
    note_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(label, 0, 0, 1, 2);
    grid->addWidget(list_, 1, 0);
    grid->addWidget(note_, 1, 1);
    grid->setColumnStretch(1, 1);
    connect(list_, &QPlainTextEdit::textChanged, this, &AllowedNetworksEdit::ShowNote);
}

void AllowedNetworksEdit::Show(const std::string& stored) {
    QStringList lines;
    for (const std::string& entry : SplitNetworkList(stored))
        lines << QString::fromStdString(entry);
    list_->setPlainText(lines.join('\n'));
    ShowNote();
}

NetworkListCheck AllowedNetworksEdit::Check() const {
    return CheckNetworkList(list_->toPlainText().toStdString());
}

QString AllowedNetworksEdit::Problem() const {
    return QString::fromStdString(NetworkListProblem(Check(), res::CurrentUiLanguage()));
}

void AllowedNetworksEdit::ShowNote() {
    const QString problem = Problem();
    const bool open = problem.isEmpty() && Check().everyAddress;
    note_->setText(!problem.isEmpty() ? problem
                   : open             ? res::Str(res::IDS_NETWORKS_OPEN)
                                      : res::Str(res::IDS_NETWORKS_HINT));
    note_->setStyleSheet(problem.isEmpty() && !open ? QString() : QStringLiteral("color: #c00000"));
}
