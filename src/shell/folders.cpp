#include "shell/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace mosaikon {

namespace {

enum class Kind { Configuration, State, Language };

Kind KindOf(const std::string& fileName) {
    if (fileName == "config.txt" || fileName == "Config.txt") return Kind::Configuration;
    if (fileName == "Log_File.txt" || fileName == "tempBitmap.bmp") return Kind::State;
    return Kind::Language;
}

std::string OwnSettings(const std::string& programFolder) {
    std::string path = programFolder;
    if (path.empty() || path.back() != '/') path += '/';
    return path + "Settings";
}

// $variable when it names an absolute path (as the rules ask), else ~/fallback.
std::string UserFolder(const char* variable, const char* fallback) {
    const char* set = std::getenv(variable);
    if (set && set[0] == '/') return std::string(set) + "/mosaikon";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/") + "/" + fallback + "/mosaikon";
}

// Makes the folder and its missing parents, private to the user; whether it is there now.
bool MakePrivateFolder(const std::string& folder) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return ::access(folder.c_str(), W_OK) == 0;
    const auto parent = std::filesystem::path(folder).parent_path();
    if (!parent.empty() && parent != folder && !std::filesystem::is_directory(parent, error)) {
        if (!MakePrivateFolder(parent.string())) return false;
    }
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// A folder for the log and the preview: made private (mode 0700) when missing, and taken as it
// is only when it is a folder of the user's own, not a link, that nobody else can write, so that
// nobody can have put a link in it that the program would write through.
bool UsePrivateFolder(const std::string& folder) {
    if (!MakePrivateFolder(folder)) return false;
    struct stat status {};
    return ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string TemporaryFolder() {
    std::error_code error;
    const std::string folder =
        (std::filesystem::temp_directory_path(error) / ("mosaikon-" + std::to_string(::getuid())))
            .string();
    return UsePrivateFolder(folder) ? folder : "";
}

}  // namespace

bool OwnSettingsInUse(const std::string& programFolder) {
    const std::string own = OwnSettings(programFolder);
    std::error_code error;
    return std::filesystem::is_directory(own, error) && ::access(own.c_str(), W_OK) == 0;
}

std::string SettingsFolderOf(const std::string& programFolder, const std::string& fileName) {
    if (OwnSettingsInUse(programFolder)) return OwnSettings(programFolder);
    switch (KindOf(fileName)) {
        case Kind::Configuration: {
            const std::string folder = UserFolder("XDG_CONFIG_HOME", ".config");
            MakePrivateFolder(folder);
            return folder;
        }
        case Kind::State: {
            const std::string folder = UserFolder("XDG_STATE_HOME", ".local/state");
            return UsePrivateFolder(folder) ? folder : TemporaryFolder();
        }
        case Kind::Language:
            break;
    }
    const std::string user = UserFolder("XDG_DATA_HOME", ".local/share");
    std::error_code error;
    if (std::filesystem::is_regular_file(user + "/" + fileName, error)) return user;
    const std::string installed = programFolder + "/../share/mosaikon";
    if (std::filesystem::is_regular_file(installed + "/" + fileName, error)) return installed;
    // A Settings folder that cannot be written may still hold the language files.
    if (std::filesystem::is_regular_file(OwnSettings(programFolder) + "/" + fileName, error)) {
        return OwnSettings(programFolder);
    }
    return installed;
}

std::string SettingsPath(const std::string& programFolder, const std::string& fileName) {
    if (fileName.empty()) return SettingsFolderOf(programFolder, "config.txt") + "/";
    const std::string folder = SettingsFolderOf(programFolder, fileName);
    return folder.empty() ? "" : folder + "/" + fileName;
}

std::string FreshPrivateFolder() {
    static const std::string folder = [] {
        std::error_code error;
        std::string pattern = (std::filesystem::temp_directory_path(error) /
                               ("mosaikon-" + std::to_string(::getuid()) + "-XXXXXX"))
                                  .string();
        return ::mkdtemp(pattern.data()) ? pattern : std::string();
    }();
    return folder;
}

}  // namespace mosaikon
