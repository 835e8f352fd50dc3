// The picture control: still pictures, the animation thread and Stop.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QSet>
#include <QTest>
#include <QThread>

#include "GifBuilder.h"
#include "ui/busy/CPictureEx.h"

namespace {

std::vector<uint8_t> YellowPng(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, "PNG");
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Red, green, blue 4x4 frames of `delay` hundredths; `codeSize` 13 makes the decoder reject them.
std::vector<uint8_t> ThreeColourGif(uint8_t codeSize = 8, uint16_t delay = 5) {
    std::vector<gif_test::Frame> frames;
    for (uint8_t index : {1, 2, 3})
        frames.push_back({{0, 0, 4, 4}, {index}, gif_test::Control{delay, 1}, false, codeSize});
    return gif_test::Build(frames);
}

// Still pictures are drawn at once, without a thread; unreadable data does not load.
TEST(CPictureExTest, LoadsStillPicturesAndRefusesUnreadableData) {
    const std::tuple<const char*, std::vector<uint8_t>, QSize, QColor> cases[] = {
        {"png", YellowPng(7, 3), QSize(7, 3), Qt::yellow},
        // A GIF of one image is as big as its logical screen, not its image.
        {"one image", gif_test::Build({{{0, 0, 4, 4}, {3}}}, 6, 5), QSize(6, 5), Qt::blue},
        {"text", {'h', 'e', 'l', 'l', 'o'}, {}, {}},
        {"gif without images", gif_test::Build({}), {}, {}},
        {"every frame rejected", ThreeColourGif(13), {}, {}}};
    for (const auto& [name, data, size, corner] : cases) {
        CPictureEx picture;
        const bool loads = !size.isEmpty();
        EXPECT_EQ(picture.Load(data), loads) << name;
        EXPECT_EQ(picture.IsInitialised(), loads) << name;
        picture.Draw();
        EXPECT_FALSE(picture.IsPlaying()) << name;
        const QImage shown = picture.ShownImage();
        EXPECT_EQ(shown.size(), loads ? size : QSize(0, 0)) << name;
        EXPECT_TRUE(!loads || shown.pixelColor(0, 0) == corner) << name;
    }
}

TEST(CPictureExTest, AnimationPlaysAndRepaintsEveryFrameAndStopsAtOnce) {
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    CPictureEx picture;
    picture.installEventFilter(&counter);
    ASSERT_TRUE(picture.Load(ThreeColourGif()));
    picture.show();
    QCoreApplication::processEvents();
    const int paintsBefore = counter.paints;
    picture.Draw();
    QSet<QRgb> seen;  // every frame shows, each repainted by the window thread
    const QSet<QRgb> frames{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (const QImage shown = picture.ShownImage(); !shown.isNull())
                seen.insert(shown.pixel(2, 2));
            return seen == frames && counter.paints - paintsBefore >= 3;
        },
        10000))
        << seen.size() << " colours, " << counter.paints - paintsBefore << " paints";
    picture.Stop();
    EXPECT_FALSE(picture.IsPlaying());
    picture.Draw();  // a stopped animation may be drawn again
    EXPECT_TRUE(picture.IsPlaying());
    ASSERT_TRUE(picture.Load(ThreeColourGif(8, 60000)));  // loading again ends the old animation
    EXPECT_FALSE(picture.IsPlaying());
    picture.Draw();
    QThread::msleep(100);  // into its wait of ten minutes: Stop must wake it, or the test hangs
    picture.Stop();
    EXPECT_FALSE(picture.IsPlaying());
}

}  // namespace
