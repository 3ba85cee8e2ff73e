// Pictures of every format the reader takes, written by several real programs from one master
// picture with transparent parts: every pixel must come out in the colour the master has, every
// transparent pixel left out, in the picture and in the quick and exact conversions.

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "conversion/exact_conversion.h"
#include "conversion/quick_conversion.h"
#include "image/bitmap_reader.h"
#include "image/colours.h"
#include "support/rectangle_cover.h"
#include "shell/failure.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::Bytes;

constexpr int kWidth = 37, kHeight = 23;
constexpr std::uint32_t kClear = 0xFFFFFFFF;  // a transparent pixel of the master

using test::Succeeds;

class PictureFormats : public ::testing::Test {
protected:
    void SetUp() override {
        // Five colours in blocks and diagonals, and a transparent corner and stripe.
        const std::uint32_t colours[5] = {0xFFFFFF, 0xCC0000, 0x0033BB, 0xFFEE00, 0x147828};
        std::string raw, ppm = "P6\n37 23\n255\n";  // the same, transparent pixels black
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool clear = (x < 6 && y < 5) || (x + y) % 11 == 0;
                const std::uint32_t c = colours[(x / 5 + (y / 4) * 2 + (x * y) % 3) % 5];
                master.push_back(clear ? kClear : c);
                for (const int shift : {16, 8, 0}) raw += static_cast<char>(clear ? 0 : c >> shift);
                raw += static_cast<char>(clear ? 0 : 255);
                ppm += raw.substr(raw.size() - 4, 3);
            }
        }
        test::WriteBytes(folder / "master.rgba", Bytes(raw.begin(), raw.end()));
        test::WriteBytes(folder / "opaque.ppm", Bytes(ppm.begin(), ppm.end()));
        if (!Succeeds("/usr/bin/python3 -c 'import PIL'"))
            GTEST_SKIP() << "Pillow is not installed";
        ASSERT_TRUE(Pillow("Image.frombytes('RGBA', (37, 23), open(IN, 'rb').read()).save(OUT)",
                           "master.rgba", "master.png"));
    }

    // Runs a Pillow statement with IN and OUT the two files' paths.
    bool Pillow(const std::string& statement, const std::string& in, const std::string& out) {
        return Succeeds("/usr/bin/python3 -c \"from PIL import Image; IN='" + (folder / in) +
                        "'; OUT='" + (folder / out) + "'; " + statement + "\"");
    }

    Picture Load(const std::string& file, std::vector<std::string>* boxes = nullptr) {
        test::Loaded loaded = test::LoadFile(folder / file);
        EXPECT_FALSE(loaded.failed) << file << ": " << loaded.boxes.back();
        if (boxes) *boxes = loaded.boxes;
        return loaded.picture;
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
            EXPECT_EQ(test::Rasterise(quads, kWidth, kHeight), expected) << exact;
        }
    }

    test::TempFolder folder;
    std::vector<std::uint32_t> master;
};

#ifndef MOSAIKON_QT_BITMAP_WRITER
#define MOSAIKON_QT_BITMAP_WRITER "qt_bitmap_writer"  // not built: its files are skipped
#endif

// Each format as several programs write it, from the master ({in}) or from the opaque master, its
// transparent pixels black ({opaque}); programs that are not installed are skipped.
TEST_F(PictureFormats, EveryFormatAsCommonProgramsWriteIt) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string pil = "/usr/bin/python3 -c \"from PIL import Image; Image.open('";
    const std::string palette = "convert {opaque} -type palette ";
    // The file, the command that writes it as {out}, and whether the file keeps transparency.
    const std::tuple<std::string, std::string, bool> files[] = {
        {"master.png", "true", true},                 // as Pillow wrote it for every test
        {"p8.png", "convert {in} PNG8:{out}", true},  // a palette with tRNS
        {"p64.png", "convert {in} -depth 16 PNG64:{out}", true},
        {"pillow.webp", pil + "{in}').save('{out}', lossless=True)\"", true},
        {"pillow.gif", pil + "{in}').save('{out}')\"", true},
        {"pillow24.bmp", pil + "{in}').convert('RGB').save('{out}')\"", false},
        {"cwebp.webp", "cwebp -lossless -exact {in} -o {out}", true},
        {"im.gif", "convert {in} {out}", true},
        {"interlaced.gif", "convert {in} -interlace GIF {out}", true},  // rows in four passes
        {"im.webp", "convert {in} -define webp:lossless=true {out}", true},
        {"im32.bmp", "convert {in} {out}", true},  // 32 bits with an alpha mask
        {"im24.bmp", "convert {in} BMP3:{out}", false},
        // Palette bitmaps.
        {"default.bmp", palette + "{out}", false},  // 4 bits, 124-byte header
        {"rle8.bmp", palette + "-compress RLE BMP3:{out}", false},
        {"bmp4.bmp", palette + "-define bmp:format=bmp4 {out}", false},
        {"netpbm.bmp", "ppmtobmp {opaque} > {out}", false},  // image size 0
        {"os2.bmp", "ppmtobmp -os2 {opaque} > {out}", false},
        {"pillow.bmp",
         pil + "{opaque}').convert('P', palette=Image.ADAPTIVE, colors=8).save('{out}')\"", false},
        {"qt.bmp", std::string(MOSAIKON_QT_BITMAP_WRITER) + " {opaque} {out}", false}};
    for (auto [file, command, transparency] : files) {
        if (!Succeeds("command -v " + command.substr(0, command.find(' ')))) continue;
        for (const auto& [name, path] :
             {std::pair<std::string, std::string>{"{opaque}", folder / "opaque.ppm"},
              {"{in}", folder / "master.png"},
              {"{out}", folder / file}}) {
            for (auto at = command.find(name); at != std::string::npos;
                 at = command.find(name, at + path.size()))
                command.replace(at, name.size(), path);
        }
        ASSERT_TRUE(Succeeds(command)) << command;
        ExpectTheMaster(file, transparency);
    }
}

TEST_F(PictureFormats, JpegDecodesAsItsReferenceLibraryDoes) {
    // Lossy: compared with Pillow's own decoding (also libjpeg-turbo) of colour, grey and CMYK.
    for (const std::string mode : {"RGB", "L", "CMYK"}) {
        const std::string file = mode + ".jpg";
        ASSERT_TRUE(Pillow("Image.open(IN).convert('" + mode +
                               "').save(OUT, quality=90); open(OUT + '.rgb', 'wb').write("
                               "Image.open(OUT).convert('RGB').tobytes())",
                           "master.png", file));
        const Bytes want = test::ReadBytes(folder / (file + ".rgb"));
        const RgbaPicture got = DecodeJpeg(test::ReadBytes(folder / file), file, {});
        ASSERT_EQ(static_cast<std::size_t>(got.width * got.height * 3), want.size()) << mode;
        int off = 0;
        for (std::size_t i = 0; i < want.size(); ++i)
            off += std::abs(got.rgba[i / 3 * 4 + i % 3] - want[i]) > 1;
        EXPECT_EQ(off, 0) << mode;
        EXPECT_EQ(Load(file).Width(), kWidth);
    }
}

// A cut-short JPEG is filled in with grey by libjpeg, which only warns: it is refused as the
// other formats are, unless damaged files are accepted, which converts it with a warning saying
// what is missing.
TEST_F(PictureFormats, CutShortJpegsAreRefusedUnlessDamageIsAccepted) {
    for (const bool progressive : {false, true}) {
        const std::string file = progressive ? "progressive.jpg" : "baseline.jpg";
        ASSERT_TRUE(
            Pillow("Image.open(IN).convert('RGB').resize((74, 46)).save(OUT, "
                   "quality=95, progressive=" +
                       std::string(progressive ? "True" : "False") + ")",
                   "master.png", file));
        const Bytes whole = test::ReadBytes(folder / file);
        // The entropy-coded data starts after the first start-of-scan header.
        std::size_t data = 0;
        for (std::size_t i = 0; i + 3 < whole.size() && data == 0; ++i) {
            if (whole[i] == 0xFF && whole[i + 1] == 0xDA)
                data = i + 2 + static_cast<std::size_t>(whole[i + 2] << 8 | whole[i + 3]);
        }
        ASSERT_GT(data, 0u);
        int accepted = 0;
        for (std::size_t length = 64; length < whole.size() - 2; length += 64) {
            const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            const test::Loaded refused = test::Load(cut, file);
            ASSERT_TRUE(refused.failed) << file << " cut at " << length;
            EXPECT_THAT(refused.boxes.back(), StartsWith("LoadBitmap has caused an error " + file +
                                                         " is damaged or cut short: "));

            Shell shell;
            std::vector<std::string> boxes;
            shell.messageBox = [&](const std::string& text, MessageKind) { boxes.push_back(text); };
            Picture picture;
            double height = 0, width = 0;
            ReadOptions read;
            read.acceptDamaged = true;
            LoadBitmapBytes(shell, picture, cut, file, height, width, read);
            if (length <= data) {
                EXPECT_GT(shell.failuresReported, 0) << file << " cut at " << length;
                continue;
            }
            // A progressive file cut inside a later Huffman table cannot be decoded at all.
            if (progressive && shell.failuresReported > 0) {
                EXPECT_THAT(boxes.back(), HasSubstr(file + " is damaged or cut short: "));
                continue;
            }
            ASSERT_EQ(shell.failuresReported, 0) << file << " cut at " << length;
            ++accepted;
            EXPECT_EQ(picture.Width(), 74);
            EXPECT_THAT(boxes.front(),
                        AllOf(StartsWith(file + " is damaged or cut short: Premature end of JPEG "
                                                "file; "),
                              HasSubstr(progressive ? "the later scans" : " of 46 are missing"),
                              EndsWith("; it is converted all the same")));
        }
        EXPECT_GT(accepted, (whole.size() - data) / 64 / 2) << file;
    }
}

// An arithmetic-coded progressive JPEG, as libjpeg writes it.
Bytes ArithmeticJpeg(int width, int height) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    info.arith_code = TRUE;
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < width; ++x) {
            row[static_cast<std::size_t>(x) * 3] = static_cast<unsigned char>(x * 5);
            row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<unsigned char>(info.next_scanline * 7);
            row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<unsigned char>((x ^ info.next_scanline) * 3);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    Bytes bytes(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

// The arithmetic decoder says nothing where the data ends early: the file is still refused as
// cut short, at any length, unless damage is accepted.
TEST_F(PictureFormats, ACutShortArithmeticCodedJpegIsRefusedToo) {
    const Bytes whole = ArithmeticJpeg(90, 60);
    EXPECT_FALSE(test::Load(whole, "arith.jpg").failed);
    int accepted = 0;
    for (std::size_t length = 4; length < whole.size() - 2; length += 3) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const test::Loaded refused = test::Load(cut, "arith.jpg");
        ASSERT_TRUE(refused.failed) << "cut at " << length;
        EXPECT_THAT(refused.boxes.back(), HasSubstr("arith.jpg is damaged or cut short: "));
        try {
            const RgbaPicture picture = DecodeJpeg(cut, "arith.jpg", {kMostPixels, kMostBytesPerPixel, true});
            EXPECT_THAT(picture.damage, HasSubstr("arith.jpg is damaged or cut short: "));
            ++accepted;
        } catch (const Failure&) {
            // Cut inside a header: nothing can be decoded.
        }
    }
    EXPECT_GT(accepted, 0);
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

TEST_F(PictureFormats, SmallFilesCannotClaimHugePicturesAndOtherFilesAreNamed) {
    // A PNG whose header claims 30000 x 30000 pixels, with one row of data.
    ASSERT_TRUE(Succeeds(
        "/usr/bin/python3 -c \"import zlib, struct; c = lambda t, d: struct.pack('>I', len(d)) + "
        "t + d + struct.pack('>I', zlib.crc32(t + d)); open('" +
        (folder / "huge.png") +
        "', 'wb').write(b'\\x89PNG\\r\\n\\x1a\\n' + c(b'IHDR', struct.pack('>IIBBBBB', 30000, "
        "30000, 8, 0, 0, 0, 0)) + c(b'IDAT', zlib.compress(bytes(30001))) + c(b'IEND', b''))\""));
    Bytes png = test::ReadBytes(folder / "master.png");
    png.resize(png.size() / 2);
    // Each file and the one message that names it with the reason.
    const std::pair<std::string, Bytes> files[] = {
        {"huge.png is too large: 30000 x 30000 pixels", test::ReadBytes(folder / "huge.png")},
        {"scan.tif: TIFF pictures cannot be read; save it as PNG", {'I', 'I', 42, 0, 8, 0, 0, 0}},
        {"notes.txt is not a picture Mosaikon can read; it reads BMP, PNG, JPEG, GIF and WebP",
         {'h', 'i'}},
        {"cut.png is damaged or cut short: ", png}};
    for (const auto& [message, bytes] : files) {
        const test::Loaded loaded =
            test::Load(bytes, message.substr(0, message.find_first_of(" :")));
        EXPECT_THAT(loaded.boxes,
                    ElementsAre(StartsWith("LoadBitmap has caused an error " + message)))
            << message;
    }
    // A PNG named .bmp is read as the PNG it is.
    std::filesystem::copy_file(folder / "master.png", folder / "named.bmp");
    ExpectTheMaster("named.bmp");
}

// The mean CIEDE2000 difference (scikit-image's) between a photograph and its 256 colours, and
// the effect of fewer colours on the exact conversion.
// The reading's progress rises from near 0 to 1 and never goes back, through the JPEG's rows and
// the choice of colours alike; told or not, the picture read is the same.
TEST_F(PictureFormats, ReadingTellsItsProgressInOrder) {
    const Bytes jpeg = ArithmeticJpeg(400, 300);  // many colours: reduced by the quantizer
    for (const ColourSet colours : {ColourSet::Direct, ColourSet::LdrawCore}) {
        std::vector<double> told;
        ReadOptions read;
        read.colours = colours;
        read.progress = [&told](double done) { told.push_back(done); };
        Shell shell;
        Picture picture, plain;
        double height = 0, width = 0;
        LoadBitmapBytes(shell, picture, jpeg, "rows.jpg", height, width, read);
        ASSERT_EQ(shell.failuresReported, 0);
        ASSERT_GT(told.size(), 10u);
        EXPECT_LT(told.front(), 0.1);
        EXPECT_EQ(told.back(), 1.0);
        EXPECT_TRUE(std::is_sorted(told.begin(), told.end())) << static_cast<int>(colours) << " " << testing::PrintToString(told);
        EXPECT_TRUE(std::all_of(told.begin(), told.end(), [](double d) { return d >= 0 && d <= 1; }));
        // Told while the colours were being chosen, not only at the end.
        EXPECT_TRUE(std::any_of(told.begin(), told.end(),
                                [](double d) { return d > 0.4 && d < 1; }));
        read.progress = nullptr;
        LoadBitmapBytes(shell, plain, jpeg, "rows.jpg", height, width, read);
        EXPECT_EQ(plain.pixelGrid, picture.pixelGrid);
        EXPECT_EQ(plain.Palette.size(), picture.Palette.size());
    }
}

TEST_F(PictureFormats, ReducedPhotographsStayCloseAndFewerColoursMeanFewerRectangles) {
    if (!Succeeds("command -v convert")) GTEST_SKIP() << "ImageMagick is not installed";
    ASSERT_TRUE(Succeeds("convert rose: -resize 400% " + (folder / "photo.png")));
    const Picture reduced = Load("photo.png");
    ASSERT_GT(reduced.SourceColours, 256);
    std::string rgb;
    for (int y = reduced.Height(); y >= 1; --y) {
        for (int x = 1; x <= reduced.Width(); ++x) {
            const PaletteEntry& e = reduced.Palette.at(reduced.Pixels(x, y));
            rgb +=
                {static_cast<char>(e.Red), static_cast<char>(e.Green), static_cast<char>(e.Blue)};
        }
    }
    test::WriteBytes(folder / "photo.rgb", Bytes(rgb.begin(), rgb.end()));
    ASSERT_TRUE(
        Pillow("import numpy as n; from skimage.color import rgb2lab, deltaE_ciede2000 as d; "
               "a = n.asarray(Image.open(IN).convert('RGB')); b = n.frombuffer(open(IN[:-3] "
               "+ 'rgb', 'rb').read(), n.uint8).reshape(a.shape); "
               "open(OUT, 'w').write(str(d(rgb2lab(a), rgb2lab(b)).mean()))",
               "photo.png", "mean.txt"))
        << "measuring the colour difference with scikit-image failed";
    const double mean = std::stod(test::ReadText(folder / "mean.txt"));
    RecordProperty("MeanCiede2000", std::to_string(mean));
    EXPECT_LT(mean, 2.0);

    auto exactCount = [&](int colours) {
        test::RecordingShell recording;
        Picture picture;
        double height = 0, width = 0;
        ReadOptions options;
        options.reduction.mostColours = colours;
        LoadBitmap(recording.shell, picture, folder / "photo.png", height, width, options);
        Quads quads;
        ConvertExact(recording.shell, picture, quads, {});
        return quads.size();
    };
    EXPECT_GE(exactCount(256), 3 * exactCount(16));
}

}  // namespace
}  // namespace mosaikon
