#include "ui/res/Artwork.h"

#include <QString>

// Resources of a static library must be registered by hand once.
static void InitArtworkResources() {
    Q_INIT_RESOURCE(artwork);
}

namespace res {
namespace {

QPixmap Load(const char* name) {
    static const bool registered = (InitArtworkResources(), true);
    (void)registered;
    return QPixmap(QStringLiteral(":/res/images/") + QLatin1String(name));
}

// Image `index` of a strip of equally wide images.
QPixmap Cut(const QPixmap& strip, int width, int index) {
    if (index < 0 || (index + 1) * width > strip.width()) return {};
    return strip.copy(index * width, 0, width, strip.height());
}

QIcon NormalAndHot(const QPixmap& normal, const QPixmap& hot) {
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(hot, QIcon::Active);
    return icon;
}

}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (const char* name : {"program16.png", "program32.png", "program48.png", "program256.png"}) {
        icon.addPixmap(Load(name));
    }
    return icon;
}

QPixmap Lamp(bool running) {
    return Load(running ? "lamp_green.png" : "lamp_red.png");
}

QPixmap RowIconStrip() {
    return Load("row_icons.png");
}

QIcon RowIcon(int index) {
    return QIcon(Cut(RowIconStrip(), 16, index));
}

QPixmap TabImageStrip() {
    return Load("tab_images.png");
}

QIcon TabImage(int index) {
    return QIcon(Cut(TabImageStrip(), 16, index));
}

QIcon MenuExitPicture() {
    return QIcon(Load("menu_exit.png"));
}

QIcon MenuAboutPicture() {
    return QIcon(Load("menu_about.png"));
}

QIcon AccountToolIcon(AccountTool tool) {
    const int index = static_cast<int>(tool);
    return NormalAndHot(Cut(Load("account_tools.png"), 16, index),
                        Cut(Load("account_tools_hot.png"), 16, index));
}

QIcon AutoRefreshIcon() {
    return NormalAndHot(Load("auto_refresh.png"), Load("auto_refresh_hot.png"));
}

}  // namespace res
