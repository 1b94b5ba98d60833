#include "ui/WindowBounds.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace ui {

namespace {
constexpr int kMaxWindowSide = 8192;

int clampSide(int outer, int frame, int minimum) {
    // Computed in 64 bits: a damaged file may hold INT_MIN.
    const long long side = static_cast<long long>(outer) - frame;
    return static_cast<int>(std::clamp<long long>(side, minimum, std::max(minimum, kMaxWindowSide)));
}
} // namespace

QRect outerBounds(const QWidget& window) {
    return QRect(window.pos(), window.size() + QSize(kFrameWidth, kFrameHeight));
}

void placeWindow(QWidget& window, int left, int top, int outerWidth, int outerHeight) {
    window.resize(clampSide(outerWidth, kFrameWidth, window.minimumWidth()),
                  clampSide(outerHeight, kFrameHeight, window.minimumHeight()));
    window.move(left, top);
    const QRect frame(QPoint(left, top), window.size());
    const auto screens = QGuiApplication::screens();
    const bool seen = std::any_of(screens.begin(), screens.end(),
                                  [&](const QScreen* s) { return s->availableGeometry().intersects(frame); });
    if (!seen && QGuiApplication::primaryScreen())
        window.move(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
}

} // namespace ui
