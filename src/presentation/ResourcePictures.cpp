#include "presentation/ResourcePictures.h"

#include "track_file/RegularFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QRect>
#include <QResource>

#include <cmath>

namespace korsa {

namespace {

// Far beyond any photograph a player would put beside the program.
constexpr qint64 MaxPhotographBytes = 32 * 1024 * 1024;

bool IsUsable(const QImage &image) { return !image.isNull() && image.width() > 0 && image.height() > 0; }

QString ResourcePath(int id) { return QStringLiteral(":/JPEG/%1.jpg").arg(id); }

// Reads an embedded picture from the program's own bytes where they lie, without a copy.
class ResourceReader
{
public:
    explicit ResourceReader(int id) : buffer_(&bytes_)
    {
        const QResource resource(ResourcePath(id));
        if (resource.isValid())
            bytes_ = resource.uncompressedData();
        // The embedded pictures are all JPEG: naming the format spares probing every image plugin.
        if (!bytes_.isEmpty() && buffer_.open(QIODevice::ReadOnly))
            reader_.setDevice(&buffer_);
        reader_.setFormat("JPG");
    }
    QImageReader &Reader() { return reader_; }

private:
    QByteArray bytes_;
    QBuffer buffer_;
    QImageReader reader_;
};

// Reads the picture at `target` pixels with an averaging scale. The JPEG decoder scales while it
// decodes, but only halving, quartering and eighthing are fast (other fractions take a slow path
// that costs more than decoding whole), so it is asked for the smallest of those that keeps the
// picture at least as large as wanted, and an averaging scale does the rest.
QImage ReadAt(QImageReader &reader, QSize full, QSize target)
{
    int k = 1;
    while (k < 8 && full.width() / (2 * k) >= target.width() && full.height() / (2 * k) >= target.height())
        k *= 2;
    if (k > 1)
        reader.setScaledSize(QSize(full.width() / k, full.height() / k));
    const QImage image = reader.read();
    if (!IsUsable(image) || image.size() == target)
        return image;
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

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

// Decodes what the reader holds straight at the size that covers the box, then cuts the box.
ShownPhotograph ReadFitted(QImageReader &reader, QSize box)
{
    const QSize photo = reader.size();
    const std::optional<CoverFit> fit = FitGeometry(photo, box);
    if (!fit)
        return {};
    return {photo, Cut(ReadAt(reader, photo, fit->scaled), *fit, box)};
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
    ResourceReader resource(id);
    const QImage image = ReadAt(resource.Reader(), resource.Reader().size(), size);
    return IsUsable(image) ? image : QImage();
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
        const ShownPhotograph shown = ReadFitted(reader, box);
        if (!shown.fitted.cut.isNull())
            return shown;
        // A file that cannot be decoded or fitted (say, of absurd proportions) leaves the section
        // with its embedded photograph, not an empty box.
    }
    ResourceReader resource(100 + i);
    return ReadFitted(resource.Reader(), box);
}

} // namespace korsa
