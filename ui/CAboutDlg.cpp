#include "ui/CAboutDlg.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "Common/Paths.h"
#include "Common/Version.h"
#include "ui/common/DialogUnits.h"
#include "ui/res/Artwork.h"
#include "ui/res/Strings.h"

namespace {

// A rectangle given in dialog units, in pixels of the dialog's font.
QRect Units(const QWidget& w, int x, int y, int cx, int cy) {
    const QFontMetrics metrics(w.font());
    const QSize origin = DluToPixels(metrics, x, y);
    return {QPoint(origin.width(), origin.height()), DluToPixels(metrics, cx, cy)};
}

}  // namespace

QUrl InstalledHelpUrl() {
    const QString page =
        QString::fromStdString(GetModuleDirectory()) + "/" + res::Str(res::IDS_HELP_FILE);
    return QFileInfo(page).isFile() ? QUrl::fromLocalFile(page) : QUrl();
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent),
      version_(new QLabel(this)),
      link_(new QLabel(this)),
      ok_(new QPushButton(res::Str(res::Ctl::AboutOk), this)) {
    setObjectName(QStringLiteral("dialog100"));
    setWindowTitle(res::Str(res::IDS_ABOUT_TITLE));
    setWindowIcon(res::ProgramIcon());
    setFixedSize(DluToPixels(QFontMetrics(font()), 170, 62));

    auto* icon = new QLabel(this);
    icon->setPixmap(res::ProgramIcon().pixmap(32, 32));
    icon->setGeometry(Units(*this, 14, 14, 21, 20));

    version_->setObjectName(QStringLiteral("static1035"));
    version_->setText(QString::fromStdString(Version::instance().version));
    version_->setGeometry(Units(*this, 42, 14, 114, 8));

    link_->setObjectName(QStringLiteral("link1036"));
    const QUrl help = InstalledHelpUrl();
    link_->setText(
        QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(help.toString(QUrl::FullyEncoded), res::Str(res::Ctl::AboutOnlineHelp)));
    link_->setVisible(!help.isEmpty());
    link_->setTextFormat(Qt::RichText);
    link_->setOpenExternalLinks(true);
    link_->setGeometry(Units(*this, 42, 28, 80, 10));

    ok_->setObjectName(QStringLiteral("button1"));
    ok_->setDefault(true);
    ok_->setGeometry(Units(*this, 113, 41, 50, 14));
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}
