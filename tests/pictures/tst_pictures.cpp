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
using korsa::SectionPhotograph;
using korsa::SectionPhotographPath;

namespace {

// Colours of the test photographs. The outer bands are what fitting must cut away, the inner
// bands what must remain at the edges of the box. Each pair differs in brightness as well as hue,
// so they stay apart after JPEG compression and smooth scaling.
const QColor CutFirst(110, 0, 0);     // dark red: left or top, cut away
const QColor CutLast(0, 0, 110);      // dark blue: right or bottom, cut away
const QColor KeptFirst(255, 220, 0);  // yellow: left or top, kept
const QColor KeptLast(0, 230, 255);   // cyan: right or bottom, kept
const QColor Middle(128, 128, 128);

bool Near(QColor a, QColor b, int tolerance = 48)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

QString Describe(QColor c)
{
    return QStringLiteral("(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// Bands across the long side: [0,a) cut-first, [a,b) kept-first, [b,c) middle, [c,d) kept-last,
// [d,end) cut-last. The bands that must go are a little narrower than what fitting removes, so the
// box edges land inside the kept bands whatever the scale.
QImage BandedPhoto(QSize size, Qt::Orientation across, const int (&edges)[4])
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int length = across == Qt::Horizontal ? size.width() : size.height();
    const int starts[] = {0, edges[0], edges[1], edges[2], edges[3], length};
    const QColor colours[] = {CutFirst, KeptFirst, Middle, KeptLast, CutLast};
    for (int band = 0; band < 5; ++band) {
        const int from = starts[band];
        const int extent = starts[band + 1] - from;
        const QRect rect = across == Qt::Horizontal ? QRect(from, 0, extent, size.height())
                                                    : QRect(0, from, size.width(), extent);
        painter.fillRect(rect, colours[band]);
    }
    return image;
}

// A 3:2 photograph with a differently coloured band along each edge.
QImage FramedPhoto(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Middle);
    QPainter painter(&image);
    const int band = 24;
    painter.fillRect(0, 0, band, size.height(), KeptFirst);                       // left
    painter.fillRect(size.width() - band, 0, band, size.height(), KeptLast);     // right
    painter.fillRect(band, 0, size.width() - 2 * band, band, QColor(255, 0, 255)); // top
    painter.fillRect(band, size.height() - band, size.width() - 2 * band, band, QColor(0, 200, 0));
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

QImage WidePhoto()
{
    // 500x250 into a 3:2 box loses about 62 pixels at each side.
    return BandedPhoto(QSize(500, 250), Qt::Horizontal, {56, 112, 388, 444});
}

QImage SquarePhoto()
{
    // 250x250 into a 3:2 box loses about 42 pixels at the top and at the bottom.
    return BandedPhoto(QSize(250, 250), Qt::Vertical, {36, 84, 166, 214});
}

QImage ThroughJpeg(const QImage &image)
{
    QImage decoded;
    decoded.loadFromData(Encode(image, "JPG"));
    return decoded;
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { korsa::InitResources(); }

    void embeddedPictures_data();
    void embeddedPictures();
    void photographPath_data();
    void photographPath();
    void fitCutsEvenly_data();
    void fitCutsEvenly();
    void fitKeepsMatchingAspect_data();
    void fitKeepsMatchingAspect();
    void fitAveragesPixels_data();
    void fitAveragesPixels();
    void fitWithoutPictureOrBox_data();
    void fitWithoutPictureOrBox();
    void photographFileReplacesOnlyItsSection();
    void photographFileDecodedByContent();
    void unusablePhotographFileFallsBack_data();
    void unusablePhotographFileFallsBack();
};

void TestPictures::embeddedPictures_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size"); // an invalid size: no such picture

    for (int i = 0; i < 9; ++i)
        QTest::addRow("photo %d", 100 + i) << 100 + i << QSize(375, 250);
    for (int i = 0; i < 9; ++i)
        QTest::addRow("highlighted map %d", 200 + i) << 200 + i << QSize(375, 577);
    QTest::newRow("plain map 210") << 210 << QSize(375, 577);
    QTest::newRow("no picture 209") << 209 << QSize();
    QTest::newRow("no picture 109") << 109 << QSize();
    QTest::newRow("no picture 99") << 99 << QSize();
    QTest::newRow("no picture -1") << -1 << QSize();
}

void TestPictures::embeddedPictures()
{
    QFETCH(int, id);
    QFETCH(QSize, size);

    const QImage picture = LoadResourcePicture(id);
    if (!size.isValid()) {
        QVERIFY(picture.isNull());
        return;
    }
    QVERIFY2(!picture.isNull(), qPrintable(QStringLiteral(":/JPEG/%1.jpg did not decode").arg(id)));
    QCOMPARE(picture.size(), size);
}

void TestPictures::photographPath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("path");

    QTest::newRow("plain") << "/opt/korsa" << "Dunes" << "/opt/korsa/Dunes.jpg";
    QTest::newRow("blanks kept") << "/home/me/Korsa Trainer" << "Old Mill Bend"
                                 << "/home/me/Korsa Trainer/Old Mill Bend.jpg";
    QTest::newRow("backslash folder, forward slash added")
        << "C:\\Games\\Korsa" << "Dunes" << "C:\\Games\\Korsa/Dunes.jpg";
    QTest::newRow("relative folder") << "." << "Dunes" << "./Dunes.jpg";
}

void TestPictures::photographPath()
{
    QFETCH(QString, folder);
    QFETCH(QString, section);
    QFETCH(QString, path);
    QCOMPARE(SectionPhotographPath(folder, section), path);
}

void TestPictures::fitCutsEvenly_data()
{
    QTest::addColumn<QImage>("photo");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("scaledSize");
    QTest::addColumn<QPoint>("offset"); // worked out by hand, odd surplus rounded half to even

    const QImage wide = ThroughJpeg(WidePhoto());
    const QImage square = ThroughJpeg(SquarePhoto());
    QVERIFY(!wide.isNull() && !square.isNull());

    // Boxes of the photograph at several screen scales.
    QTest::newRow("500x250 in 375x250") << wide << QSize(375, 250) << QSize(500, 250) << QPoint(62, 0);
    QTest::newRow("500x250 in 234x156") << wide << QSize(234, 156) << QSize(312, 156) << QPoint(39, 0);
    QTest::newRow("500x250 in 200x133") << wide << QSize(200, 133) << QSize(266, 133) << QPoint(33, 0);
    QTest::newRow("500x250 in 150x100") << wide << QSize(150, 100) << QSize(200, 100) << QPoint(25, 0);
    QTest::newRow("500x250 in 563x375") << wide << QSize(563, 375) << QSize(750, 375) << QPoint(94, 0);
    QTest::newRow("250x250 in 375x250") << square << QSize(375, 250) << QSize(375, 375) << QPoint(0, 62);
    QTest::newRow("250x250 in 234x156") << square << QSize(234, 156) << QSize(234, 234) << QPoint(0, 39);
    QTest::newRow("250x250 in 200x133") << square << QSize(200, 133) << QSize(200, 200) << QPoint(0, 34);
    QTest::newRow("250x250 in 150x100") << square << QSize(150, 100) << QSize(150, 150) << QPoint(0, 25);
}

void TestPictures::fitCutsEvenly()
{
    QFETCH(QImage, photo);
    QFETCH(QSize, box);
    QFETCH(QSize, scaledSize);
    QFETCH(QPoint, offset);

    const korsa::FittedPicture fitted = FitPictureToBox(photo, box);
    QCOMPARE(fitted.scaled.size(), scaledSize);
    QCOMPARE(fitted.cut.size(), box);
    QVERIFY(fitted.cut == fitted.scaled.copy(QRect(offset, box)));

    // What shows at the box edges is the kept bands, at both ends: the cut-away bands are gone
    // from both sides, and not all of the surplus was taken from one side.
    const bool acrossWidth = offset.y() == 0;
    const int w = box.width();
    const int h = box.height();
    const QPoint first = acrossWidth ? QPoint(1, h / 2) : QPoint(w / 2, 1);
    const QPoint last = acrossWidth ? QPoint(w - 2, h / 2) : QPoint(w / 2, h - 2);
    const QColor atFirst = fitted.cut.pixelColor(first);
    const QColor atLast = fitted.cut.pixelColor(last);
    QVERIFY2(Near(atFirst, KeptFirst), qPrintable(Describe(atFirst)));
    QVERIFY2(Near(atLast, KeptLast), qPrintable(Describe(atLast)));

    // The scaled picture itself is whole: both cut-away bands are still in it.
    const int sw = scaledSize.width();
    const int sh = scaledSize.height();
    const QPoint scaledFirst = acrossWidth ? QPoint(1, sh / 2) : QPoint(sw / 2, 1);
    const QPoint scaledLast = acrossWidth ? QPoint(sw - 2, sh / 2) : QPoint(sw / 2, sh - 2);
    QVERIFY(Near(fitted.scaled.pixelColor(scaledFirst), CutFirst));
    QVERIFY(Near(fitted.scaled.pixelColor(scaledLast), CutLast));
}

void TestPictures::fitKeepsMatchingAspect_data()
{
    QTest::addColumn<QSize>("box");

    QTest::newRow("375x250") << QSize(375, 250);
    QTest::newRow("234x156") << QSize(234, 156);
    QTest::newRow("200x133") << QSize(200, 133);
    QTest::newRow("150x100") << QSize(150, 100);
    QTest::newRow("750x500") << QSize(750, 500);
}

void TestPictures::fitKeepsMatchingAspect()
{
    QFETCH(QSize, box);

    const QImage photo = ThroughJpeg(FramedPhoto(QSize(375, 250)));
    const korsa::FittedPicture fitted = FitPictureToBox(photo, box);
    QCOMPARE(fitted.scaled.size(), box);
    QVERIFY(fitted.cut == fitted.scaled);

    // Every edge band reaches the box edge.
    const int w = box.width();
    const int h = box.height();
    QVERIFY2(Near(fitted.cut.pixelColor(1, h / 2), KeptFirst), "left");
    QVERIFY2(Near(fitted.cut.pixelColor(w - 2, h / 2), KeptLast), "right");
    QVERIFY2(Near(fitted.cut.pixelColor(w / 2, 1), QColor(255, 0, 255)), "top");
    QVERIFY2(Near(fitted.cut.pixelColor(w / 2, h - 2), QColor(0, 200, 0)), "bottom");
}

void TestPictures::fitAveragesPixels_data()
{
    QTest::addColumn<QSize>("photoSize");
    QTest::addColumn<QSize>("box");

    QTest::newRow("750x500 in 375x250") << QSize(750, 500) << QSize(375, 250);
    QTest::newRow("1000x500 in 375x250") << QSize(1000, 500) << QSize(375, 250);
    QTest::newRow("600x400 in 150x100") << QSize(600, 400) << QSize(150, 100);
}

void TestPictures::fitAveragesPixels()
{
    QFETCH(QSize, photoSize);
    QFETCH(QSize, box);

    // A one-pixel black and white checkerboard: shrunk with averaging it turns grey, while
    // picking single pixels would leave black or white.
    QImage board(photoSize, QImage::Format_RGB32);
    for (int y = 0; y < board.height(); ++y) {
        for (int x = 0; x < board.width(); ++x)
            board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    }

    const korsa::FittedPicture fitted = FitPictureToBox(board, box);
    QCOMPARE(fitted.cut.size(), box);
    for (const QPoint at : {QPoint(box.width() / 2, box.height() / 2), QPoint(box.width() / 3, 7),
                            QPoint(5, box.height() - 9), QPoint(box.width() - 4, box.height() / 4)}) {
        const int grey = qGray(fitted.cut.pixel(at));
        const QString where = QStringLiteral("grey %1 at %2,%3").arg(grey).arg(at.x()).arg(at.y());
        QVERIFY2(grey > 80 && grey < 175, qPrintable(where));
    }
}

void TestPictures::fitWithoutPictureOrBox_data()
{
    QTest::addColumn<QImage>("photo");
    QTest::addColumn<QSize>("box");

    const QImage photo = FramedPhoto(QSize(375, 250));
    QTest::newRow("null photo") << QImage() << QSize(375, 250);
    QTest::newRow("zero box") << photo << QSize(0, 0);
    QTest::newRow("zero width") << photo << QSize(0, 250);
    QTest::newRow("zero height") << photo << QSize(375, 0);
    QTest::newRow("negative box") << photo << QSize(-375, -250);
    QTest::newRow("invalid size") << photo << QSize();
}

void TestPictures::fitWithoutPictureOrBox()
{
    QFETCH(QImage, photo);
    QFETCH(QSize, box);

    const korsa::FittedPicture fitted = FitPictureToBox(photo, box);
    QVERIFY(fitted.scaled.isNull());
    QVERIFY(fitted.cut.isNull());
}

void TestPictures::photographFileReplacesOnlyItsSection()
{
    const QStringList sections = {"Harbour Start", "Dunes", "Lighthouse", "Salt Flats", "Old Mill",
                                  "Pine Run", "Quarry", "Ridge", "Home Straight"};
    korsa::test::TempTree folder;
    folder.write(QStringLiteral("Dunes.jpg"), Encode(WidePhoto(), "JPG"));
    // A file without the .jpg name beside it is not a section photograph.
    folder.write(QStringLiteral("Lighthouse.jpeg"), Encode(WidePhoto(), "JPG"));

    for (int i = 0; i < sections.size(); ++i) {
        const QImage photo = SectionPhotograph(i, folder.path(), sections[i]);
        if (i == 1) {
            QCOMPARE(photo.size(), QSize(500, 250));
            QVERIFY(Near(photo.pixelColor(10, 125), CutFirst));
            QVERIFY(Near(photo.pixelColor(250, 125), Middle));
            QVERIFY(Near(photo.pixelColor(490, 125), CutLast));
        } else {
            const QImage embedded = LoadResourcePicture(100 + i);
            QVERIFY2(!embedded.isNull(), qPrintable(sections[i]));
            QVERIFY2(photo == embedded, qPrintable(sections[i]));
        }
    }
}

void TestPictures::photographFileDecodedByContent()
{
    korsa::test::TempTree folder;
    const QImage original = FramedPhoto(QSize(300, 200));
    folder.write(QStringLiteral("Quarry.jpg"), Encode(original, "PNG"));

    const QImage photo = SectionPhotograph(6, folder.path(), QStringLiteral("Quarry"));
    QCOMPARE(photo.size(), original.size());
    // PNG is lossless: the very pixels come back.
    QCOMPARE(photo.convertToFormat(QImage::Format_RGB32), original);
}

void TestPictures::unusablePhotographFileFallsBack_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<QByteArray>("bytes"); // null: a folder of that name

    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>((i * 37 + 11) % 251));
    QByteArray truncatedHeader = Encode(WidePhoto(), "JPG").left(20);

    QTest::newRow("garbage bytes") << 2 << garbage;
    QTest::newRow("empty file") << 4 << QByteArray("");
    QTest::newRow("JPEG header only") << 7 << truncatedHeader;
    QTest::newRow("folder named .jpg") << 8 << QByteArray();
}

void TestPictures::unusablePhotographFileFallsBack()
{
    QFETCH(int, section);
    QFETCH(QByteArray, bytes);

    korsa::test::TempTree folder;
    if (bytes.isNull())
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("Ridge.jpg")));
    else
        folder.write(QStringLiteral("Ridge.jpg"), bytes);

    const QImage embedded = LoadResourcePicture(100 + section);
    QVERIFY(!embedded.isNull());
    const QImage photo = SectionPhotograph(section, folder.path(), QStringLiteral("Ridge"));
    QVERIFY(photo == embedded);

    // The embedded photograph then fits like any other.
    const korsa::FittedPicture fitted = FitPictureToBox(photo, QSize(200, 133));
    QCOMPARE(fitted.cut.size(), QSize(200, 133));
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
