#pragma once

#include <functional>
#include <string>

class QWidget;

namespace mosaikon {

// What the window asks of the common file dialog.
struct FileDialogRequest {
    std::string title;          // "Open" or "Save"
    std::string initialFolder;  // may be empty
    std::string defaultName;    // a save dialog when not empty
    std::string filter;         // "<description> (*.<ext>)|*.<ext>|All Files (*.*)|*.*"
    std::string extension;
};

// Shows the dialog; answers the chosen path, or the empty text when the user cancelled.
using FileDialogSeam = std::function<std::string(const FileDialogRequest&)>;

// The real dialog of the window program (QFileDialog).
std::string ShowFileDialog(QWidget* parent, const FileDialogRequest& request);

// Chooses a folder, starting in `start`; answers the folder, or the empty text when cancelled.
using FolderDialogSeam = std::function<std::string(const std::string& title, const std::string& start)>;
std::string ShowFolderDialog(QWidget* parent, const std::string& title, const std::string& start);

}  // namespace mosaikon
