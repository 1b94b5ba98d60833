#pragma once
#include <QRect>

class QWidget;

namespace ui {

// The settings file and the windows' minimum sizes speak of outer bounds, as the Windows program
// keeps them: the client area plus the frame it was designed with (a 4-pixel border on each side
// and a 30-pixel caption). Qt sizes the client area, so that same allowance is taken off and put
// back on every system; a settings file's numbers then mean the same window everywhere.
inline constexpr int kFrameWidth = 8;
inline constexpr int kFrameHeight = 34;

inline QSize clientSizeOf(int outerWidth, int outerHeight) {
    return {outerWidth - kFrameWidth, outerHeight - kFrameHeight};
}

// The outer bounds to write to the settings file.
QRect outerBounds(const QWidget& window);

// Applies outer bounds read from the settings file: the client area within the window's minimum
// and a sane maximum, and a position on some screen. A file from another monitor layout (or a
// damaged one) must not leave the window where no screen shows it: the user could never find it.
void placeWindow(QWidget& window, int left, int top, int outerWidth, int outerHeight);

} // namespace ui
