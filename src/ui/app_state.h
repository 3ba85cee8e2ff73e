#pragma once

#include <string>

#include "image/picture.h"
#include "image/quads.h"
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
    Quads quads;
};

}  // namespace mosaikon
