#include "ldraw/part_file_writer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <tuple>

#include "shell/failure.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::Quad;

class PartFileWriter : public ::testing::Test {
protected:
    std::string Write(int pictureHeight, const Quads& quads, std::int32_t height,
                      const StickerDetails& details = {"Sticker: s1234567", "s1234567", "Ann",
                                                       "Unofficial Model"}) {
        picture = test::MakePicture(1, pictureHeight, test::GreyRamp(2),
                                    std::vector<std::uint8_t>(pictureHeight));
        written = WritePartFile(recording.shell, picture, quads, path, height, details);
        return test::ReadText(path);
    }
    std::string Lines(const std::string& text) {  // the quadrilateral lines only
        std::size_t at = 0;
        for (int i = 0; i < 4; ++i) at = text.find("\r\n", at) + 2;
        return text.substr(at);
    }

    test::RecordingShell recording;
    Picture picture;
    std::string path = recording.folder / "s1234567.dat";
    bool written = false;
};

// The header, then each quadrilateral's corners scaled to the height, in LDraw's colour notation.
TEST_F(PartFileWriter, WritesTheHeaderAndScaledCornersWithCrLf) {
    test::WriteBytes(path, test::Bytes(5000, 'x'));  // an old file is replaced wholly
    EXPECT_EQ(Write(1, {}, 1, {"", "", "", ""}), "0 \r\n0 Name: .dat\r\n0 Author: \r\n0 \r\n");
    EXPECT_TRUE(written);  // nothing to write is no failure
    EXPECT_EQ(
        Write(32, {Quad(4, 1, 1, 2, 1, 2, 2, 1, 2)}, 48),
        "0 Sticker: s1234567\r\n0 Name: s1234567.dat\r\n0 Author: Ann\r\n0 Unofficial Model\r\n"
        "4 4 1.5 1.5 0 3 1.5 0 3 3 0 1.5 3 0\r\n");
    const Quads quads = {Quad(1, 1, 1, 4, 1, 4, 2, 1, 3.5)};
    const std::tuple<int, Quads, std::int32_t, std::string> cases[] = {
        {1, {Quad(0x20A0B0C, 1, 1, 2, 1, 2, 2, 1, 2)}, 1, "4 0x20A0B0C 1 1 0 2 1 0 2 2 0 1 2 0"},
        {3, quads, 10,
         "4 1 3.33333333333333 3.33333333333333 0 13.3333333333333 3.33333333333333 0 "
         "13.3333333333333 6.66666666666667 0 3.33333333333333 11.6666666666667 0"},
        {3, quads, 0, "4 1 0 0 0 0 0 0 0 0 0 0 0 0"},
        {2, quads, -4, "4 1 -2 -2 0 -8 -2 0 -8 -4 0 -2 -7 0"},
        {1048576,
         {Quad(1, 1, 1, 2, 1, 2, 2, 1, 2)},
         1,
         "4 1 9.5367431640625E-07 9.5367431640625E-07 0 1.9073486328125E-06 "
         "9.5367431640625E-07 0 1.9073486328125E-06 1.9073486328125E-06 0 "
         "9.5367431640625E-07 1.9073486328125E-06 0"}};
    for (const auto& [pictureHeight, list, height, line] : cases)
        EXPECT_EQ(Lines(Write(pictureHeight, list, height)), line + "\r\n");
    EXPECT_EQ(ColorText(15), "15");
}

TEST_F(PartFileWriter, NumbersIgnoreTheUsersDecimalSeparator) {
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    if (!german) german = std::setlocale(LC_ALL, "fr_FR.UTF-8");
    const std::string lines = Lines(Write(2, {Quad(1, 1, 1, 2, 1, 2, 2, 1, 3)}, 3));
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(lines, "4 1 1.5 1.5 0 3 1.5 0 3 3 0 1.5 4.5 0\r\n");
}

TEST_F(PartFileWriter, AFailedWriteIsReportedAndLeavesNoTrace) {
    path = recording.folder / "missing/part.dat";
    Write(1, {Quad(1, 1, 1, 2, 1, 2, 2, 1, 2)}, 1);
    EXPECT_FALSE(written);
    EXPECT_EQ(recording.boxes.back(),
              "WritePartFile has caused an error No such file or directory");
    EXPECT_EQ(recording.LogLines().back(),
              "WRITE PART FILE: ERROR CONVERTING BITMAP No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(recording.folder / "missing"));
}

TEST_F(PartFileWriter, DetailsThatWouldStartAnotherLineAreRefusedBeforeWriting) {
    test::WriteBytes(path, {'o', 'l', 'd'});
    for (const std::string& bad :
         {std::string("a\r\n1 16 0 0 0 1 0 0 0 1 0 0 0 1 x.dat"), std::string("tab\there"),
          std::string("del\x7f"), std::string("next\xC2\x85line"), std::string(1, '\0')}) {
        for (std::size_t field = 0; field < 4; ++field) {
            StickerDetails details = {"n", "p", "a", "d"};
            details[field] = bad;
            EXPECT_EQ(Write(1, {}, 1, details), "old");
            EXPECT_FALSE(written);
        }
    }
    EXPECT_EQ(recording.boxes.back(),
              "WritePartFile has caused an error The sticker details must be single lines of text");
    // Letters of every script stay, as do the C1 code points' neighbours.
    EXPECT_TRUE(IsSingleLine("Ärger ÿ \xC2\xA0 € 日本"));
}

TEST_F(PartFileWriter, WithNoPictureTheScaleFailsBeforeAnythingIsWritten) {
    Picture empty;
    EXPECT_EQ(test::FailureOf([&] { WritePartFile(recording.shell, empty, {}, path, 10, {}); }),
              "Division by zero");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(recording.boxes.empty());
}

}  // namespace
}  // namespace mosaikon
