// The block walk and the frame split, on GIFs built byte by byte.
#include <gtest/gtest.h>

#include "GifBuilder.h"
#include "ui/busy/GifBlocks.h"

namespace {

constexpr std::size_t kPrefix = 13 + 12;  // header, screen descriptor, four colours

// Loop and comment blocks, 3 frames; the 2nd has plain text before, local colours, no control.
std::vector<uint8_t> ThreeFrames() {
    std::vector<gif_test::Frame> frames = {{{0, 0, 4, 4}, {1}, gif_test::Control{8, 1}},
                                           {{1, 2, 2, 1}, {2}},
                                           {{3, 0, 1, 3}, {3}, gif_test::Control{300, 3, 0}}};
    frames[0].before = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S',  'C',  'A', 'P', 'E', '2', '.',
                        '0',  3,    1,  0,   0,   0,   0x21, 0xFE, 2,   'h', 'i', 0};
    frames[1].before = {0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 4, 0, 1, 1, 0, 0, 2, 'h', 'i', 0};
    frames[1].localColours = true;
    return gif_test::Build(frames, 4, 4, 2);
}

// Every cut of a valid file: never a block past the end, never more images than before, and the
// blocks before an image (loop, comment, plain text) stepped over by their lengths. (The frames
// split from a file are drawn in the animation's and the picture control's cases.)
TEST(GifBlocksTest, TruncatedFilesYieldOnlyWholeBlocks) {
    const auto whole = ThreeFrames();
    std::size_t lastImages = 0;
    // Without only its trailer the file still holds three whole images: stop before that.
    for (std::size_t size = 0; size + 1 < whole.size(); ++size) {
        const std::span<const uint8_t> cut(whole.data(), size);
        const auto layout = gif::ReadGif(cut);
        ASSERT_EQ(layout.has_value(), size >= kPrefix) << size;
        if (!layout) continue;
        EXPECT_GE(layout->imageCount, lastImages) << size;
        EXPECT_LT(layout->imageCount, 3u) << size;
        lastImages = layout->imageCount;
        for (const auto& block : gif::WalkBlocks(cut, kPrefix))
            EXPECT_LE(block.offset + block.length, size);
        for (const auto& frame : layout->frames) EXPECT_EQ(frame.standalone.back(), 0x3B);
    }
    EXPECT_EQ(lastImages, 2u);
}

}  // namespace
