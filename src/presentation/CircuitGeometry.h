#pragma once

#include <QPointF>
#include <QSizeF>

#include <vector>

namespace korsa {

// The Sorvena circuit's centre line as the maps draw it: a closed line on the map's design size,
// evenly spaced, running in the direction of driving from the start line round to it again. The
// maps are painted from it, and the window finds on it where any metre of the lap lies.
class CircuitGeometry
{
public:
    // The maps' own size in pixels; the map control stretches them to its box.
    static constexpr int MapWidth = 375;
    static constexpr int MapHeight = 577;

    // Built once, on first use.
    static const CircuitGeometry &Sorvena();

    CircuitGeometry();

    // The line's length in the map's pixels.
    double Length() const { return length_; }
    // The loop's points, the first repeated at the end, and the length along the line to each.
    const std::vector<QPointF> &Points() const { return closed_; }
    const std::vector<double> &Arcs() const { return arcs_; }

    // Where a length along the line lies, and the direction of driving there (a unit vector).
    // Lengths outside the loop are taken to its nearer end.
    QPointF At(double arc) const;
    QPointF Direction(double arc) const;
    // The length along the line of a distance beyond the start line in metres.
    double ArcOfMetres(double metres) const;
    // The line from one distance in metres to another: both ends and the points between them.
    std::vector<QPointF> Stretch(double fromMetres, double toMetres) const;

    // On a map stretched to `mapSize`: where a distance in metres lies, 0 and the lap's length both
    // at the start line, and the unit direction of driving there.
    QPointF PointAtMetres(double metres, QSizeF mapSize) const;
    QPointF HeadingAtMetres(double metres, QSizeF mapSize) const;

private:
    // Even 1-pixel spacing around the closed loop.
    void Resample(const std::vector<QPointF> &loop);

    std::vector<QPointF> points_;
    std::vector<QPointF> closed_;
    std::vector<double> arcs_;
    double length_ = 0;
};

} // namespace korsa
