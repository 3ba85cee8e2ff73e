#pragma once

#include <string>

namespace mosaikon {

// Where the program keeps its files. The Settings folder beside the program is used whenever it
// exists and can be written (a build tree, an unpacked folder). Otherwise, as for a program
// installed where its own folder cannot be written, the user's folders by the XDG base directory
// rules: the configuration in $XDG_CONFIG_HOME/mosaikon (~/.config/mosaikon), the log and the
// preview bitmap in $XDG_STATE_HOME/mosaikon (~/.local/state/mosaikon), both made with mode 0700
// when missing, and the language files from $XDG_DATA_HOME/mosaikon (~/.local/share/mosaikon)
// where the user has one of that name, else from the installed <prefix>/share/mosaikon. When the
// state folder cannot be made, the preview and log go to the system's temporary folder.
std::string SettingsPath(const std::string& programFolder, const std::string& fileName);

// Whether the Settings folder beside the program is the one in use.
bool OwnSettingsInUse(const std::string& programFolder);

// The folder the given file of the program lives in (for messages).
std::string SettingsFolderOf(const std::string& programFolder, const std::string& fileName);

}  // namespace mosaikon
