// The track file as the trainer reads and writes it: the line model, the number scanners, the
// reader's key search and the writer's bytes.

#include "support/TempTree.h"
#include "support/TestPlatform.h"
#include "track_file/TrackIniFileReader.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cmath>

using namespace korsa;
using korsa::test::TempTree;
using korsa::test::Terminated;
using korsa::test::TestPlatform;

namespace {

const QByteArray Sorvena = "track_name_short = Sorvena ; short name\r\n"
                           "track_length = 44.732 miles\r\n"
                           "pit_boxes = 1\r\n"
                           "stall_0 = 1500 0.0\r\n"
                           "[ LIGHTING ]\r\n"
                           "sun = 1\r\n";

struct ReadOutcome {
    bool terminated = false;
    int status = 0;
    SessionState state;
    QList<TestPlatform::Message> messages;
};

ReadOutcome ReadBytes(const QByteArray &bytes)
{
    TempTree tree;
    tree.write(QStringLiteral("track.ini"), bytes);
    TestPlatform platform;
    ReadOutcome outcome;
    outcome.state.TrackFolder = tree.path();
    outcome.state.TrackFileName = QStringLiteral("track.ini");
    try {
        ReadTrackFile(outcome.state, platform);
    } catch (const Terminated &t) {
        outcome.terminated = true;
        outcome.status = t.status;
    }
    outcome.messages = platform.messages;
    return outcome;
}

} // namespace

class TrackFileTest : public QObject
{
    Q_OBJECT

private slots:
    void splitsLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QByteArray>>("lines");
        using L = QList<QByteArray>;
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << L{"a", "b"};
        QTest::newRow("cr alone ends a line") << QByteArray("a\rb\r") << L{"a", "b"};
        QTest::newRow("lf alone stays inside") << QByteArray("a\nb\r\nc") << L{"a\nb", "c"};
        QTest::newRow("last line without terminator") << QByteArray("a\r\nb") << L{"a", "b"};
        QTest::newRow("empty lines count") << QByteArray("\r\n\r\nx\r\n") << L{"", "", "x"};
        QTest::newRow("cr cr lf") << QByteArray("a\r\r\nb") << L{"a", "", "b"};
        QTest::newRow("empty file") << QByteArray() << L{};
        QTest::newRow("8-bit bytes kept") << QByteArray("caf\xe9\t\x01\r\n") << L{"caf\xe9\t\x01"};
    }
    void splitsLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QByteArray>, lines);
        const auto split = SplitTrackLines(bytes);
        QVERIFY(split.has_value());
        QCOMPARE(*split, lines);
    }

    void refusesMoreLinesThanTheIndexHolds()
    {
        QByteArray most;
        for (int i = 0; i < MaxTrackLines; ++i)
            most += "x\r\n";
        QCOMPARE(SplitTrackLines(most)->size(), MaxTrackLines);
        QVERIFY(!SplitTrackLines(most + "x").has_value());
        QVERIFY(!SplitTrackLines(most + "\r").has_value());
    }

    void numberAfterEquals_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("number");
        QTest::addColumn<bool>("found");
        QTest::newRow("plain") << QByteArray("stall_0 = 1234.5 0.0") << QByteArray("1234.5") << true;
        QTest::newRow("sign dropped") << QByteArray("stall_0=-12.5") << QByteArray("12.5") << true;
        QTest::newRow("slash skipped") << QByteArray("stall_0 = 1/2") << QByteArray("12") << true;
        QTest::newRow("point before first digit") << QByteArray("stall_0 = .5") << QByteArray("5") << true;
        QTest::newRow("two points kept") << QByteArray("stall_0 = 1.2.3") << QByteArray("1.2.3") << true;
        QTest::newRow("digits of key before =") << QByteArray("stall_0 = x") << QByteArray() << false;
        QTest::newRow("no equals: whole line") << QByteArray("stall_0 1500") << QByteArray("0") << true;
        QTest::newRow("only the first equals") << QByteArray("stall_0 = a=7") << QByteArray("7") << true;
        QTest::newRow("empty") << QByteArray("") << QByteArray() << false;
    }
    void numberAfterEquals()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, number);
        QFETCH(bool, found);
        const auto result = NumberAfterEquals(line);
        QCOMPARE(result.has_value(), found);
        if (found)
            QCOMPARE(*result, number);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("whole") << QByteArray("44.732") << 44.732;
        QTest::newRow("leading zero") << QByteArray("044.732") << 44.732;
        QTest::newRow("stops at second point") << QByteArray("1.2.3") << 1.2;
        QTest::newRow("blanks skipped") << QByteArray(" 4 4.7 32") << 44.732;
        QTest::newRow("sign") << QByteArray("-12.5") << -12.5;
        QTest::newRow("exponent") << QByteArray("1.5e3x") << 1500.0;
        QTest::newRow("exponent without digits") << QByteArray("7e") << 7.0;
        QTest::newRow("no number") << QByteArray("abc") << 0.0;
        QTest::newRow("empty") << QByteArray("") << 0.0;
        QTest::newRow("lone point") << QByteArray(".") << 0.0;
        QTest::newRow("point first") << QByteArray(".5") << 0.5;
        QTest::newRow("comma is not a point") << QByteArray("44,732") << 44.0;
    }
    void leadingNumber()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        const auto number = LeadingNumber(text);
        QVERIFY(number.has_value());
        QCOMPARE(*number, static_cast<float>(value));
    }

    void leadingNumberBeyondAFloat()
    {
        QVERIFY(!LeadingNumber("1e39").has_value());
        QVERIFY(!LeadingNumber(QByteArray(60, '9')).has_value());
        QVERIFY(LeadingNumber("3.4e38").has_value());
    }

    void fileExists_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("exists");
        QTest::newRow("file") << "track.ini" << true;
        QTest::newRow("folder") << "sub" << true;
        QTest::newRow("missing") << "nothing.ini" << false;
        QTest::newRow("trailing separator") << "sub/" << false;
        QTest::newRow("wildcard match") << "tr*.ini" << true;
        QTest::newRow("question mark") << "track.in?" << true;
        QTest::newRow("wildcard miss") << "x*.ini" << false;
        QTest::newRow("dangling link is an entry") << "dangling" << true;
        QTest::newRow("file inside missing folder") << "none/track.ini" << false;
    }
    void fileExists()
    {
        QFETCH(QString, relative);
        QFETCH(bool, exists);
        TempTree tree;
        tree.write(QStringLiteral("track.ini"), "x");
        QDir(tree.path()).mkdir(QStringLiteral("sub"));
        QFile::link(tree.file(QStringLiteral("gone")), tree.file(QStringLiteral("dangling")));
        QCOMPARE(FileExists(tree.path() + QLatin1Char('/') + relative), exists);
    }

    void entryExistsTakesNamesLiterally_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("exists");
        QTest::newRow("file") << "track.ini" << true;
        QTest::newRow("pattern is no name") << "tr*.ini" << false;
        QTest::newRow("name with a star") << "a*b.ini" << true;
        QTest::newRow("trailing separator") << "sub/" << false;
        QTest::newRow("dot") << "sub/." << false;
    }
    void entryExistsTakesNamesLiterally()
    {
        QFETCH(QString, relative);
        TempTree tree;
        tree.write(QStringLiteral("track.ini"), "x");
        tree.write(QStringLiteral("a*b.ini"), "x");
        QDir(tree.path()).mkdir(QStringLiteral("sub"));
        QTEST(EntryExists(tree.path() + QLatin1Char('/') + relative), "exists");
    }

    void fileExistsNeverFindsRootOrEmpty()
    {
        QVERIFY(!FileExists(QString()));
        QVERIFY(!FileExists(QStringLiteral("/")));
        QVERIFY(FileExists(QStringLiteral("/tmp")));
    }

    void readsKeys_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("nameShort");
        QTest::addColumn<double>("length");
        QTest::addColumn<int>("stallIndex");
        QTest::addColumn<double>("start");
        QTest::addColumn<bool>("noMarker");
        QTest::addColumn<QByteArray>("originalLine");
        QTest::addColumn<QByteArray>("originalStart");

        QTest::newRow("plain file") << Sorvena << QByteArray("Sorvena") << 44.732 << 4 << 1500.0 << true
                                    << QByteArray("stall_0 = 1500 0.0") << QByteArray("1500");
        QTest::newRow("marker keeps the original")
            << QByteArray(Sorvena).replace("1500", "1500 0.0\r\n\r\n[ GRIDWELL ]\r\nstall_0 = 61.0")
            << QByteArray("Sorvena") << 44.732 << 4 << 1500.0 << false << QByteArray("stall_0 = 61.0 0.0")
            << QByteArray("61.0");
        QTest::newRow("tabs and blanks in the name")
            << QByteArray("track_name_short =\t  Sor\tvena  ;x\r\ntrack_length=44.732m\r\nstall_0=7")
            << QByteArray("Sor vena") << 44.732 << 3 << 7.0 << true << QByteArray("stall_0=7") << QByteArray("7");
        QTest::newRow("no semicolon, tab kept as blank")
            << QByteArray("track_name_short=\tA\r\ntrack_length=1 m\r\nstall_0=2") << QByteArray("A") << 1.0 << 3
            << 2.0 << true << QByteArray("stall_0=2") << QByteArray("2");
        QTest::newRow("unit cut at first m") << QByteArray("track_name_short=a\r\ntrack_length = 44.7320 mi\r\nstall_0=1")
                                             << QByteArray("a") << 44.732 << 3 << 1.0 << true << QByteArray("stall_0=1")
                                             << QByteArray("1");
        QTest::newRow("key prefix matches")
            << QByteArray("track_name_short=a\r\ntrack_length=2m\r\nstall_01 = 9\r\nstall_0 = 5")
            << QByteArray("a") << 2.0 << 3 << 9.0 << true << QByteArray("stall_01 = 9") << QByteArray("9");
        QTest::newRow("last line without terminator")
            << QByteArray("x\r\ntrack_name_short=a\r\ntrack_length=2m\r\nstall_0 = 1/2") << QByteArray("a") << 2.0
            << 4 << 12.0 << true << QByteArray("stall_0 = 1/2") << QByteArray("12");
        QTest::newRow("marker earlier than keys")
            << QByteArray("[ GRIDWELL ]\r\nstall_0 = 3\r\ntrack_name_short=a\r\ntrack_length=2m\r\nstall_0=4")
            << QByteArray("a") << 2.0 << 5 << 4.0 << false << QByteArray("stall_0 = 3") << QByteArray("3");
        QTest::newRow("only the first marker counts")
            << QByteArray(Sorvena) + "[ GRIDWELL ]\r\nstall_0 = 5\r\n[ GRIDWELL ]\r\nstall_0 = 6\r\n"
            << QByteArray("Sorvena") << 44.732 << 4 << 1500.0 << false << QByteArray("stall_0 = 5")
            << QByteArray("5");
        QTest::newRow("marker with trailing blank is not one") << QByteArray(Sorvena) + "[ GRIDWELL ] \r\nstall_0 = 5\r\n"
                                                               << QByteArray("Sorvena") << 44.732 << 4 << 1500.0
                                                               << true << QByteArray("stall_0 = 1500 0.0")
                                                               << QByteArray("1500");
    }
    void readsKeys()
    {
        QFETCH(QByteArray, bytes);
        const ReadOutcome read = ReadBytes(bytes);
        QVERIFY(!read.terminated);
        QVERIFY(read.messages.isEmpty());
        QTEST(read.state.TrackNameShort, "nameShort");
        QFETCH(double, length);
        QCOMPARE(read.state.TrackLength, static_cast<float>(length));
        QTEST(static_cast<int>(read.state.StallLineIndex), "stallIndex");
        QFETCH(double, start);
        QCOMPARE(read.state.StartPosition, static_cast<float>(start));
        QTEST(read.state.NoMarkerSection, "noMarker");
        QTEST(read.state.OriginalStallLine, "originalLine");
        QTEST(read.state.OriginalStartPosition, "originalStart");
        QCOMPARE(read.state.TrackLines, *SplitTrackLines(bytes));
    }

    void unreadableFilesEndTheProgram_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("key with leading blank") << QByteArray(" track_name_short=a\r\ntrack_length=2m\r\nstall_0=1");
        QTest::newRow("key in other case") << QByteArray("track_name_short=a\r\nTrack_Length=2m\r\nstall_0=1");
        QTest::newRow("length before name") << QByteArray("track_length=2m\r\ntrack_name_short=a\r\nstall_0=1");
        QTest::newRow("stall before length") << QByteArray("track_name_short=a\r\nstall_0=1\r\ntrack_length=2m");
        QTest::newRow("no m after length") << QByteArray("track_name_short=a\r\ntrack_length=44.732\r\nstall_0=1");
        QTest::newRow("upper-case M only") << QByteArray("track_name_short=a\r\ntrack_length=44.732 M\r\nstall_0=1");
        QTest::newRow("stall without digit") << QByteArray("track_name_short=a\r\ntrack_length=2m\r\nstall_0=x");
        QTest::newRow("marker on last line") << QByteArray(Sorvena) + "[ GRIDWELL ]\r\n";
        QTest::newRow("line after marker without digit") << QByteArray(Sorvena) + "[ GRIDWELL ]\r\nnone\r\n";
        QTest::newRow("line feeds only") << QByteArray(Sorvena).replace("\r\n", "\n");
        QTest::newRow("stall beyond a float") << QByteArray(Sorvena).replace("1500", QByteArray(45, '9'));
        QTest::newRow("length beyond a float") << QByteArray(Sorvena).replace("44.732", "1e40");
        QTest::newRow("original beyond a float") << QByteArray(Sorvena) + "[ GRIDWELL ]\r\nstall_0=" + QByteArray(45, '9');
    }
    void unreadableFilesEndTheProgram()
    {
        QFETCH(QByteArray, bytes);
        const ReadOutcome read = ReadBytes(bytes);
        QVERIFY(read.terminated);
        QCOMPARE(read.status, exit_status::TrackFileUnreadable);
        QCOMPARE(read.messages.size(), 1);
        QCOMPARE(read.messages[0].text, messages::FileReadText);
        QCOMPARE(read.messages[0].caption, QStringLiteral("File Read Error"));
    }

    void tooManyLinesIsUnreadable()
    {
        QByteArray bytes = Sorvena;
        while (bytes.count('\r') <= MaxTrackLines)
            bytes += "; filler\r\n";
        QVERIFY(ReadBytes(bytes).terminated);
    }

    void missingFileLeavesStateAlone()
    {
        TempTree tree;
        TestPlatform platform;
        SessionState state;
        state.TrackFolder = tree.path();
        state.TrackFileName = QStringLiteral("track.ini");
        state.TrackLength = 44.732f;
        state.TrackLines = {"kept"};
        state.StartPosition = 12.0f;
        QVERIFY(!ReadTrackFile(state, platform));
        QCOMPARE(platform.messages.size(), 1);
        QCOMPARE(platform.messages[0].text, QStringLiteral("Could not find the Track.ini File"));
        QCOMPARE(platform.messages[0].caption, QStringLiteral("File Location Error"));
        QCOMPARE(state.TrackLines, QList<QByteArray>{"kept"});
        QCOMPARE(state.TrackLength, 44.732f);
        QCOMPARE(state.StartPosition, 12.0f);
    }

    void writesBytes_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("written");
        const QByteArray marker = "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";
        QTest::newRow("no marker: appended") << Sorvena << Sorvena + marker;
        QTest::newRow("marker read back: nothing appended")
            << Sorvena + "\r\n[ GRIDWELL ]\r\nstall_0 = 61\r\n" << Sorvena + "\r\n[ GRIDWELL ]\r\nstall_0 = 61\r\n";
        QTest::newRow("last line gets a terminator") << Sorvena + "end" << Sorvena + "end\r\n" + marker;
        QTest::newRow("cr alone becomes cr lf")
            << QByteArray(Sorvena).replace("\r\n", "\r") << Sorvena + marker;
        QTest::newRow("lone lf kept inside")
            << Sorvena + "a\nb\r\n" << Sorvena + "a\nb\r\n" + marker;
    }
    void writesBytes()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, written);
        TempTree tree;
        tree.write(QStringLiteral("track.ini"), input);
        TestPlatform platform;
        SessionState state;
        state.TrackFolder = tree.path();
        state.TrackFileName = QStringLiteral("track.ini");
        QVERIFY(ReadTrackFile(state, platform));
        WriteTrackFile(state, platform);
        QCOMPARE(tree.read(QStringLiteral("track.ini")), written);
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), input);
        QVERIFY(platform.messages.isEmpty());
    }

    void backupIsMadeOnceAndMarkerOnlyOnce()
    {
        TempTree tree;
        tree.write(QStringLiteral("track.ini"), Sorvena);
        TestPlatform platform;
        SessionState state;
        state.TrackFolder = tree.path();
        state.TrackFileName = QStringLiteral("track.ini");
        QVERIFY(ReadTrackFile(state, platform));
        state.TrackLines[state.StallLineIndex - 1] = "stall_0 = 7 0.0";
        WriteTrackFile(state, platform);
        state.TrackLines[state.StallLineIndex - 1] = "stall_0 = 8 0.0";
        WriteTrackFile(state, platform);
        const QByteArray onDisk = tree.read(QStringLiteral("track.ini"));
        QCOMPARE(onDisk.count("[ GRIDWELL ]"), 1);
        QVERIFY(onDisk.contains("stall_0 = 8 0.0\r\n"));
        QVERIFY(onDisk.endsWith("[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n"));
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), Sorvena);

        // The next run reads the marker back and appends nothing more.
        SessionState again = state;
        QVERIFY(ReadTrackFile(again, platform));
        QVERIFY(!again.NoMarkerSection);
        QCOMPARE(again.OriginalStallLine, QByteArray("stall_0 = 1500 0.0"));
        WriteTrackFile(again, platform);
        QCOMPARE(tree.read(QStringLiteral("track.ini")), onDisk);
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), Sorvena);
    }
};

QTEST_GUILESS_MAIN(TrackFileTest)
#include "tst_track_file.moc"
