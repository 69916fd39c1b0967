#include "presentation/WindowScale.h"

#include "presentation/Layout.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace korsa {

namespace {

// The sizes Larger and Smaller step through, against the layout's own.
constexpr std::array<double, 15> Steps = {0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0, 4.0, 5.0};
// Scales closer than this are the same size.
constexpr double Near = 1e-3;

} // namespace

double FittingWindowScale(double deviceRatio, QSizeF available, QSizeF designOuter)
{
    if (designOuter.isEmpty())
        return 1.0;
    const double frame = deviceRatio > 1.0 ? std::max(deviceRatio, 2.0) / deviceRatio : 1.0;
    const QSizeF room = available.shrunkBy(QMarginsF(WindowFrameAllowance) * frame);
    const double ratio = std::max(deviceRatio, 1.0);
    return ratio * std::min(room.width() / designOuter.width(), room.height() / designOuter.height());
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
