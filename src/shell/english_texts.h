#pragma once

#include "shell/shell.h"

namespace mosaikon::english {

// The English message texts, as Settings/English.txt words them; the command-line converter,
// which reads no language file, shows these.
inline constexpr const char* MsgConvertDone =
    "The sticker has been saved. You can open it in your LDraw program now.";
inline constexpr const char* MsgNameTooLong =
    "The file name is too long: LDraw part names have at most 8 characters before \".dat\". "
    "Please choose a shorter name.";
inline constexpr const char* MsgHeightInvalid =
    "The height must be a number greater than 0. Please type a positive number.";
inline constexpr const char* MsgLargeImage =
    "This picture is larger than 1024 pixels. Converting it may take a long time and give a very "
    "large part file; consider making it smaller first.";
inline constexpr const char* MsgPaletteWarning =
    "This picture has no colour palette, or only two colours, so its colours may not come out "
    "right. Save it as a 256-colour bitmap and open it again.";

// Gives the shell these texts.
inline void UseEnglishMessages(MessageTexts& messages) {
    messages.MsgConvertDone = MsgConvertDone;
    messages.MsgNameTooLong = MsgNameTooLong;
    messages.MsgHeightInvalid = MsgHeightInvalid;
    messages.MsgLargeImage = MsgLargeImage;
    messages.MsgPaletteWarning = MsgPaletteWarning;
}

}  // namespace mosaikon::english
