#include "shell/shell.h"

namespace mosaikon {

void ShowMessage(Shell& shell, const std::string& text, MessageKind kind) {
    if (shell.messageBox) shell.messageBox(text, kind);
}

void ReportFailureWithoutLog(Shell& shell, std::string_view procedure,
                             const std::string& description) {
    ++shell.failuresReported;
    ShowMessage(shell, std::string(procedure) + " has caused an error " + description,
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
