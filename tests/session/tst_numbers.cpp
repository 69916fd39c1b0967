// The number rules behind every caption, the scroll bar's value and every saved stall_0 line.

#include "session/Numbers.h"
#include "session/Sections.h"
#include "session/TypedStart.h"

#include <QtTest>

#include <clocale>

using namespace korsa;

class NumbersTest : public QObject
{
    Q_OBJECT

private slots:
    // The locale runs of the suite are only worth something when the locale is really in force.
    void theRequestedLocaleIsInForce()
    {
        const QByteArray wanted = qgetenv("LC_ALL");
        if (wanted.isEmpty())
            QSKIP("no locale requested");
        QCOMPARE(QByteArray(std::setlocale(LC_NUMERIC, nullptr)), wanted);
    }

    // A start position on the accepted track as the captions and the bar show it.
    void positionOnTheTrack_data()
    {
        QTest::addColumn<float>("start");
        QTest::addColumn<QString>("shown"); // as in a caption: metres, then percent
        QTest::addColumn<int>("scroll");
        QTest::newRow("1500 m") << 1500.0f << " 1500 Meters Or  2.1" << 21;
        QTest::newRow("61 m") << 61.0f << " 61 Meters Or  .1" << 1;
        QTest::newRow("start line") << 0.0f << " 0 Meters Or  0" << 0;
        QTest::newRow("section 1") << 12200.0f << " 12200 Meters Or  16.9" << 169;
        QTest::newRow("bar at 500") << 35994.5859375f << " 35995 Meters Or  50" << 500;
        QTest::newRow("one lap stays") << 71989.171875f << " 71989 Meters Or  100" << 1000;
        QTest::newRow("72000 m: round the lap") << 72000.0f << " 11 Meters Or  0" << 0;
        QTest::newRow("beyond a 32-bit integer") << 3.0e10f << " 25054 Meters Or  34.8" << 348;
    }
    void positionOnTheTrack()
    {
        QFETCH(float, start);
        const float lap = TrackLengthInMetres(AcceptedTrackLength);
        QCOMPARE(lap, 71989.171875f);
        const float shown = ReduceBeyondTrack(start, lap);
        const float perMille = PerMilleOf(shown, lap);
        QTEST(NumberText(CaptionMetres(shown)) + " Meters Or " + NumberText(CaptionPercent(perMille)), "shown");
        QTEST(ScrollValueOf(perMille), "scroll");
    }

    // Fifteen significant digits, no zero before the point, a blank where a negative has its sign.
    void numberText()
    {
        QCOMPARE(NumberText(-12.5), "-12.5");
        QCOMPARE(NumberText(1.0 / 3.0), " .333333333333333");
    }

    // A value the program sets on the bar: a half goes to the even neighbour, never past the end.
    void scrollValueRoundsHalfToEven()
    {
        QCOMPARE(ScrollValueOf(0.5f), 0);
        QCOMPARE(ScrollValueOf(1.5f), 2);
        QCOMPARE(ScrollValueOf(1250.19f), 1000);
    }

    // Seven significant digits, then the fraction cut off; never an exponent.
    void savedLine_data()
    {
        QTest::addColumn<float>("start");
        QTest::addColumn<QByteArray>("metres");
        QTest::newRow("1500") << 1500.0f << QByteArray("1500");
        QTest::newRow("fraction cut, not rounded") << 35994.6f << QByteArray("35994");
        QTest::newRow("seven digits round first") << 12345.999f << QByteArray("12346");
        QTest::newRow("half metre") << 0.5f << QByteArray("0");
        QTest::newRow("huge") << 3.0e20f << QByteArray("300000000000000000000");
    }
    void savedLine()
    {
        QFETCH(float, start);
        QFETCH(QByteArray, metres);
        QCOMPARE(SavedStallLine(start), "stall_0 = " + metres + " 0.0\t\t; Modified by Korsa Gridwell");
    }

    // A start as the user types it: metres, kilometres or percent, "." the point in every language
    // and digits of any script; anything else, or a start off the lap, is refused with the reason.
    // The section whose stretch holds it runs to the next one's start, the last on over the line.
    void typedStart_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<float>("metres"); // -1: refused
        QTest::addColumn<int>("section");
        QTest::addColumn<QString>("problem");
        const float lap = TrackLengthInMetres(AcceptedTrackLength);
        const QString notNumber = "That is not a number (",
                      offLap = "The start must lie within the lap: 0 to 71989 m, or 0 to 100 %.";
        QTest::newRow("the line, blanks around") << " 0 m " << 0.0f << 8 << "";
        QTest::newRow("just before the first") << "6049.99" << 6049.99f << 8 << "";
        QTest::newRow("the first's start in km") << "6.05 km" << 6050.0f << 0 << "";
        QTest::newRow("just before the second") << "12199.99 m" << 12199.99f << 0 << "";
        QTest::newRow("percent: the bar's 171") << "17.1 %" << StartPositionOfPerMille(171, lap) << 1 << "";
        QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("١٢٣٤٥.٥ m") << 12345.5f << 1 << "";
        QTest::newRow("a whole lap") << "100 %" << lap << 8 << "";
        QTest::newRow("empty") << "" << -1.0f << -1 << "Type a start position.";
        QTest::newRow("decimal comma") << "12,345" << -1.0f << -1 << notNumber;
        QTest::newRow("past the lap") << "71989.2" << -1.0f << -1 << offLap;
        QTest::newRow("negative") << "-5 m" << -1.0f << -1 << offLap;
        QTest::newRow("past a double") << QString(400, '9') << -1.0f << -1 << offLap;
    }
    void typedStart()
    {
        QFETCH(QString, typed);
        QFETCH(float, metres);
        const float lap = TrackLengthInMetres(AcceptedTrackLength);
        const TypedStart read = ReadTypedStart(typed, lap);
        QCOMPARE(read.metres.value_or(-1.0f), metres);
        QFETCH(QString, problem);
        QVERIFY2(problem.isEmpty() ? read.problem.isEmpty() : read.problem.startsWith(problem),
                 qPrintable(read.problem));
        SectionTable table;
        FillSectionNames(table);
        QTEST(read.metres ? SectionAt(table, metres, lap).value_or(-2) : -1, "section");
    }
};

QTEST_GUILESS_MAIN(NumbersTest)
#include "tst_numbers.moc"
