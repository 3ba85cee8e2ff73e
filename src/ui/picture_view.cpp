#include "ui/picture_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "image/colours.h"
#include "image/ldraw_colours.h"

namespace mosaikon {

namespace {

// The painted sticker is at most this many pixels a side, and at least the picture's own size.
constexpr int kPaintedSide = 2048;
// A step of the wheel or of + and -.
constexpr double kZoomStep = 1.25;

}  // namespace

void ViewTransform::Set(double zoom, QPointF centre) {
    zoom = std::clamp(zoom, kLeastZoom, kMostZoom);
    if (zoom == zoom_ && centre == centre_) return;
    zoom_ = zoom;
    centre_ = centre;
    emit changed();
}

void ViewTransform::Fit(QSizeF picture) {
    Set(1, QPointF(picture.width() / 2, picture.height() / 2));
}

QColor ColourOfCode(std::int32_t code) {
    if (code >= kDirectColorBase) {
        const auto rgb = static_cast<std::uint32_t>(code - kDirectColorBase);
        return QColor(static_cast<int>(rgb >> 16 & 0xFF), static_cast<int>(rgb >> 8 & 0xFF),
                      static_cast<int>(rgb & 0xFF));
    }
    // A code as LDraw programs draw it: the value its LDraw colour has today.
    for (const LdrawColour& colour : LdrawColours().colours) {
        if (colour.code == code) return QColor(colour.red, colour.green, colour.blue);
    }
    return QColor(128, 128, 128);
}

void PaintSticker(StickerPicture& sticker) {
    const int side = std::max(sticker.pictureWidth, sticker.pictureHeight);
    sticker.scale = side > 0 ? std::max(1.0, std::floor(double{kPaintedSide} / side)) : 1;
    sticker.painted =
        QImage(static_cast<int>(sticker.pictureWidth * sticker.scale),
               static_cast<int>(sticker.pictureHeight * sticker.scale), QImage::Format_RGB32);
    sticker.painted.fill(QColor(kBackdropGrey.Red, kBackdropGrey.Green, kBackdropGrey.Blue));
    QPainter painter(&sticker.painted);
    painter.setPen(Qt::NoPen);
    // Picture units start at 1 at the top-left corner.
    painter.scale(sticker.scale, sticker.scale);
    painter.translate(-1, -1);
    std::int32_t colour = -1;
    QPointF corners[4];
    for (const ViewPolygon& polygon : sticker.preview.polygons) {
        if (polygon.Color != colour) {
            colour = polygon.Color;
            painter.setBrush(ColourOfCode(colour));
        }
        for (int i = 0; i < polygon.count; ++i) {
            corners[i] = QPointF(polygon.x[static_cast<std::size_t>(i)],
                                 polygon.y[static_cast<std::size_t>(i)]);
        }
        painter.drawPolygon(corners, polygon.count, Qt::WindingFill);
    }
}

PictureView::PictureView(ViewTransform* transform, QWidget* parent)
    : QWidget(parent), transform_(transform) {
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::OpenHandCursor);
    connect(transform_, &ViewTransform::changed, this, qOverload<>(&QWidget::update));
}

void PictureView::SetPicture(const QImage& picture) {
    picture_ = picture;
    sticker_.reset();
    update();
}

void PictureView::SetSticker(std::shared_ptr<const StickerPicture> sticker) {
    sticker_ = std::move(sticker);
    picture_ = QImage();
    update();
}

void PictureView::Clear() {
    picture_ = QImage();
    sticker_.reset();
    update();
}

void PictureView::SetOutlines(bool shown) {
    outlines_ = shown;
    update();
}

void PictureView::SetFallbackShown(bool shown) {
    fallback_ = shown;
    update();
}

QSize PictureView::PictureSize() const {
    if (sticker_) return {sticker_->pictureWidth, sticker_->pictureHeight};
    return picture_.size();
}

double PictureView::Scale() const {
    const QSize picture = PictureSize();
    if (picture.isEmpty()) return 1;
    const double fit = std::min(static_cast<double>(width()) / picture.width(),
                                static_cast<double>(height()) / picture.height());
    return fit * transform_->Zoom();
}

QPointF PictureView::PicturePoint(QPointF boxPoint) const {
    const QPointF middle(width() / 2.0, height() / 2.0);
    return transform_->Centre() + (boxPoint - middle) / Scale();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QSize picture = PictureSize();
    if (picture.isEmpty()) return;
    const double scale = Scale();
    painter.translate(width() / 2.0, height() / 2.0);
    painter.scale(scale, scale);
    painter.translate(-transform_->Centre());
    const QRectF area(0, 0, picture.width(), picture.height());
    // Pixels are shown as squares once they are larger than a screen pixel.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1);
    if (!sticker_) {
        painter.drawImage(area, picture_);
        return;
    }
    if (sticker_->texture.isNull() || fallback_) {
        painter.drawImage(area, sticker_->painted);
    } else {
        painter.fillRect(area, QColor(kBackdropGrey.Red, kBackdropGrey.Green, kBackdropGrey.Blue));
        painter.drawImage(area, sticker_->texture);
    }
    if (!outlines_) return;
    // Only the polygons in sight are outlined, with a line one screen pixel wide.
    const QRectF seen =
        QRectF(PicturePoint(QPointF(0, 0)), PicturePoint(QPointF(width(), height())))
            .translated(1, 1);
    painter.translate(-1, -1);
    painter.setPen(QPen(QColor(0, 0, 0, 140), 0));
    painter.setBrush(Qt::NoBrush);
    QPointF corners[4];
    for (const ViewPolygon& polygon : sticker_->preview.polygons) {
        const auto [left, right] =
            std::minmax_element(polygon.x.begin(), polygon.x.begin() + polygon.count);
        const auto [top, bottom] =
            std::minmax_element(polygon.y.begin(), polygon.y.begin() + polygon.count);
        if (*right < seen.left() || *left > seen.right() || *bottom < seen.top() ||
            *top > seen.bottom()) {
            continue;
        }
        for (int i = 0; i < polygon.count; ++i) {
            corners[i] = QPointF(polygon.x[static_cast<std::size_t>(i)],
                                 polygon.y[static_cast<std::size_t>(i)]);
        }
        painter.drawPolygon(corners, polygon.count);
    }
}

void PictureView::ZoomBy(double factor, QPointF around) {
    // The picture point under `around` stays where it is.
    const QPointF before = PicturePoint(around);
    const double zoom = std::clamp(transform_->Zoom() * factor, ViewTransform::kLeastZoom,
                                   ViewTransform::kMostZoom);
    const double scale = Scale() / transform_->Zoom() * zoom;
    const QPointF middle(width() / 2.0, height() / 2.0);
    transform_->Set(zoom, before - (around - middle) / scale);
}

void PictureView::wheelEvent(QWheelEvent* event) {
    if (PictureSize().isEmpty()) return;
    const double steps = event->angleDelta().y() / 120.0;
    ZoomBy(std::pow(kZoomStep, steps), event->position());
    event->accept();
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragStart_ = event->position();
    centreAtStart_ = transform_->Centre();
    setCursor(Qt::ClosedHandCursor);
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    transform_->Set(transform_->Zoom(),
                    centreAtStart_ - (event->position() - dragStart_) / Scale());
}

void PictureView::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
    setCursor(Qt::OpenHandCursor);
}

void PictureView::keyPressEvent(QKeyEvent* event) {
    const QPointF middle(width() / 2.0, height() / 2.0);
    const double step = 0.1 * std::min(width(), height()) / Scale();
    const QPointF centre = transform_->Centre();
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomBy(kZoomStep, middle);
            break;
        case Qt::Key_Minus:
            ZoomBy(1 / kZoomStep, middle);
            break;
        case Qt::Key_0:
            transform_->Fit(PictureSize());
            break;
        case Qt::Key_Left:
            transform_->Set(transform_->Zoom(), centre - QPointF(step, 0));
            break;
        case Qt::Key_Right:
            transform_->Set(transform_->Zoom(), centre + QPointF(step, 0));
            break;
        case Qt::Key_Up:
            transform_->Set(transform_->Zoom(), centre - QPointF(0, step));
            break;
        case Qt::Key_Down:
            transform_->Set(transform_->Zoom(), centre + QPointF(0, step));
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

}  // namespace mosaikon
