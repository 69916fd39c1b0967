#include "presentation/StartMarkerOverlay.h"

#include "presentation/CircuitGeometry.h"
#include "presentation/Controls.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace korsa {

namespace {

// The marker's size as a share of the map's width, never so small that the arrow cannot be made
// out; the quieter ring is smaller.
constexpr double StartRadiusShare = 0.022;
constexpr double SmallestRadius = 4.5;
constexpr double OriginalRadiusRatio = 0.7;
// Beyond the radius: the white ring's outer half, the dark edge and the edge's smoothing.
constexpr double RingAndEdge = 3.0;

// Blue stands apart from the red stretch for every kind of colour vision; the white ring reads on
// the red and on the dark road, the dark edge on the paper.
const QColor Ring(255, 255, 255);
const QColor Edge(20, 20, 28);
const QColor OriginalRing(84, 100, 140);

} // namespace

StartMarkerOverlay::StartMarkerOverlay(QWidget *map) : QWidget(map)
{
    setObjectName(QStringLiteral("startMarkers"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(map->rect());
    map->installEventFilter(this);
}

void StartMarkerOverlay::ShowMarks(const StartMarks &marks)
{
    if (marks == marks_)
        return;
    marks_ = marks;
    PlaceAll();
}

bool StartMarkerOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        PlaceAll();
    }
    return QWidget::eventFilter(watched, event);
}

std::optional<StartMarkerOverlay::Placed> StartMarkerOverlay::Place(std::optional<float> metres,
                                                                    double radiusRatio) const
{
    if (!metres)
        return std::nullopt;
    const CircuitGeometry &circuit = CircuitGeometry::Sorvena();
    Placed placed;
    placed.at = circuit.PointAtMetres(*metres, size());
    placed.heading = circuit.HeadingAtMetres(*metres, size());
    placed.radius = std::max(SmallestRadius, width() * StartRadiusShare) * radiusRatio;
    const double reach = placed.radius + RingAndEdge;
    placed.bounds = QRectF(placed.at - QPointF(reach, reach), QSizeF(2 * reach, 2 * reach)).toAlignedRect();
    return placed;
}

void StartMarkerOverlay::PlaceAll()
{
    MoveTo(original_, Place(marks_.original, OriginalRadiusRatio));
    MoveTo(start_, Place(marks_.start, 1.0));
}

void StartMarkerOverlay::MoveTo(std::optional<Placed> &shown, const std::optional<Placed> &now)
{
    if (shown == now)
        return;
    // Two small places, not the rectangle that spans them.
    if (shown)
        update(shown->bounds);
    if (now)
        update(now->bounds);
    shown = now;
}

void StartMarkerOverlay::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect dirty = event->rect();
    if (original_ && original_->bounds.intersects(dirty)) {
        const double r = original_->radius;
        painter.setPen(QPen(Edge, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(original_->at, r + 1.5, r + 1.5);
        painter.setPen(QPen(OriginalRing, 2.0));
        painter.setBrush(Ring);
        painter.drawEllipse(original_->at, r, r);
    }
    if (start_ && start_->bounds.intersects(dirty)) {
        const double r = start_->radius;
        const QPointF c = start_->at, h = start_->heading, across(-h.y(), h.x());
        painter.setPen(QPen(Edge, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(c, r + 1.5, r + 1.5);
        painter.setPen(QPen(Ring, 2.0));
        painter.setBrush(StartBlue);
        painter.drawEllipse(c, r, r);
        // A slim arrowhead, which points one way only even when small, with its centre of mass at
        // the disc's centre.
        QPainterPath arrow;
        arrow.moveTo(c + h * (0.8 * r));
        arrow.lineTo(c - h * (0.4 * r) + across * (0.42 * r));
        arrow.lineTo(c - h * (0.4 * r) - across * (0.42 * r));
        arrow.closeSubpath();
        painter.fillPath(arrow, Ring);
    }
}

} // namespace korsa
