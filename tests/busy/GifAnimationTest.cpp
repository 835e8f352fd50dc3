// Decoding of the frames by Qt and the draw/delay/disposal rules, checked on the pixels of
// the off-screen image at every wait of the animation loop.
#include <gtest/gtest.h>

#include "GifBuilder.h"
#include "ui/busy/GifAnimation.h"

using namespace std::chrono_literals;
using gif_test::Build;
using gif_test::Control;
using gif_test::Solid;

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);
const QColor kBackground(255, 0, 255);  // the animation's restore colour
const QColor kInitial(0, 0, 0);         // the surface before the first frame

gif_test::Frame Frame(uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                      std::vector<uint8_t> pixels, std::optional<Control> control) {
    gif_test::Frame frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.pixels = std::move(pixels);
    frame.control = control;
    return frame;
}

// 0: all red but a transparent corner (3,3), kept; 1: green 2x2 at (1,1), restored to the
// background; 2: blue 2x2 at (2,2) with a transparent pixel at (3,2), restored to what was
// under it; 3: one green pixel at (0,0) without a control extension.
std::vector<uint8_t> DisposalGif() {
    gif_test::Gif gif;
    gif.globalColours = gif_test::FourColours();
    auto red = Solid(16, 1);
    red[15] = 0;
    gif.frames = {
        Frame(0, 0, 4, 4, red, Control{8, 1, uint8_t{0}}),
        Frame(1, 1, 2, 2, Solid(4, 2), Control{2, 2, std::nullopt}),
        Frame(2, 2, 2, 2, {3, 0, 3, 3}, Control{5, 3, uint8_t{0}}),
        Frame(0, 0, 1, 1, {2}, std::nullopt),
    };
    return Build(gif);
}

gif::GifLayout Layout(const std::vector<uint8_t>& data) {
    auto layout = gif::ReadGif(std::span<const uint8_t>(data));
    EXPECT_TRUE(layout);
    return layout.value_or(gif::GifLayout{});
}

// Runs the loop for `waits` frames; returns the surface as it was during each wait.
struct Played {
    std::vector<std::chrono::milliseconds> times;
    std::vector<QImage> shown;
    int published = 0;
};

Played Play(std::vector<GifFrame> frames, int waits) {
    GifAnimation animation(std::move(frames), kBackground);
    QImage surface(4, 4, QImage::Format_ARGB32_Premultiplied);
    surface.fill(kInitial);
    Played played;
    PlayAnimation(
        animation, surface,
        [&](std::chrono::milliseconds time) {
            played.times.push_back(time);
            played.shown.push_back(surface.copy());
            return static_cast<int>(played.times.size()) == waits;
        },
        [&](const QImage&) { ++played.published; });
    return played;
}

struct PixelWant {
    int wait, x, y;
    QColor colour;
};

TEST(GifAnimationTest, DecodesEachFrameToItsOwnRectangle) {
    const auto frames = DecodeFrames(Layout(DisposalGif()));
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1].rect, QRect(1, 1, 2, 2));
    EXPECT_EQ(frames[1].picture.size(), QSize(2, 2));
    EXPECT_EQ(frames[1].picture.pixelColor(0, 0), kGreen);
    EXPECT_EQ(frames[2].picture.pixelColor(1, 0).alpha(), 0);  // transparent index
    EXPECT_EQ(frames[3].delay, gif::kNoDelay);
}

TEST(GifAnimationTest, DisposalDelaysAndLoopClearOnPixels) {
    const Played played = Play(DecodeFrames(Layout(DisposalGif())), 5);
    ASSERT_EQ(played.shown.size(), 5u);
    // 8 → 80 ms, 2 → 100 ms, 5 → 50 ms, no control extension → 100 ms, then frame 0 again.
    EXPECT_EQ(played.times,
              (std::vector<std::chrono::milliseconds>{80ms, 100ms, 50ms, 100ms, 80ms}));
    EXPECT_EQ(played.published, 5);

    const PixelWant wants[] = {
        {0, 0, 0, kRed},
        {0, 1, 1, kRed},
        {0, 3, 3, kInitial},  // transparent
        {1, 1, 1, kGreen},
        {1, 2, 2, kGreen},
        {1, 0, 0, kRed},
        {1, 3, 3, kInitial},
        // Frame 1 restored to the background; frame 2 drawn over it, its hole shows red.
        {2, 1, 1, kBackground},
        {2, 2, 1, kBackground},
        {2, 1, 2, kBackground},
        {2, 2, 2, kBlue},
        {2, 3, 2, kRed},
        {2, 2, 3, kBlue},
        {2, 3, 3, kBlue},
        // Frame 2 restored to exactly what was under it; frame 3 drawn.
        {3, 2, 2, kBackground},
        {3, 3, 2, kRed},
        {3, 2, 3, kRed},
        {3, 3, 3, kInitial},
        {3, 0, 0, kGreen},
        {3, 1, 1, kBackground},
        // End of the loop: all cleared to the background, then frame 0 again.
        {4, 0, 0, kRed},
        {4, 1, 1, kRed},
        {4, 3, 3, kBackground},
    };
    for (const PixelWant& want : wants) {
        EXPECT_EQ(played.shown[want.wait].pixelColor(want.x, want.y), want.colour)
            << "wait " << want.wait << " at (" << want.x << "," << want.y << ")";
    }
}

TEST(GifAnimationTest, FrameTheDecoderRejectsIsLeftOut) {
    gif_test::Gif gif;
    gif.globalColours = gif_test::FourColours();
    auto bad = Frame(0, 0, 4, 4, Solid(16, 2), Control{5, 0, std::nullopt});
    bad.declaredCodeSize = 13;  // more than the 12 bits LZW allows
    gif.frames = {Frame(0, 0, 4, 4, Solid(16, 1), Control{5, 0, std::nullopt}), bad,
                  Frame(0, 0, 4, 4, Solid(16, 3), Control{7, 0, std::nullopt})};
    const auto frames = DecodeFrames(Layout(Build(gif)));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].picture.pixelColor(0, 0), kRed);
    EXPECT_EQ(frames[1].picture.pixelColor(0, 0), kBlue);
    EXPECT_EQ(frames[1].delay, 7u);
}

TEST(GifAnimationTest, RestartAppliesTheCurrentDisposalOnce) {
    auto frames = DecodeFrames(Layout(DisposalGif()));
    GifAnimation animation(frames, kBackground);
    QImage surface(4, 4, QImage::Format_ARGB32_Premultiplied);
    surface.fill(kInitial);
    animation.Advance(surface);  // at frame 1 (restore to background)
    surface.fill(kRed);
    animation.Begin(surface);
    EXPECT_EQ(surface.pixelColor(1, 1), kBackground);
    EXPECT_EQ(surface.pixelColor(0, 0), kRed);
}

}  // namespace
