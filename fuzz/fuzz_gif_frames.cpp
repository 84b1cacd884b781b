// libFuzzer target: the GIF block walker on arbitrary bytes, and the cutting of every image it
// finds into a GIF of its own, which must walk again as exactly that one image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Helpers/GifFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Norik::GifStructure gif = Norik::WalkGif(bytes);
    for (std::size_t i = 0; i < gif.images.size(); ++i) {
        const Norik::GifImage& image = gif.images[i];
        if (image.begin < gif.headerSize || image.end <= image.begin || image.end > size) std::abort();
        std::string single = Norik::SingleImageGif(bytes, gif, i);
        Norik::GifStructure again = Norik::WalkGif(single);
        if (again.images.size() != 1 || !again.complete || again.images[0].width != image.width ||
            again.images[0].delay != image.delay || again.images[0].disposal != image.disposal) {
            std::abort();
        }
    }
    return 0;
}
