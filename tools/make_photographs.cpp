// Paints the nine section photographs, resources/JPEG/100.jpg .. 108.jpg.
//
//   make_photographs [RESOURCES_DIR]
//
// Everything is drawn with QPainter from fixed numbers and fixed seeds, so a rerun gives the
// same files (on the same Qt version and fonts).

#include "Drawing.h"

#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QPolygonF>
#include <QtGui/QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace korsa {
namespace {

constexpr int PhotoWidth = 375;
constexpr int PhotoHeight = 250;

// ---------------------------------------------------------------------------------------------
// Small helpers

// A tiny deterministic generator; std::uniform_*_distribution differ between libraries.
class Rng
{
public:
    explicit Rng(std::uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}

    double Next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        const std::uint64_t v = state * 0x2545F4914F6CDD1Dull;
        return static_cast<double>(v >> 11) / 9007199254740992.0;
    }

    double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }

private:
    std::uint64_t state;
};

// Smooth 1-D fractal noise in roughly -1..1.
class Noise
{
public:
    explicit Noise(std::uint64_t seed)
    {
        Rng rng(seed);
        for (double &v : lattice)
            v = rng.Range(-1.0, 1.0);
    }

    double At(double x) const
    {
        const double fl = std::floor(x);
        const int i = static_cast<int>(fl);
        const double t = x - fl;
        const double s = t * t * (3 - 2 * t);
        const double a = lattice[static_cast<std::size_t>(i & 255)];
        const double b = lattice[static_cast<std::size_t>((i + 1) & 255)];
        return a + (b - a) * s;
    }

    double Fractal(double x, int octaves) const
    {
        double sum = 0, amp = 1, norm = 0, freq = 1;
        for (int o = 0; o < octaves; ++o) {
            sum += amp * At(x * freq + o * 37.0);
            norm += amp;
            amp *= 0.5;
            freq *= 2.0;
        }
        return sum / norm;
    }

private:
    std::array<double, 256> lattice{};
};

QColor WithAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

// ---------------------------------------------------------------------------------------------
// Scenery pieces shared by the photographs

void Sky(QPainter &p, const QColor &top, const QColor &horizon, double horizonY)
{
    QLinearGradient g(0, 0, 0, horizonY);
    g.setColorAt(0, top);
    g.setColorAt(1, horizon);
    p.fillRect(QRectF(0, 0, PhotoWidth, horizonY + 2), g);
}

void SunGlow(QPainter &p, QPointF centre, double radius, const QColor &colour)
{
    QRadialGradient g(centre, radius);
    g.setColorAt(0, WithAlpha(colour, 230));
    g.setColorAt(0.08, WithAlpha(colour, 200));
    g.setColorAt(0.25, WithAlpha(colour, 70));
    g.setColorAt(1, WithAlpha(colour, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

void Clouds(QPainter &p, Rng &rng, int count, double yLo, double yHi, const QColor &light, const QColor &shade)
{
    p.setPen(Qt::NoPen);
    for (int c = 0; c < count; ++c) {
        const double cx = rng.Range(-20, PhotoWidth + 20);
        const double cy = rng.Range(yLo, yHi);
        const double size = rng.Range(10, 22) * (0.6 + (cy - yLo) / std::max(1.0, yHi - yLo) * 0.2);
        const int puffs = 5 + static_cast<int>(rng.Range(0, 5));
        for (int k = 0; k < puffs; ++k) {
            const double px = cx + rng.Range(-2.2, 2.2) * size;
            const double py = cy + rng.Range(-0.5, 0.2) * size;
            const double r = size * rng.Range(0.5, 1.0);
            QLinearGradient g(0, py - r, 0, py + r);
            g.setColorAt(0, WithAlpha(light, 200));
            g.setColorAt(1, WithAlpha(shade, 120));
            p.setBrush(g);
            p.drawEllipse(QPointF(px, py), r * 1.5, r * 0.75);
        }
    }
}

// A filled ridge line across the picture; y = base + amp * noise.
void Ridge(QPainter &p, const Noise &noise, double base, double amp, double scale, const QColor &top,
           const QColor &bottom, double bottomY = PhotoHeight, int octaves = 5)
{
    QPolygonF poly;
    double minY = 1e9;
    for (int x = -4; x <= PhotoWidth + 4; x += 2) {
        const double y = base - amp * noise.Fractal(x / scale, octaves);
        minY = std::min(minY, y);
        poly << QPointF(x, y);
    }
    poly << QPointF(PhotoWidth + 4, bottomY) << QPointF(-4, bottomY);
    QLinearGradient g(0, minY, 0, bottomY);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPolygon(poly);
}

void Sea(QPainter &p, Rng &rng, double top, double bottom, const QColor &far, const QColor &near, double x0 = 0,
         double x1 = PhotoWidth)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, far);
    g.setColorAt(1, near);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRect(QRectF(x0, top, x1 - x0, bottom - top));
    // Glints, thinner towards the horizon.
    for (int k = 0; k < 70; ++k) {
        const double y = top + std::pow(rng.Next(), 1.6) * (bottom - top);
        const double depth = (y - top) / std::max(1.0, bottom - top);
        const double x = rng.Range(x0, x1);
        const double len = 2 + depth * 10;
        p.setPen(QPen(QColor(255, 255, 255, static_cast<int>(60 + 90 * depth)), 0.6 + depth * 0.8));
        p.drawLine(QPointF(x, y), QPointF(x + len, y));
    }
    p.setPen(QPen(WithAlpha(QColor(255, 255, 255), 120), 0.8));
    p.drawLine(QPointF(x0, top + 0.5), QPointF(x1, top + 0.5));
}

void Vignette(QPainter &p, int w, int h)
{
    QRadialGradient g(QPointF(w / 2.0, h * 0.45), std::hypot(w, h) * 0.62);
    g.setColorAt(0, QColor(0, 0, 0, 0));
    g.setColorAt(0.7, QColor(0, 0, 0, 10));
    g.setColorAt(1, QColor(0, 0, 0, 75));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRect(0, 0, w, h);
}

void RoundTree(QPainter &p, Rng &rng, QPointF base, double size, const QColor &leaf)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 60, 40));
    p.drawRect(QRectF(base.x() - size * 0.08, base.y() - size * 0.6, size * 0.16, size * 0.6));
    for (int k = 0; k < 7; ++k) {
        const QPointF c(base.x() + rng.Range(-0.45, 0.45) * size, base.y() - size * rng.Range(0.75, 1.25));
        const double r = size * rng.Range(0.28, 0.42);
        QRadialGradient g(c - QPointF(r * 0.3, r * 0.4), r * 1.3);
        g.setColorAt(0, leaf.lighter(135));
        g.setColorAt(1, leaf.darker(150));
        p.setBrush(g);
        p.drawEllipse(c, r, r);
    }
}

void Cypress(QPainter &p, QPointF base, double height, const QColor &leaf)
{
    QPainterPath path;
    const double w = height * 0.16;
    path.moveTo(base.x(), base.y() - height);
    path.cubicTo(base.x() + w * 1.2, base.y() - height * 0.6, base.x() + w, base.y() - height * 0.1, base.x(),
                 base.y());
    path.cubicTo(base.x() - w, base.y() - height * 0.1, base.x() - w * 1.2, base.y() - height * 0.6, base.x(),
                 base.y() - height);
    QLinearGradient g(base.x() - w, 0, base.x() + w, 0);
    g.setColorAt(0, leaf.lighter(125));
    g.setColorAt(1, leaf.darker(170));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(path);
}

void Pine(QPainter &p, QPointF base, double height, const QColor &leaf)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 50, 35));
    p.drawRect(QRectF(base.x() - height * 0.04, base.y() - height * 0.2, height * 0.08, height * 0.2));
    for (int k = 0; k < 4; ++k) {
        const double y0 = base.y() - height * (0.15 + k * 0.2);
        const double hw = height * (0.3 - k * 0.06);
        QPolygonF tri;
        tri << QPointF(base.x() - hw, y0) << QPointF(base.x() + hw, y0) << QPointF(base.x(), y0 - height * 0.38);
        QLinearGradient g(base.x() - hw, 0, base.x() + hw, 0);
        g.setColorAt(0, leaf.lighter(120));
        g.setColorAt(1, leaf.darker(160));
        p.setBrush(g);
        p.drawPolygon(tri);
    }
}

// ---------------------------------------------------------------------------------------------
// Roads. A road is a centre line with a half width at every point (far end first); `s` is the
// distance along the real road, which spaces the centre dashes.

struct Road {
    std::vector<QPointF> centre;
    std::vector<double> halfWidth;
    std::vector<double> s;
    // Optional true road edges (from a ground-plane projection); empty for screen-drawn roads.
    std::vector<QPointF> left;
    std::vector<QPointF> right;
};

// Simple pinhole camera for straight-ahead views: x right, y up, z forward (metres).
struct Camera {
    double horizonY = 110;
    double focal = 230;
    double height = 1.3;
    double centreX = PhotoWidth / 2.0;

    QPointF Project(double x, double y, double z) const
    {
        return {centreX + focal * x / z, horizonY + focal * (height - y) / z};
    }
    double Scale(double metres, double z) const { return focal * metres / z; }
};

// Road seen by `cam`, centre offset `lateral(z)` metres, from zFar to zNear.
Road CameraRoad(const Camera &cam, double halfWidthMetres, double zNear, double zFar,
                const std::function<double(double)> &lateral)
{
    Road road;
    for (double z = zFar; z >= zNear; z /= 1.015) {
        // Edges lie across the road on the ground, not across its picture.
        const double dx = (lateral(z + 0.05) - lateral(z - 0.05)) / 0.1;
        const double norm = std::hypot(dx, 1.0);
        const double nx = 1.0 / norm, nz = -dx / norm;
        const double x = lateral(z);
        road.centre.push_back(cam.Project(x, 0, z));
        road.halfWidth.push_back(cam.Scale(halfWidthMetres, z));
        road.s.push_back(z);
        road.right.push_back(cam.Project(x + nx * halfWidthMetres, 0, z + nz * halfWidthMetres));
        road.left.push_back(cam.Project(x - nx * halfWidthMetres, 0, z - nz * halfWidthMetres));
    }
    return road;
}

// Road through screen points (far end first) whose width grows from wFar to wNear.
Road ScreenRoad(const std::vector<QPointF> &controls, double wFar, double wNear, double widthPower = 1.0)
{
    // Catmull-Rom through the controls.
    std::vector<QPointF> pts;
    const std::size_t n = controls.size();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const QPointF p0 = controls[i == 0 ? 0 : i - 1];
        const QPointF p1 = controls[i];
        const QPointF p2 = controls[i + 1];
        const QPointF p3 = controls[std::min(n - 1, i + 2)];
        for (int k = 0; k < 24; ++k) {
            const double t = k / 24.0;
            const double t2 = t * t, t3 = t2 * t;
            pts.push_back(0.5 * ((2 * p1) + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 +
                                 (-p0 + 3 * p1 - 3 * p2 + p3) * t3));
        }
    }
    pts.push_back(controls.back());
    Road road;
    road.centre = pts;
    const double count = static_cast<double>(pts.size() - 1);
    double s = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const double t = std::pow(static_cast<double>(i) / count, widthPower);
        const double hw = wFar + (wNear - wFar) * t;
        road.halfWidth.push_back(hw);
        if (i > 0) {
            const QPointF d = pts[i] - pts[i - 1];
            s -= std::hypot(d.x(), d.y()) / hw * 3.5;
        }
        road.s.push_back(s);
    }
    return road;
}

QPolygonF Offset(const Road &road, std::size_t from, std::size_t to, double factor)
{
    QPolygonF line;
    if (!road.left.empty()) {
        for (std::size_t i = from; i <= to; ++i) {
            const QPointF &edge = factor >= 0 ? road.left[i] : road.right[i];
            line << road.centre[i] + (edge - road.centre[i]) * std::fabs(factor);
        }
        return line;
    }
    for (std::size_t i = from; i <= to; ++i) {
        const QPointF a = road.centre[i == 0 ? 0 : i - 1];
        const QPointF b = road.centre[std::min(road.centre.size() - 1, i + 1)];
        QPointF d = b - a;
        const double len = std::max(1e-9, std::hypot(d.x(), d.y()));
        const QPointF normal(-d.y() / len, d.x() / len);
        line << road.centre[i] + normal * road.halfWidth[i] * factor;
    }
    return line;
}

struct RoadStyle {
    QColor asphaltFar{120, 122, 128};
    QColor asphaltNear{62, 63, 68};
    QColor verge{0, 0, 0, 0};
    bool centreLine = true;
    bool edgeLines = true;
};

// Draws the part [from, to] of the road (call far parts first so nearer parts cover them).
void DrawRoad(QPainter &p, const Road &road, const RoadStyle &style, std::size_t from = 0,
              std::size_t to = static_cast<std::size_t>(-1))
{
    to = std::min(to, road.centre.size() - 1);
    if (style.verge.alpha() > 0) {
        QPolygonF verge = Offset(road, from, to, 1.25);
        QPolygonF other = Offset(road, from, to, -1.25);
        std::reverse(other.begin(), other.end());
        verge << other;
        p.setPen(Qt::NoPen);
        p.setBrush(style.verge);
        p.drawPolygon(verge, Qt::WindingFill);
    }
    QPolygonF body = Offset(road, from, to, 1.0);
    QPolygonF back = Offset(road, from, to, -1.0);
    std::reverse(back.begin(), back.end());
    body << back;
    const QRectF box = body.boundingRect();
    QLinearGradient g(0, box.top(), 0, box.bottom());
    g.setColorAt(0, style.asphaltFar);
    g.setColorAt(1, style.asphaltNear);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPolygon(body, Qt::WindingFill);

    if (style.edgeLines) {
        for (double side : {0.86, -0.86}) {
            const QPolygonF edge = Offset(road, from, to, side);
            for (int i = 0; i + 1 < edge.size(); ++i) {
                const std::size_t c = from + static_cast<std::size_t>(i);
                const QPointF along = road.centre[c + 1] - road.centre[c];
                const QPointF step = edge[i + 1] - edge[i];
                if (along.x() * step.x() + along.y() * step.y() <= 0)
                    continue; // the inside of a tight bend folds over itself
                const double hw = road.halfWidth[c];
                p.setPen(QPen(QColor(235, 235, 228, 230), std::max(0.5, hw * 0.045), Qt::SolidLine, Qt::RoundCap));
                p.drawLine(edge[i], edge[i + 1]);
            }
        }
    }
    if (style.centreLine) {
        for (std::size_t i = from; i < to; ++i) {
            const double phase = std::fmod(std::fabs(road.s[i]), 9.0);
            if (phase > 4.0)
                continue;
            const double hw = road.halfWidth[i];
            p.setPen(QPen(QColor(240, 240, 232, 235), std::max(0.5, hw * 0.04), Qt::SolidLine, Qt::FlatCap));
            p.drawLine(road.centre[i], road.centre[i + 1]);
        }
    }
}

void GuardRail(QPainter &p, const Road &road, double side, std::size_t from, std::size_t to)
{
    to = std::min(to, road.centre.size() - 1);
    const QPolygonF rail = Offset(road, from, to, side);
    for (int i = 0; i + 1 < rail.size(); ++i) {
        const double hw = road.halfWidth[from + static_cast<std::size_t>(i)];
        const QPointF lift(0, -hw * 0.16);
        p.setPen(QPen(QColor(70, 72, 76), std::max(0.4, hw * 0.03)));
        if (i % 6 == 0)
            p.drawLine(rail[i], rail[i] + lift * 1.1);
        p.setPen(QPen(QColor(200, 204, 210), std::max(0.6, hw * 0.06), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(rail[i] + lift, rail[i + 1] + lift);
    }
}

// ---------------------------------------------------------------------------------------------
// Buildings

void House(QPainter &p, QRectF wall, const QColor &colour, double roofHeight, bool shutters, Rng &rng)
{
    QLinearGradient g(wall.left(), 0, wall.right(), 0);
    g.setColorAt(0, colour.lighter(108));
    g.setColorAt(1, colour.darker(118));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRect(wall);
    // Roof: terracotta with a shadow under the eaves.
    QPolygonF roof;
    roof << QPointF(wall.left() - wall.width() * 0.06, wall.top())
         << QPointF(wall.left() + wall.width() * 0.5, wall.top() - roofHeight)
         << QPointF(wall.right() + wall.width() * 0.06, wall.top());
    QLinearGradient rg(0, wall.top() - roofHeight, 0, wall.top());
    rg.setColorAt(0, QColor(196, 96, 58));
    rg.setColorAt(1, QColor(150, 66, 40));
    p.setBrush(rg);
    p.drawPolygon(roof);
    p.setBrush(QColor(0, 0, 0, 45));
    p.drawRect(QRectF(wall.left(), wall.top(), wall.width(), std::max(1.0, wall.height() * 0.06)));
    // Windows in a grid.
    const int cols = std::max(1, static_cast<int>(wall.width() / 14));
    const int rows = std::max(1, static_cast<int>(wall.height() / 18));
    const double cw = wall.width() / cols, rh = wall.height() / rows;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const QRectF win(wall.left() + c * cw + cw * 0.32, wall.top() + r * rh + rh * 0.28, cw * 0.36, rh * 0.45);
            if (r == rows - 1 && c == cols / 2) {
                p.setBrush(QColor(92, 64, 44));
                p.drawRect(QRectF(win.left(), win.top(), win.width(), wall.bottom() - win.top()));
                continue;
            }
            p.setBrush(QColor(48, 58, 72));
            p.drawRect(win);
            if (shutters && rng.Next() < 0.8) {
                p.setBrush(QColor(62, 112, 78));
                p.drawRect(QRectF(win.left() - win.width() * 0.45, win.top(), win.width() * 0.42, win.height()));
                p.drawRect(QRectF(win.right() + win.width() * 0.03, win.top(), win.width() * 0.42, win.height()));
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The nine photographs

QImage NewPhoto()
{
    QImage image(PhotoWidth, PhotoHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

// 0: Varnola, a seaside village with a bell tower.
QImage PaintVarnola()
{
    QImage image = NewPhoto();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Rng rng(100);
    Camera cam;
    cam.horizonY = 112;
    cam.centreX = 150;
    Sky(p, QColor(70, 140, 210), QColor(190, 222, 240), cam.horizonY);
    Clouds(p, rng, 5, 20, 70, QColor(255, 255, 255), QColor(200, 215, 230));
    // Sea on the right beyond the promenade wall, headland on the left.
    Sea(p, rng, cam.horizonY, PhotoHeight, QColor(70, 140, 190), QColor(30, 100, 155), 120, PhotoWidth);
    Noise hills(11);
    Ridge(p, hills, cam.horizonY + 1, 14, 90, QColor(120, 150, 110), QColor(95, 125, 85), cam.horizonY + 3);
    p.setPen(Qt::NoPen);
    QLinearGradient ground(0, cam.horizonY, 0, PhotoHeight);
    ground.setColorAt(0, QColor(186, 172, 140));
    ground.setColorAt(1, QColor(160, 140, 108));
    p.setBrush(ground);
    QPolygonF land;
    land << QPointF(0, cam.horizonY) << QPointF(cam.centreX, cam.horizonY) << cam.Project(3.8, 0, 1.0)
         << QPointF(0, PhotoHeight + 200);
    p.drawPolygon(land);
    // The promenade wall: its face towards the road, then its top.
    QPolygonF wall;
    wall << cam.Project(3.8, 0, 400) << cam.Project(3.8, 0.8, 400) << cam.Project(3.8, 0.8, 1.0)
         << cam.Project(3.8, 0, 1.0);
    QLinearGradient wallShade(0, cam.horizonY, 0, PhotoHeight);
    wallShade.setColorAt(0, QColor(220, 210, 190));
    wallShade.setColorAt(1, QColor(170, 156, 130));
    p.setBrush(wallShade);
    p.drawPolygon(wall);
    QPolygonF wallTop;
    wallTop << cam.Project(3.8, 0.8, 400) << cam.Project(4.4, 0.8, 400) << cam.Project(4.4, 0.8, 1.0)
            << cam.Project(3.8, 0.8, 1.0);
    p.setBrush(QColor(236, 228, 212));
    p.drawPolygon(wallTop);
    // Bell tower, then houses along the left, far to near.
    {
        const QPointF b = cam.Project(-14, 0, 70);
        const double w = cam.Scale(3.5, 70), h = cam.Scale(17, 70);
        QLinearGradient g(b.x() - w, 0, b.x(), 0);
        g.setColorAt(0, QColor(236, 214, 170));
        g.setColorAt(1, QColor(190, 162, 120));
        p.setBrush(g);
        p.drawRect(QRectF(b.x() - w, b.y() - h, w, h));
        p.setBrush(QColor(60, 50, 45));
        p.drawRect(QRectF(b.x() - w * 0.7, b.y() - h * 0.88, w * 0.4, h * 0.1));
        QPolygonF spire;
        spire << QPointF(b.x() - w * 1.1, b.y() - h) << QPointF(b.x() - w * 0.5, b.y() - h * 1.22)
              << QPointF(b.x() + w * 0.1, b.y() - h);
        p.setBrush(QColor(170, 80, 50));
        p.drawPolygon(spire);
    }
    const std::array<QColor, 6> walls = {QColor(236, 196, 120), QColor(226, 150, 130), QColor(240, 224, 190),
                                         QColor(200, 160, 190), QColor(244, 206, 150), QColor(170, 200, 190)};
    double z = 64;
    int k = 0;
    while (z > 6) {
        const double depth = 7 + rng.Range(0, 3);
        const double height = rng.Range(6, 10);
        const QPointF nearBase = cam.Project(-5.5, 0, z);
        const double w = cam.Scale(depth, z) * 0.55 + 6;
        const double h = cam.Scale(height, z);
        House(p, QRectF(nearBase.x() - w, nearBase.y() - h, w, h), walls[static_cast<std::size_t>(k % 6)], h * 0.25,
              true, rng);
        z /= 1.45;
        ++k;
    }
    // Road.
    Road road = CameraRoad(cam, 3.2, 1.2, 120, [](double) { return 0.0; });
    RoadStyle style;
    style.asphaltFar = QColor(130, 128, 130);
    DrawRoad(p, road, style);
    // Street lamps on the sea side.
    for (double lz : {48.0, 26.0, 14.0}) {
        const QPointF b = cam.Project(3.6, 0.8, lz);
        const double h = cam.Scale(4.5, lz);
        p.setPen(QPen(QColor(40, 45, 50), std::max(0.7, cam.Scale(0.12, lz))));
        p.drawLine(b, b - QPointF(0, h));
        p.drawLine(b - QPointF(0, h), b - QPointF(cam.Scale(0.8, lz), h));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 240, 200));
        p.drawEllipse(b - QPointF(cam.Scale(0.8, lz), h - cam.Scale(0.15, lz)), cam.Scale(0.18, lz),
                      cam.Scale(0.12, lz));
    }
    Vignette(p, PhotoWidth, PhotoHeight);
    return image;
}

// 1: Dunes, sea on the left, sand dunes on the right.
QImage PaintDunes()
{
    QImage image = NewPhoto();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Rng rng(101);
    Camera cam;
    cam.horizonY = 105;
    cam.centreX = 215;
    Sky(p, QColor(40, 130, 220), QColor(200, 232, 245), cam.horizonY);
    SunGlow(p, QPointF(80, 30), 90, QColor(255, 250, 220));
    Clouds(p, rng, 3, 20, 55, QColor(255, 255, 255), QColor(215, 228, 240));
    Sea(p, rng, cam.horizonY, 150, QColor(40, 150, 180), QColor(60, 185, 190));
    // Beach and surf line.
    QPolygonF beach;
    beach << QPointF(0, 140) << QPointF(150, cam.horizonY + 8) << QPointF(PhotoWidth, cam.horizonY + 8)
          << QPointF(PhotoWidth, PhotoHeight) << QPointF(0, PhotoHeight);
    QLinearGradient sand(0, cam.horizonY, 0, PhotoHeight);
    sand.setColorAt(0, QColor(232, 214, 170));
    sand.setColorAt(1, QColor(214, 186, 132));
    p.setPen(Qt::NoPen);
    p.setBrush(sand);
    p.drawPolygon(beach);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.5));
    p.drawLine(QPointF(0, 139), QPointF(150, cam.horizonY + 7));
    // Dunes on the right, each with a lit and a shaded face.
    struct Dune {
        double x, base, w, h;
    };
    const std::array<Dune, 7> dunes = {{{330, 114, 90, 22},
                                        {262, 116, 50, 10},
                                        {290, 126, 60, 22},
                                        {365, 140, 80, 42},
                                        {305, 150, 48, 22},
                                        {380, 200, 90, 70},
                                        {318, 214, 45, 28}}};
    for (const Dune &d : dunes) {
        QPainterPath lit;
        lit.moveTo(d.x - d.w, d.base);
        lit.cubicTo(d.x - d.w * 0.5, d.base - d.h * 0.2, d.x - d.w * 0.2, d.base - d.h, d.x, d.base - d.h);
        lit.cubicTo(d.x + d.w * 0.3, d.base - d.h, d.x + d.w * 0.6, d.base - d.h * 0.3, d.x + d.w, d.base);
        lit.closeSubpath();
        QLinearGradient g(0, d.base - d.h, 0, d.base);
        g.setColorAt(0, QColor(246, 228, 186));
        g.setColorAt(1, QColor(222, 196, 146));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(lit);
        QPainterPath shade;
        shade.moveTo(d.x, d.base - d.h);
        shade.cubicTo(d.x + d.w * 0.3, d.base - d.h, d.x + d.w * 0.6, d.base - d.h * 0.3, d.x + d.w, d.base);
        shade.lineTo(d.x + d.w * 0.15, d.base);
        shade.closeSubpath();
        p.setBrush(QColor(170, 140, 96, 110));
        p.drawPath(shade);
        // Marram grass tufts on the crest.
        Rng tuft(static_cast<std::uint64_t>(d.x * 7 + d.base));
        for (int t = 0; t < 7; ++t) {
            const double tx = d.x + tuft.Range(-0.7, 0.7) * d.w;
            const double rel = std::fabs(tx - d.x) / d.w;
            const double ty = d.base - d.h * (1 - rel * rel) * 0.95;
            const double th = 3 + d.h * 0.12;
            for (int blade = -2; blade <= 2; ++blade) {
                p.setPen(QPen(QColor(110, 140, 70), 0.8));
                p.drawLine(QPointF(tx, ty), QPointF(tx + blade * th * 0.25, ty - th));
            }
        }
    }
    // Road along the shore with sand drifting over the edges.
    Road road = CameraRoad(cam, 3.0, 1.2, 150, [](double zz) { return -0.0006 * zz * zz; });
    RoadStyle style;
    style.asphaltFar = QColor(150, 146, 140);
    style.asphaltNear = QColor(78, 76, 74);
    style.verge = QColor(222, 200, 150);
    DrawRoad(p, road, style);
    // Marker posts.
    for (double z : {80.0, 40.0, 20.0, 10.0, 5.0}) {
        for (double side : {-3.6, 3.6}) {
            const QPointF b = cam.Project(side - 0.0006 * z * z, 0, z);
            const double h = cam.Scale(1.0, z), w = std::max(0.8, cam.Scale(0.12, z));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(245, 245, 240));
            p.drawRect(QRectF(b.x() - w / 2, b.y() - h, w, h));
            p.setBrush(QColor(30, 30, 30));
            p.drawRect(QRectF(b.x() - w / 2, b.y() - h, w, h * 0.2));
        }
    }
    Vignette(p, PhotoWidth, PhotoHeight);
    return image;
}

// 2: SR 47 Bridge, a steel through-truss over a river.
QImage PaintTrussBridge()
{
    QImage image = NewPhoto();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Rng rng(102);
    Camera cam;
    cam.horizonY = 118;
    cam.focal = 210;
    Sky(p, QColor(110, 150, 190), QColor(215, 225, 232), cam.horizonY);
    Clouds(p, rng, 7, 15, 90, QColor(250, 250, 252), QColor(180, 190, 205));
    Noise far(21), nearHills(22);
    Ridge(p, far, cam.horizonY - 6, 14, 80, QColor(120, 140, 150), QColor(130, 150, 155), cam.horizonY + 4);
    Ridge(p, nearHills, cam.horizonY, 6, 40, QColor(80, 110, 80), QColor(90, 120, 85), cam.horizonY + 6);
    // River below the deck.
    Sea(p, rng, cam.horizonY + 4, PhotoHeight, QColor(120, 150, 150), QColor(60, 95, 100));
    // Far river bank where the bridge lands.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(95, 120, 80));
    QPolygonF bank;
    bank << cam.Project(-40, 0, 90) << cam.Project(40, 0, 90) << cam.Project(40, -1.5, 70)
         << cam.Project(-40, -1.5, 70);
    p.drawPolygon(bank);
    // Deck edge and road.
    p.setBrush(QColor(90, 92, 96));
    QPolygonF deck;
    deck << cam.Project(-4.6, 0, 72) << cam.Project(4.6, 0, 72) << cam.Project(4.6, -1.2, 2)
         << cam.Project(-4.6, -1.2, 2);
    p.drawPolygon(deck);
    Road road = CameraRoad(cam, 3.4, 1.0, 140, [](double) { return 0.0; });
    RoadStyle style;
    style.asphaltFar = QColor(120, 120, 124);
    style.asphaltNear = QColor(66, 66, 70);
    DrawRoad(p, road, style);

    const QColor steel(64, 104, 96);
    const QColor steelLight(110, 150, 140);
    auto beam = [&](double x0, double y0, double z0, double x1, double y1, double z1, double metres) {
        const double zMid = (z0 + z1) / 2;
        p.setPen(QPen(steel, std::max(0.8, cam.Scale(metres, zMid)), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(cam.Project(x0, y0, z0), cam.Project(x1, y1, z1));
        p.setPen(QPen(steelLight, std::max(0.4, cam.Scale(metres * 0.3, zMid)), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(cam.Project(x0, y0 + metres * 0.3, z0), cam.Project(x1, y1 + metres * 0.3, z1));
    };
    const double zStart = 6, zEnd = 66, panel = 6, top = 6.5;
    // Far to near so nearer members cover farther ones.
    for (double z = zEnd; z >= zStart + panel - 0.01; z -= panel) {
        const double zNear = z - panel;
        for (double x : {-4.5, 4.5}) {
            beam(x, 0, zNear, x, 0, z, 0.35);     // bottom chord
            beam(x, top, zNear, x, top, z, 0.45); // top chord
            beam(x, 0, z, x, top, z, 0.3);        // vertical
            const bool even = static_cast<int>(std::lround((z - zStart) / panel)) % 2 == 0;
            beam(x, even ? 0 : top, zNear, x, even ? top : 0, z, 0.3); // diagonal
        }
        beam(-4.5, top, z, 4.5, top, z, 0.3); // cross beam
        beam(-4.5, top, zNear, 4.5, top, z, 0.15);
        beam(4.5, top, zNear, -4.5, top, z, 0.15);
    }
    // Portal at the entrance, with the road sign plate.
    beam(-4.5, 0, zStart, -4.5, top, zStart, 0.45);
    beam(4.5, 0, zStart, 4.5, top, zStart, 0.45);
    beam(-4.5, top, zStart, 4.5, top, zStart, 0.5);
    beam(-4.5, top - 1.5, zStart, -3.0, top, zStart, 0.3);
    beam(4.5, top - 1.5, zStart, 3.0, top, zStart, 0.3);
    // Railings along the deck.
    for (double x : {-4.2, 4.2}) {
        for (double z = 66; z > 1.3; z /= 1.08) {
            const QPointF b = cam.Project(x, 0, z);
            p.setPen(QPen(QColor(170, 175, 178), std::max(0.4, cam.Scale(0.06, z))));
            p.drawLine(b, cam.Project(x, 1.0, z));
        }
        p.setPen(QPen(QColor(200, 204, 206), 1.4));
        p.drawLine(cam.Project(x, 1.0, 66), cam.Project(x, 1.0, 1.3));
    }
    {
        // Route plate fixed to the first truss post.
        const double zs = 12;
        const QPointF a = cam.Project(-4.4, 2.9, zs), b = cam.Project(-2.6, 1.9, zs);
        p.setPen(QPen(QColor(250, 250, 250), 2));
        p.setBrush(QColor(20, 80, 160));
        p.drawRoundedRect(QRectF(a, b), 4, 4);
        p.setPen(QColor(255, 255, 255));
        p.setFont(Font(std::abs(b.y() - a.y()) * 0.55, QFont::Bold));
        p.drawText(QRectF(a, b), Qt::AlignCenter, QStringLiteral("SR 47"));
    }
    Vignette(p, PhotoWidth, PhotoHeight);
    return image;
}

// 3: Montaspro Bridge, a stone arch viaduct over a ravine.
QImage PaintStoneBridge()
{
    QImage image = NewPhoto();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Rng rng(103);
    Sky(p, QColor(120, 170, 220), QColor(250, 226, 190), 120);
    SunGlow(p, QPointF(300, 70), 110, QColor(255, 236, 190));
    Clouds(p, rng, 4, 15, 60, QColor(255, 250, 245), QColor(225, 200, 190));
    Noise far(31), mid(32);
    Ridge(p, far, 70, 30, 60, QColor(150, 160, 185), QColor(170, 175, 190), 140, 6);
    Ridge(p, mid, 100, 22, 50, QColor(90, 115, 95), QColor(70, 95, 80), 180, 6);
    // Ravine: dark gorge in the middle, cliffs on both sides.
    QLinearGradient gorge(0, 110, 0, PhotoHeight);
    gorge.setColorAt(0, QColor(60, 75, 70));
    gorge.setColorAt(1, QColor(25, 35, 35));
    p.setPen(Qt::NoPen);
    p.setBrush(gorge);
    p.drawRect(QRectF(0, 115, PhotoWidth, PhotoHeight - 115));
    // A stream at the bottom.
    p.setBrush(QColor(80, 120, 130));
    QPainterPath stream;
    stream.moveTo(160, 250);
    stream.cubicTo(175, 215, 198, 205, 203, 180);
    stream.lineTo(207, 180);
    stream.cubicTo(210, 205, 196, 222, 196, 250);
    stream.closeSubpath();
    p.drawPath(stream);
    auto cliff = [&](const QPolygonF &poly, const QColor &lit, const QColor &dark) {
        const QRectF box = poly.boundingRect();
        QLinearGradient g(box.left(), box.top(), box.right(), box.bottom());
        g.setColorAt(0, lit);
        g.setColorAt(1, dark);
        p.setBrush(g);
        p.drawPolygon(poly);
        Rng strata(static_cast<std::uint64_t>(box.left() + 1000));
        p.setPen(QPen(QColor(40, 35, 30, 90), 1));
        for (int k = 0; k < 18; ++k) {
            const double y = strata.Range(box.top() + 5, box.bottom());
            const double x = strata.Range(box.left(), box.right());
            if (poly.containsPoint(QPointF(x, y), Qt::OddEvenFill))
                p.drawLine(QPointF(x, y), QPointF(x + strata.Range(-18, 18), y + strata.Range(-2, 6)));
        }
        p.setPen(Qt::NoPen);
    };
    QPolygonF left;
    left << QPointF(0, 120) << QPointF(60, 122) << QPointF(78, 130) << QPointF(100, 170) << QPointF(130, 200)
         << QPointF(150, 250) << QPointF(0, 250);
    cliff(left, QColor(170, 140, 110), QColor(90, 70, 55));
    QPolygonF right;
    right << QPointF(PhotoWidth, 118) << QPointF(300, 120) << QPointF(285, 132) << QPointF(265, 160)
          << QPointF(240, 200) << QPointF(225, 250) << QPointF(PhotoWidth, 250);
    cliff(right, QColor(150, 120, 95), QColor(80, 60, 45));
    // The viaduct: deck at y 118..128, three round arches springing from piers.
    const double deckTop = 116, deckBottom = 128;
    const QColor stone(196, 168, 128), stoneDark(150, 120, 88);
    QPainterPath body;
    body.addRect(QRectF(52, deckTop, 258, 150));
    struct Arch {
        double cx, r, spring;
    };
    const std::array<Arch, 3> arches = {{{105, 26, 160}, {180, 42, 175}, {256, 27, 162}}};
    for (const Arch &a : arches) {
        QPainterPath hole;
        hole.moveTo(a.cx - a.r, PhotoHeight + 10);
        hole.lineTo(a.cx - a.r, a.spring);
        hole.arcTo(QRectF(a.cx - a.r, a.spring - a.r, 2 * a.r, 2 * a.r), 180, -180);
        hole.lineTo(a.cx + a.r, PhotoHeight + 10);
        hole.closeSubpath();
        body = body.subtracted(hole);
    }
    // Clip the piers to the gorge walls.
    QPainterPath ground;
    ground.addPolygon(left);
    ground.addPolygon(right);
    QPainterPath sky;
    sky.addRect(QRectF(0, 0, PhotoWidth, PhotoHeight));
    QLinearGradient sg(0, deckTop, 0, PhotoHeight);
    sg.setColorAt(0, stone);
    sg.setColorAt(1, stoneDark);
    p.setBrush(sg);
    p.drawPath(body);
    // Masonry courses.
    p.save();
    p.setClipPath(body);
    for (double y = deckTop + 4; y < PhotoHeight; y += 5) {
        p.setPen(QPen(QColor(110, 88, 62, 110), 0.6));
        p.drawLine(QPointF(40, y), QPointF(320, y));
        const double shift = (static_cast<int>(y) / 5 % 2) * 5;
        for (double x = 52 + shift; x < 312; x += 10)
            p.drawLine(QPointF(x, y), QPointF(x, y + 5));
    }
    // Shadow inside the arch rings.
    for (const Arch &a : arches) {
        p.setPen(QPen(QColor(90, 70, 50, 150), 4));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(a.cx - a.r - 2, a.spring - a.r - 2, 2 * a.r + 4, 2 * a.r + 4), 0, 180 * 16);
        p.setPen(QPen(QColor(226, 204, 168), 1.2));
        p.drawArc(QRectF(a.cx - a.r - 5, a.spring - a.r - 5, 2 * a.r + 10, 2 * a.r + 10), 0, 180 * 16);
    }
    p.restore();
    // Parapet and deck edge.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(214, 190, 150));
    p.drawRect(QRectF(50, deckTop - 5, 262, 5));
    p.setBrush(QColor(120, 95, 70));
    p.drawRect(QRectF(50, deckBottom - 1, 262, 2));
    // The cliffs in front of the bridge ends.
    p.setPen(Qt::NoPen);
    QPolygonF leftFront;
    leftFront << QPointF(0, 126) << QPointF(54, 126) << QPointF(70, 150) << QPointF(110, 250) << QPointF(0, 250);
    cliff(leftFront, QColor(150, 120, 92), QColor(70, 55, 42));
    // Road in the foreground sweeping onto the bridge from the right.
    QPolygonF verge;
    verge << QPointF(PhotoWidth, 112) << QPointF(306, 112) << QPointF(300, 124) << QPointF(290, 160)
          << QPointF(250, 250) << QPointF(PhotoWidth, 250);
    QLinearGradient vg(0, 110, 0, 250);
    vg.setColorAt(0, QColor(120, 140, 80));
    vg.setColorAt(1, QColor(70, 95, 50));
    p.setBrush(vg);
    p.drawPolygon(verge);
    Road road = ScreenRoad({QPointF(304, 113), QPointF(322, 118), QPointF(338, 134), QPointF(342, 170),
                            QPointF(325, 215), QPointF(300, 262)},
                           3, 44, 1.5);
    RoadStyle style;
    style.asphaltFar = QColor(110, 108, 110);
    DrawRoad(p, road, style);
    // The roadway across the deck.
    p.setPen(QPen(QColor(120, 118, 120), 2));
    p.drawLine(QPointF(52, deckTop - 5), QPointF(306, deckTop - 5));
    // Stone bollards along the near verge.
    for (int k = 0; k < 6; ++k) {
        const double t = k / 5.0;
        const QPointF at(304 + t * t * 10 - t * 60 + 8, 118 + t * t * 120);
        const double h = 3 + t * t * 14;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(236, 232, 222));
        p.drawRect(QRectF(at.x() - h * 0.2, at.y() - h, h * 0.4, h));
    }
    Vignette(p, PhotoWidth, PhotoHeight);
    (void)ground;
    (void)sky;
    return image;
}

// 4: Bivio Carrano, a fork in the road with a blue direction sign.
QImage PaintJunction()
{
    QImage image = NewPhoto();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Rng rng(104);
    Camera cam;
    cam.horizonY = 108;
    cam.centreX = 170;
    Sky(p, QColor(60, 120, 200), QColor(205, 225, 240), cam.horizonY);
    Clouds(p, rng, 6, 15, 70, QColor(255, 255, 255), QColor(200, 210, 225));
    Noise far(41);
    Ridge(p, far, cam.horizonY - 4, 12, 70, QColor(130, 150, 170), QColor(140, 160, 165), cam.horizonY + 4);
    // Fields: golden wheat on the left, green on the right, with furrows.
    p.setPen(Qt::NoPen);
    QLinearGradient wheat(0, cam.horizonY, 0, PhotoHeight);
    wheat.setColorAt(0, QColor(200, 180, 100));
    wheat.setColorAt(1, QColor(190, 150, 60));
    p.setBrush(wheat);
    p.drawRect(QRectF(0, cam.horizonY, PhotoWidth, PhotoHeight));
    QLinearGradient grass(0, cam.horizonY, 0, PhotoHeight);
    grass.setColorAt(0, QColor(130, 160, 90));
    grass.setColorAt(1, QColor(80, 125, 55));
    p.setBrush(grass);
    QPolygonF green;
    green << cam.Project(0, 0, 200) << QPointF(PhotoWidth, cam.horizonY) << QPointF(PhotoWidth, PhotoHeight)
          << cam.Project(2, 0, 1.5);
    p.drawPolygon(green);
    p.setPen(QPen(QColor(150, 120, 50, 90), 0.8));
    for (double x = -60; x < -4; x += 4)
        p.drawLine(cam.Project(x, 0, 200), cam.Project(x, 0, 2));
    // Cypresses along the side road.
    for (double z : {120.0, 90.0, 70.0, 55.0, 45.0}) {
        const double x = 6 + (200 - z) * 0.25;
        Cypress(p, cam.Project(x + 4, 0, z), cam.Scale(9, z), QColor(50, 90, 50));
    }
    RoundTree(p, rng, cam.Project(-14, 0, 60), cam.Scale(6, 60), QColor(80, 120, 60));
    // The branch to the right, then the main road.
    Road branch = CameraRoad(cam, 2.8, 12, 250, [](double z) {
        const double t = std::max(0.0, z - 12);
        return 1.5 + t * 0.9 - t * t * 0.0015;
    });
    RoadStyle style;
    style.asphaltFar = QColor(140, 138, 136);
    DrawRoad(p, branch, style);
    Road main = CameraRoad(cam, 3.0, 1.2, 250, [](double) { return 0.0; });
    DrawRoad(p, main, style);
    // Give-way triangle marking on the branch mouth.
    // Sign post on the right verge.
    const double zs = 13;
    const QPointF base = cam.Project(5.2, 0, zs);
    const double postH = cam.Scale(3.2, zs);
    p.setPen(QPen(QColor(150, 150, 155), cam.Scale(0.1, zs)));
    p.drawLine(base, base - QPointF(0, postH));
    p.drawLine(base + QPointF(cam.Scale(1.9, zs), 0), base - QPointF(-cam.Scale(1.9, zs), postH));
    auto sign = [&](QRectF r, const QString &text, bool left) {
        QPainterPath arrow;
        const double tip = r.height() * 0.55;
        if (left) {
            arrow.moveTo(r.left() - tip, r.center().y());
            arrow.lineTo(r.left(), r.top());
            arrow.lineTo(r.right(), r.top());
            arrow.lineTo(r.right(), r.bottom());
            arrow.lineTo(r.left(), r.bottom());
        } else {
            arrow.moveTo(r.right() + tip, r.center().y());
            arrow.lineTo(r.right(), r.bottom());
            arrow.lineTo(r.left(), r.bottom());
            arrow.lineTo(r.left(), r.top());
            arrow.lineTo(r.right(), r.top());
        }
        arrow.closeSubpath();
        p.setPen(QPen(QColor(0, 0, 0, 60), 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arrow.translated(1.5, 1.5));
        p.setPen(QPen(QColor(250, 250, 250), 1.4));
        p.setBrush(QColor(24, 84, 170));
        p.drawPath(arrow);
        p.setPen(QColor(255, 255, 255));
        p.setFont(Font(r.height() * 0.58, QFont::Bold));
        p.drawText(r, Qt::AlignCenter, text);
    };
    const double signW = cam.Scale(3.6, zs), signH = cam.Scale(0.75, zs);
    const QPointF top = base - QPointF(0, postH);
    sign(QRectF(top.x() - signW * 0.05, top.y() + 2, signW, signH), QStringLiteral("Carrano"), false);
    sign(QRectF(top.x() - signW * 0.05, top.y() + 4 + signH, signW, signH), QStringLiteral("Sorvena"), true);
    Vignette(p, PhotoWidth, PhotoHeight);
    return image;
}

// Rolling hills with vine rows.
void VineHill(QPainter &p, const QPolygonF &outline, const QColor &base, double rowStep, double slope, int seed)
{
    const QRectF box = outline.boundingRect();
    QLinearGradient g(box.left(), box.top(), box.right(), box.bottom());
    g.setColorAt(0, base.lighter(120));
    g.setColorAt(1, base.darker(125));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPolygon(outline);
    p.save();
    QPainterPath clip;
    clip.addPolygon(outline);
    p.setClipPath(clip);
    Rng rng(static_cast<std::uint64_t>(seed));
    for (double x = box.left() - box.height() * 2; x < box.right() + box.height(); x += rowStep) {
        QPainterPath row;
        row.moveTo(x, box.bottom());
        row.cubicTo(x + slope * box.height() * 0.4, box.bottom() - box.height() * 0.5, x + slope * box.height() * 0.8,
                    box.top() + box.height() * 0.2, x + slope * box.height(), box.top());
        p.setPen(QPen(base.darker(160), std::max(0.6, rowStep * 0.35)));
        p.setBrush(Qt::NoBrush);
        p.drawPath(row);
    }
    p.restore();
    (void)rng;
}

// 5: Vallerosa Curves, bends through vineyard hills.
QImage PaintVineyardCurves()
{
    QImage image = NewPhoto();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Rng rng(105);
    Sky(p, QColor(90, 130, 200), QColor(250, 214, 160), 100);
    SunGlow(p, QPointF(70, 78), 120, QColor(255, 220, 150));
    Clouds(p, rng, 4, 15, 55, QColor(255, 240, 225), QColor(230, 180, 160));
    Noise far(51);
    Ridge(p, far, 92, 10, 80, QColor(150, 140, 170), QColor(160, 150, 165));
    QPolygonF hill1, hill2, hill3;
    for (int x = 0; x <= PhotoWidth; x += 5) {
        hill1 << QPointF(x, 105 - 18 * std::sin((x + 40) / 70.0) - 6 * std::sin(x / 23.0));
    }
    hill1 << QPointF(PhotoWidth, 160) << QPointF(0, 160);
    VineHill(p, hill1, QColor(110, 140, 70), 4, 0.4, 1);
    for (int x = 0; x <= PhotoWidth; x += 5)
        hill2 << QPointF(x, 132 - 22 * std::sin((x - 100) / 60.0));
    hill2 << QPointF(PhotoWidth, 200) << QPointF(0, 200);
    VineHill(p, hill2, QColor(100, 135, 60), 6, -0.6, 2);
    // Farmhouse with cypresses on the far hill.
    House(p, QRectF(250, 86, 24, 12), QColor(230, 190, 150), 5, false, rng);
    Cypress(p, QPointF(243, 99), 20, QColor(40, 80, 45));
    Cypress(p, QPointF(281, 99), 17, QColor(40, 80, 45));
    for (int x = 0; x <= PhotoWidth; x += 5)
        hill3 << QPointF(x, 170 - 14 * std::sin((x + 160) / 90.0));
    hill3 << QPointF(PhotoWidth, 250) << QPointF(0, 250);
    VineHill(p, hill3, QColor(96, 128, 52), 9, 0.8, 3);
    // The road winds from the foreground left, bends right, then back left over the hill.
    Road road =
        ScreenRoad({QPointF(200, 114), QPointF(232, 120), QPointF(246, 132), QPointF(215, 146), QPointF(150, 156),
                    QPointF(100, 172), QPointF(105, 196), QPointF(170, 222), QPointF(230, 262)},
                   2.5, 48, 1.8);
    RoadStyle style;
    style.asphaltFar = QColor(140, 130, 130);
    style.asphaltNear = QColor(70, 66, 68);
    style.verge = QColor(150, 140, 100, 160);
    DrawRoad(p, road, style);
    // Chevron signs on the outside of the near bend.
    for (double y : {172.0, 188.0}) {
        const double x = 70 + (y - 172) * 0.4;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 250, 245));
        p.drawRect(QRectF(x, y - 18, 13, 9));
        p.setPen(QPen(QColor(20, 20, 20), 1.8));
        p.drawLine(QPointF(x + 9, y - 17), QPointF(x + 4, y - 13.5));
        p.drawLine(QPointF(x + 4, y - 13.5), QPointF(x + 9, y - 10));
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.drawLine(QPointF(x + 6.5, y - 9), QPointF(x + 6.5, y));
    }
    RoundTree(p, rng, QPointF(345, 200), 40, QColor(90, 120, 50));
    Vignette(p, PhotoWidth, PhotoHeight);
    return image;
}

// 6: SP 6 KM 4, a kilometre stone beside a straight road through olive groves.
QImage PaintKilometreStone()
{
    QImage image = NewPhoto();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Rng rng(106);
    Camera cam;
    cam.horizonY = 112;
    cam.centreX = 150;
    Sky(p, QColor(100, 150, 210), QColor(226, 232, 236), cam.horizonY);
    Clouds(p, rng, 5, 15, 80, QColor(255, 255, 255), QColor(205, 212, 222));
    Noise far(61);
    Ridge(p, far, cam.horizonY - 3, 9, 90, QColor(140, 155, 170), QColor(150, 165, 170), cam.horizonY + 3);
    QLinearGradient field(0, cam.horizonY, 0, PhotoHeight);
    field.setColorAt(0, QColor(170, 165, 110));
    field.setColorAt(1, QColor(140, 125, 80));
    p.setPen(Qt::NoPen);
    p.setBrush(field);
    p.drawRect(QRectF(0, cam.horizonY, PhotoWidth, PhotoHeight));
    // Olive trees in rows, far to near.
    for (double z = 200; z > 22; z /= 1.22) {
        for (double x : {-40.0, -28.0, -16.0, -9.0, 9.0, 16.0, 28.0, 40.0}) {
            const QPointF b = cam.Project(x + rng.Range(-1.5, 1.5), 0, z + rng.Range(-2, 2));
            RoundTree(p, rng, b, cam.Scale(3.4, z), QColor(128, 140, 100));
        }
    }
    Road road = CameraRoad(cam, 3.0, 1.2, 250, [](double) { return 0.0; });
    RoadStyle style;
    style.asphaltFar = QColor(150, 148, 146);
    style.asphaltNear = QColor(74, 72, 74);
    style.verge = QColor(180, 170, 140);
    DrawRoad(p, road, style);
    // The kilometre stone: white, rounded top, black lettering.
    const QPointF base(312, 222);
    const double w = 52, h = 82;
    QPainterPath stone;
    stone.moveTo(base.x() - w / 2, base.y());
    stone.lineTo(base.x() - w / 2, base.y() - h + w / 2);
    stone.arcTo(QRectF(base.x() - w / 2, base.y() - h, w, w), 180, -180);
    stone.lineTo(base.x() + w / 2, base.y());
    stone.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawEllipse(QPointF(base.x() + 12, base.y() + 2), w * 0.75, 6);
    QLinearGradient sg(base.x() - w / 2, 0, base.x() + w / 2, 0);
    sg.setColorAt(0, QColor(250, 250, 246));
    sg.setColorAt(0.7, QColor(232, 232, 226));
    sg.setColorAt(1, QColor(185, 185, 180));
    p.setBrush(sg);
    p.drawPath(stone);
    // The cap is painted in the road authority's colour.
    QPainterPath capBand;
    capBand.addRect(QRectF(base.x() - w / 2 - 1, base.y() - h - 1, w + 2, w * 0.42 + 1));
    p.setBrush(QColor(30, 70, 140));
    p.drawPath(stone.intersected(capBand));
    // Side face for depth.
    QPolygonF side;
    side << QPointF(base.x() + w / 2, base.y()) << QPointF(base.x() + w / 2, base.y() - h + w / 2)
         << QPointF(base.x() + w / 2 + 8, base.y() - h + w / 2 + 4) << QPointF(base.x() + w / 2 + 8, base.y() - 2);
    p.setBrush(QColor(160, 160, 155));
    p.drawPolygon(side);
    p.setPen(QColor(20, 20, 24));
    p.setFont(Font(16, QFont::Bold));
    p.drawText(QRectF(base.x() - w / 2, base.y() - h + w * 0.45, w, 22), Qt::AlignCenter, QStringLiteral("SP 6"));
    p.setFont(Font(14, QFont::Bold));
    p.drawText(QRectF(base.x() - w / 2, base.y() - h + w * 0.45 + 22, w, 20), Qt::AlignCenter, QStringLiteral("KM 4"));
    // Grass around its foot.
    for (int k = 0; k < 40; ++k) {
        const double x = base.x() + rng.Range(-w * 0.8, w * 0.8);
        const double hh = rng.Range(3, 8);
        p.setPen(QPen(QColor(90, 110, 50), 1));
        p.drawLine(QPointF(x, base.y() + 2), QPointF(x + rng.Range(-2, 2), base.y() + 2 - hh));
    }
    Vignette(p, PhotoWidth, PhotoHeight);
    return image;
}

// 7: Pietraforno Curves, hairpins up a rocky mountain.
QImage PaintMountainCurves()
{
    QImage image = NewPhoto();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Rng rng(107);
    Sky(p, QColor(30, 80, 160), QColor(170, 200, 230), 120);
    Clouds(p, rng, 3, 10, 40, QColor(255, 255, 255), QColor(200, 210, 225));
    // Peaks: rock lit from the left, shaded by slope, with snow on the highest parts.
    Noise peaks(71), mid(72), snow(73);
    auto ridgeAt = [&](double x) {
        return 42 + 48 * std::fabs(std::sin((x + 30) / 95.0)) + 16 * peaks.Fractal(x / 22.0, 6);
    };
    for (int x = 0; x < PhotoWidth; ++x) {
        const double y = ridgeAt(x);
        const double slope = (ridgeAt(x + 6) - ridgeAt(x - 6)) / 4; // > 0: the face looks left, into the sun
        const double light = std::clamp(0.5 + slope * 0.18, 0.15, 1.0);
        QLinearGradient g(0, y, 0, 175);
        g.setColorAt(0,
                     QColor::fromRgbF(static_cast<float>(0.42 + 0.36 * light), static_cast<float>(0.41 + 0.35 * light),
                                      static_cast<float>(0.43 + 0.36 * light)));
        g.setColorAt(1, QColor(88, 86, 90));
        p.fillRect(QRectF(x, y, 1.0, 175 - y), g);
        const double snowLine = 66 + 10 * snow.Fractal(x / 9.0, 4);
        if (y < snowLine) {
            const int shade = static_cast<int>(200 + 50 * light);
            p.fillRect(QRectF(x, y, 1.0, (snowLine - y) * 0.8), QColor(shade, shade, std::min(255, shade + 6)));
        }
    }
    Ridge(p, mid, 150, 22, 45, QColor(96, 92, 88), QColor(66, 64, 62));
    for (int k = 0; k < 16; ++k) {
        const double x = rng.Range(0, PhotoWidth);
        const double y = rng.Range(140, 176);
        Pine(p, QPointF(x, y), rng.Range(12, 22), QColor(40, 75, 50));
    }
    // Hairpins: the far leg climbs from the left, turns back below us, then sweeps round to us.
    Road road =
        ScreenRoad({QPointF(40, 116), QPointF(140, 126), QPointF(240, 138), QPointF(292, 150), QPointF(288, 164),
                    QPointF(220, 174), QPointF(120, 186), QPointF(70, 206), QPointF(95, 234), QPointF(190, 262)},
                   2.5, 44, 1.6);
    RoadStyle style;
    style.asphaltFar = QColor(120, 118, 118);
    style.asphaltNear = QColor(60, 58, 60);
    style.verge = QColor(120, 112, 100);
    const std::size_t bend = road.centre.size() * 4 / 9;
    DrawRoad(p, road, style, 0, bend);
    GuardRail(p, road, -1.15, 0, bend);
    // The slope between the two legs.
    DrawRoad(p, road, style, bend, road.centre.size() - 1);
    GuardRail(p, road, -1.15, bend, road.centre.size() * 3 / 4);
    // Boulders in the foreground.
    for (int k = 0; k < 6; ++k) {
        const QPointF c(rng.Range(240, 370), rng.Range(215, 245));
        const double r = rng.Range(8, 18);
        QRadialGradient g(c - QPointF(r * 0.4, r * 0.5), r * 1.4);
        g.setColorAt(0, QColor(170, 165, 160));
        g.setColorAt(1, QColor(70, 68, 66));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, r * 1.3, r);
    }
    Vignette(p, PhotoWidth, PhotoHeight);
    return image;
}

// 8: Lidoscuro, a beach resort at sunset near the finish.
QImage PaintLido()
{
    QImage image = NewPhoto();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Rng rng(108);
    Camera cam;
    cam.horizonY = 110;
    cam.centreX = 120;
    QLinearGradient sky(0, 0, 0, cam.horizonY);
    sky.setColorAt(0, QColor(60, 70, 140));
    sky.setColorAt(0.55, QColor(220, 120, 120));
    sky.setColorAt(1, QColor(255, 196, 120));
    p.fillRect(QRectF(0, 0, PhotoWidth, cam.horizonY + 2), sky);
    SunGlow(p, QPointF(300, 96), 140, QColor(255, 220, 150));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 236, 180));
    p.drawEllipse(QPointF(300, 98), 12, 12);
    Clouds(p, rng, 4, 20, 70, QColor(250, 190, 170), QColor(150, 100, 140));
    Sea(p, rng, cam.horizonY, 150, QColor(120, 110, 150), QColor(60, 90, 140), 160, PhotoWidth);
    // Sun path on the water.
    for (int k = 0; k < 30; ++k) {
        const double y = cam.horizonY + 2 + k * 1.3;
        const double w = 6 + k * 0.8;
        p.setPen(QPen(QColor(255, 220, 150, 150), 1));
        p.drawLine(QPointF(300 - w / 2 + rng.Range(-3, 3), y), QPointF(300 + w / 2 + rng.Range(-3, 3), y));
    }
    // Sand between the road and the sea.
    p.setPen(Qt::NoPen);
    QPolygonF beach;
    beach << QPointF(160, cam.horizonY + 3) << QPointF(PhotoWidth, 145) << QPointF(PhotoWidth, PhotoHeight)
          << QPointF(160, PhotoHeight);
    QLinearGradient sand(0, cam.horizonY, 0, PhotoHeight);
    sand.setColorAt(0, QColor(230, 190, 150));
    sand.setColorAt(1, QColor(210, 170, 120));
    p.setBrush(sand);
    p.drawPolygon(beach);
    // Land and the lido building on the left.
    QLinearGradient land(0, cam.horizonY, 0, PhotoHeight);
    land.setColorAt(0, QColor(150, 130, 120));
    land.setColorAt(1, QColor(110, 95, 80));
    p.setBrush(land);
    QPolygonF left;
    left << QPointF(0, cam.horizonY) << QPointF(160, cam.horizonY) << cam.Project(3.3, 0, 1.5)
         << QPointF(0, PhotoHeight);
    p.drawPolygon(left);
    Road road = CameraRoad(cam, 3.0, 1.3, 200, [](double z) { return 0.0004 * z * z; });
    RoadStyle style;
    style.asphaltFar = QColor(150, 120, 120);
    style.asphaltNear = QColor(66, 60, 66);
    DrawRoad(p, road, style);
    // Beach cabins and parasols in rows.
    const std::array<QColor, 4> stripes = {QColor(240, 140, 40), QColor(40, 150, 200), QColor(250, 220, 60),
                                           QColor(60, 170, 110)};
    for (double z = 60; z > 6; z /= 1.3) {
        const QPointF b = cam.Project(7 + 0.0004 * z * z, 0, z);
        const double w = cam.Scale(2.0, z), h = cam.Scale(2.2, z);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(245, 240, 230));
        p.drawRect(QRectF(b.x(), b.y() - h, w, h));
        p.setBrush(stripes[static_cast<std::size_t>(std::lround(z)) % 4]);
        for (int s = 0; s < 3; ++s)
            p.drawRect(QRectF(b.x() + w * (0.1 + s * 0.3), b.y() - h, w * 0.15, h));
        p.setBrush(QColor(200, 190, 180));
        p.drawRect(QRectF(b.x() - w * 0.1, b.y() - h * 1.12, w * 1.2, h * 0.14));
    }
    for (int row = 0; row < 3; ++row) {
        for (int k = 0; k < 6; ++k) {
            const double z = 12 + row * 9 + k * 0.7;
            const double x = 13 + k * 4.0 + row * 2;
            const QPointF b = cam.Project(x + 0.0004 * z * z, 0, z);
            const double r = cam.Scale(1.6, z), h = cam.Scale(2.2, z);
            p.setPen(QPen(QColor(240, 240, 240), std::max(0.5, cam.Scale(0.06, z))));
            p.drawLine(b, b - QPointF(0, h));
            QPainterPath canopy;
            canopy.moveTo(b.x() - r, b.y() - h + r * 0.3);
            canopy.quadTo(b.x(), b.y() - h - r * 0.7, b.x() + r, b.y() - h + r * 0.3);
            canopy.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(stripes[static_cast<std::size_t>(row + k) % 4]);
            p.drawPath(canopy);
            p.setBrush(QColor(255, 255, 255, 180));
            QPainterPath band;
            band.moveTo(b.x() - r * 0.25, b.y() - h - r * 0.1);
            band.lineTo(b.x() + r * 0.25, b.y() - h - r * 0.1);
            band.lineTo(b.x() + r * 0.35, b.y() - h + r * 0.3);
            band.lineTo(b.x() - r * 0.35, b.y() - h + r * 0.3);
            band.closeSubpath();
            p.drawPath(band);
        }
    }
    // Lido building with a sign on the left.
    {
        const QPointF b = cam.Project(-6, 0, 25);
        const double w = cam.Scale(14, 25), h = cam.Scale(4, 25);
        QLinearGradient g(b.x() - w, 0, b.x(), 0);
        g.setColorAt(0, QColor(250, 236, 220));
        g.setColorAt(1, QColor(210, 190, 175));
        p.setBrush(g);
        p.drawRect(QRectF(b.x() - w, b.y() - h, w, h));
        p.setBrush(QColor(60, 140, 170));
        p.drawRect(QRectF(b.x() - w - 2, b.y() - h - 4, w + 4, 4));
        p.setBrush(QColor(255, 220, 160));
        for (int k = 0; k < 6; ++k)
            p.drawRect(QRectF(b.x() - w + 4 + k * (w - 8) / 6, b.y() - h * 0.65, (w - 8) / 9, h * 0.4));
        p.setPen(QColor(30, 60, 90));
        p.setFont(Font(9, QFont::Bold));
        p.drawText(QRectF(b.x() - w, b.y() - h - 16, w, 12), Qt::AlignCenter, QStringLiteral("LIDO"));
    }
    // Palm trees along the promenade.
    for (double z : {40.0, 20.0, 9.0}) {
        const QPointF b = cam.Project(-4.5, 0, z);
        const double h = cam.Scale(7, z);
        p.setPen(QPen(QColor(90, 70, 55), std::max(1.0, cam.Scale(0.3, z)), Qt::SolidLine, Qt::RoundCap));
        const QPointF crown = b + QPointF(h * 0.12, -h);
        QPainterPath trunk;
        trunk.moveTo(b);
        trunk.quadTo(b + QPointF(-h * 0.05, -h * 0.5), crown);
        p.setBrush(Qt::NoBrush);
        p.drawPath(trunk);
        for (int f = 0; f < 7; ++f) {
            const double a = -Pi / 2 + (f - 3) * 0.5;
            const QPointF tip = crown + QPointF(std::cos(a) * h * 0.4, std::sin(a) * h * 0.25 + h * 0.15);
            p.setPen(QPen(QColor(50, 90, 60), std::max(1.0, cam.Scale(0.25, z)), Qt::SolidLine, Qt::RoundCap));
            QPainterPath frond;
            frond.moveTo(crown);
            frond.quadTo(crown + (tip - crown) * 0.5 + QPointF(0, -h * 0.12), tip);
            p.drawPath(frond);
        }
    }
    // Chequered finish banner over the road ahead.
    {
        const double z = 30;
        const QPointF l = cam.Project(-4.2 + 0.0004 * z * z, 5.0, z), r = cam.Project(4.2 + 0.0004 * z * z, 5.0, z);
        const QPointF lb = cam.Project(-4.2 + 0.0004 * z * z, 0, z), rb = cam.Project(4.2 + 0.0004 * z * z, 0, z);
        p.setPen(QPen(QColor(200, 200, 205), std::max(1.0, cam.Scale(0.2, z))));
        p.drawLine(l, lb);
        p.drawLine(r, rb);
        const double bh = cam.Scale(1.0, z);
        const int cells = 12;
        const double cw = (r.x() - l.x()) / cells;
        p.setPen(Qt::NoPen);
        for (int row = 0; row < 2; ++row)
            for (int c = 0; c < cells; ++c) {
                p.setBrush((row + c) % 2 ? QColor(20, 20, 20) : QColor(250, 250, 250));
                p.drawRect(QRectF(l.x() + c * cw, l.y() + row * bh / 2, cw, bh / 2));
            }
    }
    Vignette(p, PhotoWidth, PhotoHeight);
    return image;
}

int Run(const QDir &dir)
{
    bool ok = true;
    const std::array<std::function<QImage()>, 9> photos = {
        PaintVarnola,        PaintDunes,          PaintTrussBridge,    PaintStoneBridge, PaintJunction,
        PaintVineyardCurves, PaintKilometreStone, PaintMountainCurves, PaintLido};
    for (std::size_t i = 0; i < photos.size(); ++i)
        ok &= SaveJpeg(photos[i](), dir.filePath(QStringLiteral("%1.jpg").arg(100 + i)));
    return ok ? 0 : 1;
}

} // namespace
} // namespace korsa

int main(int argc, char **argv) { return korsa::RunGenerator(argc, argv, QStringLiteral("JPEG"), korsa::Run); }
