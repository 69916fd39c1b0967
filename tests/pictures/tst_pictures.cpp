#include "presentation/ResourcePictures.h"

#include "KorsaResources.h"
#include "support/TempTree.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cstdlib>

using korsa::FitPictureToBox;
using korsa::LoadResourcePicture;
using korsa::SectionPhotographPath;
using korsa::SectionPhotograph;

namespace {

// Outer bands are cut away, inner ones reach the box edges; apart in brightness and hue through JPEG.
const QColor CutFirst(110, 0, 0), CutLast(0, 0, 110), KeptFirst(255, 220, 0), KeptLast(0, 230, 255),
    Middle(128, 128, 128), Top(255, 0, 255), Bottom(0, 200, 0);

bool Near(QColor a, QColor b, int tolerance = 48)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// Five bands across the long side split at edges[]: cut, kept, middle, kept, cut. The cut bands are a
// little narrower than what fitting removes, so the box edges land in the kept bands at any scale.
QImage BandedPhoto(QSize size, Qt::Orientation across, const int (&edges)[4])
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int length = across == Qt::Horizontal ? size.width() : size.height();
    const int starts[] = {0, edges[0], edges[1], edges[2], edges[3], length};
    const QColor colours[] = {CutFirst, KeptFirst, Middle, KeptLast, CutLast};
    for (int b = 0; b < 5; ++b)
        painter.fillRect(across == Qt::Horizontal ? QRect(starts[b], 0, starts[b + 1] - starts[b], size.height())
                                                  : QRect(0, starts[b], size.width(), starts[b + 1] - starts[b]),
                         colours[b]);
    return image;
}

// A 3:2 photograph with a differently coloured band along each edge.
QImage FramedPhoto(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Middle);
    QPainter painter(&image);
    const int band = 24;
    painter.fillRect(0, 0, band, size.height(), KeptFirst);
    painter.fillRect(size.width() - band, 0, band, size.height(), KeptLast);
    painter.fillRect(band, 0, size.width() - 2 * band, band, Top);
    painter.fillRect(band, size.height() - band, size.width() - 2 * band, band, Bottom);
    return image;
}

QByteArray Encode(const QImage &image, const char *format, int quality = 95)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        qFatal("cannot encode a test picture as %s", format);
    return bytes;
}

// 500x250 into a 3:2 box loses about 62 pixels at each side.
QImage WidePhoto() { return BandedPhoto(QSize(500, 250), Qt::Horizontal, {56, 112, 388, 444}); }
// 250x250 into a 3:2 box loses about 42 pixels at the top and at the bottom.
QImage SquarePhoto() { return BandedPhoto(QSize(250, 250), Qt::Vertical, {36, 84, 166, 214}); }

QImage ThroughJpeg(const QImage &image) { return QImage::fromData(Encode(image, "JPG")); }

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { korsa::InitResources(); }

    void embeddedPictures_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QSize>("size"); // invalid: no such picture
        QTest::newRow("photo 100") << 100 << QSize(375, 250);
        QTest::newRow("map 208") << 208 << QSize(375, 577);
        QTest::newRow("plain map 210") << 210 << QSize(375, 577);
        for (int id : {209, 109, -1})
            QTest::addRow("no picture %d", id) << id << QSize();
    }
    void embeddedPictures()
    {
        QFETCH(int, id);
        QFETCH(QSize, size);
        const QImage picture = LoadResourcePicture(id);
        QCOMPARE(picture.isNull(), !size.isValid());
        if (size.isValid())
            QCOMPARE(picture.size(), size);
    }

    void photographPath()
    {
        QCOMPARE(SectionPhotographPath("/opt/korsa", "Dunes"), "/opt/korsa/Dunes.jpg");
        QCOMPARE(SectionPhotographPath("C:\\Korsa", "SP 6 KM 4"), "C:\\Korsa/SP 6 KM 4.jpg");
    }

    // Nothing to fit, or nowhere to put it: no picture, and no division by zero.
    void fitWithoutPictureOrBox()
    {
        const QImage photo = LoadResourcePicture(100);
        QVERIFY(FitPictureToBox(QImage(), QSize(200, 133)).cut.isNull());
        QVERIFY(FitPictureToBox(photo, QSize(0, 133)).cut.isNull());
        QVERIFY(FitPictureToBox(photo, QSize(-5, -5)).scaled.isNull());
    }

    // A photograph of another shape is scaled to cover the box and the surplus cut evenly off both ends.
    void fitCutsEvenly_data()
    {
        QTest::addColumn<QImage>("photo");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("scaledSize");
        QTest::addColumn<QPoint>("offset"); // worked out by hand, odd surplus rounded half to even
        const QImage wide = ThroughJpeg(WidePhoto());
        const QImage square = ThroughJpeg(SquarePhoto());
        QTest::newRow("500x250 in 375x250") << wide << QSize(375, 250) << QSize(500, 250) << QPoint(62, 0);
        QTest::newRow("500x250 in 563x375") << wide << QSize(563, 375) << QSize(750, 375) << QPoint(94, 0);
        QTest::newRow("250x250 in 375x250") << square << QSize(375, 250) << QSize(375, 375) << QPoint(0, 62);
        QTest::newRow("250x250 in 234x156") << square << QSize(234, 156) << QSize(234, 234) << QPoint(0, 39);
    }
    void fitCutsEvenly()
    {
        QFETCH(QImage, photo);
        QFETCH(QSize, box);
        QFETCH(QSize, scaledSize);
        QFETCH(QPoint, offset);
        QVERIFY(!photo.isNull());
        const korsa::FittedPicture fitted = FitPictureToBox(photo, box);
        QCOMPARE(fitted.scaled.size(), scaledSize);
        QVERIFY(fitted.cut == fitted.scaled.copy(QRect(offset, box)));
        // The scaled picture is whole (both cut bands in it); the box edges show the kept bands.
        const bool across = offset.y() == 0;
        const auto ends = [across](QSize s) {
            return across ? std::pair{QPoint(1, s.height() / 2), QPoint(s.width() - 2, s.height() / 2)}
                          : std::pair{QPoint(s.width() / 2, 1), QPoint(s.width() / 2, s.height() - 2)};
        };
        QVERIFY(Near(fitted.scaled.pixelColor(ends(scaledSize).first), CutFirst));
        QVERIFY(Near(fitted.scaled.pixelColor(ends(scaledSize).second), CutLast));
        QVERIFY(Near(fitted.cut.pixelColor(ends(box).first), KeptFirst));
        QVERIFY(Near(fitted.cut.pixelColor(ends(box).second), KeptLast));
    }

    // A 3:2 photograph is only scaled: every edge band reaches the box edge.
    void fitKeepsMatchingShape_data()
    {
        QTest::addColumn<QSize>("box");
        QTest::newRow("375x250") << QSize(375, 250);
        QTest::newRow("750x500") << QSize(750, 500);
    }
    void fitKeepsMatchingShape()
    {
        QFETCH(QSize, box);
        const korsa::FittedPicture fitted = FitPictureToBox(ThroughJpeg(FramedPhoto(QSize(375, 250))), box);
        QCOMPARE(fitted.scaled.size(), box);
        QVERIFY(fitted.cut == fitted.scaled);
        const int w = box.width(), h = box.height();
        QVERIFY2(Near(fitted.cut.pixelColor(1, h / 2), KeptFirst), "left");
        QVERIFY2(Near(fitted.cut.pixelColor(w - 2, h / 2), KeptLast), "right");
        QVERIFY2(Near(fitted.cut.pixelColor(w / 2, 1), Top), "top");
        QVERIFY2(Near(fitted.cut.pixelColor(w / 2, h - 2), Bottom), "bottom");
    }

    // A one-pixel black and white checkerboard shrinks to grey when pixels are averaged, not picked.
    void fitAveragesPixels_data()
    {
        QTest::addColumn<QSize>("photoSize");
        QTest::addColumn<QSize>("box");
        QTest::newRow("750x500 in 375x250") << QSize(750, 500) << QSize(375, 250);
        QTest::newRow("600x400 in 150x100") << QSize(600, 400) << QSize(150, 100);
    }
    void fitAveragesPixels()
    {
        QFETCH(QSize, photoSize);
        QFETCH(QSize, box);
        QImage board(photoSize, QImage::Format_RGB32);
        for (int y = 0; y < board.height(); ++y)
            for (int x = 0; x < board.width(); ++x)
                board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        const korsa::FittedPicture fitted = FitPictureToBox(board, box);
        QCOMPARE(fitted.cut.size(), box);
        for (const QPoint at : {QPoint(box.width() / 2, box.height() / 2), QPoint(box.width() / 3, 7),
                                QPoint(5, box.height() - 9), QPoint(box.width() - 4, box.height() / 4)}) {
            const int grey = qGray(fitted.cut.pixel(at));
            QVERIFY2(grey > 80 && grey < 175,
                     qPrintable(QStringLiteral("grey %1 at %2,%3").arg(grey).arg(at.x()).arg(at.y())));
        }
    }

    // A highlighted map is kept as its difference from the plain one: drawn over the plain map it
    // gives back the whole highlighted map; a picture of another size is kept whole.
    void mapDifferenceRebuildsTheMap()
    {
        const QImage plain = korsa::LoadResourcePictureAt(210, QSize(229, 352));
        for (int id = 200; id <= 208; ++id) {
            const QImage map = korsa::LoadResourcePictureAt(id, plain.size());
            const korsa::PicturePatch patch = korsa::DifferenceFrom(plain, map);
            QVERIFY(!patch.patch.isNull() && patch.patch.width() * patch.patch.height() < map.width() * map.height() / 4);
            QImage drawn = plain;
            QPainter(&drawn).drawImage(patch.at, patch.patch);
            QVERIFY2(drawn == map, qPrintable(QString::number(id)));
        }
        QVERIFY(korsa::DifferenceFrom(plain, plain).patch.isNull());
        const QImage other = korsa::LoadResourcePictureAt(200, QSize(100, 100));
        QVERIFY(korsa::DifferenceFrom(plain, other).patch == other);
    }

    // "<section name>.jpg" in the folder replaces that section's embedded photograph, and only it.
    void photographFileReplacesOnlyItsSection()
    {
        const QStringList sections = {"Harbour Start", "Dunes", "Lighthouse", "Salt Flats", "Old Mill",
                                      "Pine Run", "Quarry", "Ridge", "Home Straight"};
        korsa::test::TempTree folder;
        folder.write(QStringLiteral("Dunes.jpg"), Encode(WidePhoto(), "JPG"));
        folder.write(QStringLiteral("Lighthouse.jpeg"), Encode(WidePhoto(), "JPG")); // not a .jpg name
        for (int i = 0; i < sections.size(); ++i) {
            const QImage photo = SectionPhotograph(i, folder.path(), sections[i]);
            if (i == 1) {
                QCOMPARE(photo.size(), QSize(500, 250));
                QVERIFY(Near(photo.pixelColor(10, 125), CutFirst) && Near(photo.pixelColor(250, 125), Middle)
                        && Near(photo.pixelColor(490, 125), CutLast));
            } else {
                const QImage embedded = LoadResourcePicture(100 + i);
                QVERIFY2(!embedded.isNull() && photo == embedded, qPrintable(sections[i]));
            }
        }
    }

    // The file is decoded by its content, whatever its name says: PNG bytes give back the very pixels.
    void photographFileDecodedByContent()
    {
        korsa::test::TempTree folder;
        const QImage original = FramedPhoto(QSize(300, 200));
        folder.write(QStringLiteral("Quarry.jpg"), Encode(original, "PNG"));
        const QImage photo = SectionPhotograph(6, folder.path(), QStringLiteral("Quarry"));
        QCOMPARE(photo.convertToFormat(QImage::Format_RGB32), original);
    }

    // A file that cannot be decoded leaves the embedded photograph, which then fits like any other.
    void unusablePhotographFileFallsBack_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<QByteArray>("bytes"); // null: a folder of that name
        QTest::newRow("garbage bytes") << 2 << QByteArray(4096, '\x5a');
        QTest::newRow("empty file") << 4 << QByteArray("");
        QTest::newRow("JPEG header only") << 7 << Encode(WidePhoto(), "JPG").left(20);
        QTest::newRow("folder named .jpg") << 8 << QByteArray();
    }
    void unusablePhotographFileFallsBack()
    {
        QFETCH(int, section);
        QFETCH(QByteArray, bytes);
        korsa::test::TempTree folder;
        if (bytes.isNull())
            QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("Ridge.jpg")));
        else
            folder.write(QStringLiteral("Ridge.jpg"), bytes);
        const QImage embedded = LoadResourcePicture(100 + section);
        const QImage photo = SectionPhotograph(section, folder.path(), QStringLiteral("Ridge"));
        QVERIFY(!embedded.isNull() && photo == embedded);
        QCOMPARE(FitPictureToBox(photo, QSize(200, 133)).cut.size(), QSize(200, 133));
    }
};

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
