#pragma once

#include <QImage>
#include <QPointF>
#include <QWidget>
#include <memory>

#include "ldraw/part_preview.h"

namespace mosaikon {

// The zoom and place that the two picture boxes share, so that both show the same part of the
// picture: a zoom of 1 fits the whole picture into a box, and the centre is the point of the
// picture (in its pixels, from its top-left corner) shown in the middle of the boxes.
class ViewTransform : public QObject {
    Q_OBJECT

public:
    static constexpr double kLeastZoom = 0.25;
    static constexpr double kMostZoom = 64;

    double Zoom() const { return zoom_; }
    QPointF Centre() const { return centre_; }
    // Keeps the zoom within its limits; says changed() when anything changed.
    void Set(double zoom, QPointF centre);
    // The whole picture, fitted to the boxes.
    void Fit(QSizeF picture);

signals:
    void changed();

private:
    double zoom_ = 1;
    QPointF centre_;
};

// The sticker as the part file will have it: its face's polygons, the file's counts and size,
// and the polygons painted once into a picture, for drawing at any zoom without going over them
// all again; for a textured sticker, the texture programs draw on its face.
struct StickerPicture {
    PartPreview preview;
    int pictureWidth = 0, pictureHeight = 0;
    QImage painted;  // covers the picture, `scale` pixels to a picture pixel
    double scale = 1;
    QImage texture;  // one pixel a picture pixel; null for the untextured forms
};

// Paints the polygons into StickerPicture::painted (on any thread): left-out parts in the
// preview backdrop's grey.
void PaintSticker(StickerPicture& sticker);

// The colour a colour code is drawn in.
QColor ColourOfCode(std::int32_t code);

// A picture box: the picture as it is, or the sticker, fitted to the box at first, zoomed with
// the wheel or the keys (+, -, 0 to fit), moved by dragging or with the arrow keys; it follows
// and leads the shared transform.
class PictureView : public QWidget {
    Q_OBJECT

public:
    PictureView(ViewTransform* transform, QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    void SetSticker(std::shared_ptr<const StickerPicture> sticker);
    void Clear();
    bool IsEmpty() const { return picture_.isNull() && !sticker_; }
    // The polygons' outlines, drawn over them.
    void SetOutlines(bool shown);
    // For a textured sticker, its fallback's polygons instead of the texture.
    void SetFallbackShown(bool shown);
    // What the box shows: the picture's size in pixels, and the sticker, if it shows one.
    QSize PictureSize() const;
    const StickerPicture* Sticker() const { return sticker_.get(); }
    const QImage& Picture() const { return picture_; }
    // The picture point shown at a point of the box.
    QPointF PicturePoint(QPointF boxPoint) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    double Scale() const;
    void ZoomBy(double factor, QPointF around);

    ViewTransform* transform_;
    QImage picture_;
    std::shared_ptr<const StickerPicture> sticker_;
    bool outlines_ = false;
    bool fallback_ = false;
    bool dragging_ = false;
    QPointF dragStart_, centreAtStart_;
};

}  // namespace mosaikon
