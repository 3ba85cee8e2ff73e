#include "shell/log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "shell/failure.h"
#include "shell/shell.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::ReadText;
using test::TempFolder;

TEST(Log, StartsWithTheProgramFolderAndEachRunReplacesThePreviousLog) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path() / "Settings");
    for (const char* line : {"a long first line that the second run must not keep", "Done"}) {
        Log log;
        OpenLog(log, folder.path().string());
        WriteLog(log, "");
        WriteLog(log, line);
    }
    EXPECT_EQ(ReadText(folder.path() / "Settings" / "Log_File.txt"),
              "Application Location " + folder.path().string() + "\r\n\r\nDone\r\n");
    Log closed;
    EXPECT_NO_THROW(WriteLog(closed, "dropped"));
}

TEST(Log, WithoutASettingsFolderTheLogGoesToTheUsersStateFolder) {
    TempFolder folder;
    Log log;
    OpenLog(log, folder.path().string());
    WriteLog(log, "kept");
    CloseLog(log);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "Settings"));
    const std::string state = std::string(std::getenv("HOME")) + "/.local/state/mosaikon";
    EXPECT_EQ(ReadText(state + "/Log_File.txt"),
              "Application Location " + folder.path().string() + "\r\nkept\r\n");
    EXPECT_EQ(std::filesystem::status(state).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    std::filesystem::remove_all(state);
}

TEST(FailureReport, ShowsTheProcedureAndLogsTheMarker) {
    test::RecordingShell recording;
    ReportFailure(recording.shell, "LoadBitmap", "LOAD BITMAP: ERROR LOADING BITMAP ", "Overflow");
    ASSERT_EQ(recording.boxes.size(), 1u);
    EXPECT_EQ(recording.boxes[0], "LoadBitmap has caused an error Overflow");
    EXPECT_EQ(recording.LogLines().back(), "LOAD BITMAP: ERROR LOADING BITMAP Overflow");
    EXPECT_EQ(recording.shell.failuresReported, 1);
}

}  // namespace
}  // namespace mosaikon
