// Writes the program's icon for the desktop at the sizes the icon theme asks for, and as SVG:
// mosaikon-icons FOLDER writes FOLDER/<size>x<size>/apps/NAME.png and
// FOLDER/scalable/apps/NAME.svg.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include "ui/artwork.h"

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 3) return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]), name = QString::fromLocal8Bit(argv[2]);
    const QImage icon = mosaikon::WindowIconImage();
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(dir) ||
            !icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                 .save(dir + "/" + name + ".png")) {
            return 1;
        }
    }
    const QString dir = folder + "/scalable/apps";
    QFile svg(dir + "/" + name + ".svg");
    if (!QDir().mkpath(dir) || !svg.open(QIODevice::WriteOnly)) return 1;
    QTextStream(&svg) << mosaikon::WindowIconSvg();
    return 0;
}
