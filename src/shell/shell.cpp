#include "shell/shell.h"

namespace mosaikon {

void ShowMessage(Shell& shell, const std::string& text, MessageKind kind) {
    if (shell.messageBox) shell.messageBox(text, kind);
}

std::string FillIn(std::string text, std::initializer_list<std::string> values) {
    int number = 1;
    for (const std::string& value : values) {
        std::string mark = std::to_string(number++);
        mark.insert(mark.begin(), '%');
        const std::size_t at = text.find(mark);
        if (at == std::string::npos) continue;
        std::string filled;
        filled.reserve(text.size() + value.size());
        filled.append(text, 0, at).append(value).append(text, at + mark.size());
        text = std::move(filled);
    }
    return text;
}

void ReportFailureWithoutLog(Shell& shell, std::string_view procedure,
                             const std::string& description) {
    ++shell.failuresReported;
    const std::string& format = shell.messages.CausedAnError;
    const bool usable =
        format.find("%1") != std::string::npos && format.find("%2") != std::string::npos;
    ShowMessage(shell,
                usable ? FillIn(format, {std::string(procedure), description})
                       : std::string(procedure) + " has caused an error " + description,
                MessageKind::Failure);
}

void ReportFailure(Shell& shell, std::string_view procedure, std::string_view logMarker,
                   const std::string& description) {
    ReportFailureWithoutLog(shell, procedure, description);
    try {
        WriteLog(shell.log, std::string(logMarker) + description);
    } catch (...) {
        CloseLog(shell.log);
    }
}

}  // namespace mosaikon
