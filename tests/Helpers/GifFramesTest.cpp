#include <gtest/gtest.h>

#include "GifTestWriter.h"
#include "Helpers/GifFrames.h"

using namespace Norik;
using NorikTest::TestGifFrame;

namespace {

// Full screen; a corner with disposal 2 and a comment after its control extension; no control.
std::string ThreeFrames() {
    return NorikTest::WriteTestGif(8, 6, {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF},
                                   {{.width = 8, .height = 6, .delay = 7, .disposal = 1},
                                    {.left = 2,
                                     .top = 3,
                                     .width = 4,
                                     .height = 2,
                                     .delay = 3,
                                     .disposal = 2,
                                     .before = std::string("\x21\xFE\x02hi\x00", 6)},
                                    {.left = 1, .top = 1, .width = 2, .height = 2, .control = false}});
}

TEST(GifWalk, FindsEveryImageAndCutsItOut) {
    std::string gif = ThreeFrames();
    GifStructure s = WalkGif(gif);
    ASSERT_TRUE(s.isGif && s.complete);
    EXPECT_EQ(s.width, 8);
    EXPECT_EQ(s.height, 6);
    EXPECT_EQ(s.headerSize, 13u + 12u);
    ASSERT_EQ(s.images.size(), 3u);
    EXPECT_EQ(s.images[0].begin, s.headerSize);
    EXPECT_EQ(s.images[0].delay, 7);

    const GifImage& corner = s.images[1];
    EXPECT_EQ((std::vector<int>{corner.left, corner.top, corner.width, corner.height, corner.delay, corner.disposal}),
              (std::vector<int>{2, 3, 4, 2, 3, kGifDisposeToBackground}));
    EXPECT_EQ(corner.begin, s.images[0].end);  // from its control extension on, comment included
    EXPECT_EQ(SingleImageGif(gif, s, 1),
              gif.substr(0, s.headerSize) + gif.substr(corner.begin, corner.end - corner.begin) + ";");

    const GifImage& bare = s.images[2];
    EXPECT_FALSE(bare.hasControl);
    EXPECT_EQ(gif[bare.begin], ',');
    EXPECT_EQ(bare.end + 1, gif.size());
}

// Damaged data never reads past the end and keeps exactly the images that were whole before it.
TEST(GifWalk, DamageKeepsTheWholeImagesBeforeIt) {
    std::string gif = ThreeFrames();
    GifStructure sound = WalkGif(gif);
    std::string badIntroducer = gif;
    badIntroducer[sound.images[1].end] = 'x';
    struct Case {
        const char* what;
        std::string data;
        std::size_t images;
    };
    for (const Case& c : {
             Case{"signature only", "GIF89a", 0},
             Case{"cut in the third image", gif.substr(0, sound.images[1].end + 5), 2},
             Case{"no trailer", gif.substr(0, gif.size() - 1), 3},
             Case{"unknown introducer", badIntroducer, 2},
             Case{"sub-block past the end", gif.substr(0, sound.images[0].end - 1) + "\xF0", 0},
             Case{"colour table past the end", gif.substr(0, 10) + "\xFF" + gif.substr(11, 10), 0},
         }) {
        GifStructure s = WalkGif(c.data);
        EXPECT_EQ(s.images.size(), c.images) << c.what;
        EXPECT_FALSE(s.complete) << c.what;
        for (const GifImage& image : s.images) EXPECT_LE(image.end, c.data.size()) << c.what;
    }
    EXPECT_FALSE(WalkGif("\x89PNG").isGif);
}

}  // namespace
