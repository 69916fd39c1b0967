#include "presentation/WindowScale.h"

#include "presentation/Layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace korsa {

namespace {

// The sizes Larger and Smaller step through, against the layout's own.
constexpr std::array<double, 15> Steps = {0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0, 4.0, 5.0};
// Scales closer than this are the same size.
constexpr double Near = 1e-3;
// The desktop scales a screen is commonly set to, above 1.
constexpr std::array<double, 3> CommonScales = {1.25, 1.5, 2.0};

} // namespace

double FittingWindowScale(double deviceRatio, QSizeF available, QSizeF designOuter)
{
    if (designOuter.isEmpty())
        return 1.0;
    // Counted in the screen's whole pixels, so every desktop scale of one screen finds the same room.
    const double ratio = std::max(deviceRatio, 1.0);
    const double frame = deviceRatio > 1.0 ? std::max(deviceRatio, 2.0) : 1.0;
    const QSizeF pixels(std::round(available.width() * ratio), std::round(available.height() * ratio));
    const QSizeF room = pixels.shrunkBy(QMarginsF(WindowFrameAllowance) * frame);
    return std::min(room.width() / designOuter.width(), room.height() / designOuter.height());
}

QSize RestWindowSize(double deviceRatio, double screenScale, double fitting, QSizeF available, QSizeF designOuter)
{
    // The window in the screen's pixels at each common scale from 2 down to this one: whole desktop
    // pixels, rounded down so that it fits, and no larger than at the scale above.
    QSizeF pixels(std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
    const auto whole = [&](double ratio) {
        const QSizeF target = (designOuter * std::max(screenScale, std::min(ratio, fitting))).boundedTo(pixels);
        pixels = QSizeF(ratio * std::floor(target.width() / ratio + Near),
                        ratio * std::floor(target.height() / ratio + Near));
    };
    for (auto ratio = CommonScales.rbegin(); ratio != CommonScales.rend(); ++ratio)
        if (*ratio > deviceRatio + Near)
            whole(*ratio);
    whole(deviceRatio);
    return QSize(qRound(pixels.width() / deviceRatio), qRound(pixels.height() / deviceRatio))
        .boundedTo(available.toSize());
}

int RestFontPixels(double deviceRatio, double screenScale, double fitting, double designPixels)
{
    // Up from the lowest common scale: the nearest whole desktop pixels to the design's size at the
    // window's scale, or the next larger, where that is less than at the scale below.
    double pixels = 0;
    const auto whole = [&](double ratio) {
        const double target = designPixels * std::max(screenScale, std::min(ratio, fitting)) - ratio / 2;
        pixels = ratio * std::ceil(std::max(target, pixels) / ratio - Near);
    };
    for (const double ratio : CommonScales)
        if (ratio < deviceRatio - Near)
            whole(ratio);
    whole(deviceRatio);
    return std::max(1, qRound(pixels / deviceRatio));
}

int RestMenuHeight(double deviceRatio, double screenScale, double fitting, int atOne)
{
    // Up from the lowest common scale: the bar in the screen's pixels, rounded up to whole desktop
    // pixels and no lower than at the scale below. Two pixels more than its own height leave room for
    // the rounding of its font and margins.
    double pixels = 0;
    const auto whole = [&](double ratio) {
        const double target = (atOne + 2) * std::max({1.0, screenScale, std::min(ratio, fitting)});
        pixels = ratio * std::ceil(std::max(target, pixels) / ratio - Near);
    };
    for (const double ratio : CommonScales)
        if (ratio < deviceRatio - Near)
            whole(ratio);
    whole(deviceRatio);
    return qRound(pixels / deviceRatio);
}

double PhysicalWindowScale(int screenLines, double deviceRatio, QSizeF available, QSizeF designOuter)
{
    const double byLines = static_cast<double>(screenLines) / DesignScreenHeight;
    if (deviceRatio <= 1.0 || designOuter.isEmpty())
        return byLines;
    return std::max(byLines, std::min(deviceRatio, FittingWindowScale(deviceRatio, available, designOuter)));
}

double ChosenWindowScale(const WindowSizeChoice &choice, double atRest, double fitting)
{
    if (choice.fitToScreen)
        return fitting;
    if (choice.IsLayoutSize())
        return atRest;
    return std::clamp(atRest * choice.factor, std::min(SmallestWindowScale, fitting), fitting);
}

std::optional<WindowSizeChoice> LargerWindow(const WindowSizeChoice &choice, double atRest, double fitting)
{
    const double now = ChosenWindowScale(choice, atRest, fitting);
    if (now >= fitting - Near)
        return std::nullopt;
    const auto next = std::find_if(Steps.begin(), Steps.end(), [&](double f) { return atRest * f > now + Near; });
    if (next == Steps.end() || atRest * *next >= fitting - Near)
        return WindowSizeChoice{true, 1.0};
    return WindowSizeChoice{false, *next};
}

std::optional<WindowSizeChoice> SmallerWindow(const WindowSizeChoice &choice, double atRest, double fitting)
{
    const double now = ChosenWindowScale(choice, atRest, fitting);
    const auto next = std::find_if(Steps.rbegin(), Steps.rend(), [&](double f) { return atRest * f < now - Near; });
    if (next == Steps.rend() || atRest * *next < SmallestWindowScale - Near)
        return std::nullopt;
    return WindowSizeChoice{false, *next};
}

} // namespace korsa
