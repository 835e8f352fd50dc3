// Decoding of the frames by Qt and the draw/delay/disposal rules, checked on the pixels of
// the off-screen image at every wait of the animation loop.
#include <gtest/gtest.h>

#include "GifBuilder.h"
#include "ui/busy/GifAnimation.h"

using namespace std::chrono_literals;
using gif_test::Control;
using gif_test::Solid;

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255);
const QColor kBackground(255, 0, 255);  // the animation's restore colour
const QColor kInitial(0, 0, 0);         // the surface before the first frame

std::vector<GifFrame> Decode(const std::vector<gif_test::Frame>& frames) {
    const auto layout = gif::ReadGif(gif_test::Build(frames));
    EXPECT_TRUE(layout);
    return layout ? DecodeFrames(*layout) : std::vector<GifFrame>{};
}

// 0: all red but a transparent corner (3,3), kept; 1: green 2x2 at (1,1), restored to the
// background; 2: blue 2x2 at (2,2) with a transparent pixel at (3,2), restored to what was
// under it; 3: one green pixel at (0,0) without a control extension.
std::vector<GifFrame> DisposalFrames() {
    auto red = Solid(16, 1);
    red[15] = 0;
    return Decode({{{0, 0, 4, 4}, red, Control{8, 1, 0}},
                   {{1, 1, 2, 2}, Solid(4, 2), Control{2, 2}},
                   {{2, 2, 2, 2}, {3, 0, 3, 3}, Control{5, 3, 0}},
                   {{0, 0, 1, 1}, {2}}});
}

QImage Surface() {
    QImage surface(4, 4, QImage::Format_ARGB32_Premultiplied);
    surface.fill(kInitial);
    return surface;
}

TEST(GifAnimationTest, DisposalDelaysAndLoopClearOnPixels) {
    const auto frames = DisposalFrames();
    ASSERT_EQ(frames.size(), 4u);
    GifAnimation animation(frames, kBackground);
    QImage surface = Surface();
    std::vector<std::chrono::milliseconds> times;
    std::vector<QImage> shown;  // the surface during each wait
    int published = 0;
    PlayAnimation(
        animation, surface,
        [&](std::chrono::milliseconds time) {
            times.push_back(time);
            shown.push_back(surface.copy());
            return times.size() == 5;
        },
        [&](const QImage&) { ++published; });
    // 8 → 80 ms, 2 → 100 ms, 5 → 50 ms, no control extension → 100 ms, then frame 0 again.
    EXPECT_EQ(times, (std::vector<std::chrono::milliseconds>{80ms, 100ms, 50ms, 100ms, 80ms}));
    EXPECT_EQ(published, 5);
    // Wait 0: frame 0, its transparent corner keeps the initial colour. Wait 2: frame 1
    // restored to the background, frame 2 over it, its hole shows red. Wait 3: frame 2 restored
    // to exactly what was under it, frame 3 drawn. Wait 4: all cleared, then frame 0 again.
    const struct {
        int wait, x, y;
        QColor colour;
    } wants[] = {{0, 0, 0, kRed},        {0, 1, 1, kRed},        {0, 3, 3, kInitial},
                 {1, 1, 1, kGreen},      {1, 2, 2, kGreen},      {1, 0, 0, kRed},
                 {1, 3, 3, kInitial},    {2, 1, 1, kBackground}, {2, 2, 1, kBackground},
                 {2, 1, 2, kBackground}, {2, 2, 2, kBlue},       {2, 3, 2, kRed},
                 {2, 2, 3, kBlue},       {2, 3, 3, kBlue},       {3, 2, 2, kBackground},
                 {3, 3, 2, kRed},        {3, 2, 3, kRed},        {3, 3, 3, kInitial},
                 {3, 0, 0, kGreen},      {3, 1, 1, kBackground}, {4, 0, 0, kRed},
                 {4, 1, 1, kRed},        {4, 3, 3, kBackground}};
    for (const auto& w : wants) {
        EXPECT_EQ(shown[w.wait].pixelColor(w.x, w.y), w.colour)
            << "wait " << w.wait << " at (" << w.x << "," << w.y << ")";
    }
}

TEST(GifAnimationTest, FrameTheDecoderRejectsIsLeftOut) {
    std::vector<gif_test::Frame> gif = {{{0, 0, 4, 4}, Solid(16, 1), Control{5}},
                                        {{0, 0, 4, 4}, Solid(16, 2), Control{5}},
                                        {{0, 0, 4, 4}, Solid(16, 3), Control{7}}};
    gif[1].codeSize = 13;  // LZW allows 12 bits at most
    const auto frames = Decode(gif);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].picture.pixelColor(0, 0), kRed);
    EXPECT_EQ(frames[1].picture.pixelColor(0, 0), kBlue);
    EXPECT_EQ(frames[1].delay, 7u);
}

// A restarted animation first disposes of the frame it stopped on.
TEST(GifAnimationTest, RestartAppliesTheCurrentDisposalOnce) {
    GifAnimation animation(DisposalFrames(), kBackground);
    QImage surface = Surface();
    animation.Advance(surface);  // at frame 1 (restore to background)
    surface.fill(kRed);
    animation.Begin(surface);
    EXPECT_EQ(surface.pixelColor(1, 1), kBackground);
    EXPECT_EQ(surface.pixelColor(0, 0), kRed);
}

}  // namespace
