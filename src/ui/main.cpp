// mosaikon: the window program. The language picker loads first (log, configuration, language);
// its unload shows the main window, and closing the main window ends the program.

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "ui/app_state.h"
#include "ui/artwork.h"
#include "ui/frm_language.h"
#include "ui/frm_main.h"
#include "ui/qt_services.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Mosaikon");
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(mosaikon::WindowIconImage())));

    mosaikon::AppState state;
    state.programFolder = QCoreApplication::applicationDirPath().toStdString();
    mosaikon::FrmMain mainWindow(state);
    // mosaikon PICTURE opens the picture, as the desktop entry's "Open with" does.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) mainWindow.OpenWhenShown(arguments.at(1));
    mosaikon::InstallQtServices(state.shell, &mainWindow);
    mosaikon::FrmLanguage picker(state, [&mainWindow] { mainWindow.ShowWindow(); });
    picker.Form_Load();
    if (!picker.IsUnloaded()) picker.show();
    return QApplication::exec();
}
