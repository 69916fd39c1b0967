#include "presentation/ResourcePictures.h"

#include "platform/RegularFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QRect>

#include <cmath>

namespace korsa {

namespace {

// Far beyond any photograph a player would put beside the program.
constexpr qint64 MaxPhotographBytes = 32 * 1024 * 1024;

bool IsUsable(const QImage &image) { return !image.isNull() && image.width() > 0 && image.height() > 0; }

QString ResourcePath(int id) { return QStringLiteral(":/JPEG/%1.jpg").arg(id); }

// Cuts the box out of a picture already scaled to cover it; the cut shares the scaled picture's
// pixels when nothing is cut away.
FittedPicture Cut(const QImage &scaled, const CoverFit &fit, QSize box)
{
    if (!IsUsable(scaled) || scaled.size() != fit.scaled)
        return {};
    FittedPicture fitted;
    fitted.scaled = scaled;
    fitted.cut = fit.cut.isNull() && fit.scaled == box ? scaled : scaled.copy(QRect(fit.cut, box));
    return fitted;
}

} // namespace

QImage LoadResourcePicture(int id)
{
    QFile file(ResourcePath(id));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    QImage image;
    if (!image.loadFromData(bytes, "JPG"))
        return {};
    return image;
}

QImage LoadResourcePictureAt(int id, QSize size)
{
    if (size.isEmpty())
        return {};
    // Decoded whole and brought to its size in one averaging step: decoding at a reduced scale
    // first would smooth it twice and leave the map's thin lines grey and soft.
    const QImage image = LoadResourcePicture(id);
    return IsUsable(image) ? image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : QImage();
}

PicturePatch DifferenceFrom(const QImage &base, const QImage &picture)
{
    if (base.size() != picture.size() || base.format() != picture.format() || base.depth() != 32)
        return {picture, QPoint(0, 0)};
    int left = picture.width(), top = picture.height(), right = -1, bottom = -1;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *a = reinterpret_cast<const quint32 *>(base.constScanLine(y));
        const auto *b = reinterpret_cast<const quint32 *>(picture.constScanLine(y));
        int x = 0;
        while (x < picture.width() && a[x] == b[x])
            ++x;
        if (x == picture.width())
            continue;
        int last = picture.width() - 1;
        while (a[last] == b[last])
            --last;
        left = qMin(left, x);
        right = qMax(right, last);
        top = qMin(top, y);
        bottom = y;
    }
    if (right < 0)
        return {};
    const QRect differs(QPoint(left, top), QPoint(right, bottom));
    return {picture.copy(differs), differs.topLeft()};
}

QString SectionPhotographPath(const QString &programFolder, const QString &sectionName)
{
    return programFolder + QLatin1Char('/') + sectionName + QStringLiteral(".jpg");
}

std::optional<CoverFit> FitGeometry(QSize photo, QSize box)
{
    if (photo.isEmpty() || box.isEmpty())
        return std::nullopt;
    const int pw = photo.width();
    const int ph = photo.height();
    const int bw = box.width();
    const int bh = box.height();

    const float rw = static_cast<float>(bw) / static_cast<float>(pw);
    const float rh = static_cast<float>(bh) / static_cast<float>(ph);
    const float s = rw > rh ? rw : rh;
    const int sw = static_cast<int>(std::lround(static_cast<float>(pw) * s));
    const int sh = static_cast<int>(std::lround(static_cast<float>(ph) * s));
    if (sw <= 0 || sh <= 0)
        return std::nullopt;

    // Centre the box on the scaled picture; an odd surplus leaves the extra pixel where
    // round-half-to-even puts it.
    const int ox = static_cast<int>(std::nearbyint(static_cast<float>(sw - bw) / 2.0f));
    const int oy = static_cast<int>(std::nearbyint(static_cast<float>(sh - bh) / 2.0f));
    return CoverFit{QSize(sw, sh), QPoint(ox, oy)};
}

FittedPicture FitPictureToBox(const QImage &photo, QSize box)
{
    if (!IsUsable(photo))
        return {};
    const std::optional<CoverFit> fit = FitGeometry(photo.size(), box);
    if (!fit)
        return {};
    return Cut(photo.scaled(fit->scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), *fit, box);
}

ShownPhotograph FittedSectionPhotograph(int i, const QString &programFolder, const QString &sectionName, QSize box)
{
    const QString path = SectionPhotographPath(programFolder, sectionName);
    // Only a regular file of photograph size: a named pipe or a device there must not stall start-up.
    if (std::optional<QByteArray> bytes = ReadRegularFile(path, MaxPhotographBytes)) {
        QBuffer buffer(&*bytes);
        // Players save all sorts of pictures under the .jpg name, so the bytes decide the format.
        QImageReader reader(&buffer);
        reader.setDecideFormatFromContent(true);
        const QImage photo = reader.read();
        if (FittedPicture fitted = FitPictureToBox(photo, box); !fitted.cut.isNull())
            return {photo.size(), std::move(fitted)};
        // A file that cannot be decoded or fitted (say, of absurd proportions) leaves the section
        // with its embedded photograph, not an empty box.
    }
    const QImage photo = LoadResourcePicture(100 + i);
    return {photo.size(), FitPictureToBox(photo, box)};
}

} // namespace korsa
