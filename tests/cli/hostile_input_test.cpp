// mosaikon-convert against small files that claim huge pictures or buffers, files padded far
// beyond their picture, and pictures that need more memory than the machine gives: each is
// refused at once, with little memory, and nothing is written.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <filesystem>
#include <string>
#include <vector>

#include "conversion/conversion_method.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::Bytes;

struct Measured {
    int status = -1;
    double seconds = 0;
    long peakKilobytes = 0;
    std::string err;
};

// Runs the converter as a child process and measures its time and peak memory.
Measured RunConverter(const std::vector<std::string>& arguments, const std::string& errFile,
                      const std::vector<std::string>& environment = {}) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>(MOSAIKON_CONVERT_PATH)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        for (const std::string& variable : environment)
            ::putenv(const_cast<char*>(variable.c_str()));
        if (!std::freopen(errFile.c_str(), "w", stderr)) ::_exit(126);
        ::execv(MOSAIKON_CONVERT_PATH, argv.data());
        ::_exit(127);
    }
    Measured measured;
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    measured.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measured.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    measured.peakKilobytes = usage.ru_maxrss;
    measured.err = test::ReadText(errFile);
    return measured;
}

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

std::string BigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

// A PNG chunk; claimed gives the length field when it is to lie.
std::string Chunk(const std::string& type, const std::string& data, std::uint32_t claimed = 0) {
    return BigEndian(claimed ? claimed : static_cast<std::uint32_t>(data.size())) + type + data +
           BigEndian(Crc32(type + data));
}

// A 2 x 2 grey PNG whose data ("x\x9c" is a zlib header) is stored uncompressed.
std::string SmallPng(const std::string& beforeData) {
    const std::string rows("\0\x10\x20\0\x30\x40", 6);
    std::string stored = std::string("\x78\x01\x01", 3) + static_cast<char>(rows.size()) + '\0' +
                         static_cast<char>(~rows.size()) + '\xff' + rows;
    std::uint32_t a = 1, b = 0;
    for (const char c : rows) a = (a + static_cast<std::uint8_t>(c)) % 65521, b = (b + a) % 65521;
    stored += BigEndian(b << 16 | a);
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           Chunk("IHDR", BigEndian(2) + BigEndian(2) + std::string("\x08\0\0\0\0", 5)) +
           beforeData + Chunk("IDAT", stored) + Chunk("IEND", "");
}

// A GIF whose logical screen claims 30000 x 30000 pixels, followed by many one-pixel frames.
std::string HugeScreenGif() {
    std::string gif = "GIF89a";
    gif += std::string("\x30\x75\x30\x75\x00\x00\x00", 7);  // 30000 x 30000, no colour table
    for (int i = 0; i < 2000; ++i) {
        // At (0, 0), 1 x 1, a local table of two colours; code size 2, one sub-block.
        gif += std::string("\x2c\0\0\0\0\x01\0\x01\0\x80", 10);
        gif += std::string("\0\0\0\xff\xff\xff", 6);
        gif += std::string("\x02\x02\x44\x01\x00", 5);
    }
    return gif + ";";
}

class HostileInput : public ::testing::Test {
protected:
    Measured Convert(const std::string& file, const Bytes& bytes,
                     const std::vector<std::string>& options = {},
                     const std::vector<std::string>& environment = {}) {
        test::WriteBytes(folder / file, bytes);
        std::vector<std::string> arguments = options;
        arguments.push_back(folder / file);
        arguments.push_back(folder / "s1.dat");
        return RunConverter(arguments, folder / "err.txt", environment);
    }

    // Refused with a message naming the file, within 100 MB, and nothing written. The time is
    // recorded; a hang would stop the suite long before the guard below.
    void ExpectRefusedCheaply(const std::string& file, const Measured& run,
                              const std::string& reason) {
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_THAT(run.err, HasSubstr(file + reason));
        EXPECT_LT(run.peakKilobytes, 100 * 1024) << file;
        EXPECT_LT(run.seconds, 30) << file;
        EXPECT_FALSE(std::filesystem::exists(folder / "s1.dat"));
        RecordProperty(file, std::to_string(run.seconds) + " s, " +
                                 std::to_string(run.peakKilobytes / 1024) + " MB");
    }

    test::TempFolder folder;
};

TEST_F(HostileInput, SmallFilesClaimingHugeBuffersOrPicturesAreRefusedAtOnce) {
    const std::string text = "Comment\0hello";
    for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP"}) {
        const std::string png = SmallPng(Chunk(type, text, 0x7FFFFFF0u));
        const std::string file = std::string(type) + ".png";
        ExpectRefusedCheaply(file, Convert(file, Bytes(png.begin(), png.end())),
                             " is damaged or cut short: its " + std::string(type) +
                                 " chunk claims 2147483632 bytes, more than the file holds");
    }
    // Text chunks that fit are passed over: they cannot change a pixel.
    const std::string withText = SmallPng(Chunk("tEXt", text) + Chunk("zTXt", text));
    EXPECT_EQ(Convert("text.png", Bytes(withText.begin(), withText.end())).status, 0);
    std::filesystem::remove(folder / "s1.dat");

    const std::string gif = HugeScreenGif();
    ExpectRefusedCheaply("screen.gif", Convert("screen.gif", Bytes(gif.begin(), gif.end())),
                         " is too large: 30000 x 30000 pixels");

    // A lossless WebP whose header claims 16384 x 16384 pixels (14 bits each for the sides less
    // one), with a few bytes of data.
    const std::string vp8l = std::string("\x2f\xff\xff\xff\x0f", 5) + std::string(27, '\0');
    std::string webp = "WEBPVP8L" + std::string("\x20\0\0\0", 4) + vp8l;
    const auto size = static_cast<std::uint32_t>(webp.size());
    webp = "RIFF" +
           std::string{static_cast<char>(size), static_cast<char>(size >> 8),
                       static_cast<char>(size >> 16), static_cast<char>(size >> 24)} +
           webp;
    ExpectRefusedCheaply("canvas.webp", Convert("canvas.webp", Bytes(webp.begin(), webp.end())),
                         " is too large: 16384 x 16384 pixels");
}

TEST_F(HostileInput, ABitmapPaddedToTwoGigabytesIsRefusedBeforeItIsRead) {
    const PaletteList palette = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    test::WriteBytes(folder / "padded.bmp",
                     test::EncodeBitmap({.width = 4,
                                         .height = 4,
                                         .palette = palette,
                                         .pixels = std::vector<std::uint8_t>(16, 1)}));
    std::filesystem::resize_file(folder / "padded.bmp", 2ull << 30);  // sparse: no disk taken
    const Measured run = RunConverter({folder / "padded.bmp", folder / "s1.dat"}, folder / "err");
    ExpectRefusedCheaply("padded.bmp", run,
                         " is damaged: the file has 2147483648 bytes, more than its picture can "
                         "need");
}

// MOSAIKON_MEMORY_LIMIT stands for a machine with that much memory free.
TEST_F(HostileInput, APictureThatWouldNotFitIsRefusedBeforeAnyWorkAndOneThatFitsConverts) {
    const PaletteList palette = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    std::vector<std::uint8_t> pixels(1000 * 500);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i % 3 % 2);
    const Bytes bitmap =
        test::EncodeBitmap({.width = 1000, .height = 500, .palette = palette, .pixels = pixels});
    // Half a million pixels: the quick conversion needs about 48 MB, its sticker layout 203 MB.
    const Measured tooSmall =
        Convert("big.bmp", bitmap, {"--format", "ldraw-sticker"}, {"MOSAIKON_MEMORY_LIMIT=100M"});
    ExpectRefusedCheaply("big.bmp", tooSmall,
                         " needs about 202 MB of memory to convert, more "
                         "than the 100 MB available");
    const Measured fits = Convert("big.bmp", bitmap, {}, {"MOSAIKON_MEMORY_LIMIT=100M"});
    EXPECT_EQ(fits.status, 0) << fits.err;
    EXPECT_TRUE(std::filesystem::exists(folder / "s1.dat"));
}

// The memory check's figures hold the converter's real peak: each conversion and form on the
// pictures that cost it most (no two neighbouring pixels alike; noise of four colours with half
// its pixels left out), the vector conversion keeping every region. Sanitizers make every program
// larger: their build does not measure.
TEST_F(HostileInput, TheMemoryFiguresHoldTheRealPeaksOfTheWorstPictures) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "peaks are not measured under the sanitizers";
#endif
    constexpr int kSide = 1024;
    PaletteList palette;
    for (int i = 0; i < 256; ++i) {
        palette.push_back({static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                           static_cast<std::uint8_t>(i), 0});
    }
    std::vector<std::uint8_t> worst(kSide * kSide), noise(kSide * kSide);
    std::mt19937 random(11);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            worst[static_cast<std::size_t>(y * kSide + x)] =
                static_cast<std::uint8_t>((x + 2 * y) % 7 * 31 + x % 3);
            noise[static_cast<std::size_t>(y * kSide + x)] =
                static_cast<std::uint8_t>(random() % 2 == 0 ? 4 : random() % 4);
        }
    }
    test::WriteBytes(folder / "worst.bmp",
                     test::EncodeBitmap({.width = kSide, .height = kSide, .palette = palette, .pixels = worst}));
    // Palette entry 4 is left out.
    palette[4] = {3, 2, 1, 0};
    test::WriteBytes(folder / "noise.bmp",
                     test::EncodeBitmap({.width = kSide, .height = kSide, .palette = palette, .pixels = noise}));
    const std::pair<ConversionMethod, const char*> methods[] = {
        {ConversionMethod::Quick, "quick"}, {ConversionMethod::Exact, "exact"},
        {ConversionMethod::Full, "full"}, {ConversionMethod::Vector, "vector"}};
    const std::pair<PartFormat, const char*> forms[] = {{PartFormat::Classic, "classic"},
                                                        {PartFormat::LdrawSticker, "ldraw-sticker"},
                                                        {PartFormat::LdrawTexture, "ldraw-texture"}};
    for (const auto& [method, methodName] : methods) {
        for (const auto& [form, formName] : forms) {
            for (const char* picture : {"worst.bmp", "noise.bmp"}) {
                std::vector<std::string> arguments = {"--method", methodName, "--format", formName,
                                                      "--ignore-color", "1,2,3", "--color-tolerance", "0"};
                if (method == ConversionMethod::Vector) arguments.insert(arguments.end(), {"--min-area", "0"});
                arguments.push_back(folder / picture);
                arguments.push_back(folder / "s1.dat");
                const Measured run = RunConverter(arguments, folder / "err.txt");
                ASSERT_EQ(run.status, 0) << run.err;
                const double perPixel = run.peakKilobytes * 1024.0 / (kSide * kSide);
                EXPECT_LE(perPixel, static_cast<double>(MemoryNeedPerPixel(method, form)))
                    << methodName << " " << formName << " " << picture;
                RecordProperty(std::string(methodName) + "-" + formName + "-" + picture,
                               std::to_string(static_cast<int>(perPixel)) + " bytes a pixel");
            }
        }
    }
}

}  // namespace
}  // namespace mosaikon
