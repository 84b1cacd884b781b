#include "Helpers/GifFrames.h"

#include <optional>

namespace Norik {

namespace {

constexpr std::size_t kSignatureSize = 6;
constexpr std::size_t kScreenDescriptorSize = 7;
constexpr std::size_t kImageDescriptorSize = 9;  // after the "," introducer
constexpr unsigned char kExtensionIntroducer = 0x21;
constexpr unsigned char kImageIntroducer = 0x2C;
constexpr unsigned char kTrailer = 0x3B;
constexpr unsigned char kGraphicControlLabel = 0xF9;

unsigned Byte(std::string_view data, std::size_t at) { return static_cast<unsigned char>(data[at]); }

int Word(std::string_view data, std::size_t at) { return static_cast<int>(Byte(data, at) | (Byte(data, at + 1) << 8)); }

// Size in bytes of a colour table announced by a packed byte (bit 7 set, bits 0-2 the size).
std::size_t ColourTableSize(unsigned packed) { return (packed & 0x80) ? 3u * (std::size_t{2} << (packed & 0x07)) : 0; }

// Skips a chain of sub-blocks starting at `at`; the offset just past its zero length, or nothing
// when the chain runs past the end of the data.
std::optional<std::size_t> SkipSubBlocks(std::string_view data, std::size_t at) {
    while (at < data.size()) {
        std::size_t length = Byte(data, at);
        ++at;
        if (length == 0) return at;
        if (length > data.size() - at) return std::nullopt;
        at += length;
    }
    return std::nullopt;
}

}  // namespace

GifStructure WalkGif(std::string_view data) {
    GifStructure gif;
    if (data.size() < 3 || data.substr(0, 3) != "GIF") return gif;
    gif.isGif = true;
    if (data.size() < kSignatureSize + kScreenDescriptorSize) return gif;
    gif.width = Word(data, kSignatureSize);
    gif.height = Word(data, kSignatureSize + 2);
    std::size_t at = kSignatureSize + kScreenDescriptorSize;
    std::size_t globalTable = ColourTableSize(Byte(data, kSignatureSize + 4));
    if (globalTable > data.size() - at) return gif;
    at += globalTable;
    gif.headerSize = at;

    // The graphic control extension waiting for the next image; a second one before an image
    // replaces the first.
    std::optional<GifImage> control;
    while (at < data.size()) {
        unsigned introducer = Byte(data, at);
        if (introducer == kTrailer) {
            gif.complete = true;
            break;
        }
        if (introducer == kExtensionIntroducer) {
            if (data.size() - at < 2) break;
            std::size_t start = at;
            unsigned label = Byte(data, at + 1);
            auto next = SkipSubBlocks(data, at + 2);
            if (!next) break;
            // A graphic control extension carries one sub-block of four bytes: packed byte, delay
            // (16-bit), transparent colour index. One with a shorter first sub-block carries no
            // usable values and is passed over like any other extension.
            if (label == kGraphicControlLabel && Byte(data, at + 2) >= 4) {
                GifImage pending;
                pending.begin = start;
                pending.hasControl = true;
                pending.disposal = static_cast<int>((Byte(data, at + 3) >> 2) & 0x07);
                pending.delay = Word(data, at + 4);
                control = pending;
            }
            at = *next;
            continue;
        }
        if (introducer == kImageIntroducer) {
            std::size_t start = at;
            if (data.size() - at < 1 + kImageDescriptorSize) break;
            GifImage image = control.value_or(GifImage{});
            if (!control) image.begin = start;
            image.left = Word(data, at + 1);
            image.top = Word(data, at + 3);
            image.width = Word(data, at + 5);
            image.height = Word(data, at + 7);
            std::size_t localTable = ColourTableSize(Byte(data, at + 9));
            at += 1 + kImageDescriptorSize;
            if (localTable > data.size() - at) break;
            at += localTable;
            if (at >= data.size()) break;  // the code size byte
            auto next = SkipSubBlocks(data, at + 1);
            if (!next) break;
            image.end = *next;
            gif.images.push_back(image);
            control.reset();
            at = *next;
            continue;
        }
        break;  // not a block of a GIF: stop with what was read whole
    }
    return gif;
}

std::string SingleImageGif(std::string_view data, const GifStructure& gif, std::size_t index) {
    if (index >= gif.images.size()) return {};
    const GifImage& image = gif.images[index];
    std::string single;
    single.reserve(gif.headerSize + (image.end - image.begin) + 1);
    single.append(data.substr(0, gif.headerSize));
    single.append(data.substr(image.begin, image.end - image.begin));
    single.push_back(static_cast<char>(kTrailer));
    return single;
}

int GifFrameDelayMs(const GifImage& image) {
    if (!image.hasControl || image.delay < 5) return 100;
    return image.delay * 10;
}

}  // namespace Norik
