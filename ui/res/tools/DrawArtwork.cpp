// Draws the console's pictures into PNG files (ui/res/images). Run once after changing a
// picture; the PNGs are committed and compiled into the resources.
//   draw_artwork <output directory>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>

namespace {

using Draw = std::function<void(QPainter&)>;

const QColor kBlue(0x1f, 0x6f, 0xd0);
const QColor kDarkBlue(0x17, 0x4a, 0x8c);
const QColor kGreen(0x2e, 0x9d, 0x48);
const QColor kRed(0xd9, 0x36, 0x2b);
const QColor kOrange(0xf0, 0x8c, 0x1a);
const QColor kGrey(0x5f, 0x6b, 0x78);

QImage Blank(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Paints `draw` into a w x h image, the drawing given in a 16 x 16 (or 16 x 15) design grid.
QImage Paint(int w, int h, double designW, double designH, const Draw& draw) {
    QImage image = Blank(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(w / designW, h / designH);
    draw(p);
    return image;
}

QImage Strip(int w, int h, const std::vector<Draw>& draws) {
    QImage strip = Blank(w * static_cast<int>(draws.size()), h);
    QPainter p(&strip);
    for (std::size_t i = 0; i < draws.size(); ++i) {
        p.drawImage(static_cast<int>(i) * w, 0, Paint(w, h, w, h, draws[i]));
    }
    return strip;
}

QPen Pen(const QColor& c, double width) {
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// --- program icon: a proxy hub relaying a client to the network ---
void ProgramIcon(QPainter& p) {
    QLinearGradient bg(0, 0, 0, 16);
    bg.setColorAt(0, QColor(0x2f, 0x84, 0xe8));
    bg.setColorAt(1, QColor(0x12, 0x4b, 0x9e));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3.2, 3.2);
    p.setPen(Pen(Qt::white, 1.1));
    p.drawLine(QPointF(3.2, 8), QPointF(12.8, 8));
    p.drawLine(QPointF(8, 8), QPointF(12.2, 3.8));
    p.drawLine(QPointF(8, 8), QPointF(12.2, 12.2));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 8), 2.6, 2.6);
    p.setBrush(QColor(0x7c, 0xe0, 0x8a));
    p.drawEllipse(QPointF(3.0, 8), 1.5, 1.5);
    p.setBrush(Qt::white);
    for (QPointF c : {QPointF(12.6, 3.6), QPointF(13.0, 8), QPointF(12.6, 12.4)}) {
        p.drawEllipse(c, 1.3, 1.3);
    }
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(8, 8), 1.1, 1.1);
}

// --- lamps ---
Draw Lamp(QColor base) {
    return [base](QPainter& p) {
        QRadialGradient g(QPointF(6, 5.5), 8);
        g.setColorAt(0, base.lighter(170));
        g.setColorAt(0.55, base);
        g.setColorAt(1, base.darker(150));
        p.setPen(QPen(base.darker(180), 0.9));
        p.setBrush(g);
        p.drawEllipse(QPointF(7.5, 7.5), 6.6, 6.6);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 150));
        p.drawEllipse(QPointF(5.6, 5.0), 2.0, 1.4);
    };
}

// --- statistics rows ---
void Clock(QPainter& p) {
    p.setPen(Pen(kDarkBlue, 1.3));
    p.setBrush(QColor(0xea, 0xf2, 0xfc));
    p.drawEllipse(QPointF(8, 8), 6.3, 6.3);
    p.setPen(Pen(kDarkBlue, 1.4));
    p.drawLine(QPointF(8, 8), QPointF(8, 4.2));
    p.drawLine(QPointF(8, 8), QPointF(10.8, 9.6));
}

void Person(QPainter& p, QPointF at, double scale, QColor colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(at + QPointF(0, -3.2 * scale), 2.5 * scale, 2.5 * scale);
    QPainterPath body;
    body.moveTo(at + QPointF(-4.6 * scale, 5.2 * scale));
    body.cubicTo(at + QPointF(-4.6 * scale, -0.4 * scale), at + QPointF(4.6 * scale, -0.4 * scale),
                 at + QPointF(4.6 * scale, 5.2 * scale));
    body.closeSubpath();
    p.drawPath(body);
}

void Users(QPainter& p) {
    Person(p, QPointF(10.6, 8.6), 0.8, QColor(0x7f, 0xa9, 0xdf));
    Person(p, QPointF(6.6, 9.4), 1.0, kBlue);
}

void Monitor(QPainter& p) {
    p.setPen(Pen(kGrey, 1.2));
    p.setBrush(QColor(0xd7, 0xee, 0xf8));
    p.drawRoundedRect(QRectF(1.8, 2.6, 12.4, 8.6), 1.2, 1.2);
    p.drawLine(QPointF(8, 11.4), QPointF(8, 13.4));
    p.drawLine(QPointF(4.8, 13.8), QPointF(11.2, 13.8));
}

void Arrow(QPainter& p, double x, bool up, QColor colour) {
    p.setPen(Pen(colour, 1.8));
    const double tip = up ? 2.2 : 13.8, tail = up ? 13.8 : 2.2, d = up ? 3.2 : -3.2;
    p.drawLine(QPointF(x, tail), QPointF(x, tip));
    p.drawLine(QPointF(x, tip), QPointF(x - 3, tip + d));
    p.drawLine(QPointF(x, tip), QPointF(x + 3, tip + d));
}

void Flow(QPainter& p) {
    Arrow(p, 5.0, true, kGreen);
    Arrow(p, 11.0, false, kOrange);
}

void Warning(QPainter& p) {
    QPainterPath tri;
    tri.moveTo(8, 1.6);
    tri.lineTo(15, 14.2);
    tri.lineTo(1, 14.2);
    tri.closeSubpath();
    p.setPen(Pen(QColor(0xb8, 0x5c, 0x00), 1.0));
    p.setBrush(QColor(0xff, 0xb3, 0x2b));
    p.drawPath(tri);
    p.setPen(Pen(QColor(0x40, 0x25, 0x00), 1.6));
    p.drawLine(QPointF(8, 6.0), QPointF(8, 9.6));
    p.drawPoint(QPointF(8, 12.0));
}

// --- tab images ---
void ChartTab(QPainter& p) {
    p.setPen(Pen(kGrey, 1.0));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.setPen(Pen(kBlue, 1.5));
    p.drawPolyline(QPolygonF(
        {QPointF(3, 11), QPointF(6, 7.5), QPointF(8.5, 9.5), QPointF(11, 5), QPointF(13, 6.5)}));
}

void Bell(QPainter& p) {
    QPainterPath bell;
    bell.moveTo(3, 12);
    bell.cubicTo(4.6, 10.6, 4, 8, 4.4, 6.4);
    bell.cubicTo(5, 2.6, 11, 2.6, 11.6, 6.4);
    bell.cubicTo(12, 8, 11.4, 10.6, 13, 12);
    bell.closeSubpath();
    p.setPen(Pen(QColor(0xb0, 0x6a, 0x00), 1.0));
    p.setBrush(QColor(0xff, 0xc1, 0x3a));
    p.drawPath(bell);
    p.setBrush(QColor(0xb0, 0x6a, 0x00));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(8, 13.4), 1.5, 1.3);
    p.drawEllipse(QPointF(8, 2.2), 0.9, 0.9);
}

void Gear(QPainter& p) {
    p.save();
    p.translate(8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(kGrey);
    for (int i = 0; i < 8; ++i) {
        p.drawRoundedRect(QRectF(-1.4, -7.2, 2.8, 3.4), 0.5, 0.5);
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 5.0, 5.0);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(0, 0), 2.0, 2.0);
    p.restore();
}

void Document(QPainter& p) {
    QPainterPath page;
    page.moveTo(3, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13, 4.5);
    page.lineTo(13, 14.5);
    page.lineTo(3, 14.5);
    page.closeSubpath();
    p.setPen(Pen(kGrey, 1.0));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setPen(Pen(kBlue, 1.1));
    for (double y : {6.0, 8.5, 11.0}) p.drawLine(QPointF(5, y), QPointF(11, y));
}

// --- menu pictures ---
void Exit(QPainter& p) {
    p.setPen(Pen(kGrey, 1.2));
    p.setBrush(QColor(0xf1, 0xe4, 0xd0));
    p.drawRect(QRectF(2, 1.5, 7, 13));
    p.setPen(Pen(kRed, 1.7));
    p.drawLine(QPointF(6.5, 8), QPointF(14.5, 8));
    p.drawLine(QPointF(14.5, 8), QPointF(11.8, 5.3));
    p.drawLine(QPointF(14.5, 8), QPointF(11.8, 10.7));
}

void Info(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(8, 8), 7, 7);
    p.setPen(Pen(Qt::white, 1.9));
    p.drawLine(QPointF(8, 7.2), QPointF(8, 11.8));
    p.drawPoint(QPointF(8, 4.4));
}

// --- toolbars (16 x 15) ---
void HotBackground(QPainter& p) {
    p.setPen(QPen(QColor(0x7d, 0xb4, 0xf0), 0.8));
    p.setBrush(QColor(0xdd, 0xeb, 0xfb));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 14), 2, 2);
}

Draw Hot(Draw draw) {
    return [draw](QPainter& p) {
        HotBackground(p);
        draw(p);
    };
}

void Plus(QPainter& p, QPointF c, QColor colour) {
    p.setPen(Pen(colour, 2.0));
    p.drawLine(c + QPointF(-2.6, 0), c + QPointF(2.6, 0));
    p.drawLine(c + QPointF(0, -2.6), c + QPointF(0, 2.6));
}

void AddAccount(QPainter& p) {
    Person(p, QPointF(6.2, 8.2), 0.95, kBlue);
    Plus(p, QPointF(12.0, 4.2), kGreen);
}

void ModifyAccount(QPainter& p) {
    Person(p, QPointF(6.0, 8.2), 0.95, kBlue);
    p.save();
    p.translate(11.6, 7.8);
    p.rotate(45);
    p.setPen(Pen(QColor(0x8a, 0x52, 0x00), 0.8));
    p.setBrush(kOrange);
    p.drawRect(QRectF(-1.3, -5.2, 2.6, 8.0));
    p.setBrush(QColor(0x40, 0x25, 0x00));
    QPainterPath tip;
    tip.moveTo(-1.3, 2.8);
    tip.lineTo(1.3, 2.8);
    tip.lineTo(0, 5.2);
    tip.closeSubpath();
    p.drawPath(tip);
    p.restore();
}

void DeleteAccount(QPainter& p) {
    Person(p, QPointF(6.0, 8.2), 0.95, kBlue);
    p.setPen(Pen(kRed, 2.0));
    p.drawLine(QPointF(10, 2.4), QPointF(14.2, 6.6));
    p.drawLine(QPointF(14.2, 2.4), QPointF(10, 6.6));
}

// A person with a gauge: what the account may use.
void AccountLimits(QPainter& p) {
    Person(p, QPointF(6.0, 8.2), 0.95, kBlue);
    p.setPen(Pen(kOrange, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9.0, 2.0, 6.4, 6.4), 0, 180 * 16);
    p.drawLine(QPointF(12.2, 5.2), QPointF(14.0, 3.2));
}

void Refresh(QPainter& p) {
    // two arcs chasing each other, each ending in an arrow head
    p.setPen(Pen(kGreen, 1.7));
    p.setBrush(Qt::NoBrush);
    const QRectF r(2.5, 2.0, 11, 11);
    p.drawArc(r, 60 * 16, 110 * 16);
    p.drawArc(r, 240 * 16, 110 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({QPointF(0.2, 6.6), QPointF(4.8, 6.6), QPointF(2.5, 10.2)}));
    p.drawPolygon(QPolygonF({QPointF(11.2, 8.4), QPointF(15.8, 8.4), QPointF(13.5, 4.8)}));
}

bool Save(const QImage& image, const QString& dir, const char* name) {
    const QString path = dir + "/" + name;
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_artwork <output directory>\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    for (int size : {16, 32, 48, 256}) {
        const QByteArray name = "program" + QByteArray::number(size) + ".png";
        ok &= Save(Paint(size, size, 16, 16, ProgramIcon), dir, name.constData());
    }
    ok &= Save(Paint(15, 15, 15, 15, Lamp(QColor(0x2e, 0xc2, 0x4f))), dir, "lamp_green.png");
    ok &= Save(Paint(15, 15, 15, 15, Lamp(QColor(0xe0, 0x2f, 0x26))), dir, "lamp_red.png");
    ok &= Save(Strip(16, 16, {Clock, Users, Monitor, Flow, Warning}), dir, "row_icons.png");
    ok &= Save(Strip(16, 16, {ChartTab, Bell, Gear, Document}), dir, "tab_images.png");
    ok &= Save(Paint(16, 16, 16, 16, Exit), dir, "menu_exit.png");
    ok &= Save(Paint(16, 16, 16, 16, Info), dir, "menu_about.png");
    ok &= Save(Strip(16, 15, {AddAccount, ModifyAccount, DeleteAccount, AccountLimits}), dir,
               "account_tools.png");
    ok &= Save(Strip(16, 15,
                     {Hot(AddAccount), Hot(ModifyAccount), Hot(DeleteAccount), Hot(AccountLimits)}),
               dir, "account_tools_hot.png");
    ok &= Save(Paint(16, 15, 16, 15, Refresh), dir, "auto_refresh.png");
    ok &= Save(Paint(16, 15, 16, 15, Hot(Refresh)), dir, "auto_refresh_hot.png");
    return ok ? 0 : 1;
}
