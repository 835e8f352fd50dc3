// The block walk and the frame split, on GIFs built byte by byte.
#include <gtest/gtest.h>

#include <string>

#include "GifBuilder.h"
#include "ui/busy/GifBlocks.h"

using namespace std::chrono_literals;
using gif::BlockKind;
using gif_test::Build;
using gif_test::FourColours;
using gif_test::Solid;

namespace {

gif_test::Frame FrameAt(uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                        uint8_t index) {
    gif_test::Frame frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.pixels = Solid(width * height, index);
    return frame;
}

// Three frames behind a loop extension and a comment; the second has no control extension.
gif_test::Gif ThreeFrames() {
    gif_test::Gif gif;
    gif.globalColours = FourColours();
    gif.backgroundIndex = 2;
    gif.loopExtension = true;
    auto first = FrameAt(0, 0, 4, 4, 1);
    first.control = gif_test::Control{8, 1, std::nullopt};
    first.commentBefore = "made by a test";
    auto second = FrameAt(1, 2, 2, 1, 2);
    second.localColours = {0x000000, 0x101010, 0x202020, 0x303030};
    auto third = FrameAt(3, 0, 1, 3, 3);
    third.control = gif_test::Control{300, 3, uint8_t{0}};
    gif.frames = {first, second, third};
    return gif;
}

std::span<const uint8_t> Bytes(const std::vector<uint8_t>& data) {
    return data;
}

TEST(GifBlocksTest, WalksEveryKindOfBlockToTheTrailer) {
    auto gif = ThreeFrames();
    std::vector<uint8_t> data = Build(gif);
    // A plain-text extension between the frames: 15 bytes of head, one sub-block of text.
    const std::vector<uint8_t> plainText = {0x21, 0x01, 0x0C, 0, 0, 0, 0,   4,   0, 4,
                                            0,    1,    1,    0, 0, 2, 'h', 'i', 0};
    const auto screen = gif::ReadLogicalScreen(Bytes(data));
    ASSERT_TRUE(screen);
    const auto blocks0 = gif::WalkBlocks(Bytes(data), screen->PrefixBytes());
    data.insert(data.begin() + static_cast<long>(blocks0[4].offset), plainText.begin(),
                plainText.end());

    const auto blocks = gif::WalkBlocks(Bytes(data), screen->PrefixBytes());
    const std::vector<BlockKind> expected = {
        BlockKind::Application,    BlockKind::Comment,   BlockKind::GraphicControl,
        BlockKind::Image,          BlockKind::PlainText, BlockKind::Image,
        BlockKind::GraphicControl, BlockKind::Image,     BlockKind::Trailer};
    ASSERT_EQ(blocks.size(), expected.size());
    std::size_t at = screen->PrefixBytes();
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i].kind, expected[i]) << "block " << i;
        EXPECT_EQ(blocks[i].offset, at) << "block " << i;  // blocks follow each other
        at += blocks[i].length;
    }
    EXPECT_EQ(at, data.size());
    EXPECT_EQ(blocks[0].length, 14u + 5u);  // head + one 3-byte sub-block + terminator
    EXPECT_EQ(blocks[2].length, 8u);
    EXPECT_EQ(blocks[4].length, plainText.size());
}

TEST(GifBlocksTest, ReadsScreenAndBackgroundColourFromTheGlobalTable) {
    const auto data = Build(ThreeFrames());
    const auto screen = gif::ReadLogicalScreen(Bytes(data));
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->width, 4);
    EXPECT_EQ(screen->height, 4);
    EXPECT_EQ(screen->globalColourTableBytes, 12u);
    EXPECT_EQ(screen->backgroundColour, 0x00FF00u);  // green, as 0x00BBGGRR
    EXPECT_EQ(screen->PrefixBytes(), 25u);
}

TEST(GifBlocksTest, SplitsFramesWithTheirDelaysDisposalsAndPlaces) {
    const auto data = Build(ThreeFrames());
    const auto layout = gif::ReadGif(Bytes(data));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->imageCount, 3u);
    ASSERT_EQ(layout->frames.size(), 3u);

    struct Want {
        uint16_t left, top, width, height;
        uint32_t delay;
        uint8_t disposal;
    };
    const Want want[] = {{0, 0, 4, 4, 8, 1}, {1, 2, 2, 1, gif::kNoDelay, 0}, {3, 0, 1, 3, 300, 3}};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& frame = layout->frames[i];
        EXPECT_EQ(frame.left, want[i].left) << i;
        EXPECT_EQ(frame.top, want[i].top) << i;
        EXPECT_EQ(frame.width, want[i].width) << i;
        EXPECT_EQ(frame.height, want[i].height) << i;
        EXPECT_EQ(frame.delay, want[i].delay) << i;
        EXPECT_EQ(frame.disposal, want[i].disposal) << i;
    }
}

TEST(GifBlocksTest, StandaloneFrameIsPrefixThenItsOwnBlocksThenTrailer) {
    const auto data = Build(ThreeFrames());
    const auto layout = gif::ReadGif(Bytes(data));
    ASSERT_TRUE(layout);
    const auto blocks = gif::WalkBlocks(Bytes(data), layout->screen.PrefixBytes());
    const std::vector<uint8_t> prefix(data.begin(), data.begin() + 25);

    auto expected = [&](std::size_t from, std::size_t to) {
        std::vector<uint8_t> bytes = prefix;
        bytes.insert(bytes.end(), data.begin() + static_cast<long>(from),
                     data.begin() + static_cast<long>(to));
        bytes.push_back(0x3B);
        return bytes;
    };
    // Frame 0: from its control extension (the comment before it is not part of it).
    EXPECT_EQ(layout->frames[0].standalone,
              expected(blocks[2].offset, blocks[3].offset + blocks[3].length));
    // Frame 1 has no control extension: from its image descriptor.
    EXPECT_EQ(layout->frames[1].standalone,
              expected(blocks[4].offset, blocks[4].offset + blocks[4].length));
    EXPECT_EQ(layout->frames[2].standalone,
              expected(blocks[5].offset, blocks[6].offset + blocks[6].length));
}

TEST(GifBlocksTest, OneImageIsCountedButNotSplit) {
    gif_test::Gif gif;
    gif.globalColours = FourColours();
    gif.frames = {FrameAt(0, 0, 4, 4, 1)};
    const auto data = Build(gif);
    const auto layout = gif::ReadGif(Bytes(data));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->imageCount, 1u);
    EXPECT_TRUE(layout->frames.empty());
}

TEST(GifBlocksTest, UnknownBlockEndsTheWalk) {
    auto gif = ThreeFrames();
    auto data = Build(gif);
    const auto screen = gif::ReadLogicalScreen(Bytes(data));
    const auto blocks = gif::WalkBlocks(Bytes(data), screen->PrefixBytes());
    data[blocks[5].offset] = 0x21;
    data[blocks[5].offset + 1] = 0x77;  // no such extension
    const auto layout = gif::ReadGif(Bytes(data));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->imageCount, 2u);
    EXPECT_EQ(layout->frames.size(), 2u);
}

// Every cut of a valid file: never a block past the end, never more images than before.
TEST(GifBlocksTest, TruncatedFilesYieldOnlyWholeBlocks) {
    const auto whole = Build(ThreeFrames());
    std::size_t lastImages = 0;
    // Without its trailer the file still holds three whole images, so stop before that.
    for (std::size_t size = 0; size + 1 < whole.size(); ++size) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(size));
        const auto layout = gif::ReadGif(Bytes(cut));
        if (size < 25) {
            EXPECT_FALSE(layout) << size;  // no room for the screen and its colour table
            continue;
        }
        ASSERT_TRUE(layout) << size;
        EXPECT_GE(layout->imageCount, lastImages) << size;
        EXPECT_LT(layout->imageCount, 3u) << size;  // the last image is always cut
        lastImages = layout->imageCount;
        for (const auto& block : gif::WalkBlocks(Bytes(cut), 25)) {
            EXPECT_LE(block.offset + block.length, size);
        }
        for (const auto& frame : layout->frames) {
            EXPECT_EQ(frame.standalone.back(), 0x3B);
        }
    }
    EXPECT_EQ(lastImages, 2u);
}

TEST(GifBlocksTest, OnlyGif87aAndGif89aAreGifs) {
    const std::pair<std::string, bool> cases[] = {
        {"GIF89a", true},
        {"GIF87a", true},
        {"GIF90a", false},
        {"GIF8", false},
        {"\x89PNG\r\n\x1a\n", false},
        {"BM", false},
        {"", false},
        {"gif89a", false},
    };
    for (const auto& [text, isGif] : cases) {
        std::vector<uint8_t> data(text.begin(), text.end());
        data.resize(std::max<std::size_t>(data.size(), 6) + 20, 0);
        EXPECT_EQ(gif::HasGifSignature(Bytes(data)), isGif) << text;
        EXPECT_EQ(gif::ReadGif(Bytes(data)).has_value(), isGif) << text;
    }
}

TEST(GifBlocksTest, DisplayTimeOfDelays) {
    const std::pair<uint32_t, std::chrono::milliseconds> cases[] = {
        {0, 100ms}, {1, 100ms},  {4, 100ms},        {5, 50ms},
        {8, 80ms},  {10, 100ms}, {65535, 655350ms}, {gif::kNoDelay, 100ms},
    };
    for (const auto& [delay, time] : cases) {
        EXPECT_EQ(gif::FrameDisplayTime(delay), time) << delay;
    }
}

}  // namespace
