#include "presentation/WindowScale.h"

#include "presentation/Layout.h"

#include <algorithm>

namespace korsa {

double PhysicalWindowScale(int screenLines, double deviceRatio, QSizeF available, QSizeF designOuter)
{
    const double byLines = static_cast<double>(screenLines) / DesignScreenHeight;
    if (deviceRatio <= 1.0 || designOuter.isEmpty())
        return byLines;
    const QSizeF room = available.shrunkBy(QMarginsF(WindowFrameAllowance));
    const double fits =
        deviceRatio * std::min(room.width() / designOuter.width(), room.height() / designOuter.height());
    return std::max(byLines, std::min(deviceRatio, fits));
}

} // namespace korsa
