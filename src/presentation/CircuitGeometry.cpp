#include "presentation/CircuitGeometry.h"

#include "session/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace korsa {

namespace {

constexpr double LapLength = AcceptedTrackLength * MetresPerMile;

double Distance(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

QPointF Unit(QPointF d)
{
    const double len = std::max(1e-9, std::hypot(d.x(), d.y()));
    return d / len;
}

} // namespace

const CircuitGeometry &CircuitGeometry::Sorvena()
{
    static const CircuitGeometry circuit;
    return circuit;
}

CircuitGeometry::CircuitGeometry()
{
    // Control points in driving order, starting at the start/finish line on the coast road.
    const std::vector<QPointF> controls = {
        {150, 528}, {112, 522}, {80, 508},  {58, 482},  {52, 450},  {60, 418},  {50, 384},  {56, 350},
        {46, 316},  {52, 282},  {70, 256},  {92, 238},  {84, 210},  {104, 190}, {94, 168},  {66, 152},
        {62, 136},  {98, 128},  {100, 114}, {64, 106},  {66, 90},   {106, 80},  {132, 58},  {170, 46},
        {200, 66},  {232, 50},  {266, 40},  {300, 58},  {326, 92},  {306, 122}, {330, 150}, {304, 176},
        {268, 182}, {246, 206}, {262, 230}, {300, 236}, {334, 258}, {322, 284}, {338, 306}, {318, 326},
        {338, 348}, {330, 378}, {318, 404}, {290, 414}, {276, 432}, {300, 444}, {304, 462}, {266, 462},
        {260, 478}, {288, 488}, {280, 504}, {246, 508}, {236, 526}, {206, 540}, {178, 536}};
    // A closed Catmull-Rom curve through them.
    std::vector<QPointF> dense;
    const std::size_t n = controls.size();
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF p0 = controls[(i + n - 1) % n], p1 = controls[i], p2 = controls[(i + 1) % n],
                      p3 = controls[(i + 2) % n];
        for (int k = 0; k < 40; ++k) {
            const double t = k / 40.0, t2 = t * t, t3 = t2 * t;
            dense.push_back(0.5 * ((2 * p1) + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 +
                                   (-p0 + 3 * p1 - 3 * p2 + p3) * t3));
        }
    }
    // Small wiggles, as a real road follows the ground.
    Resample(dense);
    std::vector<QPointF> wiggled;
    double s = 0;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        if (i > 0)
            s += Distance(points_[i], points_[i - 1]);
        const QPointF a = points_[(i + points_.size() - 1) % points_.size()];
        const QPointF b = points_[(i + 1) % points_.size()];
        const QPointF d = b - a;
        const double len = std::max(1e-9, std::hypot(d.x(), d.y()));
        const QPointF normal(-d.y() / len, d.x() / len);
        const double total = length_;
        constexpr double Pi = std::numbers::pi;
        // Whole numbers of periods around the lap keep the loop closed smoothly.
        const double offset = 1.0 * std::sin(2 * Pi * s / total * 61) + 0.6 * std::sin(2 * Pi * s / total * 97 + 1.3);
        wiggled.push_back(points_[i] + normal * offset);
    }
    Resample(wiggled);
}

void CircuitGeometry::Resample(const std::vector<QPointF> &loop)
{
    std::vector<double> cum(loop.size() + 1, 0.0);
    for (std::size_t i = 0; i < loop.size(); ++i)
        cum[i + 1] = cum[i] + Distance(loop[i], loop[(i + 1) % loop.size()]);
    const double total = cum.back();
    const int count = static_cast<int>(std::lround(total));
    points_.clear();
    std::size_t seg = 0;
    for (int k = 0; k < count; ++k) {
        const double arc = total * k / count;
        while (seg + 1 < loop.size() && cum[seg + 1] <= arc)
            ++seg;
        const QPointF a = loop[seg], b = loop[(seg + 1) % loop.size()];
        const double segLen = cum[seg + 1] - cum[seg];
        points_.push_back(a + (b - a) * (segLen > 0 ? (arc - cum[seg]) / segLen : 0.0));
    }
    closed_ = points_;
    closed_.push_back(points_.front());
    arcs_.assign(closed_.size(), 0.0);
    for (std::size_t i = 1; i < closed_.size(); ++i)
        arcs_[i] = arcs_[i - 1] + Distance(closed_[i], closed_[i - 1]);
    length_ = arcs_.back();
}

QPointF CircuitGeometry::At(double arc) const
{
    arc = std::clamp(arc, 0.0, length_);
    const auto it = std::upper_bound(arcs_.begin(), arcs_.end(), arc);
    const std::size_t j = static_cast<std::size_t>(std::max<std::ptrdiff_t>(1, it - arcs_.begin()));
    const std::size_t i = j - 1;
    const QPointF a = closed_[i], b = closed_[std::min(j, closed_.size() - 1)];
    const double seg = arcs_[std::min(j, arcs_.size() - 1)] - arcs_[i];
    const double t = seg > 0 ? (arc - arcs_[i]) / seg : 0;
    return a + (b - a) * t;
}

QPointF CircuitGeometry::Direction(double arc) const
{
    return Unit(At(std::min(length_, arc + 2)) - At(std::max(0.0, arc - 2)));
}

double CircuitGeometry::ArcOfMetres(double metres) const { return metres / LapLength * length_; }

std::vector<QPointF> CircuitGeometry::Stretch(double fromMetres, double toMetres) const
{
    const double a = ArcOfMetres(fromMetres), b = ArcOfMetres(toMetres);
    std::vector<QPointF> line{At(a)};
    for (std::size_t i = 0; i < arcs_.size(); ++i)
        if (arcs_[i] > a && arcs_[i] < b)
            line.push_back(closed_[i]);
    line.push_back(At(b));
    return line;
}

QPointF CircuitGeometry::PointAtMetres(double metres, QSizeF mapSize) const
{
    const QPointF p = At(ArcOfMetres(metres));
    return {p.x() * mapSize.width() / MapWidth, p.y() * mapSize.height() / MapHeight};
}

QPointF CircuitGeometry::HeadingAtMetres(double metres, QSizeF mapSize) const
{
    // Over a few pixels either side, round the start line where need be, so that the road's small
    // wiggles do not turn the arrow away from where the road goes.
    constexpr double Span = 8;
    const double arc = ArcOfMetres(metres);
    const auto around = [this](double a) { return At(a < 0 ? a + length_ : a > length_ ? a - length_ : a); };
    const QPointF d = around(arc + Span) - around(arc - Span);
    // The map is stretched unevenly, so the direction is too.
    return Unit(QPointF(d.x() * mapSize.width() / MapWidth, d.y() * mapSize.height() / MapHeight));
}

} // namespace korsa
