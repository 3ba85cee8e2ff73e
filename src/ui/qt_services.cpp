#include "ui/qt_services.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace mosaikon {

void ShowMessageBox(const std::string& text) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle("Mosaikon");
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void InstallQtServices(Shell& shell, QWidget* mainWindow) {
    shell.messageBox = [](const std::string& text, MessageKind) { ShowMessageBox(text); };
    QPointer<QWidget> window(mainWindow);
    shell.restorePointer = [window] {
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
        if (window) window->setEnabled(true);
    };
}

}  // namespace mosaikon
