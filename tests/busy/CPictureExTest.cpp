// The picture control: still pictures, the animation thread, Stop and UnLoad.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QSet>

#include "GifBuilder.h"
#include "ui/busy/CPictureEx.h"

using gif_test::Build;
using gif_test::Control;
using gif_test::Solid;

namespace {

std::span<const uint8_t> Bytes(const std::vector<uint8_t>& data) {
    return data;
}

std::vector<uint8_t> Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

QImage Checker(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixelColor(x, y, (x + y) % 2 ? Qt::blue : Qt::yellow);
        }
    }
    return image;
}

gif_test::Frame Solid4x4(uint8_t index, std::optional<Control> control) {
    gif_test::Frame frame;
    frame.width = 4;
    frame.height = 4;
    frame.pixels = Solid(16, index);
    frame.control = control;
    return frame;
}

// Red, green, blue, each shown for 50 ms.
std::vector<uint8_t> ThreeColourGif() {
    gif_test::Gif gif;
    gif.globalColours = gif_test::FourColours();
    gif.loopExtension = true;
    gif.frames = {Solid4x4(1, Control{5, 1, {}}), Solid4x4(2, Control{5, 1, {}}),
                  Solid4x4(3, Control{5, 1, {}})};
    return Build(gif);
}

TEST(CPictureExTest, StillPicturesAreDrawnWithoutAThread) {
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        QSize size;
        bool isGif;
    };
    gif_test::Gif single;
    single.globalColours = gif_test::FourColours();
    single.width = 6;
    single.height = 5;
    single.frames = {Solid4x4(3, std::nullopt)};
    const Case cases[] = {
        {"png", Encoded(Checker(7, 3), "PNG"), QSize(7, 3), false},
        {"bmp", Encoded(Checker(5, 9), "BMP"), QSize(5, 9), false},
        {"single-image gif", Build(single), QSize(6, 5), true},  // the logical screen's size
    };
    for (const Case& c : cases) {
        CPictureEx picture;
        ASSERT_TRUE(picture.Load(Bytes(c.data))) << c.name;
        EXPECT_EQ(picture.IsGif(), c.isGif) << c.name;
        EXPECT_EQ(picture.PictureSize(), c.size) << c.name;
        EXPECT_EQ(picture.size(), c.size) << c.name;
        EXPECT_EQ(picture.FrameCount(), 0u) << c.name;
        picture.Draw();
        EXPECT_FALSE(picture.IsPlaying()) << c.name;
        const QImage shown = picture.ShownImage();
        ASSERT_EQ(shown.size(), c.size) << c.name;
        if (!c.isGif) {
            EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::yellow)) << c.name;
            EXPECT_EQ(shown.pixelColor(1, 0), QColor(Qt::blue)) << c.name;
        } else {
            EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::blue)) << c.name;
        }
    }
}

TEST(CPictureExTest, UnreadableDataFailsToLoad) {
    gif_test::Gif noImages;
    noImages.globalColours = gif_test::FourColours();
    gif_test::Gif allRejected;
    allRejected.globalColours = gif_test::FourColours();
    auto bad = Solid4x4(1, Control{5, 0, {}});
    bad.declaredCodeSize = 13;
    allRejected.frames = {bad, bad};
    auto gif90 = ThreeColourGif();
    gif90[4] = '0';
    gif90[3] = '9';  // "GIF90a": not a GIF version, and no other decoder takes it
    const auto threeColours = ThreeColourGif();
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"empty", {}},
        {"text", {'h', 'e', 'l', 'l', 'o'}},
        {"gif without images", Build(noImages)},
        {"every frame rejected", Build(allRejected)},
        {"gif header only", std::vector<uint8_t>(threeColours.begin(), threeColours.begin() + 10)},
        {"GIF90a", gif90},
    };
    for (const auto& [name, data] : cases) {
        CPictureEx picture;
        EXPECT_FALSE(picture.Load(Bytes(data))) << name;
        EXPECT_FALSE(picture.IsInitialised()) << name;
        picture.Draw();  // harmless
        EXPECT_FALSE(picture.IsPlaying()) << name;
    }
    CPictureEx picture;
    EXPECT_FALSE(picture.Load(QStringLiteral("/nonexistent/busy.gif")));
}

// Waits, serving events, until `done` holds or the limit passes.
template <typename Done>
bool ServeUntil(Done done, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

TEST(CPictureExTest, AnimationPlaysEveryFrameAndStopsAtOnce) {
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(Bytes(ThreeColourGif())));
    EXPECT_TRUE(picture.IsGif());
    EXPECT_EQ(picture.FrameCount(), 3u);
    EXPECT_EQ(picture.PictureSize(), QSize(4, 4));
    picture.Draw();
    EXPECT_TRUE(picture.IsPlaying());

    QSet<QRgb> seen;
    ServeUntil(
        [&] {
            const QImage shown = picture.ShownImage();
            if (!shown.isNull()) {
                seen.insert(shown.pixel(2, 2));
            }
            return seen.size() == 3;
        },
        10000);
    EXPECT_EQ(seen, (QSet<QRgb>{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}));

    QElapsedTimer timer;
    timer.start();
    picture.Stop();
    EXPECT_LT(timer.elapsed(), 1000);  // the thread wakes from its wait at once
    EXPECT_FALSE(picture.IsPlaying());

    // A stopped animation may be drawn again; UnLoad forgets everything.
    picture.Draw();
    EXPECT_TRUE(picture.IsPlaying());
    picture.SetPaintRect(QRect(1, 1, 2, 2));
    picture.UnLoad();
    EXPECT_FALSE(picture.IsPlaying());
    EXPECT_FALSE(picture.IsInitialised());
    EXPECT_FALSE(picture.IsGif());
    EXPECT_EQ(picture.FrameCount(), 0u);
    EXPECT_TRUE(picture.ShownImage().isNull());
    EXPECT_EQ(picture.BackgroundColour(), QColor(Qt::white));
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST(CPictureExTest, WindowThreadRepaintsForEveryNewFrame) {
    CPictureEx picture;
    PaintCounter counter;
    picture.installEventFilter(&counter);
    ASSERT_TRUE(picture.Load(Bytes(ThreeColourGif())));
    picture.show();
    ServeUntil([] { return false; }, 100);
    const int before = counter.paints;
    picture.Draw();
    ServeUntil([] { return false; }, 600);  // about 12 frames of 50 ms
    picture.Stop();
    EXPECT_GE(counter.paints - before, 5);
    const int stopped = counter.paints;
    ServeUntil([] { return false; }, 200);
    EXPECT_EQ(counter.paints, stopped);  // no frames, no repaints
}

TEST(CPictureExTest, PaintShowsTheChosenRectangle) {
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(Bytes(Encoded(Checker(8, 8), "PNG"))));
    picture.Draw();
    picture.SetPaintRect(QRect(1, 0, 4, 4));  // starts on a blue square
    const QImage painted = picture.grab().toImage();
    EXPECT_EQ(painted.pixelColor(0, 0), QColor(Qt::blue));
    picture.SetPaintRect(QRect());
    EXPECT_EQ(picture.grab().toImage().pixelColor(0, 0), QColor(Qt::yellow));
}

TEST(CPictureExTest, LoadingAgainWhilePlayingStopsTheOldAnimation) {
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(Bytes(ThreeColourGif())));
    picture.Draw();
    ASSERT_TRUE(picture.Load(Bytes(Encoded(Checker(3, 3), "PNG"))));
    EXPECT_FALSE(picture.IsPlaying());
    EXPECT_FALSE(picture.IsGif());
}

}  // namespace
