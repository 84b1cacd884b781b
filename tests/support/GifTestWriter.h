// A GIF writer for tests: frames of palette indices, each with or without a graphic control
// extension. The LZW data holds literal codes only, with a clear code before the decoder's table
// would widen its 9-bit codes, so every decoder reads it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace NorikTest {

struct TestGifFrame {
    int left = 0, top = 0, width = 1, height = 1;
    std::vector<std::uint8_t> pixels;  // palette indices; missing ones are 0
    bool control = true;
    int delay = 10, disposal = 0, transparent = -1;
    std::string before;  // raw blocks between the control extension and the image
};

// palette: 0xRRGGBB colours, at most 256, padded to a power of two.
inline std::string WriteTestGif(int width, int height, std::vector<std::uint32_t> palette,
                                const std::vector<TestGifFrame>& frames) {
    std::string out = "GIF89a";
    auto word = [&](int v) { out += {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; };
    word(width);
    word(height);
    int bits = 1;
    while ((1u << bits) < palette.size()) ++bits;
    palette.resize(std::size_t{1} << bits, 0);
    out += {static_cast<char>(0x80 | (bits - 1)), 0, 0};
    for (std::uint32_t c : palette) out += {char(c >> 16), char(c >> 8), char(c)};
    for (const TestGifFrame& f : frames) {
        if (f.control) {
            out += {'\x21', '\xF9', 4, static_cast<char>((f.disposal << 2) | (f.transparent >= 0))};
            word(f.delay);
            out += {static_cast<char>(std::max(f.transparent, 0)), 0};
        }
        out += f.before + ',';
        for (int v : {f.left, f.top, f.width, f.height}) word(v);
        out += {0, 8};  // no local colour table; minimum code size 8
        std::vector<std::uint8_t> pixels = f.pixels;
        pixels.resize(static_cast<std::size_t>(f.width) * f.height, 0);
        std::string data;
        unsigned long long buffer = 0;
        int filled = 0;
        auto put = [&](unsigned code) {
            buffer |= static_cast<unsigned long long>(code) << filled;
            for (filled += 9; filled >= 8; filled -= 8, buffer >>= 8) data.push_back(static_cast<char>(buffer));
        };
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (i % 254 == 0) put(256);  // clear
            put(pixels[i]);
        }
        put(257);  // end of information
        if (filled > 0) data.push_back(static_cast<char>(buffer));
        for (std::size_t at = 0; at < data.size(); at += 255) {
            std::size_t n = std::min<std::size_t>(255, data.size() - at);
            out += static_cast<char>(n) + data.substr(at, n);
        }
        out += '\0';
    }
    return out + ';';
}

}  // namespace NorikTest
