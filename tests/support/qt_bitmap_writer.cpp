// Writes a picture file as a palette bitmap with Qt's own writer, for the reader's tests:
//   qt_bitmap_writer IN OUT.bmp [mono]
#include <QGuiApplication>
#include <QImage>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) return 1;
    const bool mono = argc > 3 && QByteArray(argv[3]) == "mono";
    image = image.convertToFormat(mono ? QImage::Format_Mono : QImage::Format_Indexed8,
                                  Qt::ThresholdDither | Qt::AvoidDither);
    return image.save(QString::fromLocal8Bit(argv[2]), "BMP") ? 0 : 1;
}
