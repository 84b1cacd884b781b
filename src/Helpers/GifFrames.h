// The block structure of a GIF file, walked without decoding a single pixel.
//
// WalkGif reads the signature, the logical screen descriptor and the global colour table, then
// walks the blocks from there: extensions ("!", a label, a chain of sub-blocks), images (",", the
// image descriptor, a local colour table when the descriptor announces one, the code size byte and
// a chain of sub-blocks) and the trailer (";"). A sub-block chain is a run of length bytes each
// followed by that many bytes, ended by a zero length. For every image the walk records where its
// bytes lie, its rectangle, and the delay and disposal method of the graphic control extension
// that precedes it. SingleImageGif then cuts one image out as a GIF of its own (header, screen
// descriptor and global colour table of the source, the blocks from that graphic control extension
// through the image data, the trailer), which any GIF decoder reads as a still picture.
//
// Outside bytes: every length is checked against the end of the data before it is used. A block
// cut short or an unknown introducer ends the walk; the images complete before it are kept (a GIF
// cut off in transfer still plays its whole frames) and `complete` says the trailer was not
// reached. The result holds offsets only, and each image takes at least a dozen bytes of input,
// so its size is bounded by the size of the data. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Norik {

// The disposal methods of a graphic control extension that the player acts on.
inline constexpr int kGifDisposeToBackground = 2;
inline constexpr int kGifDisposeToPrevious = 3;

struct GifImage {
    std::size_t begin = 0;  // first byte: its graphic control extension, or else its image descriptor
    std::size_t end = 0;    // one past the zero length that ends its image data
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool hasControl = false;  // a graphic control extension came before it
    int delay = 0;            // hundredths of a second; 0 without a graphic control extension
    int disposal = 0;         // bits 2-4 of the extension's packed byte; 0 without one
};

struct GifStructure {
    bool isGif = false;  // the data starts with "GIF" (the version that follows is not examined)
    int width = 0;       // logical screen size
    int height = 0;
    std::size_t headerSize = 0;  // signature, screen descriptor and global colour table
    std::vector<GifImage> images;
    bool complete = false;  // the walk reached the trailer
};

GifStructure WalkGif(std::string_view data);

// The image `index` of a walked GIF as a GIF of its own; empty when index is out of range.
std::string SingleImageGif(std::string_view data, const GifStructure& gif, std::size_t index);

// How long a frame stays on screen: its delay when it is 5 hundredths or more, else 100 ms (very
// short delays are what old encoders wrote for "as fast as you can", which flickers). A frame
// without a graphic control extension has no delay of its own and also stays 100 ms.
int GifFrameDelayMs(const GifImage& image);

}  // namespace Norik
