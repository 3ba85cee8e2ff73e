#include "ui/stretched_image.h"

#include <QPaintEvent>
#include <QPainter>

namespace mosaikon {

void StretchedImage::paintEvent(QPaintEvent* event) {
    const QPixmap picture = pixmap();
    if (picture.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setClipRect(event->rect());
    painter.drawPixmap(rect(), picture);
}

}  // namespace mosaikon
