#include "ui/window_placement.h"

#include <algorithm>
#include <limits>

namespace mosaikon {

namespace {

// The strip along the top of a window where its title bar is, and how much of it must show.
constexpr int kTopStrip = 30;
constexpr int kShownWidth = 50;
constexpr int kShownHeight = 20;

long long DistanceSquared(const QPoint& point, const QRect& area) {
    const long long dx = std::max({area.left() - point.x(), 0, point.x() - area.right()});
    const long long dy = std::max({area.top() - point.y(), 0, point.y() - area.bottom()});
    return dx * dx + dy * dy;
}

}  // namespace

QPoint PlaceOnScreens(const QRect& window, const QList<QRect>& screens) {
    const QRect top(window.left(), window.top(), window.width(), kTopStrip);
    const QRect* nearest = nullptr;
    long long nearestDistance = std::numeric_limits<long long>::max();
    for (const QRect& screen : screens) {
        const QRect shown = top & screen;
        if (shown.width() >= std::min(kShownWidth, window.width()) &&
            shown.height() >= kShownHeight) {
            return window.topLeft();
        }
        const long long distance = DistanceSquared(window.center(), screen);
        if (distance < nearestDistance) {
            nearestDistance = distance;
            nearest = &screen;
        }
    }
    if (!nearest) return window.topLeft();
    const int x =
        std::max(nearest->left(), std::min(window.left(), nearest->right() + 1 - window.width()));
    const int y =
        std::max(nearest->top(), std::min(window.top(), nearest->bottom() + 1 - window.height()));
    return {x, y};
}

}  // namespace mosaikon
