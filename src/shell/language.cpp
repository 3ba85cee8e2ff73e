#include "shell/language.h"

#include "shell/failure.h"
#include "shell/text_file.h"

namespace mosaikon {

void ReadLanguage(Shell& shell, const std::string& language, const std::string& programFolder,
                  const std::function<void(int line, const std::string& text)>& apply) {
    try {
        WriteLog(shell.log, "Attempting to read Language file " + language);
        const std::string path = SettingsPath(programFolder, language + ".txt");
        if (!FileExists(path)) {
            ShowMessage(shell, "Could not find Language File: " + path +
                                   ".\nPlease create one, or choose a different language.");
            WriteLog(shell.log, "Could not find Language File " + path);
            return;
        }
        TextFileReader file(path);
        for (int line = 1; line <= kLanguageLines + kOptionalLanguageLines; ++line) {
            if (line > kLanguageLines && file.AtEnd()) break;
            const std::string text = file.ReadLine();
            switch (line) {
                case 28:
                    shell.messages.MsgConvertDone = text;
                    break;
                case 29:
                    shell.messages.MsgNameTooLong = text;
                    break;
                case 30:
                    shell.messages.MsgHeightInvalid = text;
                    break;
                case 31:
                    shell.messages.MsgLargeImage = text;
                    break;
                case 32:
                    shell.messages.MsgPaletteWarning = text;
                    break;
                default:
                    break;
            }
            if (apply) apply(line, text);
        }
        WriteLog(shell.log, "Read Language File successful");
    } catch (...) {
        if (shell.restorePointer) shell.restorePointer();
        ReportFailure(shell, "ReadLanguage", "ERROR IN ReadLanguage ", CurrentFailureDescription());
    }
}

}  // namespace mosaikon
