// The section photographs and maps as the window gets them: embedded or the player's own, fitted to
// a box by covering it and cutting the surplus evenly.

#include "presentation/ResourcePictures.h"

#include "KorsaResources.h"
#include "support/PictureDifference.h"
#include "support/TempTree.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cstdlib>

using korsa::FitPictureToBox;
using korsa::FittedSectionPhotograph;
using korsa::LoadResourcePicture;
using korsa::test::MeanDifference;

namespace {

// Outer bands are cut away, inner ones reach the box edges; apart in brightness and hue through JPEG.
const QColor CutFirst(110, 0, 0), CutLast(0, 0, 110), KeptFirst(255, 220, 0), KeptLast(0, 230, 255);

bool Near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) <= 48 && std::abs(a.green() - b.green()) <= 48 &&
           std::abs(a.blue() - b.blue()) <= 48;
}

QByteArray Encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, format, 95))
        qFatal("cannot encode a test picture as %s", format);
    return bytes;
}

// 500x250 in five bands, cut, kept, grey, kept, cut; fitted to a 3:2 box it loses 62 pixels at each
// side, a little more than the cut bands.
QImage WidePhoto()
{
    QImage image(QSize(500, 250), QImage::Format_RGB32);
    image.fill(Qt::gray);
    QPainter painter(&image);
    for (const auto &[from, to, colour] :
         {std::tuple{0, 56, CutFirst}, {56, 112, KeptFirst}, {388, 444, KeptLast}, {444, 500, CutLast}})
        painter.fillRect(QRect(from, 0, to - from, 250), colour);
    return image;
}

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
        QVERIFY(FitPictureToBox(QImage(), QSize(200, 133)).cut.isNull()); // nothing to fit
    }

    // Scaled by the larger ratio to cover the box, the surplus cut evenly off both ends, an odd one
    // rounding half to even (worked out by hand).
    void fitGeometry_data()
    {
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QRect>("fit"); // where the box lies in the scaled photograph; null: none
        QTest::newRow("wide in 3:2") << QSize(500, 250) << QSize(375, 250) << QRect(62, 0, 500, 250);
        QTest::newRow("wide in larger 3:2") << QSize(500, 250) << QSize(563, 375) << QRect(94, 0, 750, 375);
        QTest::newRow("square in 3:2") << QSize(250, 250) << QSize(375, 250) << QRect(0, 62, 375, 375);
        QTest::newRow("same shape") << QSize(375, 250) << QSize(750, 500) << QRect(0, 0, 750, 500);
        QTest::newRow("no photo") << QSize() << QSize(375, 250) << QRect();
        QTest::newRow("no box") << QSize(375, 250) << QSize(0, 250) << QRect();
    }
    void fitGeometry()
    {
        QFETCH(QSize, photo);
        QFETCH(QSize, box);
        QFETCH(QRect, fit);
        const std::optional<korsa::CoverFit> geometry = korsa::FitGeometry(photo, box);
        QCOMPARE(geometry ? QRect(geometry->cut, geometry->scaled) : QRect(), fit);
    }

    // The fitted picture is the whole photograph scaled (the window test checks its averaging), and
    // the box is cut from its middle.
    void fitScalesAndCuts()
    {
        const korsa::FittedPicture fitted = FitPictureToBox(QImage::fromData(Encode(WidePhoto(), "JPG")), {375, 250});
        QVERIFY(fitted.cut == fitted.scaled.copy(QRect(62, 0, 375, 250)));
        const QList<QColor> ends{fitted.scaled.pixelColor(1, 125), fitted.scaled.pixelColor(498, 125),
                                 fitted.cut.pixelColor(1, 125), fitted.cut.pixelColor(373, 125)};
        const QList<QColor> expected{CutFirst, CutLast, KeptFirst, KeptLast};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(Near(ends[i], expected[i]), qPrintable(ends[i].name()));
    }

    // A highlighted map is kept as its difference from the plain one: drawn over the plain map it
    // gives back the whole highlighted map; a picture of another size is kept whole.
    void mapDifferenceRebuildsTheMap()
    {
        const QImage plain = korsa::LoadResourcePictureAt(210, QSize(150, 230));
        for (int id = 200; id <= 208; ++id) {
            const QImage map = korsa::LoadResourcePictureAt(id, plain.size());
            const korsa::PicturePatch patch = korsa::DifferenceFrom(plain, map);
            QVERIFY(!patch.patch.isNull() &&
                    patch.patch.width() * patch.patch.height() < map.width() * map.height() / 4);
            QImage drawn = plain;
            QPainter(&drawn).drawImage(patch.at, patch.patch);
            QVERIFY2(drawn == map, qPrintable(QString::number(id)));
        }
        QVERIFY(korsa::DifferenceFrom(plain, plain).patch.isNull());
        const QImage other = korsa::LoadResourcePictureAt(200, QSize(100, 100));
        QVERIFY(korsa::DifferenceFrom(plain, other).patch == other);
    }

    // "<section name>.jpg" in the program folder replaces that section's embedded photograph, and only
    // it; the bytes decide the format, whatever the name says. A file that cannot be decoded leaves
    // the embedded photograph, which then fits like any other.
    void photographFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // null: a folder of that name
        QTest::addColumn<QImage>("shown");     // null: the embedded photograph
        const QImage png = WidePhoto().scaled(300, 200);
        QTest::newRow("JPEG") << "Ridge.jpg" << Encode(WidePhoto(), "JPG")
                              << QImage::fromData(Encode(WidePhoto(), "JPG"));
        QTest::newRow("PNG named .jpg") << "Ridge.jpg" << Encode(png, "PNG") << png;
        QTest::newRow("named .jpeg") << "Ridge.jpeg" << Encode(WidePhoto(), "JPG") << QImage();
        QTest::newRow("garbage bytes") << "Ridge.jpg" << QByteArray(4096, '\x5a') << QImage();
        QTest::newRow("JPEG header only") << "Ridge.jpg" << Encode(WidePhoto(), "JPG").left(20) << QImage();
        QTest::newRow("folder named .jpg") << "Ridge.jpg" << QByteArray() << QImage();
    }
    void photographFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QImage, shown);
        korsa::test::TempTree folder;
        QVERIFY(bytes.isNull() ? QDir(folder.path()).mkdir(name) : !folder.write(name, bytes).isEmpty());
        const QSize box(200, 133);
        const auto photo = [&](int i, const QString &section) {
            return FittedSectionPhotograph(i, folder.path(), section, box).fitted.cut;
        };
        const auto fitted = [&](const QImage &image) { return FitPictureToBox(image, box).cut; };
        const QImage ridge = photo(7, "Ridge");
        const QImage expected = fitted(shown.isNull() ? LoadResourcePicture(107) : shown);
        QVERIFY2(MeanDifference(ridge, expected) < 6, qPrintable(QString::number(MeanDifference(ridge, expected))));
        QVERIFY(MeanDifference(ridge, fitted(LoadResourcePicture(shown.isNull() ? 106 : 107))) > 10);
        QVERIFY(MeanDifference(photo(6, "Quarry"), fitted(LoadResourcePicture(106))) < 6);
    }
};

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
