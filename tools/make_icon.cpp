// Paints the program's icon, resources/icon/korsa.png (256 x 256), the window's small copies
// korsa-16.png, korsa-32.png and korsa-64.png, and korsa.ico, the Windows programs' icon.
//
//   make_icon [RESOURCES_DIR]

#include "Drawing.h"

#include <QtCore/QBuffer>
#include <QtCore/QFile>
#include <QtCore/QtEndian>
#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>

#include <cmath>

namespace korsa {
namespace {

QImage PaintIcon()
{
    const int size = 256;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, size);
    bg.setColorAt(0, QColor(40, 110, 190));
    bg.setColorAt(1, QColor(18, 40, 80));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
    // Green hills.
    QPainterPath hills;
    hills.moveTo(8, 170);
    hills.cubicTo(70, 130, 120, 150, 160, 140);
    hills.cubicTo(200, 130, 230, 150, 248, 145);
    hills.lineTo(248, 248);
    hills.lineTo(8, 248);
    hills.closeSubpath();
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
    p.setClipPath(clip);
    QLinearGradient hg(0, 130, 0, 248);
    hg.setColorAt(0, QColor(90, 170, 90));
    hg.setColorAt(1, QColor(30, 90, 50));
    p.setBrush(hg);
    p.drawPath(hills);
    // The road as a sweeping S.
    QPainterPath road;
    road.moveTo(60, 260);
    road.cubicTo(90, 200, 200, 210, 170, 170);
    road.cubicTo(150, 145, 120, 150, 130, 138);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(245, 245, 245), 54, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(road);
    p.setPen(QPen(QColor(60, 62, 68), 46, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(road);
    QPen dash(QColor(250, 210, 60), 4, Qt::CustomDashLine, Qt::FlatCap);
    dash.setDashPattern({4, 3});
    p.setPen(dash);
    p.drawPath(road);
    p.restore();
    // Chequered flag.
    p.setPen(QPen(QColor(230, 230, 230), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(150, 120), QPointF(150, 30));
    QPainterPath flag;
    flag.moveTo(150, 32);
    flag.cubicTo(180, 18, 200, 50, 232, 36);
    flag.lineTo(232, 92);
    flag.cubicTo(200, 106, 180, 74, 150, 88);
    flag.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 250));
    p.drawPath(flag);
    p.save();
    p.setClipPath(flag);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            if ((r + c) % 2) {
                const double x = 150 + c * 14;
                const double wave = 14 * std::sin((x - 150) / 82.0 * Pi);
                p.setBrush(QColor(20, 20, 24));
                p.drawRect(QRectF(x, 18 + r * 14 - wave * 0.5 + 6, 14, 14));
            }
    p.restore();
    p.setPen(QPen(QColor(20, 20, 24), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flag);
    return image;
}

// The Windows icon file: every size the shell and a window's caption ask for, each stored as a PNG
// image (which Windows reads in icon files since Vista), in the little-endian directory of an .ico.
bool SaveIco(const QImage &icon, const QString &path)
{
    const int sizes[] = {16, 24, 32, 48, 64, 256};
    QByteArray directory, images;
    const auto put = [](QByteArray &to, auto value) {
        const auto le = qToLittleEndian(value);
        to.append(reinterpret_cast<const char *>(&le), sizeof le);
    };
    put(directory, quint16(0));
    put(directory, quint16(1)); // an icon, not a cursor
    put(directory, quint16(std::size(sizes)));
    const int headers = 6 + 16 * int(std::size(sizes));
    for (const int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        if (!icon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation).save(&buffer, "PNG"))
            return false;
        put(directory, quint8(size % 256)); // 0 stands for 256
        put(directory, quint8(size % 256));
        put(directory, quint16(0));  // no palette
        put(directory, quint16(1));  // planes
        put(directory, quint16(32)); // bits per pixel
        put(directory, quint32(png.size()));
        put(directory, quint32(headers + images.size()));
        images += png;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(directory + images) == directory.size() + images.size() &&
           file.flush();
}

// The large icon, and the small sizes the window shows, scaled smoothly from it: these decode in a
// fraction of the large one's time when the window starts.
int Run(const QDir &dir)
{
    const QImage icon = PaintIcon();
    if (!icon.save(dir.filePath(QStringLiteral("korsa.png")), "PNG"))
        return 1;
    for (const int size : {16, 32, 64}) {
        const QImage small = icon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!small.save(dir.filePath(QStringLiteral("korsa-%1.png").arg(size)), "PNG"))
            return 1;
    }
    return SaveIco(icon, dir.filePath(QStringLiteral("korsa.ico"))) ? 0 : 1;
}

} // namespace
} // namespace korsa

int main(int argc, char **argv) { return korsa::RunGenerator(argc, argv, QStringLiteral("icon"), korsa::Run); }
