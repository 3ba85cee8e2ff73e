#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "shell/log.h"

namespace mosaikon {

// What a message box carries; the window shows every kind alike, the command line words them.
enum class MessageKind { Information, Warning, Failure };

// The modal message box, a service of the surroundings (a dialog, standard error, a recorder).
using MessageBoxSeam = std::function<void(const std::string& text, MessageKind kind)>;

// A question with Yes and No buttons; true for Yes.
using QuestionSeam = std::function<bool(const std::string& text)>;

// The five message texts of the language file; empty until it has been read.
struct MessageTexts {
    std::string MsgConvertDone;
    std::string MsgNameTooLong;
    std::string MsgHeightInvalid;
    std::string MsgLargeImage;
    std::string MsgPaletteWarning;
    // A picture of more colours than are kept: "%1" stands for its colours, "%2" for those kept.
    std::string MsgColoursKept = "This picture has %1 colours; the %2 that serve it best are kept.";
    // A failure report: "%1" stands for the procedure, "%2" for what went wrong.
    std::string CausedAnError = "%1 has caused an error %2";
};

// The text with "%1", "%2", ... replaced by the values, in turn.
std::string FillIn(std::string text, std::initializer_list<std::string> values);

// The surroundings every procedure reports through: the log, the message box and the texts.
struct Shell {
    Log log;
    MessageTexts messages;
    MessageBoxSeam messageBox;
    // Without one, every question is answered No.
    QuestionSeam question;
    // Sets the mouse pointer back to normal and enables the main window again, where a failure
    // handler does so; the window program fills it in.
    std::function<void()> restorePointer;
    int failuresReported = 0;
};

void ShowMessage(Shell& shell, const std::string& text,
                 MessageKind kind = MessageKind::Information);

// The failure report of a procedure with a failure handler: the message box
// "<procedure> has caused an error <description>" and the log line "<marker><description>".
// Never throws: a log that cannot be written any more must not hide the report.
void ReportFailure(Shell& shell, std::string_view procedure, std::string_view logMarker,
                   const std::string& description);

// The same report without a log line (the window load and unload handlers).
void ReportFailureWithoutLog(Shell& shell, std::string_view procedure,
                             const std::string& description);

}  // namespace mosaikon
