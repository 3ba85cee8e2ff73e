#include "shell/atomic_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "shell/failure.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

using test::ReadText;
using test::TempFolder;

std::size_t EntriesIn(const std::filesystem::path& folder) {
    return (std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()));
}

TEST(AtomicFileWriter, ReplacesTheTargetOnlyOnCommitAndAnAbandonedWriteLeavesNoTrace) {
    TempFolder folder;
    const std::string target = folder / "part.dat";
    test::WriteBytes(target, {'o', 'l', 'd'});
    {
        AtomicFileWriter writer(target);
        writer.Write(std::string(3 << 20, 'x'));  // more than one buffer's worth reaches the disk
    }
    EXPECT_EQ(ReadText(target), "old");
    {
        AtomicFileWriter writer(target);
        writer.Write("new content");
        EXPECT_EQ(ReadText(target), "old");
        writer.Commit();
    }
    EXPECT_EQ(ReadText(target), "new content");
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

TEST(AtomicFileWriter, LinksAreWrittenThroughAndOnlyRegularFilesReplaced) {
    namespace fs = std::filesystem;
    TempFolder folder;
    fs::create_directory(folder / "a");
    fs::create_symlink("../a/final.dat", folder / "a/relative.dat");  // relative to its folder
    fs::create_symlink(folder / "a/relative.dat", folder / "chain.dat");
    EXPECT_EQ(ResolveWriteTarget(folder / "chain.dat"), folder / "a/../a/final.dat");
    {
        AtomicFileWriter writer(folder / "chain.dat");  // a dangling link gets its target made
        writer.Write("through");
        writer.Commit();
    }
    EXPECT_EQ(ReadText(folder / "a/final.dat"), "through");
    EXPECT_TRUE(fs::is_symlink(folder / "chain.dat"));

    fs::create_symlink("loop2", folder / "loop1");
    fs::create_symlink("loop1", folder / "loop2");
    EXPECT_THROW(AtomicFileWriter(folder / "loop1"), Failure);
    EXPECT_EQ(test::FailureOf([] { AtomicFileWriter writer("/dev/null"); }),
              "/dev/null is not a regular file; only regular files are replaced");
}

TEST(AtomicFileWriter, PendingFilesArePutInPlaceTogetherOrNotAtAll) {
    TempFolder folder;
    test::WriteBytes(folder / "one", {'1'});
    {
        PendingFiles pending;
        AtomicFileWriter one(folder / "one");
        one.Write("new");
        pending.Add(std::move(one));
        EXPECT_EQ(ReadText(folder / "one"), "1");
    }  // never committed: the old file stays, the temporary one is gone
    EXPECT_EQ(ReadText(folder / "one"), "1");
    EXPECT_EQ(EntriesIn(folder.path()), 1u);
    PendingFiles pending;
    for (const char* name : {"one", "two"}) {
        AtomicFileWriter file(folder / name);
        file.Write(name);
        pending.Add(std::move(file));
    }
    pending.CommitAll();
    EXPECT_EQ(ReadText(folder / "one"), "one");
    EXPECT_EQ(ReadText(folder / "two"), "two");
    EXPECT_EQ(EntriesIn(folder.path()), 2u);
}

}  // namespace
}  // namespace mosaikon
