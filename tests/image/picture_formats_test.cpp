// Pictures of every format the reader takes, written by several real programs from one master
// picture with transparent parts: every pixel must come out in the colour the master has, every
// transparent pixel left out, in the picture and in the quick and exact conversions.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <map>

#include "conversion/exact_conversion.h"
#include "image/bitmap_reader.h"
#include "image/colours.h"
#include "image/quick_conversion.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::Bytes;

constexpr int kWidth = 37, kHeight = 23;
constexpr std::uint32_t kClear = 0xFFFFFFFF;  // a transparent pixel of the master

bool Command(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

class PictureFormats : public ::testing::Test {
protected:
    void SetUp() override {
        // Five colours in blocks and diagonals, and a transparent corner and stripe.
        const std::uint32_t colours[5] = {0xFFFFFF, 0xCC0000, 0x0033BB, 0xFFEE00, 0x147828};
        std::string raw;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool clear = (x < 6 && y < 5) || (x + y) % 11 == 0;
                const std::uint32_t c = colours[(x / 5 + (y / 4) * 2 + (x * y) % 3) % 5];
                master.push_back(clear ? kClear : c);
                for (const int shift : {16, 8, 0}) raw += static_cast<char>(clear ? 0 : c >> shift);
                raw += static_cast<char>(clear ? 0 : 255);
            }
        }
        test::WriteBytes(folder / "master.rgba", Bytes(raw.begin(), raw.end()));
        if (!Command("/usr/bin/python3 -c 'import PIL'")) GTEST_SKIP() << "Pillow is not installed";
        ASSERT_TRUE(Pillow("Image.frombytes('RGBA', (37, 23), open(IN, 'rb').read()).save(OUT)",
                           "master.rgba", "master.png"));
    }

    // Runs a Pillow statement with IN and OUT the two files' paths.
    bool Pillow(const std::string& statement, const std::string& in, const std::string& out) {
        return Command("/usr/bin/python3 -c \"from PIL import Image; IN='" + (folder / in) +
                       "'; OUT='" + (folder / out) + "'; " + statement + "\"");
    }

    Picture Load(const std::string& file, std::vector<std::string>* boxes = nullptr) {
        test::RecordingShell recording;
        Picture picture;
        double height = 0, width = 0;
        LoadBitmap(recording.shell, picture, folder / file, height, width);
        EXPECT_EQ(recording.shell.failuresReported, 0) << file << ": " << recording.boxes.back();
        if (boxes) *boxes = recording.boxes;
        return picture;
    }

    // Every pixel as the master has it, in the picture and in both exact-looking conversions.
    void ExpectTheMaster(const std::string& file, bool withTransparency = true) {
        SCOPED_TRACE(file);
        std::vector<std::string> boxes;
        const Picture picture = Load(file, &boxes);
        ASSERT_EQ(picture.Width(), kWidth);
        ASSERT_EQ(picture.Height(), kHeight);
        EXPECT_TRUE(boxes.empty()) << boxes.front();  // few colours: nothing lost, no warning
        std::vector<std::int32_t> expected(master.size());
        for (std::size_t i = 0; i < master.size(); ++i) {
            const std::uint32_t want = withTransparency || master[i] != kClear ? master[i] : 0;
            const std::uint8_t index = picture.Pixels(static_cast<int>(i % kWidth) + 1,
                                                      kHeight - static_cast<int>(i / kWidth));
            if (want == kClear) {
                ASSERT_EQ(index, picture.TransparentIndex) << "pixel " << i;
                expected[i] = -1;
                continue;
            }
            const PaletteEntry& e = picture.Palette.at(index);
            ASSERT_EQ(static_cast<std::uint32_t>(e.Red << 16 | e.Green << 8 | e.Blue), want)
                << "pixel " << i;
            expected[i] = DirectColorCode(e);
        }
        for (const bool exact : {false, true}) {
            Shell shell;
            Quads quads;
            ASSERT_TRUE(exact ? ConvertExact(shell, picture, quads, {})
                              : ConvertBitmap(shell, picture, quads, {}));
            std::vector<std::int32_t> shown(master.size(), -1);
            for (const LdrawQuad& q : quads) {
                for (int y = static_cast<int>(q.Y1) - 1; y < static_cast<int>(q.Y3) - 1; ++y) {
                    for (int x = static_cast<int>(q.X1) - 1; x < static_cast<int>(q.X2) - 1; ++x) {
                        auto& cell = shown[static_cast<std::size_t>(y * kWidth + x)];
                        ASSERT_EQ(cell, -1) << "covered twice";
                        cell = q.Color;
                    }
                }
            }
            EXPECT_EQ(shown, expected) << (exact ? "exact" : "quick");
        }
    }

    test::TempFolder folder;
    std::vector<std::uint32_t> master;
};

TEST_F(PictureFormats, PngOfEveryKind) {
    ExpectTheMaster("master.png");
    ASSERT_TRUE(Pillow("Image.open(IN).convert('RGBA').quantize(8).save(OUT, transparency=0)",
                       "master.png", "ignored.png"));
    // Palette with tRNS, 16 bits per channel and grey with alpha, by ImageMagick.
    if (Command("command -v convert")) {
        ASSERT_TRUE(Command("convert " + (folder / "master.png") + " PNG8:" + (folder / "p8.png")));
        ASSERT_TRUE(Command("convert " + (folder / "master.png") +
                            " -depth 16 PNG64:" + (folder / "p64.png")));
        ExpectTheMaster("p8.png");
        ExpectTheMaster("p64.png");
    }
}

TEST_F(PictureFormats, GifWebPAndTrueColourBitmaps) {
    ASSERT_TRUE(Pillow("Image.open(IN).save(OUT, lossless=True)", "master.png", "pillow.webp"));
    ASSERT_TRUE(Pillow("Image.open(IN).save(OUT)", "master.png", "pillow.gif"));
    ASSERT_TRUE(Pillow("Image.open(IN).convert('RGB').save(OUT)", "master.png", "pillow24.bmp"));
    ExpectTheMaster("pillow.webp");
    ExpectTheMaster("pillow.gif");
    ExpectTheMaster("pillow24.bmp", false);  // no alpha: transparent pixels are black
    if (Command("command -v cwebp")) {
        ASSERT_TRUE(Command("cwebp -lossless -exact " + (folder / "master.png") + " -o " +
                            (folder / "cwebp.webp")));
        ExpectTheMaster("cwebp.webp");
    }
    if (Command("command -v convert")) {
        for (const char* out : {"im.gif", "im.webp", "BMP3:im24.bmp", "im32.bmp"}) {
            const std::string options = std::string(out).find("webp") != std::string::npos
                                            ? " -define webp:lossless=true "
                                            : " ";
            ASSERT_TRUE(Command("convert " + (folder / "master.png") + options +
                                (std::string(out).rfind("BMP3:", 0) == 0
                                     ? "BMP3:" + (folder / std::string(out).substr(5))
                                     : folder / out)));
        }
        ExpectTheMaster("im.gif");
        ExpectTheMaster("im.webp");
        ExpectTheMaster("im32.bmp");  // 32 bits with an alpha mask
        ExpectTheMaster("im24.bmp", false);
    }
}

TEST_F(PictureFormats, JpegDecodesAsItsReferenceLibraryDoes) {
    // Lossy: compared with Pillow's own decoding (also libjpeg-turbo), for colour, grey,
    // progressive and CMYK files.
    const std::map<std::string, std::string> writes = {
        {"colour.jpg", "Image.open(IN).convert('RGB').save(OUT, quality=90)"},
        {"grey.jpg", "Image.open(IN).convert('L').save(OUT)"},
        {"progressive.jpg", "Image.open(IN).convert('RGB').save(OUT, progressive=True)"},
        {"cmyk.jpg", "Image.open(IN).convert('CMYK').save(OUT)"}};
    for (const auto& [file, statement] : writes) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(Pillow(statement, "master.png", file));
        ASSERT_TRUE(Pillow("Image.open(IN).convert('RGB').save(OUT)", file, file + ".ppm"));
        const Bytes ppm = test::ReadBytes(folder / (file + ".ppm"));
        const std::size_t start = ppm.size() - static_cast<std::size_t>(kWidth * kHeight * 3);
        const Bytes jpeg = test::ReadBytes(folder / file);
        const RgbaPicture decoded = DecodeJpeg(jpeg, file, kMostPixels);
        ASSERT_EQ(decoded.width, kWidth);
        int off = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(kWidth * kHeight); ++i) {
            const std::uint8_t* got = decoded.rgba.data() + 4 * i;
            const std::uint8_t* want = ppm.data() + start + 3 * i;
            for (int c = 0; c < 3; ++c) off += std::abs(got[c] - want[c]) > 1;
        }
        EXPECT_EQ(off, 0);
        EXPECT_EQ(Load(file).Width(), kWidth);
    }
}

TEST_F(PictureFormats, PartlyTransparentPixelsAreLaidOnWhite) {
    ASSERT_TRUE(
        Pillow("im = Image.new('RGBA', (3, 1)); im.putdata([(200, 0, 0, 200), "
               "(0, 0, 255, 127), (0, 100, 0, 128)]); im.save(OUT)",
               "master.png", "alpha.png"));
    const Picture picture = Load("alpha.png");
    ASSERT_EQ(picture.Width(), 3);
    EXPECT_EQ(picture.Pixels(2, 1), picture.TransparentIndex);  // alpha below half: left out
    const PaletteEntry& first = picture.Palette.at(picture.Pixels(1, 1));
    EXPECT_EQ(first, (PaletteEntry{55, 55, 212, 0}));  // 200 red at 200/255 over white
    const PaletteEntry& third = picture.Palette.at(picture.Pixels(3, 1));
    EXPECT_EQ(third, (PaletteEntry{127, 177, 127, 0}));
}

}  // namespace
}  // namespace mosaikon
