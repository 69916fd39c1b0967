#include "presentation/ResourcePictures.h"

#include "track_file/RegularFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QRect>

#include <cmath>

namespace korsa {

namespace {

bool IsUsable(const QImage &image)
{
    return !image.isNull() && image.width() > 0 && image.height() > 0;
}

} // namespace

QImage LoadResourcePicture(int id)
{
    QFile file(QStringLiteral(":/JPEG/%1.jpg").arg(id));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    // The embedded pictures are all JPEG: naming the format spares probing every image plugin.
    QImage image;
    if (!image.loadFromData(bytes, "JPG"))
        return {};
    return image;
}

QString SectionPhotographPath(const QString &programFolder, const QString &sectionName)
{
    return programFolder + QLatin1Char('/') + sectionName + QStringLiteral(".jpg");
}

QImage SectionPhotograph(int i, const QString &programFolder, const QString &sectionName)
{
    const QString path = SectionPhotographPath(programFolder, sectionName);
    // Only a regular file of photograph size: a named pipe or a device there must not stall start-up.
    if (std::optional<QByteArray> bytes = ReadRegularFile(path, 32 * 1024 * 1024)) {
        QBuffer buffer(&*bytes);
        // Players save all sorts of pictures under the .jpg name, so the bytes decide the format.
        QImageReader reader(&buffer);
        reader.setDecideFormatFromContent(true);
        const QImage image = reader.read();
        if (IsUsable(image))
            return image;
        // A file that does not decode (or a folder of that name) must not leave the section
        // without a picture or hand an empty one to the fitting: use the embedded photograph.
    }
    return LoadResourcePicture(100 + i);
}

FittedPicture FitPictureToBox(const QImage &photo, QSize box)
{
    if (!IsUsable(photo) || box.width() <= 0 || box.height() <= 0)
        return {};

    const int pw = photo.width();
    const int ph = photo.height();
    const int bw = box.width();
    const int bh = box.height();

    const float rw = static_cast<float>(bw) / static_cast<float>(pw);
    const float rh = static_cast<float>(bh) / static_cast<float>(ph);
    const float s = rw > rh ? rw : rh;
    const int sw = static_cast<int>(std::lround(static_cast<float>(pw) * s));
    const int sh = static_cast<int>(std::lround(static_cast<float>(ph) * s));

    FittedPicture fitted;
    fitted.scaled = photo.scaled(sw, sh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (fitted.scaled.isNull())
        return {};

    // Centre the box on the scaled picture; an odd surplus leaves the extra pixel where
    // round-half-to-even puts it.
    const int ox = static_cast<int>(std::nearbyint(static_cast<float>(sw - bw) / 2.0f));
    const int oy = static_cast<int>(std::nearbyint(static_cast<float>(sh - bh) / 2.0f));
    fitted.cut = fitted.scaled.copy(QRect(ox, oy, bw, bh));
    return fitted;
}

} // namespace korsa
