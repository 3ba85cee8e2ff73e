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

bool AskQuestion(const std::string& text) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle("Mosaikon");
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void InstallQtServices(Shell& shell, QWidget* mainWindow) {
    shell.messageBox = [](const std::string& text, MessageKind) { ShowMessageBox(text); };
    shell.question = AskQuestion;
    QPointer<QWidget> window(mainWindow);
    shell.restorePointer = [window] {
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
        if (window) window->setEnabled(true);
    };
}

}  // namespace mosaikon
