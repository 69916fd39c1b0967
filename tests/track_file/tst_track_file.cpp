// The track file as the trainer reads and writes it: the line model, the number scanners, the
// file test, the reader's key search and outcomes, and the writer's bytes, backup and links.

#include "support/TempTree.h"
#include "support/TrackText.h"
#include "track_file/FileExists.h"
#include "track_file/NumberRules.h"
#include "track_file/TrackFileWriter.h"
#include "track_file/TrackIniFileReader.h"
#include "track_file/TrackLines.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace korsa;
using korsa::test::TempTree;
using korsa::test::TrackText;

namespace {

const QByteArray Sorvena = "track_name_short = Sorvena ; short name\r\n"
                           "track_length = 44.732 miles\r\n"
                           "pit_boxes = 1\r\n"
                           "stall_0 = 1500 0.0\r\n"
                           "[ LIGHTING ]\r\n"
                           "sun = 1\r\n";

SessionState At(const TempTree &tree, const QString &name = QStringLiteral("track.ini"))
{
    SessionState state;
    state.TrackFolder = tree.path();
    state.TrackFileName = name;
    return state;
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
        const auto split = SplitTrackLines(bytes);
        QVERIFY(split.has_value());
        QTEST(*split, "lines");
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
        QTest::addColumn<QByteArray>("number"); // null: no number, the read fails
        QTest::newRow("plain") << QByteArray("stall_0 = 1234.5 0.0") << QByteArray("1234.5");
        QTest::newRow("sign dropped") << QByteArray("stall_0=-12.5") << QByteArray("12.5");
        QTest::newRow("slash skipped") << QByteArray("stall_0 = 1/2") << QByteArray("12");
        QTest::newRow("point before first digit") << QByteArray("stall_0 = .5") << QByteArray("5");
        QTest::newRow("two points kept") << QByteArray("stall_0 = 1.2.3") << QByteArray("1.2.3");
        QTest::newRow("digits of key before =") << QByteArray("stall_0 = x") << QByteArray();
        QTest::newRow("no equals: whole line") << QByteArray("stall_0 1500") << QByteArray("0");
        QTest::newRow("only the first equals") << QByteArray("stall_0 = a=7") << QByteArray("7");
        QTest::newRow("empty") << QByteArray("") << QByteArray();
    }
    void numberAfterEquals()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, number);
        QCOMPARE(NumberAfterEquals(line).value_or(QByteArray()), number);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value"); // NaN: too large for a 32-bit float
        const double tooLarge = qQNaN();
        QTest::newRow("whole") << QByteArray("44.732") << 44.732;
        QTest::newRow("leading zero") << QByteArray("044.732") << 44.732;
        QTest::newRow("stops at second point") << QByteArray("1.2.3") << 1.2;
        QTest::newRow("blanks skipped") << QByteArray(" 4 4.7 32") << 44.732;
        QTest::newRow("sign") << QByteArray("-12.5") << -12.5;
        QTest::newRow("exponent") << QByteArray("1.5e3x") << 1500.0;
        QTest::newRow("d exponent") << QByteArray("2D2") << 200.0;
        QTest::newRow("exponent without digits") << QByteArray("7e") << 7.0;
        QTest::newRow("no number") << QByteArray("abc") << 0.0;
        QTest::newRow("empty") << QByteArray("") << 0.0;
        QTest::newRow("lone point") << QByteArray(".") << 0.0;
        QTest::newRow("point first") << QByteArray(".5") << 0.5;
        QTest::newRow("comma is not a point") << QByteArray("44,732") << 44.0;
        QTest::newRow("largest float") << QByteArray("3.4e38") << 3.4e38;
        QTest::newRow("beyond a float") << QByteArray("1e39") << tooLarge;
        QTest::newRow("sixty nines") << QByteArray(60, '9') << tooLarge;
        QTest::newRow("beyond a double") << QByteArray("1e400") << tooLarge;
        QTest::newRow("below a double is 0") << QByteArray("0.0001e-400") << 0.0;
    }
    void leadingNumber()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        const auto number = LeadingNumber(text);
        QCOMPARE(number.has_value(), !qIsNaN(value));
        if (number)
            QCOMPARE(*number, static_cast<float>(value));
    }

    void fileExists_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("found");   // FileExists: the last name may be a pattern
        QTest::addColumn<bool>("literal"); // EntryExists: the name taken as it is
        QTest::newRow("file") << "track.ini" << true << true;
        QTest::newRow("folder") << "sub" << true << true;
        QTest::newRow("missing") << "nothing.ini" << false << false;
        QTest::newRow("trailing separator") << "sub/" << false << false;
        QTest::newRow("dot") << "sub/." << false << false;
        QTest::newRow("wildcard match") << "tr*.ini" << true << false;
        QTest::newRow("question mark") << "track.in?" << true << false;
        QTest::newRow("wildcard miss") << "x*.ini" << false << false;
        QTest::newRow("name with a star") << "a*b.ini" << true << true;
        QTest::newRow("dangling link is an entry") << "dangling" << true << true;
        QTest::newRow("file inside missing folder") << "none/track.ini" << false << false;
    }
    void fileExists()
    {
        QFETCH(QString, relative);
        TempTree tree;
        tree.write(QStringLiteral("track.ini"), "x");
        tree.write(QStringLiteral("a*b.ini"), "x");
        QDir(tree.path()).mkdir(QStringLiteral("sub"));
        QFile::link(tree.file(QStringLiteral("gone")), tree.file(QStringLiteral("dangling")));
        QTEST(FileExists(tree.file(relative)), "found");
        QTEST(EntryExists(tree.file(relative)), "literal");
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
        QTest::newRow("unit cut at first m")
            << QByteArray("track_name_short=a\r\ntrack_length = 44.7320 mi\r\nstall_0=1") << QByteArray("a") << 44.732
            << 3 << 1.0 << true << QByteArray("stall_0=1") << QByteArray("1");
        QTest::newRow("key prefix matches")
            << QByteArray("track_name_short=a\r\ntrack_length=2m\r\nstall_01 = 9\r\nstall_0 = 5") << QByteArray("a")
            << 2.0 << 3 << 9.0 << true << QByteArray("stall_01 = 9") << QByteArray("9");
        QTest::newRow("last line without terminator")
            << QByteArray("x\r\ntrack_name_short=a\r\ntrack_length=2m\r\nstall_0 = 1/2") << QByteArray("a") << 2.0
            << 4 << 12.0 << true << QByteArray("stall_0 = 1/2") << QByteArray("12");
        QTest::newRow("marker earlier than keys")
            << QByteArray("[ GRIDWELL ]\r\nstall_0 = 3\r\ntrack_name_short=a\r\ntrack_length=2m\r\nstall_0=4")
            << QByteArray("a") << 2.0 << 5 << 4.0 << false << QByteArray("stall_0 = 3") << QByteArray("3");
        QTest::newRow("only the first marker counts")
            << Sorvena + "[ GRIDWELL ]\r\nstall_0 = 5\r\n[ GRIDWELL ]\r\nstall_0 = 6\r\n" << QByteArray("Sorvena")
            << 44.732 << 4 << 1500.0 << false << QByteArray("stall_0 = 5") << QByteArray("5");
        QTest::newRow("marker with trailing blank is not one")
            << Sorvena + "[ GRIDWELL ] \r\nstall_0 = 5\r\n" << QByteArray("Sorvena") << 44.732 << 4 << 1500.0 << true
            << QByteArray("stall_0 = 1500 0.0") << QByteArray("1500");
    }
    void readsKeys()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(double, length);
        QFETCH(double, start);
        TempTree tree;
        tree.write(QStringLiteral("track.ini"), bytes);
        SessionState state = At(tree);
        QCOMPARE(ReadTrackFile(state), TrackFileOutcome::Ok);
        QTEST(state.TrackNameShort, "nameShort");
        QCOMPARE(state.TrackLength, static_cast<float>(length));
        QTEST(static_cast<int>(state.StallLineIndex), "stallIndex");
        QCOMPARE(state.StartPosition, static_cast<float>(start));
        QTEST(state.NoMarkerSection, "noMarker");
        QTEST(state.OriginalStallLine, "originalLine");
        QTEST(state.OriginalStartPosition, "originalStart");
        QCOMPARE(state.TrackLines, *SplitTrackLines(bytes));
    }

    // A failed read reports its kind and leaves the state exactly as it was.
    void failedReadsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("key with leading blank") << QByteArray(" track_name_short=a\r\ntrack_length=2m\r\nstall_0=1");
        QTest::newRow("key in other case") << QByteArray("track_name_short=a\r\nTrack_Length=2m\r\nstall_0=1");
        QTest::newRow("length before name") << QByteArray("track_length=2m\r\ntrack_name_short=a\r\nstall_0=1");
        QTest::newRow("stall before length") << QByteArray("track_name_short=a\r\nstall_0=1\r\ntrack_length=2m");
        QTest::newRow("no m after length") << QByteArray("track_name_short=a\r\ntrack_length=44.732\r\nstall_0=1");
        QTest::newRow("upper-case M only") << QByteArray("track_name_short=a\r\ntrack_length=44.732 M\r\nstall_0=1");
        QTest::newRow("stall without digit") << QByteArray("track_name_short=a\r\ntrack_length=2m\r\nstall_0=x");
        QTest::newRow("marker on last line") << Sorvena + "[ GRIDWELL ]\r\n";
        QTest::newRow("line after marker without digit") << Sorvena + "[ GRIDWELL ]\r\nnone\r\n";
        QTest::newRow("line feeds only") << QByteArray(Sorvena).replace("\r\n", "\n");
        QTest::newRow("stall beyond a float") << QByteArray(Sorvena).replace("1500", QByteArray(45, '9'));
        QTest::newRow("length beyond a float") << QByteArray(Sorvena).replace("44.732", "1e40");
        QTest::newRow("original beyond a float") << Sorvena + "[ GRIDWELL ]\r\nstall_0=" + QByteArray(45, '9');
    }
    void failedReadsChangeNothing()
    {
        QFETCH(QByteArray, bytes);
        TempTree tree;
        if (!bytes.isNull())
            tree.write(QStringLiteral("track.ini"), bytes);
        SessionState state = At(tree);
        state.TrackLines = {"kept"};
        QCOMPARE(ReadTrackFile(state), bytes.isNull() ? TrackFileOutcome::Missing : TrackFileOutcome::Unreadable);
        QCOMPARE(state.TrackLines, QList<QByteArray>{"kept"});
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
        QTest::newRow("cr alone becomes cr lf") << QByteArray(Sorvena).replace("\r\n", "\r") << Sorvena + marker;
        QTest::newRow("lone lf kept inside") << Sorvena + "a\nb\r\n" << Sorvena + "a\nb\r\n" + marker;
    }
    void writesBytes()
    {
        QFETCH(QByteArray, input);
        TempTree tree;
        tree.write(QStringLiteral("track.ini"), input);
        SessionState state = At(tree);
        QCOMPARE(ReadTrackFile(state), TrackFileOutcome::Ok);
        QCOMPARE(WriteTrackFile(state), TrackFileOutcome::Ok);
        QTEST(tree.read(QStringLiteral("track.ini")), "written");
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), input);
        // Nothing but the file and its backup: no temporary file is left behind.
        QCOMPARE(QDir(tree.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // A name that was a link when read is written through, and stays a link; a name turned into a
    // link after the read is refused, and neither file changes.
    void linksAreFollowedOnlyWhenTheyWereRead_data()
    {
        QTest::addColumn<bool>("linkWhenRead");
        QTest::newRow("link when read: written through") << true;
        QTest::newRow("made a link after the read: refused") << false;
    }
    void linksAreFollowedOnlyWhenTheyWereRead()
    {
        QFETCH(bool, linkWhenRead);
        TempTree tree;
        QDir(tree.path()).mkdir(QStringLiteral("real"));
        const QString target = tree.write(QStringLiteral("real/track.ini"), TrackText());
        const QString name = tree.file(QStringLiteral("track.ini"));
        if (linkWhenRead)
            QVERIFY(QFile::link(target, name));
        else
            tree.write(QStringLiteral("track.ini"), TrackText());
        SessionState state = At(tree);
        QCOMPARE(ReadTrackFile(state), TrackFileOutcome::Ok);
        if (!linkWhenRead)
            QVERIFY(QFile::remove(name) && QFile::link(target, name));
        state.TrackLines[state.StallLineIndex - 1] = "stall_0 = 7 0.0";

        QCOMPARE(WriteTrackFile(state), linkWhenRead ? TrackFileOutcome::Ok : TrackFileOutcome::SaveFailed);
        QCOMPARE(QFileInfo(name).symLinkTarget(), target);
        QCOMPARE(tree.read(QStringLiteral("real/track.ini")).contains("stall_0 = 7 0.0\r\n"), linkWhenRead);
        QCOMPARE(QFileInfo::exists(tree.file(QStringLiteral("track.ini.bak"))), linkWhenRead);
    }
};

QTEST_GUILESS_MAIN(TrackFileTest)
#include "tst_track_file.moc"
