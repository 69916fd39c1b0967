#pragma once

#include "session/StartMarks.h"

#include <QPointF>
#include <QRect>
#include <QWidget>

#include <optional>

namespace korsa {

// The start markers over the map: where the car will start, with an arrow in the direction of
// driving, and beneath it a quieter ring where the file's own start was. A transparent layer the
// size of the map it lies on, which takes no pointer events; moving a marker repaints only its old
// and its new place.
class StartMarkerOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit StartMarkerOverlay(QWidget *map);

    void ShowMarks(const StartMarks &marks);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Placed {
        QPointF at;
        QPointF heading;
        double radius = 0;
        QRect bounds;

        bool operator==(const Placed &) const = default;
    };
    // A marker's place and size on the map as it is now.
    std::optional<Placed> Place(std::optional<float> metres, double radiusRatio) const;
    void PlaceAll();
    void MoveTo(std::optional<Placed> &shown, const std::optional<Placed> &now);

    StartMarks marks_;
    std::optional<Placed> start_;
    std::optional<Placed> original_;
};

} // namespace korsa
