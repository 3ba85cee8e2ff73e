#include "ui/file_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace mosaikon {

namespace {

// "Windows Bitmap (*.bmp)|*.bmp|All Files (*.*)|*.*" as Qt writes filters.
QStringList QtFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        if (pattern == "*.*") pattern = "*";
        filters << parts[i].section(" (", 0, 0) + " (" + pattern + ")";
    }
    return filters;
}

}  // namespace

std::string ShowFileDialog(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent, QString::fromStdString(request.title));
    const bool save = !request.defaultName.empty();
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(QtFilters(request.filter));
    if (save) dialog.setDefaultSuffix(QString::fromStdString(request.extension));
    // The window asks before it replaces a file, and only where it would write.
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.initialFolder.empty()) {
        // The location boxes hold a file's path; the dialog opens in its folder.
        const QFileInfo info(QString::fromStdString(request.initialFolder));
        dialog.setDirectory(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    }
    if (save) dialog.selectFile(QString::fromStdString(request.defaultName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
}

std::string ShowFolderDialog(QWidget* parent, const std::string& title, const std::string& start) {
    return QFileDialog::getExistingDirectory(parent, QString::fromStdString(title),
                                             QString::fromStdString(start))
        .toStdString();
}

}  // namespace mosaikon
