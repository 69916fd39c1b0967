// The section photographs and maps as the window gets them: embedded or the player's own, fitted to
// a box by covering it and cutting the surplus evenly.

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
using korsa::FittedSectionPhotograph;

namespace {

// Outer bands are cut away, inner ones reach the box edges; apart in brightness and hue through JPEG.
const QColor CutFirst(110, 0, 0), CutLast(0, 0, 110), KeptFirst(255, 220, 0), KeptLast(0, 230, 255),
    Middle(128, 128, 128);

bool Near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) <= 48 && std::abs(a.green() - b.green()) <= 48 &&
           std::abs(a.blue() - b.blue()) <= 48;
}

// Five bands across the long side split at edges[]: cut, kept, middle, kept, cut. The cut bands are a
// little narrower than what fitting removes, so the box edges land in the kept bands at any scale.
QImage BandedPhoto(QSize size, Qt::Orientation across, const std::array<int, 4> &edges)
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

QByteArray Encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, format, 95))
        qFatal("cannot encode a test picture as %s", format);
    return bytes;
}

// 500x250 into a 3:2 box loses about 62 pixels at each side.
QImage WidePhoto() { return BandedPhoto(QSize(500, 250), Qt::Horizontal, {56, 112, 388, 444}); }
QImage ThroughJpeg(const QImage &image) { return QImage::fromData(Encode(image, "JPG")); }

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { korsa::InitResources(); }

    // Photographs are numbered from 100, maps from 200, the plain map 210; other numbers have none.
    void embeddedPictures()
    {
        for (const int id : {100, 108, 200, 208, 210})
            QVERIFY2(LoadResourcePicture(id) == QImage(QString(":/JPEG/%1.jpg").arg(id)) &&
                         !LoadResourcePicture(id).isNull(),
                     qPrintable(QString::number(id)));
        for (const int id : {99, 109, 209, -1})
            QVERIFY2(LoadResourcePicture(id).isNull(), qPrintable(QString::number(id)));
    }

    // Nothing to fit, or nowhere to put it: no picture, and no division by zero.
    void fitWithoutPictureOrBox()
    {
        const QImage photo = LoadResourcePicture(100);
        QVERIFY(FitPictureToBox(QImage(), QSize(200, 133)).cut.isNull());
        QVERIFY(FitPictureToBox(photo, QSize(0, 133)).cut.isNull());
        QVERIFY(FitPictureToBox(photo, QSize(-5, -5)).scaled.isNull());
    }

    // The photograph is scaled to cover the box and the surplus cut evenly off both ends; one of
    // the box's own shape is only scaled, its outer bands then reaching the box edges.
    void fitCoversTheBox_data()
    {
        QTest::addColumn<QImage>("photo");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("scaledSize");
        QTest::addColumn<QPoint>("offset"); // worked out by hand, odd surplus rounded half to even
        QTest::addColumn<QColor>("edgeFirst");
        QTest::addColumn<QColor>("edgeLast");
        const QImage wide = ThroughJpeg(WidePhoto());
        const QImage square = ThroughJpeg(BandedPhoto(QSize(250, 250), Qt::Vertical, {36, 84, 166, 214}));
        const QImage matching = ThroughJpeg(BandedPhoto(QSize(375, 250), Qt::Horizontal, {24, 100, 275, 351}));
        QTest::newRow("500x250 in 375x250") << wide << QSize(375, 250) << QSize(500, 250) << QPoint(62, 0)
                                            << KeptFirst << KeptLast;
        QTest::newRow("500x250 in 563x375") << wide << QSize(563, 375) << QSize(750, 375) << QPoint(94, 0)
                                            << KeptFirst << KeptLast;
        QTest::newRow("250x250 in 375x250") << square << QSize(375, 250) << QSize(375, 375) << QPoint(0, 62)
                                            << KeptFirst << KeptLast;
        QTest::newRow("250x250 in 234x156") << square << QSize(234, 156) << QSize(234, 234) << QPoint(0, 39)
                                            << KeptFirst << KeptLast;
        QTest::newRow("375x250 in 375x250") << matching << QSize(375, 250) << QSize(375, 250) << QPoint(0, 0)
                                            << CutFirst << CutLast;
        QTest::newRow("375x250 in 750x500") << matching << QSize(750, 500) << QSize(750, 500) << QPoint(0, 0)
                                            << CutFirst << CutLast;
    }
    void fitCoversTheBox()
    {
        QFETCH(QImage, photo);
        QFETCH(QSize, box);
        QFETCH(QSize, scaledSize);
        QFETCH(QPoint, offset);
        QFETCH(QColor, edgeFirst);
        QFETCH(QColor, edgeLast);
        const korsa::FittedPicture fitted = FitPictureToBox(photo, box);
        QCOMPARE(fitted.scaled.size(), scaledSize);
        QVERIFY(fitted.cut == fitted.scaled.copy(QRect(offset, box)));
        // The scaled picture is whole (both outer bands in it); the box edges show the bands given.
        const bool across = offset.y() == 0; // the bands run across the side that is cut, if any
        const auto ends = [across](QSize s) {
            return across ? std::pair{QPoint(1, s.height() / 2), QPoint(s.width() - 2, s.height() / 2)}
                          : std::pair{QPoint(s.width() / 2, 1), QPoint(s.width() / 2, s.height() - 2)};
        };
        QVERIFY(Near(fitted.scaled.pixelColor(ends(scaledSize).first), CutFirst));
        QVERIFY(Near(fitted.scaled.pixelColor(ends(scaledSize).second), CutLast));
        QVERIFY(Near(fitted.cut.pixelColor(ends(box).first), edgeFirst));
        QVERIFY(Near(fitted.cut.pixelColor(ends(box).second), edgeLast));
    }

    // A one-pixel black and white checkerboard shrinks to grey when pixels are averaged, not picked.
    void fitAveragesPixels()
    {
        QImage board(QSize(600, 400), QImage::Format_RGB32);
        for (int y = 0; y < board.height(); ++y)
            for (int x = 0; x < board.width(); ++x)
                board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        const korsa::FittedPicture fitted = FitPictureToBox(board, QSize(150, 100));
        QCOMPARE(fitted.cut.size(), QSize(150, 100));
        for (const QPoint at : {QPoint(75, 50), QPoint(50, 7), QPoint(5, 91), QPoint(146, 25)})
            QVERIFY2(qGray(fitted.cut.pixel(at)) > 80 && qGray(fitted.cut.pixel(at)) < 175,
                     qPrintable(QStringLiteral("grey %1 at %2,%3").arg(qGray(fitted.cut.pixel(at))).arg(at.x()).arg(at.y())));
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

    // "<section name>.jpg" in the program folder replaces that section's embedded photograph, and only
    // it; the bytes decide the format, whatever the name says.
    void photographFileReplacesOnlyItsSection()
    {
        const QStringList sections = {"Harbour Start", "Dunes", "Lighthouse", "Salt Flats", "Old Mill",
                                      "Pine Run", "Quarry", "Ridge", "Home Straight"};
        korsa::test::TempTree folder;
        const QImage png = WidePhoto().scaled(300, 200);
        folder.write("Dunes.jpg", Encode(WidePhoto(), "JPG"));
        folder.write("Lighthouse.jpeg", Encode(WidePhoto(), "JPG")); // not a .jpg name
        folder.write("Quarry.jpg", Encode(png, "PNG"));
        const QSize box(200, 133);
        for (int i = 0; i < sections.size(); ++i) {
            const QImage photo = FittedSectionPhotograph(i, folder.path(), sections[i], box).fitted.cut;
            const QImage expected = i == 1 ? ThroughJpeg(WidePhoto()) : i == 6 ? png : LoadResourcePicture(100 + i);
            QVERIFY2(!expected.isNull() && photo.convertToFormat(QImage::Format_RGB32) ==
                                               FitPictureToBox(expected, box).cut.convertToFormat(QImage::Format_RGB32),
                     qPrintable(sections[i]));
        }
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
        QVERIFY(bytes.isNull() ? QDir(folder.path()).mkdir("Ridge.jpg") : !folder.write("Ridge.jpg", bytes).isEmpty());
        const QImage photo = FittedSectionPhotograph(section, folder.path(), "Ridge", QSize(200, 133)).fitted.cut;
        QVERIFY(!photo.isNull() && photo == FitPictureToBox(LoadResourcePicture(100 + section), QSize(200, 133)).cut);
    }
};

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
