#pragma once

#include <QImage>

namespace mosaikon {

// The backdrop of the preview frame: a grey field (Red 212, Green 208, Blue 200), 332 x 255 as
// the window first opens, with strips of bricks along its left (38 pixels) and bottom (8 pixels)
// edges.
QImage BackdropImage(int width = 332, int height = 255);

// The 74 x 74 window icon.
QImage WindowIconImage();
// The same icon as scalable vector graphics, for the desktop.
QString WindowIconSvg();

}  // namespace mosaikon
