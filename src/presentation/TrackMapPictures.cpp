#include "presentation/TrackMapPictures.h"

namespace korsa {

TrackMapPictures::Shown TrackMapPictures::Map(int id, QSize pixels, qreal scale)
{
    if (id == PlainMapPicture)
        return {Plain(pixels, scale), QImage(), QPoint()};
    const Highlighted &map = Highlight(id - FirstHighlightedMapPicture, pixels, scale);
    if (map.missing)
        return {};
    return {Plain(pixels, scale), map.patch.patch, map.patch.at};
}

void TrackMapPictures::PrepareHighlighted(QSize pixels, qreal scale)
{
    for (int i = 0; i < SectionCount; ++i)
        Highlight(i, pixels, scale);
}

const QImage &TrackMapPictures::Plain(QSize pixels, qreal scale)
{
    if (plain_.size() != pixels) {
        plain_ = LoadResourcePictureAt(PlainMapPicture, pixels);
        // Marked for the screen's pixels once, here: the map control draws it as it is, without a
        // copy at every hover.
        plain_.setDevicePixelRatio(scale);
    }
    return plain_;
}

const TrackMapPictures::Highlighted &TrackMapPictures::Highlight(int section, QSize pixels, qreal scale)
{
    Highlighted &ready = highlighted_.at(static_cast<std::size_t>(section));
    if (ready.madeFor == pixels)
        return ready;
    const QImage map = LoadResourcePictureAt(FirstHighlightedMapPicture + section, pixels);
    ready.missing = map.isNull();
    ready.patch = ready.missing ? PicturePatch{} : DifferenceFrom(Plain(pixels, scale), map);
    ready.patch.patch.setDevicePixelRatio(scale);
    ready.madeFor = pixels;
    return ready;
}

} // namespace korsa
