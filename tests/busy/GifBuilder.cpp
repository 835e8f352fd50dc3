#include "GifBuilder.h"

#include <bit>

namespace gif_test {
namespace {

constexpr int kCodeSize = 8;  // minimum code size of the image data written here

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(value & 0xFF);
    out.push_back(value >> 8);
}

// Packed-byte bits of a colour table (0x80 | size bits), 0 when there is none.
uint8_t TableBits(const std::vector<uint32_t>& colours) {
    if (colours.empty()) {
        return 0;
    }
    const int bits = std::bit_width(colours.size()) - 1;  // 2^bits entries
    return static_cast<uint8_t>(0x80 | (bits - 1));
}

void PutColours(std::vector<uint8_t>& out, const std::vector<uint32_t>& colours) {
    for (uint32_t rgb : colours) {
        out.push_back((rgb >> 16) & 0xFF);
        out.push_back((rgb >> 8) & 0xFF);
        out.push_back(rgb & 0xFF);
    }
}

void PutSubBlocks(std::vector<uint8_t>& out, const std::vector<uint8_t>& data) {
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t size = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<uint8_t>(size));
        out.insert(out.end(), data.begin() + at, data.begin() + at + size);
    }
    out.push_back(0);
}

// LZW data that only ever uses literal codes: a clear code often enough keeps the code width
// at 9 bits, which any decoder reads.
std::vector<uint8_t> LiteralLzw(const std::vector<uint8_t>& pixels) {
    const uint32_t clear = 1u << kCodeSize;
    const uint32_t end = clear + 1;
    const int width = kCodeSize + 1;
    const std::size_t run = clear - 3;  // literals between clear codes
    std::vector<uint8_t> out;
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t code) {
        bits |= code << count;
        count += width;
        while (count >= 8) {
            out.push_back(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    };
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i % run == 0) {
            put(clear);
        }
        put(pixels[i]);
    }
    put(end);
    if (count > 0) {
        out.push_back(bits & 0xFF);
    }
    return out;
}

void PutFrame(std::vector<uint8_t>& out, const Frame& frame) {
    if (!frame.commentBefore.empty()) {
        out.insert(out.end(), {0x21, 0xFE});
        PutSubBlocks(out,
                     std::vector<uint8_t>(frame.commentBefore.begin(), frame.commentBefore.end()));
    }
    if (frame.control) {
        const Control& c = *frame.control;
        out.insert(out.end(), {0x21, 0xF9, 0x04});
        out.push_back(static_cast<uint8_t>((c.disposal & 7) << 2 | (c.transparent ? 1 : 0)));
        Put16(out, c.delay);
        out.push_back(c.transparent.value_or(0));
        out.push_back(0);
    }
    out.push_back(0x2C);
    Put16(out, frame.left);
    Put16(out, frame.top);
    Put16(out, frame.width);
    Put16(out, frame.height);
    out.push_back(TableBits(frame.localColours));
    PutColours(out, frame.localColours);
    out.push_back(frame.declaredCodeSize.value_or(kCodeSize));
    PutSubBlocks(out, LiteralLzw(frame.pixels));
}

}  // namespace

std::vector<uint32_t> FourColours() {
    return {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};
}

std::vector<uint8_t> Solid(int count, uint8_t index) {
    return std::vector<uint8_t>(static_cast<std::size_t>(count), index);
}

std::vector<uint8_t> Build(const Gif& gif) {
    std::vector<uint8_t> out;
    const std::string header = "GIF" + gif.version;
    out.insert(out.end(), header.begin(), header.end());
    Put16(out, gif.width);
    Put16(out, gif.height);
    out.push_back(static_cast<uint8_t>(TableBits(gif.globalColours) | 0x70));  // 8-bit colour
    out.push_back(gif.backgroundIndex);
    out.push_back(0);  // aspect ratio
    PutColours(out, gif.globalColours);
    if (gif.loopExtension) {
        const std::string id = "NETSCAPE2.0";
        out.insert(out.end(), {0x21, 0xFF, 0x0B});
        out.insert(out.end(), id.begin(), id.end());
        out.insert(out.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
    }
    for (const Frame& frame : gif.frames) {
        PutFrame(out, frame);
    }
    if (gif.trailer) {
        out.push_back(0x3B);
    }
    return out;
}

}  // namespace gif_test
