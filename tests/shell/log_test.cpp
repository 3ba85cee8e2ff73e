#include "shell/log.h"

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace mosaikon
