#pragma once
// Builds small GIF files for the tests, byte by byte, with any mix of blocks.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gif_test {

struct Control {  // a graphic control extension
    uint16_t delay = 0;
    uint8_t disposal = 0;
    std::optional<uint8_t> transparent;
};

struct Frame {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    std::vector<uint8_t> pixels;  // colour indices, row by row
    std::optional<Control> control;
    std::vector<uint32_t> localColours;       // 0xRRGGBB; empty: none
    std::optional<uint8_t> declaredCodeSize;  // a minimum code size other than the real 8
    std::string commentBefore;                // a comment extension before the frame
};

struct Gif {
    std::string version = "89a";
    uint16_t width = 4;
    uint16_t height = 4;
    std::vector<uint32_t> globalColours;  // 0xRRGGBB, a power of two from 2 to 256; empty: none
    uint8_t backgroundIndex = 0;
    bool loopExtension = false;  // the usual application extension with a loop count
    std::vector<Frame> frames;
    bool trailer = true;
};

// Four colours used by most tests: index 0 white, 1 red, 2 green, 3 blue.
std::vector<uint32_t> FourColours();

std::vector<uint8_t> Build(const Gif& gif);

// `count` pixels of one index.
std::vector<uint8_t> Solid(int count, uint8_t index);

}  // namespace gif_test
