#include <gtest/gtest.h>

#include <QTimer>

#include "GifTestWriter.h"
#include "app/PictureEx.h"

using namespace Norik;
using NorikTest::TestGifFrame;
using NorikTest::TestGifWriter;

namespace {

enum : std::uint8_t { kWhite, kRed, kGreen, kBlue };
const std::vector<std::uint32_t> kPalette = {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};

std::vector<std::uint8_t> Filled(int count, std::uint8_t index) { return std::vector<std::uint8_t>(count, index); }

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

QRgb At(const CPictureEx& picture, int x, int y) { return picture.Canvas().pixel(x, y) | 0xFF000000u; }

TEST(PictureEx, OneImageIsAStillPictureWithoutTimer) {
    CPictureEx picture;
    std::string gif = TestGifWriter::Write(3, 2, kPalette, {{.width = 3, .height = 2, .pixels = Filled(6, kGreen)}});
    ASSERT_TRUE(picture.Load(Bytes(gif)));
    picture.Draw();
    EXPECT_EQ(picture.FrameCount(), 1);
    EXPECT_FALSE(picture.IsAnimating());
    EXPECT_EQ(picture.size(), QSize(3, 2));
    EXPECT_EQ(At(picture, 2, 1), qRgb(0, 255, 0));
}

TEST(PictureEx, RefusesWhatHoldsNoPicture) {
    CPictureEx picture;
    EXPECT_FALSE(picture.Load(QByteArray("GIF89a\x04\x00\x04\x00\x00\x00\x00;", 14)));  // no image
    EXPECT_FALSE(picture.Load(QByteArray("not a picture")));
    EXPECT_FALSE(picture.Load(QStringLiteral(":/no/such.gif")));
    // A screen larger than the control accepts, announced by a two-frame GIF.
    std::string huge = TestGifWriter::Write(60000, 60000, kPalette, {{}, {}});
    EXPECT_FALSE(picture.Load(Bytes(huge)));
    EXPECT_EQ(picture.FrameCount(), 0);
}

// Frame 1 covers the left column with disposal 2, frame 2 the right column with disposal 3 and a
// transparent pixel, frame 3 a single pixel; the composed picture after each step shows whether
// each disposal happened, and only when its frame's time was over.
TEST(PictureEx, AppliesDisposalsAsTheFramesAdvance) {
    std::vector<TestGifFrame> frames = {
        {.width = 2, .height = 2, .pixels = Filled(4, kRed), .delay = 2},
        {.width = 1, .height = 2, .pixels = Filled(2, kBlue), .delay = 5, .disposal = 2},
        {.left = 1,
         .width = 1,
         .height = 2,
         .pixels = {kGreen, kWhite},
         .delay = 30,
         .disposal = 3,
         .transparent = kWhite},
        {.left = 1, .top = 1, .width = 1, .height = 1, .pixels = {kBlue}, .control = false},
    };
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(Bytes(TestGifWriter::Write(2, 2, kPalette, frames))));
    ASSERT_EQ(picture.FrameCount(), 4);
    picture.Draw();
    ASSERT_TRUE(picture.IsAnimating());
    auto* timer = picture.findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), green = qRgb(0, 255, 0);
    const QRgb background = picture.palette().color(QPalette::Button).rgb();

    EXPECT_EQ(At(picture, 0, 0), red);
    EXPECT_EQ(timer->interval(), 100);  // 2 hundredths is too short to show

    picture.ShowNextFrame();  // frame 1 over frame 0
    EXPECT_EQ(At(picture, 0, 0), blue);
    EXPECT_EQ(At(picture, 1, 0), red);
    EXPECT_EQ(timer->interval(), 50);

    picture.ShowNextFrame();  // frame 1 gives its column back to the background; frame 2 drawn
    EXPECT_EQ(At(picture, 0, 0), background);
    EXPECT_EQ(At(picture, 1, 0), green);
    EXPECT_EQ(At(picture, 1, 1), red);  // its transparent pixel lets the red show
    EXPECT_EQ(timer->interval(), 300);

    picture.ShowNextFrame();  // frame 2 restores what it covered; frame 3 drawn
    EXPECT_EQ(At(picture, 1, 0), red);
    EXPECT_EQ(At(picture, 1, 1), blue);
    EXPECT_EQ(At(picture, 0, 1), background);
    EXPECT_EQ(timer->interval(), 100);  // no control extension

    picture.ShowNextFrame();  // back to the first frame on a clean background
    EXPECT_EQ(picture.CurrentFrame(), 0);
    EXPECT_EQ(At(picture, 1, 1), red);

    picture.Stop();
    EXPECT_FALSE(picture.IsAnimating());
}

TEST(PictureEx, LeavesOutFramesThatDoNotDecode) {
    std::string gif =
        TestGifWriter::Write(2, 2, kPalette, {{.pixels = {kRed}}, {.pixels = {kGreen}}, {.pixels = {kBlue}}});
    // Spoil the second image's data while its block structure stays whole: its minimum code size
    // byte (after the 10-byte descriptor) becomes 15, which no GIF may have.
    auto firstImage = gif.find(',');
    auto secondImage = gif.find(',', firstImage + 1);
    ASSERT_NE(secondImage, std::string::npos);
    gif[secondImage + 10] = 0x0F;
    CPictureEx picture;
    ASSERT_TRUE(picture.Load(Bytes(gif)));
    EXPECT_EQ(picture.FrameCount(), 2);
}

}  // namespace
