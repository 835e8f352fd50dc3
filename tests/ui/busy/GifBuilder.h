#pragma once
// Small GIF files built byte by byte; colour indices 0 white, 1 red, 2 green, 3 blue.
#include <cstdint>
#include <optional>
#include <vector>

namespace gif_test {

struct Control {  // a graphic control extension
    uint16_t delay = 0;
    uint8_t disposal = 0;
    std::optional<uint8_t> transparent = std::nullopt;
};

struct Frame {
    uint16_t place[4];            // left, top, width, height
    std::vector<uint8_t> pixels;  // colour indices, row by row; one index fills the frame
    std::optional<Control> control = std::nullopt;
    bool localColours = false;
    uint8_t codeSize = 8;              // the minimum code size declared; the data is written for 8
    std::vector<uint8_t> before = {};  // raw blocks written before the frame's own
};

inline void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.insert(out.end(), {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)});
}

constexpr uint8_t kColours[] = {255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255};

// Image data of literal 9-bit codes only, a clear code first: fine up to 253 pixels.
inline void PutImageData(std::vector<uint8_t>& out, const std::vector<uint8_t>& pixels) {
    std::vector<uint8_t> lzw;
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t code) {
        for (bits |= code << count, count += 9; count >= 8; bits >>= 8, count -= 8)
            lzw.push_back(bits & 0xFF);
    };
    put(256);
    for (uint8_t pixel : pixels) put(pixel);
    put(257);
    if (count > 0) lzw.push_back(bits & 0xFF);
    out.push_back(static_cast<uint8_t>(lzw.size()));  // one sub-block, then the terminator
    out.insert(out.end(), lzw.begin(), lzw.end());
    out.push_back(0);
}

// A file with a four-colour global table and these frames.
inline std::vector<uint8_t> Build(const std::vector<Frame>& frames, uint16_t width = 4,
                                  uint16_t height = 4, uint8_t backgroundIndex = 0) {
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    for (uint16_t v : {width, height}) Put16(out, v);
    out.insert(out.end(), {0xF1, backgroundIndex, 0});  // a global table of 4 colours
    out.insert(out.end(), std::begin(kColours), std::end(kColours));
    for (const Frame& f : frames) {
        out.insert(out.end(), f.before.begin(), f.before.end());
        if (const auto& c = f.control) {
            const auto packed = static_cast<uint8_t>((c->disposal & 7) << 2 | !!c->transparent);
            out.insert(out.end(), {0x21, 0xF9, 0x04, packed});
            Put16(out, c->delay);
            out.insert(out.end(), {c->transparent.value_or(0), 0});
        }
        out.push_back(0x2C);
        for (uint16_t v : f.place) Put16(out, v);
        out.push_back(f.localColours ? 0x81 : 0);
        if (f.localColours) out.insert(out.end(), std::begin(kColours), std::end(kColours));
        out.push_back(f.codeSize);
        const auto& [left, top, width, height] = f.place;
        PutImageData(out,
                     f.pixels.size() == 1 ? std::vector(width * height, f.pixels[0]) : f.pixels);
    }
    out.push_back(0x3B);
    return out;
}

}  // namespace gif_test
