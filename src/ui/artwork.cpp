#include "ui/artwork.h"

#include <QPainter>

namespace mosaikon {

namespace {

const QColor kField(212, 208, 200);
const QColor kDark(38, 36, 34);
const QColor kLight(196, 192, 186);

// One brick seen from the side: a body with a darker outline and a lighter top edge.
void DrawBrick(QPainter& painter, const QRect& body, const QColor& colour) {
    painter.fillRect(body, colour);
    painter.setPen(colour.darker(150));
    painter.drawRect(body.adjusted(0, 0, -1, -1));
    painter.setPen(colour.lighter(130));
    painter.drawLine(body.left() + 1, body.top() + 1, body.right() - 1, body.top() + 1);
}

}  // namespace

QImage BackdropImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(kField);
    QPainter painter(&image);
    const int strip = height - 8;  // where the bottom strip starts
    // Left strip: bricks stacked up the edge, studs pointing into the field.
    int row = 0;
    for (int top = 0; top < strip; top += 16, ++row) {
        const QColor colour = row % 2 == 0 ? kDark : kLight;
        DrawBrick(painter, QRect(0, top, 34, std::min(16, strip - top)), colour);
        painter.fillRect(QRect(34, top + 4, 4, std::min(8, std::max(0, strip - top - 4))), colour);
    }
    // Bottom strip: a row of flat bricks.
    int column = 0;
    for (int left = 0; left < width; left += 24, ++column) {
        DrawBrick(painter, QRect(left, strip, std::min(24, width - left), 8),
                  column % 2 == 0 ? kLight : kDark);
    }
    return image;
}

namespace {

// The icon's plates: a mosaic of coloured plates on a baseplate, the program's work in a picture.
template <typename Draw>
void ForEachPlate(Draw draw) {
    const QColor colours[4] = {QColor(204, 0, 0), QColor(0, 51, 187), QColor(255, 238, 0),
                               QColor(0, 119, 51)};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            draw(QRect(6 + x * 16, 6 + y * 16, 15, 15), colours[(x + 2 * y + (x * y) % 3) % 4]);
        }
    }
}

}  // namespace

QImage WindowIconImage() {
    QImage image(74, 74, QImage::Format_RGB888);
    image.fill(kField);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(5, 5, 64, 64), QColor(170, 170, 170));
    ForEachPlate([&](const QRect& plate, const QColor& colour) {
        painter.fillRect(plate, colour);
        painter.setPen(colour.darker(140));
        painter.setBrush(colour.lighter(115));
        painter.drawEllipse(plate.center() + QPoint(1, 1), 4, 4);
    });
    painter.setPen(QPen(kDark, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(5, 5, 64, 64));
    return image;
}

QString WindowIconSvg() {
    auto hex = [](const QColor& c) { return c.name(QColor::HexRgb); };
    QString svg = QStringLiteral(
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"74\" height=\"74\" "
                      "viewBox=\"0 0 74 74\">\n<rect width=\"74\" height=\"74\" fill=\"%1\"/>\n"
                      "<rect x=\"5\" y=\"5\" width=\"64\" height=\"64\" fill=\"#aaaaaa\"/>\n")
                      .arg(hex(kField));
    ForEachPlate([&](const QRect& plate, const QColor& colour) {
        const QPoint centre = plate.center() + QPoint(1, 1);
        svg += QStringLiteral(
                   "<rect x=\"%1\" y=\"%2\" width=\"15\" height=\"15\" fill=\"%3\"/>"
                   "<circle cx=\"%4\" cy=\"%5\" r=\"4\" fill=\"%6\" stroke=\"%7\"/>\n")
                   .arg(plate.x())
                   .arg(plate.y())
                   .arg(hex(colour))
                   .arg(centre.x() + 0.5)
                   .arg(centre.y() + 0.5)
                   .arg(hex(colour.lighter(115)))
                   .arg(hex(colour.darker(140)));
    });
    svg += QStringLiteral(
               "<rect x=\"5\" y=\"5\" width=\"64\" height=\"64\" fill=\"none\" "
               "stroke=\"%1\" stroke-width=\"2\"/>\n</svg>\n")
               .arg(hex(kDark));
    return svg;
}

}  // namespace mosaikon
