#include "shell/config.h"

#include <cstdlib>
#include <string_view>

#include "shell/atomic_file.h"
#include "shell/failure.h"
#include "shell/folders.h"
#include "shell/limits.h"
#include "shell/numbers.h"
#include "shell/text_file.h"

namespace mosaikon {

namespace {

constexpr const char* kInvalidArgument = "Invalid procedure call or argument";

std::string ConfigPath(const std::string& programFolder) {
    return SettingsPath(programFolder, "config.txt");
}

// The text between the first and the last copy of the tag. Positions are counted in 16 bits:
// a tag beyond 32767 overflows, and a tag found once or not at all gives a negative length.
std::string TaggedValue(const std::string& text, std::string_view tag) {
    const auto firstFound = text.find(tag);
    const long long first =
        firstFound == std::string::npos ? 0 : static_cast<long long>(firstFound) + 1;
    const long long start = first + static_cast<long long>(tag.size());
    const auto lastFound = text.rfind(tag);
    const long long last =
        lastFound == std::string::npos ? 0 : static_cast<long long>(lastFound) + 1;
    if (start > 32767 || last > 32767) Fail(failure::Overflow);
    const long long length = last - start;
    if (length < 0) Fail(kInvalidArgument);
    if (start > static_cast<long long>(text.size())) return "";
    return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length));
}

void RestorePointer(Shell& shell) {
    if (shell.restorePointer) shell.restorePointer();
}

}  // namespace

AppConfig DefaultConfig() {
    return AppConfig{"Default", 500, 500, "/", "/", "Mosaikon", "classic", "direct"};
}

std::string ConfigFileText(const AppConfig& config) {
    std::string text;
    auto field = [&](std::string_view tag, const std::string& value) {
        text.append(tag).append(value).append(tag);
    };
    field("<language>", config.Language);
    field("<left>", std::to_string(config.WindowLeft));
    field("<top>", std::to_string(config.WindowTop));
    field("<image>", config.ImageLocation);
    field("<save>", config.SaveLocation);
    field("<author>", config.Author);
    if (config.Form != "classic") field("<format>", config.Form);
    if (config.Colours != "direct") field("<palette>", config.Colours);
    if (config.VectorTolerance != 0.5) field("<tolerance>", NumberToText(config.VectorTolerance));
    if (config.VectorMinArea != 4) field("<minarea>", std::to_string(config.VectorMinArea));
    if (config.MostColours != 256) field("<colours>", std::to_string(config.MostColours));
    if (!config.Library.empty()) field("<library>", config.Library);
    if (config.SaveIntoLibrary) field("<intolibrary>", "1");
    return text;
}

void ReadConfig(Shell& shell, AppConfig& config, std::string& configText,
                const std::string& programFolder) {
    config = DefaultConfig();
    try {
        const std::string path = ConfigPath(programFolder);
        const std::string shownPath = SettingsPath(programFolder, "Config.txt");
        if (!FileExists(path)) {
            // Installed, the configuration is made in the user's folder at the first close:
            // its absence is a first start, not a missing part of the program.
            if (OwnSettingsInUse(programFolder)) {
                ShowMessage(shell, "Could not find: Config File " + shownPath +
                                       ".\nPlease be sure that all files are in the same folder.");
            }
            WriteLog(shell.log, "Could not find Config File " + shownPath);
            return;
        }
        WriteLog(shell.log, "Attempting to read Config file.");
        TextFileReader file(path);
        std::string text = file.ReadAll();
        const auto begin = text.find_first_not_of(' ');
        text = begin == std::string::npos
                   ? ""
                   : text.substr(begin, text.find_last_not_of(' ') - begin + 1);
        configText = text;
        if (text.find("language") == std::string::npos) {
            WriteLog(shell.log, "CONFIG FILE HAS BEEN CORRUPTED!");
            ShowMessage(shell,
                        "Config File has been corrupted.  A new config file will be written.");
            return;
        }
        config.Language = TaggedValue(text, "<language>");
        config.WindowLeft = TextToInt16(TaggedValue(text, "<left>"));
        config.WindowTop = TextToInt16(TaggedValue(text, "<top>"));
        config.ImageLocation = TaggedValue(text, "<image>");
        config.SaveLocation = TaggedValue(text, "<save>");
        config.Author = TaggedValue(text, "<author>");
        if (text.find("<format>") != text.rfind("<format>")) {
            const std::string form = TaggedValue(text, "<format>");
            if (form == "ldraw-sticker" || form == "ldraw-texture") config.Form = form;
        }
        if (text.find("<palette>") != text.rfind("<palette>")) {
            const std::string colours = TaggedValue(text, "<palette>");
            if (colours == "ldraw-core" || colours == "ldraw") config.Colours = colours;
        }
        // The vector settings, where they are numbers the window accepts.
        if (text.find("<tolerance>") != text.rfind("<tolerance>")) {
            const std::string value = TaggedValue(text, "<tolerance>");
            char* end = nullptr;
            const double tolerance = std::strtod(value.c_str(), &end);
            if (!value.empty() && end == value.c_str() + value.size() && tolerance >= 0 &&
                tolerance <= kMostVectorTolerance) {
                config.VectorTolerance = tolerance;
            }
        }
        if (text.find("<library>") != text.rfind("<library>")) {
            config.Library = TaggedValue(text, "<library>");
        }
        config.SaveIntoLibrary = !config.Library.empty() &&
                                 text.find("<intolibrary>") != text.rfind("<intolibrary>") &&
                                 TaggedValue(text, "<intolibrary>") == "1";
        if (text.find("<colours>") != text.rfind("<colours>")) {
            const std::string value = TaggedValue(text, "<colours>");
            char* end = nullptr;
            const long colours = std::strtol(value.c_str(), &end, 10);
            if (!value.empty() && end == value.c_str() + value.size() && colours >= 2 &&
                colours <= 256) {
                config.MostColours = static_cast<std::int32_t>(colours);
            }
        }
        if (text.find("<minarea>") != text.rfind("<minarea>")) {
            const std::string value = TaggedValue(text, "<minarea>");
            char* end = nullptr;
            const long area = std::strtol(value.c_str(), &end, 10);
            if (!value.empty() && end == value.c_str() + value.size() && area >= 0 &&
                area <= kMostVectorMinArea) {
                config.VectorMinArea = static_cast<std::int32_t>(area);
            }
        }
        WriteLog(shell.log, "Config file successfully read.  Attempting to close file.");
    } catch (...) {
        RestorePointer(shell);
        ReportFailure(shell, "ReadConfig", "ERROR IN READCONFIG ", CurrentFailureDescription());
    }
}

void WriteConfig(Shell& shell, const AppConfig& config, std::string& configText,
                 const std::string& programFolder) {
    try {
        WriteLog(shell.log, "Attempting to read Config file.");
        AtomicFileWriter file(ConfigPath(programFolder));
        configText = ConfigFileText(config);
        file.Write(configText);
        file.Commit();
    } catch (...) {
        RestorePointer(shell);
        ReportFailure(shell, "WriteConfig", "ERROR IN WRITECONFIG ", CurrentFailureDescription());
    }
}

}  // namespace mosaikon
