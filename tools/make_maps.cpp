// Paints the circuit maps: resources/JPEG/200.jpg .. 208.jpg with one section in red, and 210.jpg
// without. The sections and the lap length are the program's own.
//
//   make_maps [RESOURCES_DIR]

#include "Drawing.h"

#include "presentation/CircuitGeometry.h"
#include "session/Numbers.h"
#include "session/Sections.h"

#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QPolygonF>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace korsa {
namespace {

constexpr int MapWidth = CircuitGeometry::MapWidth;
constexpr int MapHeight = CircuitGeometry::MapHeight;
constexpr double LapLength = AcceptedTrackLength * MetresPerMile;

std::array<double, SectionCount> SectionStartsMetres()
{
    SectionTable table;
    FillSectionNames(table);
    std::array<double, SectionCount> starts{};
    std::copy(table.SectionStarts.begin(), table.SectionStarts.end(), starts.begin());
    return starts;
}

const std::array<double, SectionCount> SectionStarts = SectionStartsMetres();

const QColor MapPaper(226, 223, 210);
const QColor MapSea(196, 216, 226);
const QColor MapInk(44, 44, 50);
const QColor MapHighlight(214, 18, 26);

// The drawn outline of the whole loop.
QPolygonF Outline(const CircuitGeometry &circuit)
{
    QPolygonF line;
    for (const QPointF &p : circuit.Points())
        line << p;
    return line;
}

// Closest approach of two parts of the road that are far apart along it.
double Clearance(const CircuitGeometry &circuit)
{
    const std::vector<QPointF> &points = circuit.Points();
    const std::vector<double> &arcs = circuit.Arcs();
    const std::size_t count = points.size() - 1; // the first point is repeated at the end
    double best = 1e9;
    for (std::size_t i = 0; i < count; i += 2)
        for (std::size_t j = i + 1; j < count; j += 2) {
            const double along = std::min(arcs[j] - arcs[i], circuit.Length() - (arcs[j] - arcs[i]));
            if (along > 40)
                best = std::min(best, std::hypot(points[i].x() - points[j].x(), points[i].y() - points[j].y()));
        }
    return best;
}

void DrawCoast(QPainter &p)
{
    QPainterPath sea;
    const std::vector<QPointF> coast = {{0, 214},   {16, 236},  {26, 262},  {22, 300},  {30, 336},  {22, 372},
                                        {32, 410},  {26, 446},  {34, 486},  {52, 518},  {88, 542},  {130, 552},
                                        {172, 556}, {214, 564}, {262, 558}, {300, 566}, {340, 562}, {375, 568}};
    sea.moveTo(coast.front());
    for (std::size_t i = 1; i < coast.size(); ++i) {
        const QPointF mid = (coast[i - 1] + coast[i]) / 2;
        sea.quadTo(coast[i - 1], mid);
    }
    sea.lineTo(coast.back());
    QPainterPath shore = sea;
    sea.lineTo(MapWidth, MapHeight);
    sea.lineTo(0, MapHeight);
    sea.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(MapSea);
    p.drawPath(sea);
    p.setPen(QPen(QColor(150, 180, 196), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shore);
    // A few wave marks.
    p.setPen(QPen(QColor(170, 196, 210), 1));
    for (const QPointF c : {QPointF(10, 330), QPointF(8, 430), QPointF(60, 565), QPointF(250, 572), QPointF(12, 280)}) {
        QPainterPath w;
        w.moveTo(c);
        w.quadTo(c + QPointF(3, -2), c + QPointF(6, 0));
        w.quadTo(c + QPointF(9, 2), c + QPointF(12, 0));
        p.drawPath(w);
    }
}

// Chequered start/finish mark across the road, two rows of four squares.
void DrawStartFinish(QPainter &p, const CircuitGeometry &circuit)
{
    const QPointF at = circuit.At(0);
    const QPointF dir = circuit.Direction(0);
    const double angle = std::atan2(dir.y(), dir.x()) * 180 / Pi;
    p.save();
    p.translate(at);
    p.rotate(angle);
    const double cell = 3.0;
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 4; ++col) {
            p.setBrush((row + col) % 2 ? QColor(255, 255, 255) : QColor(16, 16, 16));
            p.drawRect(QRectF(-cell + row * cell, -2 * cell + col * cell, cell, cell));
        }
    p.setPen(QPen(QColor(16, 16, 16), 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(-cell, -2 * cell, 2 * cell, 4 * cell));
    p.restore();
    p.setPen(MapInk);
    p.setFont(Font(10, QFont::Bold));
    p.drawText(QRectF(at.x() - 20, at.y() - 26, 40, 14), Qt::AlignCenter, QStringLiteral("S/F"));
}

QImage PaintMap(const CircuitGeometry &circuit, int highlighted)
{
    QImage image(MapWidth, MapHeight, QImage::Format_RGB32);
    image.fill(MapPaper);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // Faint paper texture gradient.
    QLinearGradient paper(0, 0, MapWidth, MapHeight);
    paper.setColorAt(0, QColor(232, 229, 216));
    paper.setColorAt(1, QColor(220, 218, 204));
    p.fillRect(0, 0, MapWidth, MapHeight, paper);
    DrawCoast(p);

    p.setPen(MapInk);
    p.setFont(Font(13, QFont::Bold));
    p.drawText(QRectF(14, 8, 200, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Sorvena circuit"));
    p.setFont(Font(9));
    p.setPen(QColor(80, 80, 88));
    p.drawText(QRectF(14, 25, 200, 13), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("lap 71.99 km"));

    // Scale bar: 5 km.
    const double fiveKm = circuit.ArcOfMetres(5000);
    p.setPen(QPen(QColor(70, 70, 78), 1.2));
    const QPointF s0(MapWidth - 20 - fiveKm, 24);
    p.drawLine(s0, s0 + QPointF(fiveKm, 0));
    p.drawLine(s0 + QPointF(0, -3), s0 + QPointF(0, 3));
    p.drawLine(s0 + QPointF(fiveKm, -3), s0 + QPointF(fiveKm, 3));
    p.setFont(Font(9));
    p.drawText(QRectF(s0.x(), 6, fiveKm, 14), Qt::AlignCenter, QStringLiteral("5 km"));

    // The road: a soft casing under a dark line.
    const QPolygonF outline = Outline(circuit);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(234, 232, 220), 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(outline);
    p.setPen(QPen(MapInk, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(outline);

    // Section starts: a tick across the road and the section number beside it.
    p.setFont(Font(9, QFont::Bold));
    for (std::size_t i = 0; i < SectionStarts.size(); ++i) {
        const double from = circuit.ArcOfMetres(SectionStarts[i]);
        const double to = circuit.ArcOfMetres(i + 1 < SectionStarts.size() ? SectionStarts[i + 1] : LapLength);
        const QPointF at = circuit.At(from);
        const QPointF dir = circuit.Direction(from);
        const QPointF normal(-dir.y(), dir.x());
        p.setPen(QPen(MapInk, 1.2));
        p.drawLine(at - normal * 5, at + normal * 5);
        // Label at the middle of the section, on the side with more room.
        const double mid = (from + to) / 2;
        const QPointF m = circuit.At(mid);
        const QPointF md = circuit.Direction(mid);
        const QPointF mn(-md.y(), md.x());
        QPointF best = m + mn * 12;
        double bestRoom = -1;
        for (double side : {1.0, -1.0}) {
            const QPointF candidate = m + mn * 12 * side;
            double room = 1e9;
            for (const QPointF &q : outline)
                room = std::min(room, std::hypot(q.x() - candidate.x(), q.y() - candidate.y()));
            if (candidate.x() < 8 || candidate.x() > MapWidth - 8)
                room = 0;
            if (room > bestRoom) {
                bestRoom = room;
                best = candidate;
            }
        }
        p.setPen(QColor(50, 62, 96));
        p.drawText(QRectF(best.x() - 8, best.y() - 7, 16, 14), Qt::AlignCenter, QString::number(i + 1));
    }

    if (highlighted >= 0) {
        const std::size_t i = static_cast<std::size_t>(highlighted);
        const double to = i + 1 < SectionStarts.size() ? SectionStarts[i + 1] : LapLength;
        p.setPen(QPen(MapHighlight, 6.0, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
        const std::vector<QPointF> stretch = circuit.Stretch(SectionStarts[i], to);
        p.drawPolyline(stretch.data(), static_cast<int>(stretch.size()));
    }
    DrawStartFinish(p, circuit);
    return image;
}

int Run(const QDir &dir)
{
    const CircuitGeometry &circuit = CircuitGeometry::Sorvena();
    const double clearance = Clearance(circuit);
    std::printf("circuit outline %.1f px, closest approach %.1f px\n", circuit.Length(), clearance);
    if (clearance < 10) {
        std::fprintf(stderr, "the circuit outline runs too close to itself\n");
        return 1;
    }
    bool ok = true;
    for (int i = 0; i < SectionCount; ++i)
        ok &= SaveJpeg(PaintMap(circuit, i), dir.filePath(QStringLiteral("%1.jpg").arg(200 + i)));
    ok &= SaveJpeg(PaintMap(circuit, -1), dir.filePath(QStringLiteral("210.jpg")));
    return ok ? 0 : 1;
}

} // namespace
} // namespace korsa

int main(int argc, char **argv) { return korsa::RunGenerator(argc, argv, QStringLiteral("JPEG"), korsa::Run); }
