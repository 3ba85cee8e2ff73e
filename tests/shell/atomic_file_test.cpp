#include "shell/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>

#include "shell/failure.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::ReadText;
using test::TempFolder;

std::size_t EntriesIn(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

TEST(AtomicFileWriter, ReplacesTheTargetOnlyOnCommit) {
    TempFolder folder;
    const std::string target = folder / "part.dat";
    test::WriteBytes(target, {'o', 'l', 'd'});
    {
        AtomicFileWriter writer(target);
        writer.Write("new content");
        EXPECT_EQ(ReadText(target), "old");
        writer.Commit();
    }
    EXPECT_EQ(ReadText(target), "new content");
    EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

TEST(AtomicFileWriter, AnAbandonedWriteLeavesTheOldFileAndNoTemporaryFile) {
    TempFolder folder;
    const std::string target = folder / "config.txt";
    test::WriteBytes(target, {'k', 'e', 'e', 'p'});
    {
        AtomicFileWriter writer(target);
        writer.Write(std::string(3 << 20, 'x'));  // more than one buffer's worth reaches the disk
    }
    EXPECT_EQ(ReadText(target), "keep");
    EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

TEST(AtomicFileWriter, MissingOrReadOnlyFoldersAndFolderTargetsFail) {
    TempFolder folder;
    EXPECT_THROW(AtomicFileWriter(folder / "missing/part.dat"), Failure);
    EXPECT_THROW(AtomicFileWriter(folder.path().string()), Failure);
    if (::geteuid() != 0) {  // root writes into read-only folders all the same
        std::filesystem::permissions(
            folder.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_THROW(AtomicFileWriter(folder / "part.dat"), Failure);
    }
}

TEST(AtomicFileWriter, AFullDiskIsReportedAndTheTargetStaysUntouched) {
    // A file-size limit makes the disk "full" after one megabyte.
    TempFolder folder;
    const std::string target = folder / "big.dat";
    test::WriteBytes(target, {'o', 'l', 'd'});
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1 << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool failed = false;
    try {
        AtomicFileWriter writer(target);
        writer.Write(std::string(3 << 20, 'x'));
        writer.Commit();
    } catch (const Failure&) {
        failed = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(failed);
    EXPECT_EQ(ReadText(target), "old");
    EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

}  // namespace
}  // namespace mosaikon
