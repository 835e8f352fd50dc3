#pragma once
// The block structure of GIF87a/GIF89a files: the logical screen, the walk over extension,
// image and trailer blocks, and the split of an animated GIF into one stand-alone GIF per
// frame. Plain bytes in and out; decoding the LZW image data is left to a picture decoder.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace gif {

// The delay of a frame that has no graphic control extension.
inline constexpr uint32_t kNoDelay = 0xFFFFFFFF;

enum class BlockKind { PlainText, GraphicControl, Comment, Application, Image, Trailer };

struct Block {
    BlockKind kind;
    std::size_t offset;  // first byte of the block
    std::size_t length;  // all its bytes, sub-blocks and terminator included
};

struct LogicalScreen {
    uint16_t width = 0;
    uint16_t height = 0;
    std::size_t globalColourTableBytes = 0;  // 0 when there is none
    uint32_t backgroundColour = 0xFFFFFF;    // 0x00BBGGRR, from the global colour table
    // Header, screen descriptor and global colour table: where the first block starts.
    std::size_t PrefixBytes() const { return 13 + globalColourTableBytes; }
};

// One image of an animated GIF.
struct FrameBlock {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t delay = kNoDelay;  // hundredths of a second
    uint8_t disposal = 0;       // 0..7
    // Header, screen descriptor and global colour table of the file, then this frame's blocks
    // from its graphic control extension (or image descriptor) to the end of its image data,
    // then a trailer.
    std::vector<uint8_t> standalone;
};

struct GifLayout {
    LogicalScreen screen;
    std::size_t imageCount = 0;
    std::vector<FrameBlock> frames;  // filled only when the file holds several images
};

// "GIF87a" or "GIF89a".
bool HasGifSignature(std::span<const uint8_t> data);

// The logical screen of a file with a GIF signature; nullopt when the file is too short to
// hold the header, the screen descriptor and its global colour table.
std::optional<LogicalScreen> ReadLogicalScreen(std::span<const uint8_t> data);

// The blocks from `offset` on. The walk stops after the trailer, before a block it does not
// know, and before a block that would end beyond the data.
std::vector<Block> WalkBlocks(std::span<const uint8_t> data, std::size_t offset);

// Splits a file with a GIF signature into frames. nullopt: not a readable GIF (no signature
// or no room for its screen descriptor and colour table).
std::optional<GifLayout> ReadGif(std::span<const uint8_t> data);

// How long a frame stays up: its delay when that is 5 hundredths or more, else 100 ms; a frame
// without a graphic control extension also shows for 100 ms.
std::chrono::milliseconds FrameDisplayTime(uint32_t delay);

}  // namespace gif
