// mosaikon-convert never writes over what it reads, nor over a file of the user's unasked; it
// reports every folder and file it cannot take; names reach the terminal escaped.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace mosaikon {
namespace {

namespace fs = std::filesystem;
using test::ReadText;

struct Result {
    int status;
    std::string out, err;
};

class Outputs : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder.path() / "pics");
        fs::create_directories(folder.path() / "out");
        const test::Bytes bitmap = test::EncodeBitmap(
            {.width = 6, .height = 4, .palette = test::kTestColours,
             .pixels = {1, 1, 2, 2, 3, 3, 1, 4, 4, 2, 3, 0, 0, 1, 2, 3, 4, 5, 6, 6, 5, 4, 3, 2}});
        test::WriteBytes(folder / "pics/logo.bmp", bitmap);
        test::WriteBytes(folder / "pics/good.bmp", bitmap);
        original = test::ReadBytes(folder / "pics/logo.bmp");
    }

    // Runs the converter through bash (for its $'...' quoting), in the test's folder; as
    // `other`, as a user other than root, so that folders closed to others are closed to it.
    Result Run(const std::string& arguments, bool other = false,
               const std::string& environment = "") {
        const std::string script = folder / "run.sh";
        std::ofstream(script) << "cd " << folder.path() << " && " << environment << " "
                              << (other && ::geteuid() == 0
                                      ? "setpriv --reuid=65534 --regid=65534 --clear-groups "
                                      : "")
                              << MOSAIKON_CONVERT_PATH << " " << arguments << " >out.txt 2>err.txt </dev/null\n";
        const int status = std::system(("bash " + script).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(folder / "out.txt"),
                ReadText(folder / "err.txt")};
    }
    bool PictureIntact() { return test::ReadBytes(folder / "pics/logo.bmp") == original; }

    test::TempFolder folder;
    test::Bytes original;
};

TEST_F(Outputs, NoOutputReplacesAnInputOrAnotherOutput) {
    // The texture where the picture is, the preview or the report over the picture or the part.
    fs::create_directories(folder.path() / "textures");
    test::WriteBytes(folder / "textures/s.png", original);
    for (const std::string& arguments :
         {std::string("--format ldraw-texture textures/s.png s.dat"),
          std::string("--preview pics/logo.bmp pics/logo.bmp s.dat"),
          std::string("--json pics/logo.bmp pics/logo.bmp s.dat"),
          std::string("--json s.dat pics/logo.bmp s.dat"),
          std::string("pics/logo.bmp pics/logo.bmp")}) {
        SCOPED_TRACE(arguments);
        const Result result = Run(arguments);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_THAT(result.err, AnyOf(HasSubstr("it would be written over"), HasSubstr("are the same file")));
        EXPECT_FALSE(fs::exists(folder / "s.dat"));
    }
    EXPECT_EQ(test::ReadBytes(folder / "textures/s.png"), original);
    EXPECT_TRUE(PictureIntact());

    // A batch: a picture named as its own part file, a part file that links to a picture, the
    // report over a part file or a picture. Nothing is written.
    test::WriteBytes(folder / "out/shot.dat", original);
    Result result = Run("out/shot.dat --output-dir out");
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr("out/shot.dat is the picture out/shot.dat"));
    EXPECT_EQ(test::ReadBytes(folder / "out/shot.dat"), original);
    fs::remove(folder / "out/shot.dat");
    fs::create_symlink(folder / "pics/good.bmp", folder / "out/logo.dat");
    result = Run("pics --output-dir out");
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr("it would be written over"));
    fs::remove(folder / "out/logo.dat");
    for (const char* report : {"out/good.dat", "pics/good.bmp"}) {
        result = Run(std::string("--json ") + report + " pics --output-dir out");
        EXPECT_EQ(result.status, 2) << report;
    }
    EXPECT_TRUE(fs::is_empty(folder.path() / "out"));
    EXPECT_EQ(test::ReadBytes(folder / "pics/good.bmp"), original);
    EXPECT_TRUE(PictureIntact());
}

TEST_F(Outputs, AFileOfTheUsersIsReplacedOnlyWithOverwriteAndAReportThatCannotBeWrittenStopsFirst) {
    test::WriteBytes(folder / "out/logo.dat", {'m', 'y', ' ', 'n', 'o', 't', 'e', 's'});
    Result result = Run("pics --output-dir out");
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("out/logo.dat is not a sticker part made by Mosaikon"));
    EXPECT_EQ(ReadText(folder / "out/logo.dat"), "my notes");
    EXPECT_TRUE(fs::exists(folder / "out/good.dat"));  // the other picture is converted
    // The program's own part files are replaced as ever, the user's with --overwrite.
    EXPECT_EQ(Run("pics/good.bmp out/good.dat").status, 0);
    EXPECT_EQ(Run("--overwrite pics --output-dir out").status, 0);
    EXPECT_THAT(ReadText(folder / "out/logo.dat"), StartsWith("0 Sticker: logo"));
    // An embedded textured sticker is the program's own too.
    EXPECT_EQ(Run("--format ldraw-texture --embed pics/logo.bmp s.mpd").status, 0);
    EXPECT_EQ(Run("--format ldraw-texture --embed pics/logo.bmp s.mpd").status, 0);

    // The report cannot be written: said before any picture is converted.
    fs::remove_all(folder.path() / "out");
    for (const char* report : {"no/such/report.json", "pics"}) {
        result = Run(std::string("--json ") + report + " pics --output-dir out");
        EXPECT_EQ(result.status, 1) << report;
        EXPECT_THAT(result.err, HasSubstr("cannot be written"));
        EXPECT_FALSE(fs::exists(folder.path() / "out"));
        result = Run(std::string("--json ") + report + " pics/logo.bmp one.dat");
        EXPECT_EQ(result.status, 1);
        EXPECT_FALSE(fs::exists(folder / "one.dat"));
    }
    EXPECT_EQ(Run("--preview '' pics/logo.bmp one.dat").status, 2);
}

// Every folder or file that cannot be taken is named, and the walk goes on with the others.
TEST_F(Outputs, AWalkReportsWhatItCannotReadAndConvertsTheRest) {
    fs::create_directories(folder.path() / "pics/closed");
    fs::create_directories(folder.path() / "pics/open");
    test::WriteBytes(folder / "pics/open/third.bmp", original);
    test::WriteBytes(folder / "pics/closed/hidden.bmp", original);
    ASSERT_EQ(::mkfifo((folder / "pics/pipe.png").c_str(), 0644), 0);
    fs::create_symlink("loop.png", folder / "pics/loop.png");
    fs::permissions(folder.path(), fs::perms::all);
    fs::permissions(folder.path() / "out", fs::perms::all);
    fs::permissions(folder.path() / "pics/closed", fs::perms::none);
    const Result result = Run("--recursive pics --output-dir out", true);
    fs::permissions(folder.path() / "pics/closed", fs::perms::owner_all);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_THAT(result.err, HasSubstr("pics/closed cannot be read"));
    EXPECT_THAT(result.err, HasSubstr("pics/pipe.png cannot be read: it is not a regular file"));
    EXPECT_THAT(result.err, HasSubstr("pics/loop.png cannot be read"));
    EXPECT_THAT(result.err, HasSubstr("3 pictures: 3 converted, 3 failed"));
    for (const char* part : {"logo.dat", "good.dat", "third.dat"}) {
        EXPECT_TRUE(fs::exists(folder.path() / "out" / part)) << part;
    }
}

// A name with a line break or an escape sequence is shown escaped, on one line; so are colour
// names of the user's LDConfig.ldr. An LDRAWDIR that is no folder, or a colour file that cannot
// be read, is said so.
TEST_F(Outputs, NamesReachTheTerminalEscaped) {
    Result result = Run("$'pics/a\\nb\\x1b]0;title\\a.bmp' --output-dir out");
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("pics/a\\nb\\x1b]0;title\\x07.bmp"));
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos);

    fs::create_directories(folder.path() / "library");
    std::ofstream(folder / "library/LDConfig.ldr")
        << "0 !COLOUR Red\x1b[2J CODE 4 VALUE #C91A09 EDGE #333333\r\n";
    result = Run("--palette ldraw --list-colours pics/logo.bmp one.dat", false, "LDRAWDIR=library");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("Red\\x1b[2J"));
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);

    result = Run("--palette ldraw pics/logo.bmp one.dat", false, "LDRAWDIR=pics/logo.bmp");
    EXPECT_THAT(result.err, HasSubstr("LDRAWDIR names pics/logo.bmp, which is not a folder"));
    fs::permissions(folder.path(), fs::perms::all);
    fs::permissions(folder.path() / "library", fs::perms::all);
    fs::permissions(folder / "library/LDConfig.ldr", fs::perms::none);
    fs::remove(folder / "one.dat");
    fs::permissions(folder.path() / "pics", fs::perms::all);
    fs::permissions(folder / "pics/logo.bmp", fs::perms::all);
    result = Run("--palette ldraw pics/logo.bmp /tmp/" + folder.path().filename().string() +
                     "-one.dat",
                 true, "LDRAWDIR=library");
    fs::remove("/tmp/" + folder.path().filename().string() + "-one.dat");
    EXPECT_THAT(result.err, HasSubstr("LDConfig.ldr cannot be used (it cannot be read"));
}

}  // namespace
}  // namespace mosaikon
