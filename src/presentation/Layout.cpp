#include "presentation/Layout.h"

#include "presentation/Controls.h"

#include <cmath>

namespace korsa {

namespace {

float Ratio(float value, float of) { return static_cast<float>(static_cast<double>(value) / static_cast<double>(of)); }

// A border width takes the nearest whole pixel (a half to the even one); a width that would
// come to 0 is refused and the old one stays.
int ScaledBorderWidth(int old, float ratio, float clientHeight)
{
    const float product = clientHeight * ratio;
    const int rounded = static_cast<int>(std::nearbyint(product));
    return rounded >= 1 ? rounded : old;
}

} // namespace

int TwipsToPixels(double twips) { return static_cast<int>(std::lround(twips / static_cast<double>(TwipsPerPixel))); }

ControlGeometry RecordGeometry(const ControlEntry &entry, float clientWidth, float clientHeight)
{
    ControlGeometry g;
    switch (entry.kind) {
    case ControlKind::MenuItem:
        break;
    case ControlKind::Line:
        g.LeftRatio = Ratio(entry.x1, clientWidth);
        g.TopRatio = Ratio(entry.y1, clientHeight);
        g.WidthRatio = Ratio(entry.x2, clientWidth);
        g.HeightRatio = Ratio(entry.y2, clientHeight);
        g.BorderWidthRatio = Ratio(static_cast<float>(entry.borderWidth), clientHeight);
        break;
    case ControlKind::Shape:
    case ControlKind::Other:
        g.LeftRatio = Ratio(entry.left, clientWidth);
        g.TopRatio = Ratio(entry.top, clientHeight);
        g.WidthRatio = Ratio(entry.width, clientWidth);
        g.HeightRatio = Ratio(entry.height, clientHeight);
        if (entry.kind == ControlKind::Shape)
            g.BorderWidthRatio = Ratio(static_cast<float>(entry.borderWidth), clientHeight);
        break;
    }
    return g;
}

void ScaleEntry(ControlEntry &entry, const ControlGeometry &g, float clientWidth, float clientHeight)
{
    switch (entry.kind) {
    case ControlKind::MenuItem:
        return;
    case ControlKind::Line:
        entry.x1 = clientWidth * g.LeftRatio;
        entry.y1 = clientHeight * g.TopRatio;
        entry.x2 = clientWidth * g.WidthRatio;
        entry.y2 = clientHeight * g.HeightRatio;
        entry.borderWidth = ScaledBorderWidth(entry.borderWidth, g.BorderWidthRatio, clientHeight);
        break;
    case ControlKind::Shape:
    case ControlKind::Other:
        entry.left = clientWidth * g.LeftRatio;
        entry.top = clientHeight * g.TopRatio;
        entry.width = clientWidth * g.WidthRatio;
        entry.height = clientHeight * g.HeightRatio;
        if (entry.kind == ControlKind::Shape)
            entry.borderWidth = ScaledBorderWidth(entry.borderWidth, g.BorderWidthRatio, clientHeight);
        break;
    }
    ApplyEntry(entry);
}

void ApplyEntry(const ControlEntry &entry)
{
    if (!entry.widget)
        return;
    if (entry.kind == ControlKind::Line) {
        auto *line = static_cast<ShapeControl *>(entry.widget);
        const QPointF from(entry.x1 / TwipsPerPixel, entry.y1 / TwipsPerPixel);
        const QPointF to(entry.x2 / TwipsPerPixel, entry.y2 / TwipsPerPixel);
        const int pad = entry.borderWidth;
        const QRect box = QRectF(from, to).normalized().toAlignedRect().adjusted(-pad, -pad, pad, pad);
        line->setGeometry(box);
        line->SetBorderWidth(entry.borderWidth);
        line->SetLine(from, to);
        return;
    }
    // Edges are rounded, not sizes, so neighbouring controls stay neighbours.
    const int x = TwipsToPixels(entry.left);
    const int y = TwipsToPixels(entry.top);
    int right = TwipsToPixels(static_cast<double>(entry.left) + static_cast<double>(entry.width));
    int bottom = TwipsToPixels(static_cast<double>(entry.top) + static_cast<double>(entry.height));
    // A frame rounded one pixel short of its picture's edge would leave a strip of it unframed.
    if (const QWidget *container = entry.widget->parentWidget(); container && entry.kind == ControlKind::Shape) {
        if (container->width() - right == 1)
            right = container->width();
        if (container->height() - bottom == 1)
            bottom = container->height();
    }
    entry.widget->setGeometry(x, y, right - x, bottom - y);
    if (entry.kind == ControlKind::Shape)
        static_cast<ShapeControl *>(entry.widget)->SetBorderWidth(entry.borderWidth);
}

void ScaleFont(const ControlEntry &entry, double ratio)
{
    if (entry.hasFont && entry.widget)
        SetFontPoints(entry, DesignPoints(entry) * ratio);
}

double DesignPoints(const ControlEntry &entry)
{
    return entry.designPoints > 0 || !entry.widget ? entry.designPoints : entry.widget->font().pointSizeF();
}

void SetFontPoints(const ControlEntry &entry, double points)
{
    if (!entry.hasFont || !entry.widget)
        return;
    QFont font = entry.widget->font();
    font.setFamily(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    entry.widget->setFont(font);
}

} // namespace korsa
