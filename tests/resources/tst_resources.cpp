// Checks the embedded pictures and announcements as the program will see them: listed
// resources, JPEG layout and size, the red highlight on the circuit maps, and the WAVE layout
// the sound player relies on.

#include "KorsaResources.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QSet>
#include <QtCore/QtEndian>
#include <QtGui/QImage>
#include <QtTest/QtTest>

#include <array>
#include <cmath>
#include <deque>
#include <vector>

namespace {

constexpr double LapLength = 71989.171875;
constexpr std::array<double, 9> SectionStarts = {6050, 12200, 17200, 27100, 37685, 46700, 52850, 58630, 66270};

double SectionLength(int i)
{
    const double end = i + 1 < 9 ? SectionStarts[static_cast<std::size_t>(i + 1)] : LapLength;
    return end - SectionStarts[static_cast<std::size_t>(i)];
}

QByteArray ReadResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

quint16 Be16(const QByteArray &b, qsizetype at)
{
    return qFromBigEndian<quint16>(b.constData() + at);
}
quint16 Le16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 Le32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

struct Pixel {
    int x;
    int y;
};

bool IsRed(QRgb c)
{
    return qRed(c) > 170 && qGreen(c) < 80 && qBlue(c) < 80;
}

bool IsDark(QRgb c)
{
    return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100;
}

// The pure white squares of the chequered start/finish mark; nothing else on a map is that white.
bool IsMarkWhite(QRgb c)
{
    return qRed(c) >= 248 && qGreen(c) >= 248 && qBlue(c) >= 248;
}

QImage LoadMap(int number)
{
    return QImage(QStringLiteral(":/JPEG/%1.jpg").arg(number)).convertToFormat(QImage::Format_RGB32);
}

std::vector<Pixel> Select(const QImage &image, bool (*wanted)(QRgb))
{
    std::vector<Pixel> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (wanted(image.pixel(x, y)))
                out.push_back({x, y});
    return out;
}

double MinDistance(const std::vector<Pixel> &a, const std::vector<Pixel> &b)
{
    double best = 1e18;
    for (const Pixel &p : a)
        for (const Pixel &q : b)
            best = std::min(best, double(p.x - q.x) * (p.x - q.x) + double(p.y - q.y) * (p.y - q.y));
    return std::sqrt(best);
}

int CountComponents(const std::vector<Pixel> &pixels, int width, int height)
{
    std::vector<int> label(static_cast<std::size_t>(width * height), -1);
    for (const Pixel &p : pixels)
        label[static_cast<std::size_t>(p.y * width + p.x)] = 0;
    int components = 0;
    for (const Pixel &seed : pixels) {
        if (label[static_cast<std::size_t>(seed.y * width + seed.x)] != 0)
            continue;
        ++components;
        std::deque<Pixel> queue{seed};
        label[static_cast<std::size_t>(seed.y * width + seed.x)] = components;
        while (!queue.empty()) {
            const Pixel p = queue.front();
            queue.pop_front();
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int x = p.x + dx, y = p.y + dy;
                    if (x < 0 || y < 0 || x >= width || y >= height)
                        continue;
                    int &l = label[static_cast<std::size_t>(y * width + x)];
                    if (l == 0) {
                        l = components;
                        queue.push_back({x, y});
                    }
                }
        }
    }
    return components;
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

private slots:
    void initTestCase();

    void folderListing_data();
    void folderListing();
    void icon();

    void jpegLayout_data();
    void jpegLayout();

    void redOnlyOnTheOutline_data();
    void redOnlyOnTheOutline();
    void redStretchIsOnePiece_data();
    void redStretchIsOnePiece();
    void stretchesMeet_data();
    void stretchesMeet();
    void startFinishMark_data();
    void startFinishMark();
    void stretchLengthsFollowSections();

    void waveLayout_data();
    void waveLayout();
    void announcementsDiffer();

private:
    QImage outlineMap;
    std::vector<std::vector<Pixel>> red; // red pixels of maps 200..208
};

void TestResources::initTestCase()
{
    korsa::InitResources();
    QVERIFY(QFile::exists(QStringLiteral(":/JPEG/210.jpg")));
    outlineMap = LoadMap(210);
    QVERIFY(!outlineMap.isNull());
    for (int i = 0; i < 9; ++i) {
        const QImage map = LoadMap(200 + i);
        QVERIFY(!map.isNull());
        red.push_back(Select(map, IsRed));
    }
}

void TestResources::folderListing_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("JPEG") << QStringLiteral(":/JPEG")
                          << Numbered(100, 108, ".jpg") + Numbered(200, 208, ".jpg") + QStringList{"210.jpg"};
    QTest::newRow("SOUND") << QStringLiteral(":/SOUND") << Numbered(300, 308, ".wav");
    QTest::newRow("icon") << QStringLiteral(":/icon") << QStringList{"korsa.png"};
}

void TestResources::folderListing()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, expected);
    QStringList actual = QDir(folder).entryList(QDir::Files);
    actual.sort();
    expected.sort();
    QCOMPARE(actual, expected);
}

void TestResources::icon()
{
    const QImage image(QStringLiteral(":/icon/korsa.png"));
    QCOMPARE(image.size(), QSize(256, 256));
    QVERIFY(image.hasAlphaChannel());
    // Transparent corners, opaque middle: a real icon shape, not a filled square.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(128, 128)), 255);
}

void TestResources::jpegLayout_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QSize>("size");
    for (int n = 100; n <= 108; ++n)
        QTest::addRow("photo %d", n) << n << QSize(375, 250);
    for (int n = 200; n <= 208; ++n)
        QTest::addRow("map %d", n) << n << QSize(375, 577);
    QTest::addRow("map 210") << 210 << QSize(375, 577);
}

void TestResources::jpegLayout()
{
    QFETCH(int, number);
    QFETCH(QSize, size);
    const QByteArray bytes = ReadResource(QStringLiteral(":/JPEG/%1.jpg").arg(number));
    QVERIFY(bytes.size() > 1000);
    QCOMPARE(Be16(bytes, 0), quint16(0xFFD8));
    // JFIF APP0 straight after the start of image.
    QCOMPARE(Be16(bytes, 2), quint16(0xFFE0));
    QCOMPARE(bytes.mid(6, 5), QByteArray("JFIF\0", 5));

    // Walk the marker segments up to the start of scan: exactly one frame header, SOF0.
    int frames = 0;
    qsizetype at = 2;
    quint8 frameMarker = 0;
    QSize frameSize;
    while (at + 4 <= bytes.size()) {
        QCOMPARE(quint8(bytes[at]), quint8(0xFF));
        const quint8 marker = quint8(bytes[at + 1]);
        const quint16 length = Be16(bytes, at + 2);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            ++frames;
            frameMarker = marker;
            frameSize = QSize(Be16(bytes, at + 7), Be16(bytes, at + 5));
        }
        if (marker == 0xDA)
            break;
        at += 2 + length;
    }
    QCOMPARE(frames, 1);
    QCOMPARE(frameMarker, quint8(0xC0)); // baseline, not progressive (0xC2)
    QCOMPARE(frameSize, size);

    const QImage image = QImage::fromData(bytes, "JPEG");
    QCOMPARE(image.size(), size);
}

void TestResources::redOnlyOnTheOutline_data()
{
    QTest::addColumn<int>("number");
    for (int n = 200; n <= 208; ++n)
        QTest::addRow("map %d", n) << n;
    QTest::addRow("map 210") << 210;
}

void TestResources::redOnlyOnTheOutline()
{
    QFETCH(int, number);
    const QImage map = LoadMap(number);
    const std::vector<Pixel> found = Select(map, IsRed);
    if (number == 210) {
        QCOMPARE(found.size(), std::size_t(0));
        return;
    }
    QVERIFY2(found.size() > 100, "the highlighted section is missing");
    // Every red pixel must sit on the road: within 4 px of a dark outline pixel of map 210.
    const int reach = 4;
    for (const Pixel &p : found) {
        bool nearOutline = false;
        for (int dy = -reach; dy <= reach && !nearOutline; ++dy)
            for (int dx = -reach; dx <= reach && !nearOutline; ++dx) {
                const int x = p.x + dx, y = p.y + dy;
                if (dx * dx + dy * dy <= reach * reach && outlineMap.valid(x, y) && IsDark(outlineMap.pixel(x, y)))
                    nearOutline = true;
            }
        QVERIFY2(nearOutline, qPrintable(QStringLiteral("red at %1,%2 is off the road").arg(p.x).arg(p.y)));
    }
}

void TestResources::redStretchIsOnePiece_data()
{
    QTest::addColumn<int>("section");
    for (int i = 0; i < 9; ++i)
        QTest::addRow("map %d", 200 + i) << i;
}

void TestResources::redStretchIsOnePiece()
{
    QFETCH(int, section);
    const auto &pixels = red[static_cast<std::size_t>(section)];
    QVERIFY(!pixels.empty());
    QCOMPARE(CountComponents(pixels, 375, 577), 1);
}

void TestResources::stretchesMeet_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<bool>("meet");
    for (int i = 0; i + 1 < 9; ++i)
        QTest::addRow("%d then %d", i, i + 1) << i << i + 1 << true;
    // Sections that are not neighbours along the lap must stay apart on the map.
    QTest::newRow("0 and 2") << 0 << 2 << false;
    QTest::newRow("3 and 5") << 3 << 5 << false;
    QTest::newRow("6 and 8") << 6 << 8 << false;
    QTest::newRow("8 and 0 (gap before the first section)") << 8 << 0 << false;
}

void TestResources::stretchesMeet()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(bool, meet);
    const double gap = MinDistance(red[static_cast<std::size_t>(a)], red[static_cast<std::size_t>(b)]);
    if (meet)
        QVERIFY2(gap <= 3.0, qPrintable(QStringLiteral("gap of %1 px").arg(gap)));
    else
        QVERIFY2(gap > 8.0, qPrintable(QStringLiteral("only %1 px apart").arg(gap)));
}

void TestResources::startFinishMark_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<bool>("reachesStartFinish");
    for (int i = 0; i < 9; ++i)
        QTest::addRow("section %d", i) << i << (i == 8);
}

void TestResources::startFinishMark()
{
    QFETCH(int, section);
    QFETCH(bool, reachesStartFinish);
    const std::vector<Pixel> mark = Select(outlineMap, IsMarkWhite);
    QVERIFY2(mark.size() >= 4, "no start/finish mark on map 210");
    // The mark is one small spot, and it lies on the road.
    int minX = 10000, maxX = -1, minY = 10000, maxY = -1;
    for (const Pixel &p : mark) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    QVERIFY2(maxX - minX < 20 && maxY - minY < 20, "the start/finish mark is spread over the map");
    const double gap = MinDistance(red[static_cast<std::size_t>(section)], mark);
    if (reachesStartFinish)
        QVERIFY2(gap <= 6.0, qPrintable(QStringLiteral("section ends %1 px from the start/finish").arg(gap)));
    else
        QVERIFY2(gap > 12.0, qPrintable(QStringLiteral("only %1 px from the start/finish").arg(gap)));
}

void TestResources::stretchLengthsFollowSections()
{
    // Red pixels per metre should be about the same for every section.
    std::array<double, 9> density{};
    double mean = 0;
    for (int i = 0; i < 9; ++i) {
        density[static_cast<std::size_t>(i)] = double(red[static_cast<std::size_t>(i)].size()) / SectionLength(i);
        mean += density[static_cast<std::size_t>(i)] / 9;
    }
    for (int i = 0; i < 9; ++i) {
        const double ratio = density[static_cast<std::size_t>(i)] / mean;
        QVERIFY2(ratio > 0.75 && ratio < 1.33,
                 qPrintable(QStringLiteral("section %1: %2 of the average red per metre").arg(i).arg(ratio)));
    }
}

void TestResources::waveLayout_data()
{
    QTest::addColumn<int>("number");
    for (int n = 300; n <= 308; ++n)
        QTest::addRow("sound %d", n) << n;
}

void TestResources::waveLayout()
{
    QFETCH(int, number);
    const QByteArray b = ReadResource(QStringLiteral(":/SOUND/%1.wav").arg(number));
    QVERIFY(b.size() > 64);
    QCOMPARE(b.left(4), QByteArray("RIFF"));
    QCOMPARE(qsizetype(Le32(b, 4)), b.size() - 8);
    QCOMPARE(b.mid(8, 4), QByteArray("WAVE"));

    QCOMPARE(b.mid(12, 4), QByteArray("fmt "));
    QCOMPARE(Le32(b, 16), quint32(18));
    QCOMPARE(Le16(b, 20), quint16(1));     // PCM
    QCOMPARE(Le16(b, 22), quint16(1));     // mono
    QCOMPARE(Le32(b, 24), quint32(22050)); // samples per second
    QCOMPARE(Le32(b, 28), quint32(44100)); // bytes per second
    QCOMPARE(Le16(b, 32), quint16(2));     // block align
    QCOMPARE(Le16(b, 34), quint16(16));    // bits per sample
    QCOMPARE(Le16(b, 36), quint16(0));     // cbSize

    QCOMPARE(b.mid(38, 4), QByteArray("fact"));
    QCOMPARE(Le32(b, 42), quint32(4));
    const quint32 sampleCount = Le32(b, 46);

    QCOMPARE(b.mid(50, 4), QByteArray("data"));
    const quint32 dataBytes = Le32(b, 54);
    QCOMPARE(sampleCount, dataBytes / 2);
    QCOMPARE(dataBytes % 2, quint32(0));
    // The data chunk is the last one.
    QCOMPARE(qsizetype(58 + dataBytes), b.size());

    const double seconds = sampleCount / 22050.0;
    QVERIFY2(seconds >= 1.25 && seconds <= 2.25, qPrintable(QString::number(seconds)));

    int peak = 0;
    for (quint32 i = 0; i < sampleCount; ++i)
        peak = std::max(peak, std::abs(int(qint16(Le16(b, 58 + 2 * qsizetype(i))))));
    QVERIFY2(peak > 8000, qPrintable(QStringLiteral("peak %1 is too quiet").arg(peak)));
}

void TestResources::announcementsDiffer()
{
    QSet<QByteArray> seen;
    for (int n = 300; n <= 308; ++n) {
        const QByteArray bytes = ReadResource(QStringLiteral(":/SOUND/%1.wav").arg(n));
        QVERIFY(!bytes.isEmpty());
        QVERIFY2(!seen.contains(bytes), qPrintable(QStringLiteral("%1.wav repeats another sound").arg(n)));
        seen.insert(bytes);
    }
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
