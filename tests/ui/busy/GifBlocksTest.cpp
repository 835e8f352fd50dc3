// The block walk and the frame split, on GIFs built byte by byte.
#include <gtest/gtest.h>

#include "GifBuilder.h"
#include "ui/busy/GifBlocks.h"

using namespace std::chrono_literals;
using gif::BlockKind;

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

TEST(GifBlocksTest, WalksBlocksAndSplitsFramesIntoStandaloneGifs) {
    const auto data = ThreeFrames();
    const auto b = gif::WalkBlocks(data, kPrefix);
    std::vector<BlockKind> kinds;  // a wrong length would put the next block off its start
    for (const auto& block : b) kinds.push_back(block.kind);
    EXPECT_EQ(kinds, (std::vector<BlockKind>{
                         BlockKind::Application, BlockKind::Comment, BlockKind::GraphicControl,
                         BlockKind::Image, BlockKind::PlainText, BlockKind::Image,
                         BlockKind::GraphicControl, BlockKind::Image, BlockKind::Trailer}));
    ASSERT_EQ(b.back().offset, data.size() - 1);
    const auto layout = gif::ReadGif(data);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->screen.backgroundColour, 0x00FF00u);  // green, as 0x00BBGGRR
    EXPECT_EQ(layout->imageCount, 3u);
    ASSERT_EQ(layout->frames.size(), 3u);
    using Place = std::tuple<int, int, int, int, uint32_t, int>;  // with delay and disposal
    const Place places[] = {
        {0, 0, 4, 4, 8, 1}, {1, 2, 2, 1, gif::kNoDelay, 0}, {3, 0, 1, 3, 300, 3}};
    // Each frame's own bytes: from its control extension, or its image when it has none.
    const std::size_t from[] = {b[2].offset, b[5].offset, b[6].offset};
    const std::size_t to[] = {b[4].offset, b[6].offset, b[8].offset};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& f = layout->frames[i];
        EXPECT_EQ(Place(f.left, f.top, f.width, f.height, f.delay, f.disposal), places[i]) << i;
        std::vector<uint8_t> bytes(data.begin(), data.begin() + kPrefix);
        bytes.insert(bytes.end(), data.begin() + from[i], data.begin() + to[i]);
        bytes.push_back(0x3B);
        EXPECT_EQ(f.standalone, bytes) << i;
    }
    EXPECT_EQ(gif::FrameDisplayTime(layout->frames[1].delay), 100ms);  // no control extension
}

// Every cut of a valid file: never a block past the end, never more images than before.
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
