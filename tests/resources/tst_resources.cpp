// The embedded pictures and announcements as the program sees them: what is listed, the JPEG
// layout and sizes, the red highlight on the circuit maps, and the WAVE layout the player relies on.

#include "KorsaResources.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QtEndian>
#include <QtGui/QImage>
#include <QtTest/QtTest>

#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr double LapLength = 71989.171875;
constexpr std::array<double, 10> SectionStarts = {6050, 12200, 17200, 27100, 37685, 46700, 52850, 58630, 66270,
                                                  LapLength};

struct Pixel {
    int x;
    int y;
};
using Pixels = std::vector<Pixel>;

QByteArray ReadResource(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 Be16(const QByteArray &b, qsizetype at) { return qFromBigEndian<quint16>(b.constData() + at); }
quint16 Le16(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 Le32(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }

bool IsRed(QRgb c) { return qRed(c) > 170 && qGreen(c) < 80 && qBlue(c) < 80; }
bool IsDark(QRgb c) { return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100; }
// The pure white squares of the chequered start/finish mark; nothing else on a map is that white.
bool IsMarkWhite(QRgb c) { return qRed(c) >= 248 && qGreen(c) >= 248 && qBlue(c) >= 248; }

QImage LoadMap(int number)
{
    return QImage(QStringLiteral(":/JPEG/%1.jpg").arg(number)).convertToFormat(QImage::Format_RGB32);
}

Pixels Select(const QImage &image, bool (*wanted)(QRgb))
{
    Pixels out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (wanted(image.pixel(x, y)))
                out.push_back({x, y});
    return out;
}

double MinDistance(const Pixels &a, const Pixels &b)
{
    double best = 1e18;
    for (const Pixel &p : a)
        for (const Pixel &q : b)
            best = std::min(best, double(p.x - q.x) * (p.x - q.x) + double(p.y - q.y) * (p.y - q.y));
    return std::sqrt(best);
}

// Pieces of 8-connected pixels.
int CountPieces(const Pixels &pixels, int width, int height)
{
    std::vector<char> left(std::size_t(width * height), 0);
    for (const Pixel &p : pixels)
        left[std::size_t(p.y * width + p.x)] = 1;
    int pieces = 0;
    for (const Pixel &seed : pixels) {
        pieces += left[std::size_t(seed.y * width + seed.x)];
        for (std::vector<Pixel> todo{seed}; !todo.empty();) {
            const Pixel p = todo.back();
            todo.pop_back();
            if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height || !left[std::size_t(p.y * width + p.x)])
                continue;
            left[std::size_t(p.y * width + p.x)] = 0;
            for (int d = 0; d < 9; ++d)
                todo.push_back({p.x + d % 3 - 1, p.y + d / 3 - 1});
        }
    }
    return pieces;
}

QStringList Numbered(int from, int to, const char *suffix)
{
    QStringList names;
    for (int n = from; n <= to; ++n)
        names << QString::number(n) + QLatin1String(suffix);
    return names;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

    QImage outlineMap_;
    std::vector<Pixels> red_; // red pixels of maps 200..208, then the start/finish mark of map 210

private slots:
    void initTestCase()
    {
        korsa::InitResources();
        outlineMap_ = LoadMap(210);
        QVERIFY(!outlineMap_.isNull());
        for (int i = 0; i < 9; ++i)
            red_.push_back(Select(LoadMap(200 + i), IsRed));
        red_.push_back(Select(outlineMap_, IsMarkWhite));
        QRect mark;
        for (const Pixel &p : red_.back())
            mark |= QRect(p.x, p.y, 1, 1);
        QVERIFY2(red_.back().size() >= 4 && mark.width() < 20 && mark.height() < 20,
                 "map 210 needs one small start/finish mark");
        QVERIFY2(Select(outlineMap_, IsRed).empty(), "the plain map 210 shows red");
    }

    void folderListing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("JPEG") << ":/JPEG" << Numbered(100, 108, ".jpg") + Numbered(200, 208, ".jpg") + QStringList{"210.jpg"};
        QTest::newRow("SOUND") << ":/SOUND" << Numbered(300, 308, ".wav");
        QTest::newRow("icon") << ":/icon" << QStringList{"korsa.png"};
    }
    void folderListing()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, expected);
        QStringList actual = QDir(folder).entryList(QDir::Files);
        actual.sort();
        expected.sort();
        QCOMPARE(actual, expected);
    }

    void icon()
    {
        const QImage image(QStringLiteral(":/icon/korsa.png"));
        QCOMPARE(image.size(), QSize(256, 256));
        // Transparent corners, opaque middle: a real icon shape, not a filled square.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(128, 128)), 255);
    }

    // Baseline JFIF files of the sizes the window lays out.
    void jpegLayout_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QSize>("size");
        for (int n = 100; n <= 108; ++n)
            QTest::addRow("photo %d", n) << n << QSize(375, 250);
        for (int n = 200; n <= 210; n += n == 208 ? 2 : 1)
            QTest::addRow("map %d", n) << n << QSize(375, 577);
    }
    void jpegLayout()
    {
        QFETCH(int, number);
        QFETCH(QSize, size);
        const QByteArray bytes = ReadResource(QStringLiteral(":/JPEG/%1.jpg").arg(number));
        QVERIFY(bytes.size() > 1000);
        QCOMPARE(Be16(bytes, 0), quint16(0xFFD8));
        QCOMPARE(Be16(bytes, 2), quint16(0xFFE0)); // JFIF APP0 straight after the start of image
        QCOMPARE(bytes.mid(6, 5), QByteArray("JFIF\0", 5));
        // Walk the segments up to the start of scan: exactly one frame header, and it is SOF0.
        QList<quint8> frames;
        for (qsizetype at = 2; at + 4 <= bytes.size(); at += 2 + Be16(bytes, at + 2)) {
            QCOMPARE(quint8(bytes[at]), quint8(0xFF));
            const quint8 marker = quint8(bytes[at + 1]);
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
                frames << marker;
                QCOMPARE(QSize(Be16(bytes, at + 7), Be16(bytes, at + 5)), size);
            }
            if (marker == 0xDA)
                break;
        }
        QCOMPARE(frames, QList<quint8>{0xC0}); // baseline, not progressive (0xC2)
        QCOMPARE(QImage::fromData(bytes, "JPEG").size(), size);
    }

    // Maps 200..208 each show one unbroken red stretch on the road.
    void highlight_data()
    {
        QTest::addColumn<int>("section");
        for (int i = 0; i < 9; ++i)
            QTest::addRow("map %d", 200 + i) << i;
    }
    void highlight()
    {
        QFETCH(int, section);
        const Pixels &found = red_[std::size_t(section)];
        QVERIFY2(found.size() > 100, "the highlighted section is missing");
        QCOMPARE(CountPieces(found, 375, 577), 1);
        // Every red pixel sits on the road: within 4 px of a dark outline pixel of map 210.
        for (const Pixel &p : found) {
            bool near = false;
            for (int d = 0; d < 81 && !near; ++d) {
                const int dx = d % 9 - 4, dy = d / 9 - 4;
                near = dx * dx + dy * dy <= 16 && outlineMap_.valid(p.x + dx, p.y + dy) &&
                       IsDark(outlineMap_.pixel(p.x + dx, p.y + dy));
            }
            QVERIFY2(near, qPrintable(QStringLiteral("red at %1,%2 is off the road").arg(p.x).arg(p.y)));
        }
    }

    // Along the lap each stretch meets the next and no other; 9 is the start/finish mark, which only
    // the last section reaches (the first starts 6 km after it).
    void stretchesMeetOnlyTheirNeighbours()
    {
        for (std::size_t a = 0; a < 10; ++a)
            for (std::size_t b = a + 1; b < 10; ++b) {
                const double gap = MinDistance(red_[a], red_[b]);
                const double near = b == 9 ? 6 : 3, far = b == 9 ? 12 : 8; // the mark is a few pixels across
                QVERIFY2(b == a + 1 ? gap <= near : gap > far,
                         qPrintable(QStringLiteral("%1 and %2: %3 px apart").arg(a).arg(b).arg(gap)));
            }
    }

    // Red pixels per metre are about the same for every section.
    void stretchLengthsFollowSections()
    {
        std::array<double, 9> density{};
        double mean = 0;
        for (std::size_t i = 0; i < 9; ++i) {
            density[i] = double(red_[i].size()) / (SectionStarts[i + 1] - SectionStarts[i]);
            mean += density[i] / 9;
        }
        for (std::size_t i = 0; i < 9; ++i)
            QVERIFY2(density[i] / mean > 0.75 && density[i] / mean < 1.33,
                     qPrintable(QStringLiteral("section %1: %2 of the average").arg(i).arg(density[i] / mean)));
    }

    // 22050 Hz mono 16-bit PCM with an 18-byte format chunk, a fact chunk and the data last;
    // 1.25 to 2.25 s long, audible, and no two alike.
    void waveLayout_data()
    {
        QTest::addColumn<int>("number");
        for (int n = 300; n <= 308; ++n)
            QTest::addRow("sound %d", n) << n;
    }
    void waveLayout()
    {
        QFETCH(int, number);
        const QByteArray b = ReadResource(QStringLiteral(":/SOUND/%1.wav").arg(number));
        QVERIFY(b.size() > 64);
        QCOMPARE(b.left(4) + b.mid(8, 8), QByteArray("RIFFWAVEfmt "));
        QCOMPARE(qsizetype(Le32(b, 4)), b.size() - 8);
        const QList<quint32> format = {Le32(b, 16), Le16(b, 20), Le16(b, 22), Le32(b, 24),
                                       Le32(b, 28), Le16(b, 32), Le16(b, 34), Le16(b, 36)};
        QCOMPARE(format, (QList<quint32>{18, 1, 1, 22050, 44100, 2, 16, 0})); // size, PCM, mono, rate...
        QCOMPARE(b.mid(38, 4), QByteArray("fact"));
        QCOMPARE(Le32(b, 42), quint32(4));
        QCOMPARE(b.mid(50, 4), QByteArray("data"));
        const quint32 sampleCount = Le32(b, 46), dataBytes = Le32(b, 54);
        QCOMPARE(dataBytes, sampleCount * 2);
        QCOMPARE(qsizetype(58 + dataBytes), b.size());
        const double seconds = sampleCount / 22050.0;
        QVERIFY2(seconds >= 1.25 && seconds <= 2.25, qPrintable(QString::number(seconds)));
        int peak = 0;
        for (quint32 i = 0; i < sampleCount; ++i)
            peak = std::max(peak, std::abs(int(qint16(Le16(b, 58 + 2 * qsizetype(i))))));
        QVERIFY2(peak > 8000, qPrintable(QStringLiteral("peak %1 is too quiet").arg(peak)));
        for (int other = 300; other < number; ++other)
            QVERIFY2(ReadResource(QStringLiteral(":/SOUND/%1.wav").arg(other)) != b, "repeats another sound");
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
