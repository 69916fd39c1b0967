// The track file as the trainer reads and writes it: the number scanners, the file test, the
// reader's keys and failures, and the bytes the writer puts on disk (which show the line model).

#include "support/TempTree.h"
#include "support/TrackText.h"
#include "track_file/FileExists.h"
#include "track_file/NumberRules.h"
#include "track_file/ReadTrackFile.h"
#include "track_file/TrackLines.h"
#include "track_file/WriteTrackFile.h"

#include <QDir>
#include <QtTest>

using namespace korsa;
using korsa::test::TempTree;
using korsa::test::TrackText;
using Lines = QList<QByteArray>;

namespace {

// A temporary folder holding track.ini with the bytes (none for null bytes), and a state naming it.
struct TrackFile {
    TempTree tree;
    SessionState state;
    explicit TrackFile(const QByteArray &bytes)
    {
        if (!bytes.isNull())
            tree.write(QStringLiteral("track.ini"), bytes);
        state.TrackFolder = tree.path();
        state.TrackFileName = QStringLiteral("track.ini");
    }
};

} // namespace

class TrackFileTest : public QObject
{
    Q_OBJECT

private slots:
    // Line indices are 16-bit: 32767 lines are read, one more is refused.
    void refusesMoreLinesThanTheIndexHolds()
    {
        const QByteArray most = QByteArray("x\r\n").repeated(MaxTrackLines);
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
        QTest::newRow("two points kept") << QByteArray("stall_0 = 1.2.3") << QByteArray("1.2.3");
        QTest::newRow("no digit") << QByteArray("stall_0 = x") << QByteArray();
        QTest::newRow("no equals: the whole line") << QByteArray("stall_0 1500") << QByteArray("0");
    }
    void numberAfterEquals()
    {
        QFETCH(QByteArray, line);
        QTEST(NumberAfterEquals(line).value_or(QByteArray()), "number");
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<float>("value"); // NaN: too large for a 32-bit float
        const float tooLarge = qQNaN();
        QTest::newRow("stops at second point") << QByteArray("1.2.3") << 1.2f;
        QTest::newRow("blanks skipped") << QByteArray(" 4 4.7 32") << 44.732f;
        QTest::newRow("sign") << QByteArray("-12.5") << -12.5f;
        QTest::newRow("comma is not a point") << QByteArray("44,732") << 44.0f;
        QTest::newRow("no number") << QByteArray("abc") << 0.0f;
        QTest::newRow("exponent") << QByteArray("1.5e3x") << 1500.0f;
        QTest::newRow("exponent without digits") << QByteArray("7e") << 7.0f;
        QTest::newRow("d exponent, as older files write it") << QByteArray("4.4732D1 miles") << 44.732f;
        QTest::newRow("beyond a float") << QByteArray("1e39") << tooLarge;
        QTest::newRow("below a double is 0") << QByteArray("0.0001e-400") << 0.0f;
        QTest::newRow("exponent at the edge of a long") << QByteArray("100e9223372036854775807") << tooLarge;
        QTest::newRow("negative exponent at the edge") << QByteArray(".001e-9223372036854775807") << 0.0f;
    }
    void leadingNumber()
    {
        QFETCH(QByteArray, text);
        QTEST(LeadingNumber(text).value_or(qQNaN()), "value");
    }

    void fileExists_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("found");   // FileExists: the last name may be a pattern
        QTest::addColumn<bool>("literal"); // EntryExists: the name taken as it is
        QTest::newRow("file") << "track.ini" << true << true;
        QTest::newRow("missing") << "nothing.ini" << false << false;
        QTest::newRow("trailing separator") << "sub/" << false << false;
        QTest::newRow("wildcard match") << "tr*.ini" << true << false;
        QTest::newRow("name with a star") << "a*b.ini" << true << true;
        QTest::newRow("dangling link is an entry") << "dangling" << true << true;
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

    // The expected state: the short name, track length, stall_0 line index, start position, the
    // original stall_0 line and its number text, and whether a marker section was found.
    void readsKeys_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArrayList>("state");
        const QByteArray sorvena = TrackText();
        QTest::newRow("marker keeps the original")
            << sorvena + "\r\n[ GRIDWELL ]\r\nstall_0 = 61.0 0.0\r\n"
            << QByteArrayList{"Sorvena", "44.732", "4", "1500", "stall_0 = 61.0 0.0", "61.0", "marker"};
        QTest::newRow("marker with a trailing blank is none")
            << sorvena + "[ GRIDWELL ] \r\nstall_0 = 5\r\n"
            << QByteArrayList{"Sorvena", "44.732", "4", "1500", "stall_0 = 1500 0.0", "1500", "none"};
        QTest::newRow("the first marker counts, also above the keys")
            << "[ GRIDWELL ]\r\nstall_0 = 3\r\n" + sorvena + "[ GRIDWELL ]\r\nstall_0 = 6\r\n"
            << QByteArrayList{"Sorvena", "44.732", "6", "1500", "stall_0 = 3", "3", "marker"};
        QTest::newRow("name and unit cut, tabs, last line unended")
            << QByteArray("track_name_short =\t  Sor\tvena  ; short name\r\ntrack_length=44.7320 mi\r\nstall_0=7")
            << QByteArrayList{"Sor vena", "44.732", "3", "7", "stall_0=7", "7", "none"};
        QTest::newRow("a key's prefix matches")
            << QByteArray("track_name_short=a\r\ntrack_length=2m\r\nstall_01 = 9\r\nstall_0 = 5")
            << QByteArrayList{"a", "2", "3", "9", "stall_01 = 9", "9", "none"};
    }
    void readsKeys()
    {
        QFETCH(QByteArray, bytes);
        TrackFile file(bytes);
        QCOMPARE(ReadTrackFile(file.state), TrackFileOutcome::Ok);
        const SessionState &s = file.state;
        QTEST((QByteArrayList{s.TrackNameShort, QByteArray::number(s.TrackLength), QByteArray::number(s.StallLineIndex),
                              QByteArray::number(s.StartPosition), s.OriginalStallLine, s.OriginalStartPosition,
                              s.NoMarkerSection ? "none" : "marker"}),
              "state");
    }

    // A failed read reports its kind and leaves the state exactly as it was.
    void failedReadsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file
        const QByteArray sorvena = TrackText();
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("key after a blank") << QByteArray(sorvena).replace("track_name", " track_name");
        QTest::newRow("key in another case") << QByteArray(sorvena).replace("track_length", "Track_Length");
        QTest::newRow("length before name") << QByteArray("track_length=2m\r\ntrack_name_short=a\r\nstall_0=1");
        QTest::newRow("no m after the length") << QByteArray(sorvena).replace(" miles", "");
        QTest::newRow("stall without digit") << TrackText("x");
        QTest::newRow("marker on the last line") << sorvena + "[ GRIDWELL ]\r\n";
        QTest::newRow("line after marker without digit") << sorvena + "[ GRIDWELL ]\r\nnone\r\n";
        QTest::newRow("line feeds only") << QByteArray(sorvena).replace("\r\n", "\n");
        QTest::newRow("stall beyond a float") << TrackText(QByteArray(45, '9'));
    }
    void failedReadsChangeNothing()
    {
        QFETCH(QByteArray, bytes);
        TrackFile file(bytes);
        file.state.TrackLines = {"kept"};
        const auto outcome = bytes.isNull() ? TrackFileOutcome::Missing : TrackFileOutcome::Unreadable;
        QCOMPARE(ReadTrackFile(file.state), outcome);
        QCOMPARE(file.state.TrackLines, Lines{"kept"});
    }

    // Lines end at CR or CR LF, a lone LF stays inside its line, bytes stay as they are; each line
    // is written back with CR LF, the marker section appended when the file had none. The backup
    // holds the bytes before, and nothing else is left in the folder.
    void writesBytes_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("written");
        const QByteArray sorvena = TrackText(), marker = "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";
        QTest::newRow("no marker: appended") << sorvena << sorvena + marker;
        QTest::newRow("last line gets a terminator") << sorvena + "end" << sorvena + "end\r\n" + marker;
        QTest::newRow("8-bit bytes and lone lf kept") << sorvena + "caf\xe9\ta\nb\r\n"
                                                      << sorvena + "caf\xe9\ta\nb\r\n" + marker;
        QTest::newRow("cr alone becomes cr lf") << QByteArray(sorvena).replace("\r\n", "\r") << sorvena + marker;
        const QByteArray large = sorvena + QByteArray("object = 1 2 3\r\n").repeated(20000); // read back in pieces
        QTest::newRow("large file") << large << large + marker;
    }
    void writesBytes()
    {
        QFETCH(QByteArray, input);
        TrackFile file(input);
        QCOMPARE(UpdateTrackFile(file.state, [](SessionState &) { return TrackFileResult(); }), TrackFileOutcome::Ok);
        QTEST(file.tree.read(QStringLiteral("track.ini")), "written");
        QCOMPARE(file.tree.read(QStringLiteral("track.ini.bak")), input);
        QCOMPARE(QDir(file.tree.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TrackFileTest)
#include "tst_track_file.moc"
