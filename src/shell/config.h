#pragma once

#include <cstdint>
#include <string>

#include "shell/shell.h"

namespace mosaikon {

// The six settings kept from one run to the next in Settings/config.txt. Before ReadConfig has
// run they are empty and zero; ReadConfig starts from the defaults.
struct AppConfig {
    std::string Language;
    std::int16_t WindowLeft = 0;  // twips
    std::int16_t WindowTop = 0;
    std::string ImageLocation;
    std::string SaveLocation;
    std::string Author;
    // Whether part files are written as LDraw library sticker parts; kept under its own tag,
    // which is written only when set, so that a file without it reads as the classic layout.
    std::string Form = "classic";  // the part file's form: classic, ldraw-sticker, ldraw-texture
    // The colours written: "direct" (as ever), "ldraw-core" or "ldraw"; under its own tag,
    // written only when not direct.
    std::string Colours = "direct";
    // The vector conversion's tolerance (pixels) and smallest region (pixels); under their own
    // tags, written only when not the defaults (0.5 and 4).
    double VectorTolerance = 0.5;
    std::int32_t VectorMinArea = 4;
    // The most colours kept of a picture without a palette (2 to 256); under its own tag,
    // written only when not 256.
    std::int32_t MostColours = 256;
    // The user's LDraw library, remembered, and whether part files are saved into it (its
    // unofficial/parts folder, textures in unofficial/parts/textures); under their own tags,
    // written only when set.
    std::string Library;
    bool SaveIntoLibrary = false;
};

AppConfig DefaultConfig();

// The configuration as one line of tagged values, as written to the file.
std::string ConfigFileText(const AppConfig& config);

// Reads config.txt into config (and its trimmed text into configText). A missing or corrupted
// file keeps the defaults with a message (installed, a missing file in the user's folder is a
// first start and only logged); any other failure is reported ("ReadConfig has caused
// an error ...") and keeps the fields read so far.
void ReadConfig(Shell& shell, AppConfig& config, std::string& configText,
                const std::string& programFolder);

// Writes config.txt, replacing the old file only once the new one is complete.
void WriteConfig(Shell& shell, const AppConfig& config, std::string& configText,
                 const std::string& programFolder);

}  // namespace mosaikon
