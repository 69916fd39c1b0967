#pragma once

#include <QMargins>
#include <QSizeF>

namespace korsa {

// Room kept around the window for a window manager's title bar and borders, in window pixels: the
// frame is not known before the window first shows.
inline constexpr QMargins WindowFrameAllowance(4, 40, 4, 4);

// The window's scale against its design in the screen's own pixels. On an unscaled desktop (a
// device pixel ratio of 1 or less) it is the screen's lines / 1024. On a scaled desktop it is the
// larger of that and the desktop's scale, the latter only as far as the window, `designOuter` window
// pixels at the design, still fits the `available` window pixels with the frame allowance around it.
double PhysicalWindowScale(int screenLines, double deviceRatio, QSizeF available, QSizeF designOuter);

} // namespace korsa
