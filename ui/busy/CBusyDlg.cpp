#include "ui/busy/CBusyDlg.h"

#include <QCloseEvent>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>

#include "Common/Paths.h"
#include "ui/busy/CPictureEx.h"
#include "ui/common/DialogUnits.h"
#include "ui/common/PrivateEvents.h"

CBusyDlg::CBusyDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), picture_(new CPictureEx(this)) {
    setObjectName("busy118");
    setModal(true);
    const QSize size = DluToPixels(fontMetrics(), kSizeDlu, kSizeDlu);
    setFixedSize(size);
    picture_->setObjectName("picture1034");
    picture_->setGeometry(QRect(QPoint(0, 0), size));
}

void CBusyDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // A box without a frame needs an edge to stand out from the window below it.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

CBusyDlg::~CBusyDlg() = default;

void CBusyDlg::accept() {}

void CBusyDlg::reject() {}

bool CBusyDlg::event(QEvent* event) {
    if (event->type() == kCloseBusyEvent) {
        if (isVisible()) {
            CloseForGood();
        } else {
            closePending_ = true;  // the job finished before the box was up
        }
        return true;
    }
    return QDialog::event(event);
}

void CBusyDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    // Every showing loads the picture afresh; a missing file leaves an empty box.
    if (picture_->Load(QString::fromStdString(GetModuleFilePath("busy.gif")))) {
        // The box follows the font and the picture is what the file holds: centre it.
        picture_->move((width() - picture_->width()) / 2, (height() - picture_->height()) / 2);
        picture_->Draw();
    }
    if (closePending_) {
        closePending_ = false;
        QTimer::singleShot(0, this, [this] { CloseForGood(); });
    }
}

void CBusyDlg::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) {
        picture_->Stop();
    }
    QDialog::hideEvent(event);
}

void CBusyDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void CBusyDlg::CloseForGood() {
    QDialog::reject();
}
