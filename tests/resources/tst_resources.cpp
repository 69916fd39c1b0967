// The embedded pictures and announcements as the program sees them: what is listed, the JPEG
// layout and sizes, the red highlight on the circuit maps, and the WAVE layout the player relies on.

#include "KorsaResources.h"
#include "presentation/CircuitGeometry.h"
#include "session/Sections.h"
#include "support/TempTree.h"

#include <QtCore/QtEndian>
#include <QtGui/QImage>
#include <QtTest/QtTest>

#include <cmath>
#include <set>

namespace {

using Pixels = std::set<std::pair<int, int>>;

const auto Be16 = [](const QByteArray &b, qsizetype i) { return qFromBigEndian<quint16>(b.data() + i); };
const auto Le16 = [](const QByteArray &b, qsizetype i) { return qFromLittleEndian<quint16>(b.data() + i); };
const auto Le32 = [](const QByteArray &b, qsizetype i) { return qFromLittleEndian<quint32>(b.data() + i); };

Pixels Select(const QImage &image, bool (*wanted)(QRgb))
{
    Pixels out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (wanted(image.pixel(x, y)))
                out.insert({x, y});
    return out;
}

bool (*const IsRed)(QRgb) = [](QRgb c) { return qRed(c) > 170 && qGreen(c) < 80 && qBlue(c) < 80; };
bool (*const IsWhite)(QRgb) = [](QRgb c) { return qRed(c) > 240 && qGreen(c) > 240 && qBlue(c) > 240; };
bool (*const IsDark)(QRgb) = [](QRgb c) { return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100; };
double Gap(const Pixels &a, const Pixels &b)
{
    double best = 1e18;
    for (const auto &[x, y] : a)
        for (const auto &[u, v] : b)
            best = std::min(best, std::hypot(x - u, y - v));
    return best;
}

// Pieces of 8-connected pixels.
int Pieces(Pixels left)
{
    int pieces = 0;
    for (; !left.empty(); ++pieces)
        for (std::vector<std::pair<int, int>> todo{*left.begin()}; !todo.empty();) {
            const auto [x, y] = todo.back();
            todo.pop_back();
            for (int d = 0; d < 9; ++d)
                if (left.erase({x + d % 3 - 1, y + d / 3 - 1}))
                    todo.push_back({x + d % 3 - 1, y + d / 3 - 1});
        }
    return pieces;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { korsa::InitResources(); }

    // An icon's shape in every size: transparent corners, opaque middle.
    void icon()
    {
        for (const auto &[name, size] :
             {std::pair{"korsa", 256}, {"korsa-16", 16}, {"korsa-32", 32}, {"korsa-64", 64}}) {
            const QImage icon(QString(":/icon/%1.png").arg(name));
            QCOMPARE(icon.size(), QSize(size, size));
            QCOMPARE(QList<int>({qAlpha(icon.pixel(0, 0)), qAlpha(icon.pixel(size / 2, size / 2))}),
                     QList<int>({0, 255}));
        }
    }

    // Baseline JFIF files of the sizes the window lays out.
    void jpegLayout_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QSize>("size");
        for (int n = 0; n < 9; ++n) {
            QTest::addRow("photo %d", 100 + n) << 100 + n << QSize(375, 250);
            QTest::addRow("map %d", 200 + n) << 200 + n << QSize(375, 577);
        }
        QTest::addRow("map 210") << 210 << QSize(375, 577);
    }
    void jpegLayout()
    {
        QFETCH(int, number);
        QFETCH(QSize, size);
        const QByteArray bytes = korsa::test::ReadFile(QStringLiteral(":/JPEG/%1.jpg").arg(number));
        QVERIFY(bytes.size() > 1000);
        QCOMPARE(bytes.left(4) + bytes.mid(6, 5), QByteArray("\xFF\xD8\xFF\xE0JFIF\0", 9)); // JFIF APP0 first
        // Baseline (SOF0), not progressive (SOF2); markers never appear inside the coded data.
        const qsizetype frame = bytes.indexOf("\xFF\xC0");
        QVERIFY(frame > 0 && !bytes.contains("\xFF\xC2"));
        QCOMPARE(QSize(Be16(bytes, frame + 7), Be16(bytes, frame + 5)), size);
        QCOMPARE(QImage::fromData(bytes, "JPEG").size(), size);
    }

    // Each section's map shows one unbroken red stretch on the road of the plain map 210, meeting the
    // previous section's, and the circuit's line, on which the window places its start marker, enters
    // it at the section's start. 0 m and a lap lie at the middle of the start line's chequer. On a map
    // stretched to twice the size the line lies twice as far out.
    void sectionMaps_data()
    {
        QTest::addColumn<int>("map");
        QTest::addColumn<double>("metres");
        korsa::SectionTable sections;
        korsa::FillSectionNames(sections);
        for (int i = 0; i < 9; ++i)
            QTest::addRow("section %d", i) << 200 + i << double(sections.SectionStarts[i]);
        QTest::newRow("0 m") << 210 << 0.0;
        QTest::newRow("a lap") << 210 << 71989.171875;
    }
    void sectionMaps()
    {
        QFETCH(int, map);
        QFETCH(double, metres);
        const auto load = [](int id) {
            return QImage(QString(":/JPEG/%1.jpg").arg(id)).convertToFormat(QImage::Format_RGB32);
        };
        const QImage image = load(map);
        const korsa::CircuitGeometry &circuit = korsa::CircuitGeometry::Sorvena();
        const QPointF at = circuit.PointAtMetres(metres, image.size());
        QCOMPARE(circuit.PointAtMetres(metres, image.size() * 2), at * 2);
        const Pixels red = Select(image, IsRed);
        if (map == 210) { // the chequer's white squares, leaving out the odd light pixel elsewhere
            QVERIFY(red.empty());
            QPointF sum;
            int count = 0;
            for (const auto &[x, y] : Select(image, IsWhite))
                if (QLineF(QPointF(x + 0.5, y + 0.5), at).length() < 8) {
                    sum += QPointF(x + 0.5, y + 0.5);
                    ++count;
                }
            QVERIFY(count > 6 && QLineF(sum / count, at).length() < 1);
            return;
        }
        QVERIFY(red.size() > 100 && Pieces(red) == 1);
        const Pixels road = Select(load(210), IsDark);
        for (const auto &pixel : red) // on the road: within 4 px of the plain map's outline
            QVERIFY2(Gap({pixel}, road) <= 4, qPrintable(QString("%1,%2").arg(pixel.first).arg(pixel.second)));
        QVERIFY(map == 200 || Gap(Select(load(map - 1), IsRed), red) <= 3);
        const QPointF ahead = circuit.HeadingAtMetres(metres, image.size());
        const auto onRed = [&](QPointF p) { return red.count({int(std::floor(p.x())), int(std::floor(p.y()))}) == 1; };
        QVERIFY(onRed(at + ahead * 2.5) && !onRed(at - ahead * 3.5));
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
        const QByteArray b = korsa::test::ReadFile(QStringLiteral(":/SOUND/%1.wav").arg(number));
        QVERIFY(b.size() > 64);
        QCOMPARE(b.left(4) + b.mid(8, 8) + b.mid(38, 4) + b.mid(50, 4), QByteArray("RIFFWAVEfmt factdata"));
        const quint32 samples = Le32(b, 46), dataBytes = Le32(b, 54);
        const QList<quint32> layout = {Le32(b, 4),  Le32(b, 16), Le16(b, 20), Le16(b, 22), Le32(b, 24), Le32(b, 28),
                                       Le16(b, 32), Le16(b, 34), Le16(b, 36), Le32(b, 42), dataBytes};
        // RIFF size, format chunk size, PCM, mono, rate, bytes a second, frame, bits, extra, fact size
        QCOMPARE(layout,
                 QList<quint32>({quint32(b.size() - 8), 18, 1, 1, 22050, 44100, 2, 16, 0, 4, quint32(b.size() - 58)}));
        QCOMPARE(dataBytes, samples * 2);
        QVERIFY2(samples >= 1.25 * 22050 && samples <= 2.25 * 22050, qPrintable(QString::number(samples)));
        int peak = 0;
        for (quint32 i = 0; i < samples; ++i)
            peak = std::max(peak, std::abs(int(qint16(Le16(b, 58 + 2 * qsizetype(i))))));
        QVERIFY2(peak > 8000, qPrintable(QStringLiteral("peak %1 is too quiet").arg(peak)));
        for (int other = 300; other < number; ++other)
            QVERIFY2(korsa::test::ReadFile(QStringLiteral(":/SOUND/%1.wav").arg(other)) != b, "repeats another sound");
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
