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
// state folder cannot be made, the preview and log go to mosaikon-<uid> in the system's
// temporary folder. A state folder is used only when it is private: the user's own, not a link,
// and writable by nobody else; with none such, the log and preview have no path (empty).
std::string SettingsPath(const std::string& programFolder, const std::string& fileName);

// A folder of the system's temporary folder made afresh for this run, private to the user (empty
// when none can be made): for the preview when no state folder can be trusted.
std::string FreshPrivateFolder();

// Whether the Settings folder beside the program is the one in use.
bool OwnSettingsInUse(const std::string& programFolder);

// The folder the given file of the program lives in (for messages).
std::string SettingsFolderOf(const std::string& programFolder, const std::string& fileName);

}  // namespace mosaikon
