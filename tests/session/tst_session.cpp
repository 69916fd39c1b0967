// Choosing a track file, the section clicks, the scroll bar, Save and Revert, as the session
// logic shows them and as they land on disk, also when another program changed the file.

#include "RecordingView.h"
#include "support/TempTree.h"
#include "support/TrackText.h"
#include "track_file/TrackFileOutcome.h"

#include <QDir>
#include <QtTest>

using namespace korsa;
using korsa::test::RecordingView;
using korsa::test::TempTree;
using korsa::test::TrackText;

namespace {

const QByteArray Marker = "\r\n[ GRIDWELL ]\r\n";
QByteArray Modified(const QByteArray &metres)
{
    return "stall_0 = " + metres + " 0.0\t\t; Modified by Korsa Gridwell";
}
// The file with its stall_0 line replaced and, when it had none, the marker section appended.
QByteArray Saved(const QByteArray &file, const QByteArray &line, const QByteArray &oldLine = "stall_0 = 1500 0.0")
{
    QByteArray saved = QByteArray(file).replace(oldLine, line);
    return file.contains("[ GRIDWELL ]") ? saved : saved + Marker + oldLine + "\r\n";
}

// A session on a temporary folder with the window's behaviour around it.
struct Fixture {
    TempTree tree;
    RecordingView view;
    SessionState state;
    SettingsFile settings{tree.file(QStringLiteral("program"))};
    StartPositionSession session{state, view, &settings};

    Fixture()
    {
        QDir(tree.path()).mkdir(QStringLiteral("program"));
        view.onScrollChange = [this](int v) { session.ScrollChange(v); };
    }
    // Puts the bytes under the name (none for null bytes) and chooses it as the finder would.
    TrackFileOutcome Choose(const QString &name, const QByteArray &bytes = TrackText())
    {
        if (!bytes.isNull())
            tree.write(name, bytes);
        state.TrackFolder = tree.path();
        state.TrackFileName = name;
        return session.AcceptChosenTrack();
    }
    QByteArray Settings() const { return tree.read(QStringLiteral("program/Korsa Gridwell.ini")); }
    QByteArray Track() const { return tree.read(QStringLiteral("track.ini")); }
};

} // namespace

class SessionTest : public QObject
{
    Q_OBJECT

private slots:
    void selectionShowsThePosition_data()
    {
        QTest::addColumn<QByteArray>("stall");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("scroll");
        QTest::addColumn<float>("start");
        const QString caption = QStringLiteral("The Start Position Is  %1 Meters Or  %2 Percent Beyond The Start Line.");
        QTest::newRow("1500") << QByteArray("1500 0.0") << caption.arg("1500", "2.1") << 21 << 1500.0f;
        QTest::newRow("0") << QByteArray("0 0.0") << caption.arg("0", "0") << 0 << 0.0f;
        QTest::newRow("61") << QByteArray("61.0 0.0") << caption.arg("61", ".1") << 1 << 61.0f;
        QTest::newRow("beyond the lap") << QByteArray("72000 0.0") << caption.arg("11", "0") << 0 << 11.0f;
        QTest::newRow("exactly the lap") << QByteArray("71989.171875") << caption.arg("71989", "100") << 1000
                                         << 71989.171875f;
    }
    void selectionShowsThePosition()
    {
        QFETCH(QByteArray, stall);
        Fixture f;
        f.view.scrollValue = -1; // the bar is somewhere else before
        QCOMPARE(f.Choose(QStringLiteral("track.ini"), TrackText(stall)), TrackFileOutcome::Ok);
        QCOMPARE(f.view.label1, QStringLiteral("The Sorvena Track Length Is  71989 Meters Long."));
        QTEST(f.view.label2, "caption");
        QTEST(f.view.scrollValue, "scroll");
        QTEST(f.session.AcceptedTrack().StartPosition, "start");
        QVERIFY(f.view.enabled);
        QCOMPARE(f.view.plainMaps, 1);
        QCOMPARE(f.Settings(), QFile::encodeName(f.tree.path()) + "\r\n");
        // The file itself is untouched until Save.
        QCOMPARE(f.Track(), TrackText(stall));
    }

    // A choice that fails changes nothing: not what is shown, not the settings, and Save and Revert
    // still act on the file accepted before, if any.
    void failedChoicesChangeNothing_data()
    {
        QTest::addColumn<QString>("name");     // empty: the finder was cancelled
        QTest::addColumn<QByteArray>("bytes"); // null: no such file
        QTest::addColumn<TrackFileOutcome>("outcome");
        QTest::addColumn<bool>("acceptedBefore");
        const QString other = QStringLiteral("other.ini");
        for (const bool before : {false, true}) {
            QTest::addRow("44.73, %d", before) << other << TrackText("99", "44.73") << TrackFileOutcome::NotSorvena << before;
            QTest::addRow("44.7321, %d", before) << other << TrackText("99", "44.7321") << TrackFileOutcome::NotSorvena << before;
            QTest::addRow("no track file, %d", before) << other << QByteArray("[ SURFACE ]\r\ngrip = 1\r\n")
                                                       << TrackFileOutcome::Unreadable << before;
            QTest::addRow("vanished, %d", before) << other << QByteArray() << TrackFileOutcome::Missing << before;
            QTest::addRow("cancelled, %d", before) << QString() << QByteArray() << TrackFileOutcome::Cancelled << before;
        }
    }
    void failedChoicesChangeNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, acceptedBefore);
        Fixture f;
        if (acceptedBefore) {
            QCOMPARE(f.Choose(QStringLiteral("track.ini")), TrackFileOutcome::Ok);
            f.session.SectionClick(2);
        }
        const RecordingView before = f.view;
        const QByteArray settings = f.Settings();
        QTEST(f.Choose(name, bytes), "outcome");
        QCOMPARE(f.view.label1, before.label1);
        QCOMPARE(f.view.label2, before.label2);
        QCOMPARE(f.view.scrollValue, before.scrollValue);
        QCOMPARE(f.view.enabled, before.enabled);
        QCOMPARE(f.Settings(), settings);
        if (!acceptedBefore)
            return;
        QCOMPARE(f.session.Save(), TrackFileOutcome::Ok);
        QCOMPARE(f.Track(), Saved(TrackText(), Modified("17200")));
        QCOMPARE(f.tree.read(name), bytes);
        QVERIFY(!QFile::exists(f.tree.file(name + QStringLiteral(".bak"))));
    }

    // Every user's move takes effect, also onto the value the handler last acted on; the program's
    // own settings of the bar are no moves.
    void everyUserMoveTakesEffect()
    {
        Fixture f;
        f.Choose(QStringLiteral("track.ini"));
        QCOMPARE(f.view.scrollValue, 21);
        f.view.UserMovesBar(0);
        QCOMPARE(f.session.AcceptedTrack().StartPosition, 0.0f);
        QCOMPARE(f.view.label2, QStringLiteral("This Start Position Is  0 Meters Or  0 Percent Beyond The Start Line."));

        f.view.UserMovesBar(500);
        f.session.SectionClick(1);
        QVERIFY(f.view.label2.startsWith(QStringLiteral("The Dunes Start Position Is  12200")));
        f.view.UserMovesBar(500);
        QCOMPARE(f.session.AcceptedTrack().StartPosition, 35994.5859375f);
        QVERIFY(f.view.label2.startsWith(QStringLiteral("This Start Position Is  35995")));

        f.session.Revert();
        f.view.UserMovesBar(500);
        QVERIFY(f.view.label2.startsWith(QStringLiteral("This Start Position Is  35995")));
    }

    void saveWritesTheLine_data()
    {
        QTest::addColumn<int>("section"); // -1: none clicked
        QTest::addColumn<int>("bar");     // -1: not moved
        QTest::addColumn<QByteArray>("metres");
        QTest::newRow("unchanged position") << -1 << -1 << QByteArray("1500");
        QTest::newRow("section 8") << 8 << -1 << QByteArray("66270");
        QTest::newRow("bar 500 cut, not rounded") << -1 << 500 << QByteArray("35994");
    }
    void saveWritesTheLine()
    {
        QFETCH(int, section);
        QFETCH(int, bar);
        QFETCH(QByteArray, metres);
        Fixture f;
        f.Choose(QStringLiteral("track.ini"));
        if (section >= 0)
            f.session.SectionClick(section);
        if (bar >= 0)
            f.view.UserMovesBar(bar);
        const QString before = f.view.label2;
        QCOMPARE(f.session.Save(), TrackFileOutcome::Ok);
        const QByteArray expected = Saved(TrackText(), Modified(metres));
        QCOMPARE(f.Track(), expected);
        QCOMPARE(f.tree.read(QStringLiteral("track.ini.bak")), TrackText());
        QCOMPARE(f.view.label2, before);
        // Saving again gives the same bytes, with one marker section, and keeps the first backup.
        QCOMPARE(f.session.Save(), TrackFileOutcome::Ok);
        QCOMPARE(f.Track(), expected);
        QCOMPARE(f.tree.read(QStringLiteral("track.ini.bak")), TrackText());
    }

    void revertPutsTheOriginalBack_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("scroll");
        QTest::addColumn<QByteArray>("reverted"); // the file afterwards
        const QString caption = QStringLiteral("The Original Start Position Is  %1 Meters Or  %2 Percent Beyond The Start Line");
        const QByteArray at61 = TrackText("61.0 0.0");
        QTest::newRow("no marker yet") << at61 << caption.arg("61", ".1") << 1 << at61 + Marker + "stall_0 = 61.0 0.0\r\n";
        const QByteArray marked = TrackText("5 0.0") + Marker + "stall_0 = 1.2.3 0.0\r\n";
        QTest::newRow("marker line, two points") << marked << caption.arg("1", "0") << 0
                                                 << QByteArray(marked).replace("stall_0 = 5 0.0", "stall_0 = 1.2.3 0.0");
        const QByteArray beyond = TrackText("5 0.0") + Marker + "stall_0 = 90000\r\n";
        QTest::newRow("beyond the bar's end") << beyond << caption.arg("90000", "125") << 1000
                                              << QByteArray(beyond).replace("stall_0 = 5 0.0", "stall_0 = 90000");
    }
    void revertPutsTheOriginalBack()
    {
        QFETCH(QByteArray, file);
        Fixture f;
        f.Choose(QStringLiteral("track.ini"), file);
        f.session.SectionClick(4);
        const int mapsBefore = f.view.plainMaps;
        QCOMPARE(f.session.Revert(), TrackFileOutcome::Ok);
        QTEST(f.view.label2, "caption");
        QTEST(f.view.scrollValue, "scroll");
        QCOMPARE(f.view.plainMaps, mapsBefore + 1);
        QTEST(f.Track(), "reverted");
        QCOMPARE(f.tree.read(QStringLiteral("track.ini.bak")), file);
    }

    void saveAfterRevertWritesWholeMetres()
    {
        Fixture f;
        f.Choose(QStringLiteral("track.ini"), TrackText("61.0 0.0"));
        f.session.Revert();
        f.session.Save();
        QCOMPARE(f.Track(), Saved(TrackText("61.0 0.0"), Modified("61"), "stall_0 = 61.0 0.0"));
    }

    // Save and Revert work on the file as it is on disk when they run: what another program
    // changed since the file was chosen stays, and a file that is no longer the Sorvena track's
    // is not written at all.
    void outsideChangesAreKept_data()
    {
        QTest::addColumn<QByteArray>("onDisk"); // what the file holds when the command runs; null: gone
        QTest::addColumn<bool>("revert");       // else Save
        QTest::addColumn<TrackFileOutcome>("outcome");
        QTest::addColumn<QByteArray>("after"); // null: the file as it was on disk
        const QByteArray edited = TrackText().replace("= Sorvena", "= Sorvena ; renamed by an editor");
        QTest::newRow("another line edited") << edited << false << TrackFileOutcome::Ok << Saved(edited, Modified("66270"));
        const QByteArray above = "; added by an editor\r\nsun = 1\r\n" + TrackText();
        QTest::newRow("lines added above stall_0") << above << false << TrackFileOutcome::Ok
                                                   << Saved(above, Modified("66270"));
        // Another copy of the trainer saved meanwhile and appended its marker section.
        const QByteArray other = Saved(TrackText(), Modified("12200"));
        QTest::newRow("marker section appended, save")
            << other << false << TrackFileOutcome::Ok << Saved(other, Modified("66270"), Modified("12200"));
        QTest::newRow("marker section appended, revert")
            << other << true << TrackFileOutcome::Ok << Saved(other, "stall_0 = 1500 0.0", Modified("12200"));
        for (const bool revert : {false, true}) {
            QTest::addRow("another track now, %d", revert) << TrackText("1500 0.0", "3.2") << revert
                                                           << TrackFileOutcome::NotSorvena << QByteArray();
            QTest::addRow("no track file now, %d", revert) << QByteArray("[ SURFACE ]\r\n") << revert
                                                           << TrackFileOutcome::Unreadable << QByteArray();
            QTest::addRow("removed, %d", revert) << QByteArray() << revert << TrackFileOutcome::Missing << QByteArray();
        }
    }
    void outsideChangesAreKept()
    {
        QFETCH(QByteArray, onDisk);
        QFETCH(bool, revert);
        QFETCH(TrackFileOutcome, outcome);
        QFETCH(QByteArray, after);
        Fixture f;
        f.Choose(QStringLiteral("track.ini"));
        f.session.SectionClick(8);
        const RecordingView before = f.view;
        QFile::remove(f.tree.file(QStringLiteral("track.ini")));
        if (!onDisk.isNull())
            f.tree.write(QStringLiteral("track.ini"), onDisk);

        QCOMPARE(revert ? f.session.Revert() : f.session.Save(), outcome);
        QCOMPARE(f.Track(), after.isNull() ? onDisk : after);
        if (outcome != TrackFileOutcome::Ok) {
            QCOMPARE(f.view.label2, before.label2);
            QCOMPARE(f.view.scrollValue, before.scrollValue);
            QCOMPARE(f.view.plainMaps, before.plainMaps);
            QVERIFY(!QFile::exists(f.tree.file(QStringLiteral("track.ini.bak"))));
        }
    }

    void choosingTheSameFileAgainReadsItAfresh()
    {
        Fixture f;
        f.Choose(QStringLiteral("track.ini"));
        f.session.SectionClick(8);
        QCOMPARE(f.Choose(QStringLiteral("track.ini")), TrackFileOutcome::Ok);
        QCOMPARE(f.session.AcceptedTrack().StartPosition, 1500.0f);
        QCOMPARE(f.view.scrollValue, 21);
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "tst_session.moc"
