#include <gtest/gtest.h>

#include <QTimer>

#include "GifTestWriter.h"
#include "frame/qt/PictureEx.h"

using namespace Norik;
using NorikTest::WriteTestGif;

namespace {

enum : std::uint8_t { kWhite, kRed, kGreen, kBlue };
const std::vector<std::uint32_t> kPalette = {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};
const QRgb kRgbRed = qRgb(255, 0, 0), kRgbGreen = qRgb(0, 255, 0), kRgbBlue = qRgb(0, 0, 255);

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

QRgb At(const CPictureEx& picture, int x, int y) { return picture.Canvas().pixel(x, y) | 0xFF000000u; }

TEST(PictureEx, OneImageIsAStillPictureAndNonPicturesAreRefused) {
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(
        Bytes(WriteTestGif(3, 2, kPalette, {{.width = 3, .height = 2, .pixels = {0, 0, 0, 0, 0, kGreen}}}))));
    picture.Draw();
    EXPECT_FALSE(picture.IsAnimating());
    EXPECT_EQ(picture.size(), QSize(3, 2));
    EXPECT_EQ(At(picture, 2, 1), kRgbGreen);

    EXPECT_FALSE(picture.Load(QByteArray("GIF89a\x04\x00\x04\x00\x00\x00\x00;", 14)));  // no image
    EXPECT_FALSE(picture.Load(QByteArray("not a picture")));
    EXPECT_FALSE(picture.Load(Bytes(WriteTestGif(60000, 60000, kPalette, {{}, {}}))));  // screen too large
    EXPECT_EQ(picture.FrameCount(), 0);
}

// Delays below 5 hundredths and a frame without control extension play at 100 ms.
// Frame 1 covers the left column with disposal 2, frame 2 the right column with disposal 3 and a
// transparent pixel, frame 3 one pixel without a control extension; the third image is spoilt (a
// minimum code size of 15) and left out. The composed picture after each step shows which
// disposals happened.
TEST(PictureEx, PlaysFramesWithTheirDelaysAndDisposals) {
    std::string gif = WriteTestGif(2, 2, kPalette,
                                   {{.width = 2, .height = 2, .pixels = {kRed, kRed, kRed, kRed}, .delay = 2},
                                    {.width = 1, .height = 2, .pixels = {kBlue, kBlue}, .delay = 5, .disposal = 2},
                                    {.pixels = {kBlue}},
                                    {.left = 1,
                                     .width = 1,
                                     .height = 2,
                                     .pixels = {kGreen, kWhite},
                                     .delay = 30,
                                     .disposal = 3,
                                     .transparent = kWhite},
                                    {.left = 1, .top = 1, .pixels = {kBlue}, .control = false}});
    std::size_t third = gif.find(',', gif.find(',', gif.find(',') + 1) + 1);
    gif[third + 10] = 15;
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(Bytes(gif)));
    ASSERT_EQ(picture.FrameCount(), 4);
    picture.Draw();
    auto* timer = picture.findChild<QTimer*>();
    ASSERT_TRUE(timer && picture.IsAnimating());
    const QRgb background = picture.palette().color(QPalette::Button).rgb();

    EXPECT_EQ(At(picture, 0, 0), kRgbRed);
    EXPECT_EQ(timer->interval(), 100);  // 2 hundredths is too short to show
    picture.ShowNextFrame();
    EXPECT_EQ(At(picture, 0, 0), kRgbBlue);
    EXPECT_EQ(At(picture, 1, 0), kRgbRed);
    EXPECT_EQ(timer->interval(), 50);
    picture.ShowNextFrame();  // disposal 2 gives the column back to the background
    EXPECT_EQ(At(picture, 0, 0), background);
    EXPECT_EQ(At(picture, 1, 0), kRgbGreen);
    EXPECT_EQ(At(picture, 1, 1), kRgbRed);  // through the transparent pixel
    EXPECT_EQ(timer->interval(), 300);
    picture.ShowNextFrame();  // disposal 3 restores what the frame covered
    EXPECT_EQ(At(picture, 1, 0), kRgbRed);
    EXPECT_EQ(At(picture, 1, 1), kRgbBlue);
    EXPECT_EQ(timer->interval(), 100);
    picture.ShowNextFrame();  // the first frame again, on a clean background
    EXPECT_EQ(picture.CurrentFrame(), 0);
    EXPECT_EQ(At(picture, 1, 1), kRgbRed);
    picture.Stop();
    EXPECT_FALSE(picture.IsAnimating());
}

}  // namespace
