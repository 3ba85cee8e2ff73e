#include "shell/folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "shell/log.h"
#include "support/test_support.h"

namespace mosaikon {
namespace {

namespace fs = std::filesystem;

// Sets or (for nullptr) clears an environment variable for its own life.
class Variable {
public:
    Variable(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        if (old) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Variable() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

fs::perms Mode(const std::string& folder) {
    return fs::status(folder).permissions() & fs::perms::all;
}

// Installed as a package puts it: bin/ beside share/mosaikon, no Settings folder to write.
TEST(SettingsFolders, FollowTheXdgRulesWhenTheProgramsOwnFolderCannotBeUsed) {
    test::TempFolder root;
    fs::create_directories(root.path() / "prefix/bin");
    fs::create_directories(root.path() / "prefix/share/mosaikon");
    test::WriteBytes(root.path() / "prefix/share/mosaikon/English.txt", {'x'});
    const std::string program = root / "prefix/bin";
    const Variable home("HOME", (root / "home").c_str());
    const std::string custom = root / "custom";
    // Unset, absolute, and relative (which the rules say to ignore) variables.
    for (const char* value : {static_cast<const char*>(nullptr), custom.c_str(), "relative"}) {
        const bool absolute = value == custom.c_str();
        const Variable config("XDG_CONFIG_HOME", value), state("XDG_STATE_HOME", value),
            data("XDG_DATA_HOME", value);
        const std::string configFolder =
            absolute ? custom + "/mosaikon" : root / "home/.config/mosaikon";
        const std::string stateFolder =
            absolute ? custom + "/mosaikon" : root / "home/.local/state/mosaikon";
        EXPECT_EQ(SettingsPath(program, "config.txt"), configFolder + "/config.txt");
        EXPECT_EQ(SettingsPath(program, "Log_File.txt"), stateFolder + "/Log_File.txt");
        EXPECT_EQ(SettingsPath(program, "tempBitmap.bmp"), stateFolder + "/tempBitmap.bmp");
        EXPECT_EQ(Mode(configFolder), fs::perms::owner_all);
        EXPECT_EQ(Mode(stateFolder), fs::perms::owner_all);
        // The installed language file, unless the user has one of that name.
        EXPECT_EQ(fs::canonical(SettingsPath(program, "English.txt")),
                  root.path() / "prefix/share/mosaikon/English.txt");
        const std::string dataFolder =
            absolute ? custom + "/mosaikon" : root / "home/.local/share/mosaikon";
        fs::create_directories(dataFolder);
        test::WriteBytes(dataFolder + "/English.txt", {'y'});
        EXPECT_EQ(SettingsPath(program, "English.txt"), dataFolder + "/English.txt");
        fs::remove(dataFolder + "/English.txt");
        EXPECT_FALSE(OwnSettingsInUse(program));
    }
    // A state folder that cannot be made: the system's temporary folder, private to the user.
    test::WriteBytes(root / "file", {'f'});
    const Variable blocked("XDG_STATE_HOME", (root / "file/state").c_str());
    const std::string temporary = SettingsPath(program, "tempBitmap.bmp");
    EXPECT_EQ(temporary, (fs::temp_directory_path() / ("mosaikon-" + std::to_string(::getuid())) /
                          "tempBitmap.bmp")
                             .string());
    EXPECT_EQ(Mode(fs::path(temporary).parent_path()), fs::perms::owner_all);
    // A Settings folder beside the program that can be written holds everything, as ever.
    fs::create_directory(root.path() / "prefix/bin/Settings");
    EXPECT_TRUE(OwnSettingsInUse(program));
    for (const char* file : {"config.txt", "Log_File.txt", "English.txt"})
        EXPECT_EQ(SettingsPath(program, file), program + "/Settings/" + file);
}

// The temporary folder for the log and preview is used only when it is the user's own, not a
// link, and writable by nobody else; in one the user made, the log is not written through a link.
TEST(SettingsFolders, ATemporaryFolderIsTrustedOnlyWhenItIsPrivate) {
    test::TempFolder root;
    fs::create_directories(root.path() / "prefix/bin");
    const std::string program = root / "prefix/bin";
    test::WriteBytes(root / "blocker", {'x'});
    const Variable state("XDG_STATE_HOME", (root / "blocker/state").c_str());
    const Variable tmp("TMPDIR", root.path().c_str());
    const fs::path folder = root.path() / ("mosaikon-" + std::to_string(::getuid()));
    const fs::path elsewhere = root.path() / "elsewhere";
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, folder);  // a link to a folder: not taken
    EXPECT_EQ(SettingsPath(program, "Log_File.txt"), "");
    fs::remove(folder);
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_write);
    EXPECT_EQ(SettingsPath(program, "Log_File.txt"), "");
    if (::geteuid() == 0) {  // someone else's folder, private to them
        fs::permissions(folder, fs::perms::owner_all);
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
        EXPECT_EQ(SettingsPath(program, "Log_File.txt"), "");
        ASSERT_EQ(::chown(folder.c_str(), 0, 0), 0);
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(SettingsPath(program, "Log_File.txt"), (folder / "Log_File.txt").string());
    test::WriteBytes(root / "notes.txt", {'n'});
    fs::create_symlink(root / "notes.txt", folder / "Log_File.txt");
    Log log;
    EXPECT_EQ(test::FailureOf([&] { OpenLog(log, program); }), "Too many levels of symbolic links");
    EXPECT_EQ(test::ReadText(root / "notes.txt"), "n");
}

}  // namespace
}  // namespace mosaikon
