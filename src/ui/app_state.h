#pragma once

#include <string>

#include "image/picture.h"
#include "shell/config.h"
#include "shell/shell.h"

namespace mosaikon {

// Everything the window program keeps for the whole run, owned by main and shared by its two
// windows.
struct AppState {
    std::string programFolder;
    Shell shell;
    AppConfig config;
    std::string ConfigText;
    std::string DefaultAuthor;
    Picture picture;
    // The folder of the configuration cannot be written: said once at start, and the
    // configuration is not written at the end.
    bool settingsReadOnly = false;
};

}  // namespace mosaikon
