#pragma once

#include "session/SettingsFile.h"

#include <QMargins>
#include <QSize>
#include <QSizeF>

#include <optional>

namespace korsa {

// Room kept around the window for a window manager's title bar and borders, in window pixels at a
// desktop scale of 1: the frame is not known before the window first shows.
inline constexpr QMargins WindowFrameAllowance(4, 40, 4, 4);
// The smallest the window is made, against its design, in the screen's own pixels.
inline constexpr double SmallestWindowScale = 0.5;

// The largest scale against the design, in the screen's own pixels, at which the window,
// `designOuter` window pixels at the design, fits the `available` window pixels with the frame
// allowance around it. On a scaled desktop the allowance is counted as at a scale of 2 (or the
// desktop's, where higher): the frame grows with the desktop's scale, and the window must not
// shrink as the scale rises.
double FittingWindowScale(double deviceRatio, QSizeF available, QSizeF designOuter);

// The window's outer size in the desktop's pixels, with nothing chosen, on a desktop scaled by
// `deviceRatio` above 1: the design at the scale PhysicalWindowScale gives (`screenScale` being the
// screen's lines / 1024), rounded down to whole desktop pixels and never larger than at a higher
// common desktop scale (1.25, 1.5, 2) of the same screen, so raising the scale never loses a
// pixel to rounding.
QSize RestWindowSize(double deviceRatio, double screenScale, double fitting, QSizeF available, QSizeF designOuter);

// A font's size in whole desktop pixels (text takes no other), with nothing chosen, on a desktop
// scaled by `deviceRatio` above 1, for a font of `designPixels` at the design: the nearest to the
// window's scale, and never, in the screen's pixels, smaller than at a lower common desktop scale.
int RestFontPixels(double deviceRatio, double screenScale, double fitting, double designPixels);

// The menu bar's least height in the desktop's pixels, with nothing chosen, on a desktop scaled by
// `deviceRatio` above 1, for a bar `atOne` pixels high at a desktop scale of 1: it grows with the
// window's scale and never drops, rounded, below its height at a lower common desktop scale.
int RestMenuHeight(double deviceRatio, double screenScale, double fitting, int atOne);

// The window's scale against its design in the screen's own pixels, with nothing chosen. On an
// unscaled desktop (a device pixel ratio of 1 or less) it is the screen's lines / 1024. On a scaled
// desktop it is the larger of that and the desktop's scale, the latter only as far as it fits.
double PhysicalWindowScale(int screenLines, double deviceRatio, QSizeF available, QSizeF designOuter);

// The scale for a chosen size, between the smallest and the one that fits; the layout's own size
// is `atRest` itself.
double ChosenWindowScale(const WindowSizeChoice &choice, double atRest, double fitting);

// One step larger or smaller than `choice` (up to the size that fits, down to the smallest); none
// when the window is already there.
std::optional<WindowSizeChoice> LargerWindow(const WindowSizeChoice &choice, double atRest, double fitting);
std::optional<WindowSizeChoice> SmallerWindow(const WindowSizeChoice &choice, double atRest, double fitting);

} // namespace korsa
