#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

namespace mosaikon {

// Where a window goes so that the user can see and grab it: where it is when a fair part of its
// top edge lies on some screen, otherwise onto the nearest screen, as close to where it was as
// that screen allows.
QPoint PlaceOnScreens(const QRect& window, const QList<QRect>& screens);

}  // namespace mosaikon
