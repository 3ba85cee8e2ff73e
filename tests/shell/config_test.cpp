#include "shell/config.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "support/test_support.h"

namespace mosaikon {
namespace {

class Config : public ::testing::Test {
protected:
    void WriteFile(const std::string& text) {
        test::WriteBytes(recording.folder / "Settings/config.txt",
                         test::Bytes(text.begin(), text.end()));
    }
    void Read() {
        config = AppConfig{};
        ReadConfig(recording.shell, config, configText, folder());
    }
    std::string folder() const { return recording.folder.path().string(); }

    test::RecordingShell recording;
    AppConfig config;
    std::string configText;
};

TEST_F(Config, DefaultsAreWrittenAsOneLineOfTaggedValues) {
    WriteConfig(recording.shell, DefaultConfig(), configText, folder());
    const std::string expected =
        "<language>Default<language><left>500<left><top>500<top><image>/<image><save>/<save>"
        "<author>Mosaikon<author>";
    EXPECT_EQ(test::ReadText(recording.folder / "Settings/config.txt"), expected);
    EXPECT_EQ(configText, expected);
    EXPECT_EQ(recording.LogLines().back(), "Attempting to read Config file.");
}

TEST_F(Config, AWrittenConfigurationReadsBackWhateverItsTextsHold) {
    AppConfig written{"Português", -3000,           9999, "/home/ann/my <image> pictures/logo.bmp",
                      "",          "Ann <author> B"};
    WriteConfig(recording.shell, written, configText, folder());
    Read();
    EXPECT_EQ(config.Language, written.Language);
    EXPECT_EQ(config.WindowLeft, -3000);
    EXPECT_EQ(config.WindowTop, 9999);
    EXPECT_EQ(config.ImageLocation, written.ImageLocation);
    EXPECT_EQ(config.SaveLocation, "");
    EXPECT_EQ(config.Author, written.Author);
    EXPECT_TRUE(recording.boxes.empty());
    EXPECT_EQ(recording.LogLines().back(),
              "Config file successfully read.  Attempting to close file.");
}

TEST_F(Config, AMissingFileKeepsTheDefaultsWithAMessage) {
    Read();
    EXPECT_EQ(config.Language, "Default");
    EXPECT_EQ(config.WindowLeft, 500);
    EXPECT_EQ(config.Author, "Mosaikon");
    ASSERT_EQ(recording.boxes.size(), 1u);
    EXPECT_EQ(recording.boxes[0],
              "Could not find: Config File " + folder() +
                  "/Settings/Config.txt.\nPlease be sure that all files are in the same folder.");
    EXPECT_EQ(recording.LogLines().back(),
              "Could not find Config File " + folder() + "/Settings/Config.txt");
}

TEST_F(Config, AFileWithoutTheWordLanguageCountsAsCorrupted) {
    for (const char* text : {"hello", "<Language>English<Language>"}) {
        recording.boxes.clear();
        WriteFile(text);
        Read();
        EXPECT_EQ(config.Language, "Default") << text;
        EXPECT_EQ(recording.boxes,
                  std::vector<std::string>{
                      "Config File has been corrupted.  A new config file will be written."});
        EXPECT_EQ(recording.LogLines().back(), "CONFIG FILE HAS BEEN CORRUPTED!");
    }
}

TEST_F(Config, MissingTagsAndBadNumbersStopAtTheFieldThatFails) {
    WriteFile("");
    Read();
    EXPECT_EQ(recording.boxes.back(), "ReadConfig has caused an error Input past end of file");
    EXPECT_EQ(recording.LogLines().back(), "ERROR IN READCONFIG Input past end of file");

    WriteFile("<language>English<language>");
    Read();
    EXPECT_EQ(config.Language, "English");
    EXPECT_EQ(config.WindowLeft, 500);
    EXPECT_EQ(config.Author, "Mosaikon");
    EXPECT_EQ(recording.boxes.back().rfind("ReadConfig has caused an error ", 0), 0u);

    WriteFile("<language>English<language><left>abc<left>");
    Read();
    EXPECT_EQ(recording.boxes.back(), "ReadConfig has caused an error Type mismatch");
    WriteFile("<language>English<language><left>70000<left>");
    Read();
    EXPECT_EQ(recording.boxes.back(), "ReadConfig has caused an error Overflow");
    WriteFile("<language>English<language><left>10<left><top>1<top><image>x");  // image tag once
    Read();
    EXPECT_EQ(config.WindowTop, 1);
    EXPECT_EQ(config.ImageLocation, "/");
}

TEST_F(Config, NumbersRoundHalvesToEvenAndMayCarrySpaces) {
    const std::string rest = "<image>i<image><save>s<save><author>a<author>";
    WriteFile("<language>L<language><left>500.5<left><top>501.5<top>" + rest);
    Read();
    EXPECT_EQ(config.WindowLeft, 500);
    EXPECT_EQ(config.WindowTop, 502);
    WriteFile("<language>L<language><left> 640 <left><top>-7<top>" + rest);
    Read();
    EXPECT_EQ(config.WindowLeft, 640);
    EXPECT_EQ(config.WindowTop, -7);
}

TEST_F(Config, FieldsAreFoundWhereverTheyStand) {
    WriteFile(
        "   <author>Bo<author><top>2<top>\n<save>s<save><left>1<left><image>\ni<image>"
        "<language>French<language>\r\n   ");
    Read();
    EXPECT_TRUE(recording.boxes.empty()) << recording.boxes.front();
    EXPECT_EQ(config.Language, "French");
    EXPECT_EQ(config.WindowLeft, 1);
    EXPECT_EQ(config.WindowTop, 2);
    EXPECT_EQ(config.ImageLocation, "\ni");  // a line break inside a field is part of its value
    EXPECT_EQ(config.Author, "Bo");
    EXPECT_EQ(configText.front(), '<');  // only spaces are trimmed
    EXPECT_EQ(configText.back(), '\n');
}

TEST_F(Config, AFailedWriteIsReportedAndKeepsTheOldFile) {
    WriteFile("<language>Italiano<language>");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 16;  // the disk is full after 16 bytes
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    WriteConfig(recording.shell, DefaultConfig(), configText, folder());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(test::ReadText(recording.folder / "Settings/config.txt"),
              "<language>Italiano<language>");
    EXPECT_EQ(recording.boxes.back(), "WriteConfig has caused an error File too large");

    // A configuration that is a folder cannot be replaced.
    std::filesystem::remove(recording.folder / "Settings/config.txt");
    std::filesystem::create_directory(recording.folder / "Settings/config.txt");
    recording.shell.failuresReported = 0;
    WriteConfig(recording.shell, DefaultConfig(), configText, folder());
    EXPECT_EQ(recording.shell.failuresReported, 1);
}

}  // namespace
}  // namespace mosaikon
