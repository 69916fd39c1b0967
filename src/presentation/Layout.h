#pragma once

#include <QAction>
#include <QString>
#include <QWidget>

#include <vector>

namespace korsa {

inline constexpr float TwipsPerPixel = 15.0f;
// The design is drawn for a screen this many pixels high.
inline constexpr int DesignScreenHeight = 1024;
inline constexpr int SmallestScreenHeight = 600;

enum class ControlKind { Line, Shape, Other, MenuItem };

// One entry of the window's control collection, with its geometry in twips relative to its
// container (a line by its two end points) and, for lines and shapes, a border width in pixels.
struct ControlEntry {
    QString name;
    ControlKind kind = ControlKind::Other;
    QWidget *widget = nullptr;
    QAction *action = nullptr;
    bool hasFont = false;
    // The font's size at the design, in points; the window's fonts are scaled from it.
    double designPoints = 0;
    float left = 0, top = 0, width = 0, height = 0;
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int borderWidth = 0;
};

// Where a control lies as fractions of the client area, recorded once from the design.
struct ControlGeometry {
    float WidthRatio = 0;
    float HeightRatio = 0;
    float LeftRatio = 0;
    float TopRatio = 0;
    float BorderWidthRatio = 0;
};

int TwipsToPixels(double twips);

ControlGeometry RecordGeometry(const ControlEntry &entry, float clientWidth, float clientHeight);
// Lays a control out again from its record for a client area of the given size in twips.
void ScaleEntry(ControlEntry &entry, const ControlGeometry &geometry, float clientWidth, float clientHeight);
// Puts the entry's twips onto its widget.
void ApplyEntry(const ControlEntry &entry);
// Switches the control's face to "Arial" and sets its size to its design size times `ratio`.
void ScaleFont(const ControlEntry &entry, double ratio);
// The control's font size at the design, in points.
double DesignPoints(const ControlEntry &entry);
// Switches the control's face to "Arial" and sets its size in points.
void SetFontPoints(const ControlEntry &entry, double points);

} // namespace korsa
