#pragma once

#include "presentation/ResourcePictures.h"
#include "session/Sections.h"

#include <QImage>
#include <QPoint>
#include <QSize>

#include <array>

namespace korsa {

// The embedded maps: the plain one, and the one with section i's stretch in red at 200 + i.
inline constexpr int PlainMapPicture = 210;
inline constexpr int FirstHighlightedMapPicture = 200;

// The track map's pictures, made once for the map control's size in the screen's pixels: the plain
// map whole, and each highlighted map as the part that differs from the plain one (a small stretch
// of road in red), to be drawn over it. A new size makes them again.
class TrackMapPictures
{
public:
    // A map as the map control draws it: `plain` with `patch` over it at `at`; both null when the
    // map's picture does not decode.
    struct Shown {
        QImage plain;
        QImage patch;
        QPoint at;
    };
    // The map `id` at `pixels`, marked for the screen's `scale` (its device pixel ratio).
    Shown Map(int id, QSize pixels, qreal scale);
    // Makes every highlighted map at once, so entering a picture later only changes what is drawn.
    void PrepareHighlighted(QSize pixels, qreal scale);

private:
    struct Highlighted {
        PicturePatch patch;
        bool missing = false;
        QSize madeFor;
    };
    const QImage &Plain(QSize pixels, qreal scale);
    const Highlighted &Highlight(int section, QSize pixels, qreal scale);

    QImage plain_;
    std::array<Highlighted, SectionCount> highlighted_;
};

} // namespace korsa
