#pragma once

#include <functional>
#include <string>

#include "shell/shell.h"

namespace mosaikon {

// Language files hold one text per line, used by position: 32 lines are required; lines 33 and
// 34 (the captions of the full and the exact conversion), 35 (the count of quadrilaterals
// written, "%1" standing for the number), 36 to 38 (one line on what the quick, full and exact
// conversion do), 39 and 40 (the captions of the LDraw library sticker and the dither check boxes)
// and from line 41 on the window's further texts and messages (one line each of UiText) may follow.
inline constexpr int kLanguageLines = 32;
inline constexpr int kOptionalLanguageLines = 76;

// Reads Settings/<language>.txt. Every line read goes at once to `apply` (line number from 1);
// lines 28 to 32 also become the five message texts of the shell. A missing file is reported
// with a message and leaves everything as it was; a file of fewer than 32 lines is reported
// ("ReadLanguage has caused an error ...") after the lines before the missing one were applied.
void ReadLanguage(Shell& shell, const std::string& language, const std::string& programFolder,
                  const std::function<void(int line, const std::string& text)>& apply);

}  // namespace mosaikon
