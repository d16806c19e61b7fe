#include "SkinTestSupport.h"

#include "platform/Debug.h"
#include "skin/ArgbBitmap.h"

#include <random>

using skin::TStripeSkinner;

namespace {

TEST(Stripe, HeightNormalisation) {
    const std::pair<int, int> table[] = {{1, 1},     {15, 15},   {16, 16}, {23, 16},  {24, 24},
                                         {31, 24},   {32, 32},   {47, 32}, {48, 48},  {63, 48},
                                         {64, 64},   {79, 64},   {80, 80}, {100, 100}, {127, 127},
                                         {128, 128}, {500, 128}};
    for (const auto& [height, expected] : table)
        EXPECT_EQ(TStripeSkinner::NormalisedHeight(height), expected) << height;
}

TEST(Stripe, CellCountAndCropping) {
    TempProgramFolder folder;
    const auto bandPixel = [](uint32_t, uint32_t y) { return y < 64 ? 0xFF112233u : 0xFFFF0000u; };
    folder.Write("s64.png", StripePng(16384, 64, bandPixel));
    folder.Write("s70.png", StripePng(16384, 70, bandPixel));
    folder.Write("s100.png", StripePng(1000, 100, [](uint32_t x, uint32_t) {
                     return x < 64 ? 0xFF000000u : x < 128 ? 0xFF00FF00u : 0xFF0000FFu;
                 }));

    for (const char* name : {"s64.png", "s70.png"}) {
        TStripeSkinner stripe;
        stripe.LoadFromStripeFile(folder.Windows(name));
        EXPECT_EQ(stripe.ImageSize(), 64) << name;
        EXPECT_EQ(stripe.Images(), 256) << name;
        EXPECT_EQ(stripe.Bitmap().Width(), 16384);
        EXPECT_EQ(stripe.Bitmap().Height(), 64); // rows 64..69 of s70 dropped
        EXPECT_EQ(stripe.Bitmap().Pixel(5, 63), 0xFF112233u);
    }

    // H stays 100 and counts cells by it, while cells are still cut at the 64-pixel pitch.
    TStripeSkinner tall;
    tall.LoadFromStripeFile(folder.Windows("s100.png"));
    EXPECT_EQ(tall.ImageSize(), 100);
    EXPECT_EQ(tall.Images(), 10);
    const auto cell1 = tall.GetOnePngImage(64, 1, false, 1.0f);
    const uint8_t* p = cell1->Pixel(10, 10);
    EXPECT_EQ(p[1], 255); // x 64..127 is green
    EXPECT_EQ(p[2], 0);
}

class StripeCells : public ::testing::Test {
protected:
    void SetUp() override {
        // Cell 0 random opaque noise, cell 1 the semi-transparent pixel, cell 2 flat blue, cell 3
        // flat red: enough to see copies, neighbours and rounding.
        std::mt19937 rng(7);
        std::vector<uint32_t> noise(64 * 64);
        for (uint32_t& v : noise)
            v = 0xFF000000u | (rng() & 0xFFFFFF);
        noise_ = noise;
        folder_.Write("skins/stripe.png", StripePng(4 * 64, 64, [&](uint32_t x, uint32_t y) {
                          switch (x / 64) {
                          case 0: return noise[y * 64 + x];
                          case 1: return (128u << 24) | (200u << 16) | (100u << 8) | 50u;
                          case 2: return 0xFF0000FFu;
                          default: return x == 254 && y == 0 ? 0x65FF0000u : 0xFFFF0000u;
                          }
                      }));
        stripe_.LoadFromStripeFile(folder_.Windows("skins/stripe.png"));
        stripe_.ErrorIndex = 1;
    }

    TempProgramFolder folder_;
    std::vector<uint32_t> noise_;
    TStripeSkinner stripe_;
};

TEST_F(StripeCells, OverRuleAndOneToOneCopy) {
    // (200, 100, 50) at alpha 128 is held as (100, 50, 25) and handed on unchanged.
    EXPECT_EQ(stripe_.Bitmap().Pixel(70, 5), (128u << 24) | (100u << 16) | (50u << 8) | 25u);
    const auto semi = stripe_.GetOnePngImage(64, 1, false, 1.0f);
    const uint8_t* p = semi->Pixel(20, 30);
    EXPECT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}), (std::array<int, 4>{100, 50, 25, 128}));

    // At 64 pixels the 63 x 63 source pixels are copied one to one; the last row and column
    // stay transparent.
    const auto copy = stripe_.GetOnePngImage(64, 0, false, 1.0f);
    ASSERT_EQ(copy->Width(), 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const uint8_t* q = copy->Pixel(x, y);
            if (x == 63 || y == 63) {
                ASSERT_EQ(q[3], 0) << x << "," << y;
                continue;
            }
            const uint32_t want = noise_[size_t(y) * 64 + size_t(x)];
            ASSERT_EQ(q[0], (want >> 16) & 0xFF) << x << "," << y;
            ASSERT_EQ(q[1], (want >> 8) & 0xFF);
            ASSERT_EQ(q[2], want & 0xFF);
            ASSERT_EQ(q[3], 255);
        }
}

TEST_F(StripeCells, ScaledCellsKeepFlatColourAndDoNotBleed) {
    for (int size : {16, 24, 32, 48, 100}) {
        const auto img = stripe_.GetOnePngImage(size, 2, false, 1.0f);
        ASSERT_EQ(img->Width(), size);
        for (int y = 0; y < size - 1; ++y)
            for (int x = 0; x < size - 1; ++x) {
                const uint8_t* q = img->Pixel(x, y);
                ASSERT_EQ((std::array<int, 4>{q[0], q[1], q[2], q[3]}),
                          (std::array<int, 4>{0, 0, 255, 255}))
                    << size << " at " << x << "," << y;
            }
        EXPECT_EQ(img->Pixel(size - 1, 0)[3], 0);
    }
}

TEST_F(StripeCells, OutOfRangeIndexDrawsErrorCell) {
    platform::DebugCapture capture;
    const auto img = stripe_.GetOnePngImage(64, stripe_.Images(), false, 1.0f);
    EXPECT_TRUE(capture.contains("*** GetOnePngImage -> error 1 ; FImages=4"));
    const uint8_t* p = img->Pixel(3, 3);
    EXPECT_EQ(p[3], 128); // cell 1
    EXPECT_EQ(p[0], 100);

    platform::DebugCapture quiet;
    stripe_.GetOnePngImage(16, 3, false, 1.0f);
    EXPECT_TRUE(quiet.lines().isEmpty());
}

TEST_F(StripeCells, GrayscaleAndBlendFactor) {
    const auto grey = stripe_.GetOnePngImage(64, 3, true, 1.0f);
    const uint8_t* g = grey->Pixel(10, 10);
    EXPECT_EQ((std::array<int, 4>{g[0], g[1], g[2], g[3]}), (std::array<int, 4>{60, 60, 60, 255}));

    // Halves round to even: 255 * 0.5 -> 128, 101 * 0.5 -> 50.
    const auto half = stripe_.GetOnePngImage(64, 3, false, 0.5f);
    EXPECT_EQ(half->Pixel(10, 10)[3], 128);
    EXPECT_EQ(half->Pixel(63 - 1, 0)[3], 50); // source pixel (255, 0) has alpha 101
    EXPECT_EQ(half->Pixel(10, 10)[0], 255);   // colour unchanged
}

TEST_F(StripeCells, ImageListAndPicture) {
    skin::TPngImageList list(24, 24);
    EXPECT_EQ(stripe_.AddOneToImageList(list, 2, false, 1.0f), 0);
    EXPECT_EQ(stripe_.AddOneToImageList(list, 99, false, 1.0f), 1);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Image(0).Width(), 24);
    EXPECT_EQ(list.Image(1).Pixel(5, 5)[3], 128); // the error cell
    EXPECT_FALSE(list.Updating());

    QImage picture(5, 5, QImage::Format_ARGB32);
    ASSERT_TRUE(stripe_.CopyToPicture(48, picture, 2, false, 1.0f));
    EXPECT_EQ(picture.size(), QSize(48, 48));
    EXPECT_EQ(picture.pixel(20, 20), 0xFF0000FFu);
    EXPECT_FALSE(stripe_.CopyToPicture(0, picture, 2, false, 1.0f));
}

TEST(Stripe, MissingOrBrokenStripeGivesTransparentIcons) {
    TempProgramFolder folder;
    folder.Write("skins/broken.png", QByteArray("\x89PNG\r\n\x1a\n garbage", 17));
    for (const char* name : {"skins/none.png", "skins/broken.png"}) {
        platform::DebugCapture capture;
        TStripeSkinner stripe;
        EXPECT_EQ(stripe.ErrorIndex, 0);
        EXPECT_TRUE(stripe.Bitmap().Empty());
        stripe.LoadFromStripeFile(folder.Windows(name));
        EXPECT_TRUE(capture.contains("*** LoadFromStripeFile -> ")) << name;
        EXPECT_EQ(stripe.Images(), 0);
        stripe.ErrorIndex = 1;
        const auto img = stripe.GetOnePngImage(32, 5, false, 1.0f);
        ASSERT_TRUE(img);
        EXPECT_EQ(img->Width(), 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(img->Pixel(x, y)[3], 0);
    }
}

TEST(Stripe, CreateSkinStripePrefersTheSkinsOwnFile) {
    TempProgramFolder folder;
    folder.Write("skins/Blue/skin.ini", "[SkinInfo]\n");
    skin::SetSkinFolder(folder.Windows("skins/Blue"));
    {
        platform::DebugCapture capture;
        const auto none = skin::CreateSkinStripe();
        EXPECT_TRUE(capture.contains("*** No stripe found: "));
        EXPECT_EQ(none->Images(), 0);
        EXPECT_EQ(none->ErrorIndex, 1);
    }
    folder.Write("skins/stripe.png", StripePng(128, 64, [](uint32_t, uint32_t) { return 0xFF00FF00u; }));
    EXPECT_EQ(skin::CreateSkinStripe()->Images(), 2);
    folder.Write("skins/Blue/stripe.png", StripePng(192, 32, [](uint32_t, uint32_t) { return 0xFF00FF00u; }));
    const auto own = skin::CreateSkinStripe();
    EXPECT_EQ(own->Images(), 6);
    EXPECT_EQ(own->ImageSize(), 32);
}

TEST(Lanczos, KernelShape) {
    EXPECT_DOUBLE_EQ(skin::TLanczosResampler::Kernel(0), 1.0);
    EXPECT_NEAR(skin::TLanczosResampler::Kernel(1), 0.0, 1e-12);
    EXPECT_EQ(skin::TLanczosResampler::Kernel(3), 0.0);
    EXPECT_LT(skin::TLanczosResampler::Kernel(1.5), 0.0); // the negative lobe
    EXPECT_EQ(skin::TLanczosResampler::Kernel(-0.7), skin::TLanczosResampler::Kernel(0.7));
}

} // namespace
