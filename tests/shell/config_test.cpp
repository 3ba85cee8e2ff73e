#include "shell/config.h"

#include <gtest/gtest.h>

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
}

TEST_F(Config, AWrittenConfigurationReadsBackWhateverItsTextsHold) {
    AppConfig written{"Português", -3000,           9999, "/home/ann/my <image> pictures/logo.bmp",
                      "",          "Ann <author> B"};
    WriteConfig(recording.shell, written, configText, folder());
    Read();
    EXPECT_EQ(std::tie(config.Language, config.WindowLeft, config.WindowTop, config.ImageLocation,
                       config.SaveLocation, config.Author),
              std::tie(written.Language, written.WindowLeft, written.WindowTop,
                       written.ImageLocation, written.SaveLocation, written.Author));
    EXPECT_TRUE(recording.boxes.empty());
}

// The vector settings are written only when not the defaults, read back exactly, and a value
// the window would not accept (not a number, out of range, trailing text) keeps the default.
TEST_F(Config, TheVectorSettingsReadBackAndWrongOnesKeepTheDefaults) {
    AppConfig written = DefaultConfig();
    written.VectorTolerance = 0.75;
    written.VectorMinArea = 0;
    written.MostColours = 2;
    written.Library = "/home/ann/ldraw";
    written.SaveIntoLibrary = true;
    WriteConfig(recording.shell, written, configText, folder());
    EXPECT_THAT(configText,
                EndsWith("<tolerance>0.75<tolerance><minarea>0<minarea><colours>2<colours>"
                         "<library>/home/ann/ldraw<library><intolibrary>1<intolibrary>"));
    Read();
    EXPECT_EQ(config.VectorTolerance, 0.75);
    EXPECT_EQ(config.VectorMinArea, 0);
    EXPECT_EQ(config.MostColours, 2);
    EXPECT_EQ(config.Library, "/home/ann/ldraw");
    EXPECT_TRUE(config.SaveIntoLibrary);
    const std::string base = ConfigFileText(DefaultConfig());
    for (const char* wrong :
         {"<tolerance>x<tolerance><minarea>4x<minarea><colours>1<colours>",
          "<tolerance>-1<tolerance><minarea>-2<minarea><colours>257<colours>",
          "<tolerance>65<tolerance><minarea>99999999999<minarea><colours>8 <colours>",
          "<tolerance><tolerance><minarea><minarea><colours><colours>",
          "<tolerance>nan<tolerance><minarea>1e3<minarea><colours>0x10<colours>"}) {
        WriteFile(base + wrong);
        Read();
        EXPECT_EQ(config.VectorTolerance, 0.5) << wrong;
        EXPECT_EQ(config.VectorMinArea, 4) << wrong;
        EXPECT_EQ(config.MostColours, 256) << wrong;
    }
    EXPECT_TRUE(recording.boxes.empty());
}

TEST_F(Config, AMissingOrCorruptedFileKeepsTheDefaultsWithAMessage) {
    Read();
    EXPECT_EQ(std::tie(config.Language, config.WindowLeft, config.Author),
              std::make_tuple("Default", 500, "Mosaikon"));
    EXPECT_EQ(recording.boxes,
              std::vector<std::string>{"Could not find: Config File " + folder() +
                                       "/Settings/Config.txt.\nPlease be sure that all files are "
                                       "in the same folder."});
    for (const char* text : {"hello", "<Language>English<Language>"}) {
        recording.boxes.clear();
        WriteFile(text);
        Read();
        EXPECT_EQ(config.Language, "Default") << text;
        EXPECT_EQ(recording.boxes,
                  std::vector<std::string>{
                      "Config File has been corrupted.  A new config file will be written."});
    }
}

TEST_F(Config, FieldsAreFoundWhereverTheyStandAndReadUpToTheOneThatFails) {
    // Each file, and the top it gives, or the error it ends with.
    const std::pair<std::string, std::string> files[] = {
        {"", "Input past end of file"},
        {"<language>English<language>", "Invalid procedure call or argument"},
        {"<language>English<language><left>abc<left>", "Type mismatch"},
        {"<language>English<language><left>70000<left>", "Overflow"},
        {"<language>E<language><left>10<left><top>1<top><image>x", "top 1"},  // image tag once
        {"<language>L<language><left>500.5<left><top>501.5<top><image>i<image><save>s<save>"
         "<author>a<author>",
         "top 502"},
        {"   <author>Bo<author><top>-7<top>\n<save>s<save><left> 640 <left><image>\ni<image>"
         "<language>French<language>\r\n   ",
         "top -7"}};
    for (const auto& [text, outcome] : files) {
        recording.boxes.clear();
        WriteFile(text);
        Read();
        if (outcome.rfind("top ", 0) == 0) {
            EXPECT_EQ("top " + std::to_string(config.WindowTop), outcome);
        } else {
            EXPECT_EQ(recording.boxes,
                      std::vector<std::string>{"ReadConfig has caused an error " + outcome})
                << text;
        }
    }
    EXPECT_TRUE(recording.boxes.empty());
    EXPECT_EQ(config.Language, "French");
    EXPECT_EQ(config.WindowLeft, 640);       // numbers may carry spaces
    EXPECT_EQ(config.ImageLocation, "\ni");  // a line break inside a field is part of its value
    EXPECT_EQ(configText.front(), '<');      // only spaces are trimmed
    EXPECT_EQ(configText.back(), '\n');
    WriteFile("<language>L<language><left>500.5<left>");  // halves round to even
    Read();
    EXPECT_EQ(config.WindowLeft, 500);
}

TEST_F(Config, AFailedWriteIsReportedAndKeepsTheOldFile) {
    WriteFile("<language>Italiano<language>");
    test::WithFullDisk(16, [&] {  // the disk is full after 16 bytes
        WriteConfig(recording.shell, DefaultConfig(), configText, folder());
    });
    EXPECT_EQ(test::ReadText(recording.folder / "Settings/config.txt"),
              "<language>Italiano<language>");
    EXPECT_EQ(recording.boxes.back(), "WriteConfig has caused an error File too large");
}

TEST_F(Config, StoredSettingsAreReadWhenTheLogCannotTakeItsFirstLine) {
    WriteFile(
        "<language>French<language><left>640<left><top>480<top><image>/p<image>"
        "<save>/s<save><author>Ann<author>");
    std::string failure;
    test::WithFullDisk(8, [&] {  // the disk fills before the log's first line is out
        failure = test::FailureOf([&] { OpenLog(recording.shell.log, folder()); });
        Read();
    });
    EXPECT_EQ(failure, "File too large");
    EXPECT_EQ(config.Language, "French");
    EXPECT_EQ(config.WindowTop, 480);
    EXPECT_EQ(config.Author, "Ann");
    EXPECT_TRUE(recording.boxes.empty());
}

}  // namespace
}  // namespace mosaikon
