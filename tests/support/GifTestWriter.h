// A small GIF writer for tests: frames of palette indices, each optionally with a graphic control
// extension, encoded as valid LZW that any decoder reads (literal codes only, the table reset
// before its codes would widen), so tests can make exactly the GIF a case needs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace NorikTest {

struct TestGifFrame {
    int left = 0;
    int top = 0;
    int width = 1;
    int height = 1;
    std::vector<std::uint8_t> pixels;  // width * height palette indices; empty: all index 0
    bool control = true;               // write a graphic control extension before the image
    int delay = 10;                    // hundredths of a second
    int disposal = 0;
    int transparent = -1;  // palette index shown as transparent, or -1
    std::string before;    // raw blocks written between the control extension and the image
};

class TestGifWriter {
public:
    // palette: 0xRRGGBB colours, padded to a power of two (at least 2).
    static std::string Write(int width, int height, std::vector<std::uint32_t> palette,
                             const std::vector<TestGifFrame>& frames) {
        std::string out = "GIF89a";
        Word(out, width);
        Word(out, height);
        int bits = 1;
        while ((1u << bits) < palette.size()) ++bits;
        palette.resize(std::size_t{1} << bits, 0);
        out.push_back(static_cast<char>(0x80 | (bits - 1)));
        out.push_back(0);  // background colour index
        out.push_back(0);  // aspect ratio
        for (std::uint32_t c : palette) {
            out.push_back(static_cast<char>(c >> 16));
            out.push_back(static_cast<char>(c >> 8));
            out.push_back(static_cast<char>(c));
        }
        for (const TestGifFrame& f : frames) {
            if (f.control) {
                out += std::string("\x21\xF9\x04", 3);
                out.push_back(static_cast<char>((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0)));
                Word(out, f.delay);
                out.push_back(static_cast<char>(f.transparent >= 0 ? f.transparent : 0));
                out.push_back(0);
            }
            out += f.before;
            out.push_back(0x2C);
            Word(out, f.left);
            Word(out, f.top);
            Word(out, f.width);
            Word(out, f.height);
            out.push_back(0);  // no local colour table, not interlaced
            std::vector<std::uint8_t> pixels = f.pixels;
            pixels.resize(static_cast<std::size_t>(f.width) * f.height, 0);
            Lzw(out, pixels);
        }
        out.push_back(0x3B);
        return out;
    }

private:
    static void Word(std::string& out, int v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>((v >> 8) & 0xFF));
    }

    // Minimum code size 8, so codes are 9 bits wide; a clear code every 254 literals keeps the
    // decoder's table from reaching 512 entries, where codes would widen.
    static void Lzw(std::string& out, const std::vector<std::uint8_t>& pixels) {
        constexpr unsigned kClear = 256, kEnd = 257;
        std::string data;
        unsigned long long buffer = 0;
        int filled = 0;
        auto put = [&](unsigned code) {
            buffer |= static_cast<unsigned long long>(code) << filled;
            filled += 9;
            while (filled >= 8) {
                data.push_back(static_cast<char>(buffer & 0xFF));
                buffer >>= 8;
                filled -= 8;
            }
        };
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (i % 254 == 0) put(kClear);
            put(pixels[i]);
        }
        put(kEnd);
        if (filled > 0) data.push_back(static_cast<char>(buffer & 0xFF));
        out.push_back(8);
        for (std::size_t at = 0; at < data.size(); at += 255) {
            std::size_t n = std::min<std::size_t>(255, data.size() - at);
            out.push_back(static_cast<char>(n));
            out.append(data, at, n);
        }
        out.push_back(0);
    }
};

}  // namespace NorikTest
