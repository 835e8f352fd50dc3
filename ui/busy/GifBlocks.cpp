#include "ui/busy/GifBlocks.h"

#include <algorithm>
#include <cstring>

namespace gif {
namespace {

constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kScreenDescriptorEnd = 13;
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr std::chrono::milliseconds kShortFrameTime{100};
constexpr uint32_t kShortestOwnDelay = 5;

// Fixed heads of the blocks before their sub-blocks.
constexpr std::size_t kGraphicControlBytes = 8;
constexpr std::size_t kPlainTextHead = 15;
constexpr std::size_t kCommentHead = 2;
constexpr std::size_t kApplicationHead = 14;
constexpr std::size_t kImageDescriptorBytes = 10;

uint16_t ReadLittle16(std::span<const uint8_t> data, std::size_t at) {
    return static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
}

// Bytes of a colour table announced by a packed byte (bit 7 set, size in the low three bits).
std::size_t ColourTableBytes(uint8_t packed) {
    return (packed & 0x80) ? 3u * (std::size_t{1} << ((packed & 7) + 1)) : 0u;
}

// Length of the data sub-blocks starting at `at`, terminator included; nullopt when they run
// past the end.
std::optional<std::size_t> SubBlocksLength(std::span<const uint8_t> data, std::size_t at) {
    std::size_t pos = at;
    while (pos < data.size()) {
        const uint8_t size = data[pos];
        pos += 1 + size;
        if (size == 0) {
            return pos - at;
        }
    }
    return std::nullopt;
}

// A block of `head` fixed bytes followed by sub-blocks.
std::optional<std::size_t> HeadAndSubBlocks(std::span<const uint8_t> data, std::size_t at,
                                            std::size_t head) {
    if (at + head > data.size()) {
        return std::nullopt;
    }
    const auto tail = SubBlocksLength(data, at + head);
    return tail ? std::optional(head + *tail) : std::nullopt;
}

struct Classified {
    BlockKind kind;
    std::optional<std::size_t> length;  // nullopt: runs past the end
};

std::optional<Classified> Classify(std::span<const uint8_t> data, std::size_t at) {
    const uint8_t first = data[at];
    if (first == kTrailer) {
        return Classified{BlockKind::Trailer, 1};
    }
    if (first == kImageSeparator) {
        if (at + kImageDescriptorBytes > data.size()) {
            return Classified{BlockKind::Image, std::nullopt};
        }
        const std::size_t head = kImageDescriptorBytes + ColourTableBytes(data[at + 9]) + 1;
        return Classified{BlockKind::Image, HeadAndSubBlocks(data, at, head)};
    }
    if (first != kExtensionIntroducer || at + 1 >= data.size()) {
        return std::nullopt;
    }
    switch (data[at + 1]) {
        case 0xF9: {
            const bool fits = at + kGraphicControlBytes <= data.size();
            return Classified{BlockKind::GraphicControl,
                              fits ? std::optional(kGraphicControlBytes) : std::nullopt};
        }
        case 0x01:
            return Classified{BlockKind::PlainText, HeadAndSubBlocks(data, at, kPlainTextHead)};
        case 0xFE:
            return Classified{BlockKind::Comment, HeadAndSubBlocks(data, at, kCommentHead)};
        case 0xFF:
            return Classified{BlockKind::Application, HeadAndSubBlocks(data, at, kApplicationHead)};
        default:
            return std::nullopt;
    }
}

}  // namespace

bool HasGifSignature(std::span<const uint8_t> data) {
    if (data.size() < kHeaderBytes) {
        return false;
    }
    return std::memcmp(data.data(), "GIF87a", kHeaderBytes) == 0 ||
           std::memcmp(data.data(), "GIF89a", kHeaderBytes) == 0;
}

std::optional<LogicalScreen> ReadLogicalScreen(std::span<const uint8_t> data) {
    if (!HasGifSignature(data) || data.size() < kScreenDescriptorEnd) {
        return std::nullopt;
    }
    LogicalScreen screen;
    screen.width = ReadLittle16(data, 6);
    screen.height = ReadLittle16(data, 8);
    screen.globalColourTableBytes = ColourTableBytes(data[10]);
    if (screen.PrefixBytes() > data.size()) {
        return std::nullopt;
    }
    if (screen.globalColourTableBytes > 0) {
        const std::size_t entry = kScreenDescriptorEnd + 3u * data[11];
        if (entry + 3 <= screen.PrefixBytes()) {
            screen.backgroundColour =
                data[entry] | (data[entry + 1] << 8) | (uint32_t{data[entry + 2]} << 16);
        }
    }
    return screen;
}

std::vector<Block> WalkBlocks(std::span<const uint8_t> data, std::size_t offset) {
    std::vector<Block> blocks;
    std::size_t at = offset;
    while (at < data.size()) {
        const auto block = Classify(data, at);
        if (!block || !block->length || at + *block->length > data.size()) {
            break;
        }
        blocks.push_back({block->kind, at, *block->length});
        if (block->kind == BlockKind::Trailer) {
            break;
        }
        at += *block->length;
    }
    return blocks;
}

std::optional<GifLayout> ReadGif(std::span<const uint8_t> data) {
    const auto screen = ReadLogicalScreen(data);
    if (!screen) {
        return std::nullopt;
    }
    GifLayout layout;
    layout.screen = *screen;
    const std::vector<Block> blocks = WalkBlocks(data, screen->PrefixBytes());
    layout.imageCount = std::count_if(blocks.begin(), blocks.end(),
                                      [](const Block& b) { return b.kind == BlockKind::Image; });
    if (layout.imageCount < 2) {
        return layout;  // nothing to animate
    }
    const auto prefix = data.first(screen->PrefixBytes());
    const Block* control = nullptr;  // the graphic control extension of the coming image
    for (const Block& block : blocks) {
        if (block.kind == BlockKind::GraphicControl) {
            control = &block;
            continue;
        }
        if (block.kind != BlockKind::Image) {
            continue;  // comments, application data (loop counts) and plain text are skipped
        }
        FrameBlock frame;
        frame.left = ReadLittle16(data, block.offset + 1);
        frame.top = ReadLittle16(data, block.offset + 3);
        frame.width = ReadLittle16(data, block.offset + 5);
        frame.height = ReadLittle16(data, block.offset + 7);
        if (control) {
            frame.delay = ReadLittle16(data, control->offset + 4);
            frame.disposal = (data[control->offset + 3] >> 2) & 7;
        }
        const std::size_t from = control ? control->offset : block.offset;
        const std::size_t to = block.offset + block.length;
        frame.standalone.reserve(prefix.size() + (to - from) + 1);
        frame.standalone.assign(prefix.begin(), prefix.end());
        frame.standalone.insert(frame.standalone.end(), data.begin() + from, data.begin() + to);
        frame.standalone.push_back(kTrailer);
        layout.frames.push_back(std::move(frame));
        control = nullptr;
    }
    return layout;
}

std::chrono::milliseconds FrameDisplayTime(uint32_t delay) {
    if (delay == kNoDelay || delay < kShortestOwnDelay) {
        return kShortFrameTime;
    }
    return std::chrono::milliseconds(std::chrono::milliseconds::rep{delay} * 10);
}

}  // namespace gif
