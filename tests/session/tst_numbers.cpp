// The number rules behind every caption and every saved stall_0 line.

#include "session/Numbers.h"

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

    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 71989.0 << " 71989";
        QTest::newRow("one decimal") << 2.1 << " 2.1";
        QTest::newRow("below one: no zero") << 0.5 << " .5";
        QTest::newRow("zero") << 0.0 << " 0";
        QTest::newRow("negative") << -12.5 << "-12.5";
        QTest::newRow("negative below one") << -0.25 << "-.25";
        QTest::newRow("float-exact value") << 35994.5859375 << " 35994.5859375";
        QTest::newRow("15 significant digits") << 1.0 / 3.0 << " .333333333333333";
        QTest::newRow("large stays plain") << 1e20 << " 100000000000000000000";
        QTest::newRow("large rounded to 15 digits") << 123456789012345678.0 << " 123456789012346000";
        QTest::newRow("small stays plain") << 0.00012 << " .00012";
        QTest::newRow("rounding carries") << 9.9999999999999999 << " 10";
    }
    void numberText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(NumberText(value), text);
    }

    void reducesBeyondTheTrack_data()
    {
        QTest::addColumn<float>("start");
        QTest::addColumn<float>("reduced");
        const float lap = 71989.171875f;
        QTest::newRow("inside") << 1500.0f << 1500.0f;
        QTest::newRow("equal stays") << lap << lap;
        QTest::newRow("just beyond") << 72000.0f << 11.0f;
        QTest::newRow("two laps and a bit") << 143990.0f << 12.0f;
        QTest::newRow("far beyond a 32-bit integer") << 3.0e10f << static_cast<float>(std::fmod(static_cast<double>(3.0e10f), 71989.0));
    }
    void reducesBeyondTheTrack()
    {
        QFETCH(float, start);
        QTEST(ReduceBeyondTrack(start, 71989.171875f), "reduced");
    }

    void scrollValue_data()
    {
        QTest::addColumn<float>("perMille");
        QTest::addColumn<int>("value");
        QTest::newRow("zero") << 0.0f << 0;
        QTest::newRow("half to even down") << 0.5f << 0;
        QTest::newRow("half to even up") << 1.5f << 2;
        QTest::newRow("full lap") << 1000.0f << 1000;
        QTest::newRow("beyond the bar") << 1000.6f << 1000;
        QTest::newRow("far beyond") << 5.0e6f << 1000;
    }
    void scrollValue()
    {
        QFETCH(float, perMille);
        QTEST(ScrollValueOf(perMille), "value");
    }

    void savedLine_data()
    {
        QTest::addColumn<float>("start");
        QTest::addColumn<QByteArray>("metres");
        QTest::newRow("1500") << 1500.0f << QByteArray("1500");
        QTest::newRow("fraction dropped, not rounded") << 35994.6f << QByteArray("35994");
        QTest::newRow("scroll value 500") << 35994.5859375f << QByteArray("35994");
        QTest::newRow("half metre") << 0.5f << QByteArray("0");
        QTest::newRow("seven digits round first") << 12345.999f << QByteArray("12346");
        QTest::newRow("zero") << 0.0f << QByteArray("0");
        QTest::newRow("ten million: no exponent") << 1.0e7f << QByteArray("10000000");
        QTest::newRow("eight digits") << 12345678.0f << QByteArray("12345680");
        QTest::newRow("huge") << 3.0e20f << QByteArray("300000000000000000000");
    }
    void savedLine()
    {
        QFETCH(float, start);
        QFETCH(QByteArray, metres);
        QCOMPARE(SavedStallLine(start), "stall_0 = " + metres + " 0.0\t\t; Modified by Korsa Gridwell");
    }
};

QTEST_GUILESS_MAIN(NumbersTest)
#include "tst_numbers.moc"
