#pragma once

#include <QLabel>

namespace mosaikon {

// An image box that stretches its picture to whatever size it is given. It paints the picture
// scaled on the fly, pixel for pixel, rather than keeping a scaled copy, so that a preview typed
// many thousand units high costs no more memory than a small one.
class StretchedImage : public QLabel {
    Q_OBJECT

public:
    explicit StretchedImage(QWidget* parent = nullptr) : QLabel(parent) { setScaledContents(true); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace mosaikon
