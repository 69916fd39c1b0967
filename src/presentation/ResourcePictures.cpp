#include "presentation/ResourcePictures.h"

#include "platform/RegularFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QRect>
#include <QResource>

#include <cmath>
#include <csetjmp>

#include <jpeglib.h>

namespace korsa {

namespace {

// Far beyond any photograph a player would put beside the program.
constexpr qint64 MaxPhotographBytes = 32 * 1024 * 1024;

bool IsUsable(const QImage &image) { return !image.isNull() && image.width() > 0 && image.height() > 0; }

QString ResourcePath(int id) { return QStringLiteral(":/JPEG/%1.jpg").arg(id); }

QByteArray ResourceBytes(int id)
{
    const QResource resource(ResourcePath(id));
    return resource.isValid() ? resource.uncompressedData() : QByteArray();
}

// Decodes an embedded JPEG whole with the system's JPEG library, straight into the window's pixel
// format. The library reports errors by a long jump, so the two steps that can fail keep nothing
// but plain data in their frames.
class JpegReader
{
public:
    explicit JpegReader(const QByteArray &bytes) : bytes_(bytes)
    {
        info_.err = jpeg_std_error(&errors_.manager);
        errors_.manager.error_exit = [](j_common_ptr info) {
            std::longjmp(reinterpret_cast<Errors *>(info->err)->escape, 1);
        };
        // A damaged picture is simply not shown; nothing goes to the terminal.
        errors_.manager.output_message = [](j_common_ptr) {};
        ok_ = !bytes_.isEmpty() && ReadHeader();
    }
    ~JpegReader()
    {
        if (created_)
            jpeg_destroy_decompress(&info_);
    }
    JpegReader(const JpegReader &) = delete;
    JpegReader &operator=(const JpegReader &) = delete;

    // The picture's own size; empty when its header does not decode.
    QSize Size() const
    {
        return ok_ ? QSize(static_cast<int>(info_.image_width), static_cast<int>(info_.image_height)) : QSize();
    }

    // The whole picture; a null image when it does not decode.
    QImage Read()
    {
        if (!ok_)
            return {};
        ok_ = false; // one read per reader
        if (!Start())
            return {};
        QImage image(static_cast<int>(info_.output_width), static_cast<int>(info_.output_height), QImage::Format_RGB32);
        if (image.isNull() || !ReadRows(image.bits(), image.bytesPerLine(), image.height()))
            return {};
        return image;
    }

private:
    struct Errors {
        jpeg_error_mgr manager;
        std::jmp_buf escape;
    };

    bool ReadHeader()
    {
        if (setjmp(errors_.escape))
            return false;
        jpeg_create_decompress(&info_);
        created_ = true;
        jpeg_mem_src(&info_, reinterpret_cast<const unsigned char *>(bytes_.constData()),
                     static_cast<unsigned long>(bytes_.size()));
        return jpeg_read_header(&info_, TRUE) == JPEG_HEADER_OK && info_.image_width > 0 && info_.image_height > 0;
    }

    bool Start()
    {
        if (setjmp(errors_.escape))
            return false;
        // Each pixel as the window's 32-bit format holds it, 0xffRRGGBB in a native word.
        info_.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;
        return jpeg_start_decompress(&info_) == TRUE;
    }

    bool ReadRows(uchar *bits, qsizetype bytesPerLine, int height)
    {
        if (setjmp(errors_.escape))
            return false;
        while (info_.output_scanline < static_cast<JDIMENSION>(height)) {
            JSAMPROW row = bits + static_cast<qsizetype>(info_.output_scanline) * bytesPerLine;
            if (jpeg_read_scanlines(&info_, &row, 1) != 1)
                return false;
        }
        return jpeg_finish_decompress(&info_) == TRUE;
    }

    QByteArray bytes_;
    jpeg_decompress_struct info_{};
    Errors errors_{};
    bool created_ = false;
    bool ok_ = false;
};

// A picture decoded whole, brought to `target` pixels in one averaging step. Decoding at a reduced
// scale first would smooth it twice and leave thin lines of the map grey and soft.
QImage AveragedTo(const QImage &decoded, QSize target)
{
    if (!IsUsable(decoded) || decoded.size() == target)
        return decoded;
    return decoded.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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

// Scales what the reader holds to cover the box, then cuts the box.
ShownPhotograph ReadFitted(QImageReader &reader, QSize box)
{
    const QSize photo = reader.size();
    const std::optional<CoverFit> fit = FitGeometry(photo, box);
    if (!fit)
        return {};
    return {photo, Cut(AveragedTo(reader.read(), fit->scaled), *fit, box)};
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
    JpegReader reader(ResourceBytes(id));
    const QImage image = AveragedTo(reader.Read(), size);
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
    JpegReader reader(ResourceBytes(100 + i));
    const std::optional<CoverFit> fit = FitGeometry(reader.Size(), box);
    if (!fit)
        return {};
    return {reader.Size(), Cut(AveragedTo(reader.Read(), fit->scaled), *fit, box)};
}

} // namespace korsa
