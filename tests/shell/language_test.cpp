#include "shell/language.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "shell/english_texts.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

class Language : public ::testing::Test {
protected:
    void WriteLines(int count, const std::string& lineEnd = "\r\n") {
        std::string text;
        for (int i = 1; i <= count; ++i) text += "text " + std::to_string(i) + lineEnd;
        test::WriteBytes(recording.folder / "Settings/Test.txt",
                         test::Bytes(text.begin(), text.end()));
    }
    void Read(const std::string& name = "Test") {
        applied.clear();
        recording.shell.messages = {};
        ReadLanguage(recording.shell, name, recording.folder.path().string(),
                     [this](int line, const std::string& text) { applied[line] = text; });
    }
    test::RecordingShell recording;
    std::map<int, std::string> applied;
};

TEST_F(Language, LinesSetTheTextsByPositionWholeAndOptionalLinesMayFollow) {
    for (const char* lineEnd : {"\r\n", "\n"}) {
        WriteLines(kLanguageLines + kOptionalLanguageLines + 5, lineEnd);
        Read();
        EXPECT_EQ(applied.size(), (kLanguageLines + kOptionalLanguageLines));
        EXPECT_EQ(applied[33], "text 33");
        EXPECT_EQ(recording.shell.messages.MsgConvertDone, "text 28");
        EXPECT_EQ(recording.shell.messages.MsgPaletteWarning, "text 32");
        EXPECT_TRUE(recording.boxes.empty());
    }
    std::string text = "  spaced  \r\n\r\n";
    for (int i = 3; i <= 32; ++i) text += "x\r\n";
    test::WriteBytes(recording.folder / "Settings/Test.txt", test::Bytes(text.begin(), text.end()));
    Read();
    EXPECT_EQ(applied[1], "  spaced  ");
    EXPECT_EQ(applied[2], "");
}

TEST_F(Language, AShortFileStopsWithAReportAfterTheLinesItHas) {
    WriteLines(31);
    Read();
    EXPECT_EQ(applied.size(), 31u);
    EXPECT_EQ(recording.shell.messages.MsgLargeImage, "text 31");
    EXPECT_EQ(recording.shell.messages.MsgPaletteWarning, "");
    EXPECT_EQ(recording.boxes,
              std::vector<std::string>{"ReadLanguage has caused an error Input past end of file"});
    EXPECT_EQ(recording.LogLines().back(), "ERROR IN ReadLanguage Input past end of file");
}

TEST(ShippedLanguageFiles, HaveEveryLineAndTheEnglishMessagesOfTheCommandLine) {
    for (const char* language :
         {"English", "Italiano", "Spanish", "French", "Deutsch", "Português"}) {
        test::RecordingShell recording;
        std::filesystem::copy(
            std::string(MOSAIKON_SETTINGS_DIR) + "/" + language + ".txt",
            recording.folder.path() / "Settings" / (std::string(language) + ".txt"));
        std::map<int, std::string> lines;
        ReadLanguage(recording.shell, language, recording.folder.path().string(),
                     [&](int line, const std::string& text) { lines[line] = text; });
        EXPECT_EQ(lines.size(), (kLanguageLines + kOptionalLanguageLines)) << language;
        EXPECT_THAT(lines[35], HasSubstr("%1")) << language;
        // The quick conversion's caption is translated like the others.
        EXPECT_TRUE(lines[21] != "Quick Convert" || std::string(language) == "English");
    }
    test::RecordingShell recording;
    std::filesystem::copy(std::string(MOSAIKON_SETTINGS_DIR) + "/English.txt",
                          recording.folder.path() / "Settings/English.txt");
    ReadLanguage(recording.shell, "English", recording.folder.path().string(), {});
    const MessageTexts& read = recording.shell.messages;
    EXPECT_EQ(std::tie(read.MsgConvertDone, read.MsgNameTooLong, read.MsgHeightInvalid,
                       read.MsgLargeImage, read.MsgPaletteWarning),
              std::tie(english::MsgConvertDone, english::MsgNameTooLong, english::MsgHeightInvalid,
                       english::MsgLargeImage, english::MsgPaletteWarning));
}

}  // namespace
}  // namespace mosaikon
