// Frame decoding and the draw/delay/disposal rules, on the surface at every wait of the loop.
#include <gtest/gtest.h>

#include "GifBuilder.h"
#include "ui/busy/GifAnimation.h"

using namespace std::chrono_literals;
using gif_test::Control;

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255);
const QColor kBackground(255, 0, 255);  // the animation's restore colour
const QColor kInitial(0, 0, 0);         // the surface before the first frame

// The surface as one letter per pixel, rows apart: Red, Green, Blue, background, initial.
std::string Letters(const QImage& image) {
    const std::pair<QColor, char> names[] = {
        {kRed, 'R'}, {kGreen, 'G'}, {kBlue, 'B'}, {kBackground, 'b'}, {kInitial, '.'}};
    std::string text;
    for (int i = 0; i < 16; ++i) {
        text += i && i % 4 == 0 ? " ?" : "?";
        for (const auto& [colour, name] : names)
            if (image.pixelColor(i % 4, i / 4) == colour) text.back() = name;
    }
    return text;
}

TEST(GifAnimationTest, DisposalDelaysAndLoopClearOnPixels) {
    std::vector<uint8_t> red(16, 1);
    red[15] = 0;
    const auto layout = gif::ReadGif(gif_test::Build({
        {{0, 0, 4, 4}, red, Control{8, 1, 0}},           // corner (3,3) transparent; kept
        {{1, 1, 2, 2}, {2}, Control{2, 2}},              // restored to the background
        {{0, 0, 4, 4}, {3}, Control{1}, false, 13},      // rejected (LZW has 12 bits at most)
        {{2, 2, 2, 2}, {3, 0, 3, 3}, Control{5, 3, 0}},  // restored to what was under it
        {{0, 0, 1, 1}, {2}},                             // no control extension
    }));
    ASSERT_TRUE(layout);
    GifAnimation animation(DecodeFrames(*layout), kBackground);
    ASSERT_EQ(animation.FrameCount(), 4u);
    QImage surface(4, 4, QImage::Format_ARGB32_Premultiplied);
    surface.fill(kInitial);
    std::vector<std::chrono::milliseconds> times;
    std::vector<std::string> shown;  // the surface during each wait
    int published = 0;
    PlayAnimation(
        animation, surface,
        [&](std::chrono::milliseconds time) {
            times.push_back(time);
            shown.push_back(Letters(surface));
            return times.size() == 5;
        },
        [&](const QImage&) { ++published; });
    // 8 → 80 ms, 2 → 100 ms, 5 → 50 ms, no control extension → 100 ms, then frame 0 again.
    EXPECT_EQ(times, (std::vector<std::chrono::milliseconds>{80ms, 100ms, 50ms, 100ms, 80ms}));
    EXPECT_EQ(published, 5);
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "RRRR RRRR RRRR RRR.",  // frame 0, its transparent corner kept
                         "RRRR RGGR RGGR RRR.",  // frame 1
                         "RRRR RbbR RbBR RRBB",  // frame 1 gone to the background; frame 2
                         "GRRR RbbR RbbR RRR.",  // frame 2 restored to what was under it
                         "RRRR RRRR RRRR RRRb"   // the loop's clear, then frame 0
                     }));
}

}  // namespace
