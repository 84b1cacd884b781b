#include <gtest/gtest.h>

#include "GifTestWriter.h"
#include "Helpers/GifFrames.h"

using namespace Norik;
using NorikTest::TestGifFrame;
using NorikTest::TestGifWriter;

namespace {

const std::vector<std::uint32_t> kPalette = {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};

// Three frames: full screen, a corner with disposal 2 behind a comment, a corner with no control.
std::string ThreeFrames() {
    TestGifFrame full{.width = 8, .height = 6, .delay = 7, .disposal = 1};
    TestGifFrame corner{.left = 2,
                        .top = 3,
                        .width = 4,
                        .height = 2,
                        .delay = 3,
                        .disposal = 2,
                        .before = std::string("\x21\xFE\x02hi\x00", 6)};
    TestGifFrame bare{.left = 1, .top = 1, .width = 2, .height = 2, .control = false};
    return TestGifWriter::Write(8, 6, kPalette, {full, corner, bare});
}

TEST(GifWalk, FindsEveryImageWithItsRectangleDelayAndDisposal) {
    std::string gif = ThreeFrames();
    GifStructure s = WalkGif(gif);
    ASSERT_TRUE(s.isGif);
    EXPECT_TRUE(s.complete);
    EXPECT_EQ(s.width, 8);
    EXPECT_EQ(s.height, 6);
    EXPECT_EQ(s.headerSize, 13u + 12u);
    ASSERT_EQ(s.images.size(), 3u);

    EXPECT_TRUE(s.images[0].hasControl);
    EXPECT_EQ(s.images[0].delay, 7);
    EXPECT_EQ(s.images[0].disposal, 1);
    EXPECT_EQ(s.images[0].begin, s.headerSize);  // its control extension starts right after the header

    const GifImage& corner = s.images[1];
    EXPECT_EQ(corner.left, 2);
    EXPECT_EQ(corner.top, 3);
    EXPECT_EQ(corner.width, 4);
    EXPECT_EQ(corner.height, 2);
    EXPECT_EQ(corner.delay, 3);
    EXPECT_EQ(corner.disposal, kGifDisposeToBackground);
    EXPECT_EQ(gif[corner.begin], '\x21');  // begins at the control extension, before the comment
    EXPECT_EQ(corner.begin, s.images[0].end);

    const GifImage& bare = s.images[2];
    EXPECT_FALSE(bare.hasControl);
    EXPECT_EQ(bare.disposal, 0);
    EXPECT_EQ(gif[bare.begin], ',');
    EXPECT_EQ(bare.end + 1, gif.size());  // only the trailer follows
}

TEST(GifWalk, CutsOneImageIntoAGifOfItsOwn) {
    std::string gif = ThreeFrames();
    GifStructure s = WalkGif(gif);
    ASSERT_EQ(s.images.size(), 3u);
    std::string single = SingleImageGif(gif, s, 1);
    const GifImage& corner = s.images[1];
    EXPECT_EQ(single, gif.substr(0, s.headerSize) + gif.substr(corner.begin, corner.end - corner.begin) + ";");

    GifStructure again = WalkGif(single);
    EXPECT_TRUE(again.complete);
    ASSERT_EQ(again.images.size(), 1u);
    EXPECT_EQ(again.images[0].delay, 3);
    EXPECT_EQ(again.images[0].disposal, kGifDisposeToBackground);
    EXPECT_EQ(again.images[0].left, 2);
    EXPECT_TRUE(SingleImageGif(gif, s, 3).empty());
}

TEST(GifWalk, ShortDelaysPlayAtOneHundredMilliseconds) {
    struct Case {
        bool control;
        int delay;
        int ms;
    };
    for (Case c : {Case{true, 0, 100}, Case{true, 4, 100}, Case{true, 5, 50}, Case{true, 10, 100}, Case{true, 25, 250},
                   Case{false, 0, 100}}) {
        GifImage image;
        image.hasControl = c.control;
        image.delay = c.delay;
        EXPECT_EQ(GifFrameDelayMs(image), c.ms) << c.delay;
    }
}

// Damaged data never reads past the end and keeps exactly the images that were whole.
TEST(GifWalk, DamagedDataKeepsTheWholeImagesBeforeTheDamage) {
    std::string gif = ThreeFrames();
    GifStructure sound = WalkGif(gif);
    ASSERT_EQ(sound.images.size(), 3u);
    const std::size_t secondEnd = sound.images[1].end;

    struct Case {
        const char* what;
        std::string data;
        bool isGif;
        std::size_t images;
    };
    std::string badIntroducer = gif;
    badIntroducer[secondEnd] = 'x';
    std::string lyingChain = gif.substr(0, sound.images[0].end - 1) + "\xF0";  // a sub-block past the end
    std::string hugeTable = gif.substr(0, 10) + "\xFF" + gif.substr(11, 10);   // 768-byte table announced
    for (const Case& c : {
             Case{"not a GIF", "PNG\x89 whatever", false, 0},
             Case{"signature only", "GIF89a", true, 0},
             Case{"cut in the third image", gif.substr(0, secondEnd + 5), true, 2},
             Case{"cut just before the trailer", gif.substr(0, gif.size() - 1), true, 3},
             Case{"unknown introducer", badIntroducer, true, 2},
             Case{"sub-block longer than the data", lyingChain, true, 0},
             Case{"colour table longer than the data", hugeTable, true, 0},
         }) {
        GifStructure s = WalkGif(c.data);
        EXPECT_EQ(s.isGif, c.isGif) << c.what;
        EXPECT_EQ(s.images.size(), c.images) << c.what;
        EXPECT_FALSE(s.complete) << c.what;
        for (const GifImage& image : s.images) EXPECT_LE(image.end, c.data.size()) << c.what;
    }
}

}  // namespace
