// Choosing a track file, the section clicks, the scroll bar, Save and Revert, as the session
// logic shows them and as they land on disk.

#include "RecordingView.h"
#include "session/Captions.h"
#include "support/TempTree.h"
#include "support/TestPlatform.h"
#include "track_file/TrackIniFileReader.h"

#include <QDir>
#include <QtTest>

using namespace korsa;
using korsa::test::RecordingView;
using korsa::test::TempTree;
using korsa::test::TestPlatform;

namespace {

QByteArray TrackFile(const QByteArray &stall, const QByteArray &length = "44.732")
{
    return "[ HEADER ]\r\ntrack_name_short = Sorvena ; the short name\r\ntrack_length = " + length +
           " miles\r\nstall_0 = " + stall + "\r\n[ END ]\r\n";
}

const QString Lap = QStringLiteral("The Sorvena Track Length Is  71989 Meters Long.");

// A session on a temporary folder with the window's behaviour around it.
struct Fixture {
    TempTree tree;
    TestPlatform platform;
    RecordingView view;
    SessionState state;
    SettingsFile settings{tree.file(QStringLiteral("program"))};
    StartPositionSession session{state, platform, view, &settings};

    Fixture()
    {
        QDir(tree.path()).mkdir(QStringLiteral("program"));
        view.onScrollChange = [this](int v) { session.ScrollChange(v); };
    }
    StartPositionSession::Selection Choose(const QString &name, const QByteArray &bytes)
    {
        tree.write(name, bytes);
        return ChooseExisting(name);
    }
    StartPositionSession::Selection ChooseExisting(const QString &name)
    {
        state.TrackFolder = tree.path();
        state.TrackFileName = name;
        return session.AcceptChosenTrack();
    }
    QByteArray Settings() const { return tree.read(QStringLiteral("program/Korsa Gridwell.ini")); }
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
        QTest::newRow("1500") << QByteArray("1500 0.0")
                              << "The Start Position Is  1500 Meters Or  2.1 Percent Beyond The Start Line." << 21
                              << 1500.0f;
        QTest::newRow("0") << QByteArray("0 0.0")
                           << "The Start Position Is  0 Meters Or  0 Percent Beyond The Start Line." << 0 << 0.0f;
        QTest::newRow("61") << QByteArray("61.0 0.0")
                            << "The Start Position Is  61 Meters Or  .1 Percent Beyond The Start Line." << 1 << 61.0f;
        QTest::newRow("beyond the lap") << QByteArray("72000 0.0")
                                        << "The Start Position Is  11 Meters Or  0 Percent Beyond The Start Line."
                                        << 0 << 11.0f;
        QTest::newRow("exactly the lap")
            << QByteArray("71989.171875")
            << "The Start Position Is  71989 Meters Or  100 Percent Beyond The Start Line." << 1000 << 71989.171875f;
    }
    void selectionShowsThePosition()
    {
        QFETCH(QByteArray, stall);
        Fixture f;
        f.view.scrollValue = -1; // the bar is somewhere else before
        QCOMPARE(f.Choose(QStringLiteral("track.ini"), TrackFile(stall)), StartPositionSession::Selection::Accepted);
        QCOMPARE(f.view.label1, Lap);
        QTEST(f.view.label2, "caption");
        QTEST(f.view.scrollValue, "scroll");
        QTEST(f.session.AcceptedTrack().StartPosition, "start");
        QVERIFY(f.view.enabled);
        QCOMPARE(f.view.plainMaps, 1);
        QVERIFY(f.session.ScrollChangeEnabled());
        QVERIFY(f.platform.messages.isEmpty());
        QCOMPARE(f.Settings(), QFile::encodeName(f.tree.path()) + "\r\n");
        // The file itself is untouched until Save.
        QCOMPARE(f.tree.read(QStringLiteral("track.ini")), TrackFile(stall));
    }

    void refusesOtherTracks_data()
    {
        QTest::addColumn<QByteArray>("length");
        QTest::newRow("44.73") << QByteArray("44.73");
        QTest::newRow("44.7321") << QByteArray("44.7321");
        QTest::newRow("other track") << QByteArray("3.2");
    }
    void refusesOtherTracks()
    {
        QFETCH(QByteArray, length);
        Fixture f;
        QCOMPARE(f.Choose(QStringLiteral("track.ini"), TrackFile("1500", length)),
                 StartPositionSession::Selection::Refused);
        QCOMPARE(f.platform.messages.size(), 1);
        QCOMPARE(f.platform.messages[0].text, QStringLiteral("This is not a Sorvena track.ini file.  Please try again."));
        QCOMPARE(f.platform.messages[0].caption, QStringLiteral("File Read Error"));
        QVERIFY(f.view.label1.isEmpty());
        QVERIFY(!f.view.enabled);
        QVERIFY(f.Settings().isEmpty());
    }

    void cancelChangesNothing()
    {
        Fixture f;
        f.state.TrackFileName.clear();
        QCOMPARE(f.session.AcceptChosenTrack(), StartPositionSession::Selection::Cancelled);
        QVERIFY(f.platform.messages.isEmpty());
        QVERIFY(f.Settings().isEmpty());
    }

    void missingFileBeforeAnyAcceptanceIsRefused()
    {
        Fixture f;
        QCOMPARE(f.ChooseExisting(QStringLiteral("track.ini")), StartPositionSession::Selection::Refused);
        QCOMPARE(f.platform.messages.size(), 2);
        QCOMPARE(f.platform.messages[0].caption, QStringLiteral("File Location Error"));
        QCOMPARE(f.platform.messages[1].caption, QStringLiteral("File Read Error"));
    }

    void programSettingsOfTheBarAreNotMoves()
    {
        Fixture f;
        f.Choose(QStringLiteral("track.ini"), TrackFile("1500"));
        f.session.SectionClick(1);
        QVERIFY(f.view.scrollChanges >= 2);
        QVERIFY(f.view.label2.startsWith(QStringLiteral("The Dunes")));
        QCOMPARE(f.session.AcceptedTrack().StartPosition, 12200.0f);
    }

    // A user's move always takes effect, also onto the value the handler last acted on.
    void everyUserMoveTakesEffect()
    {
        Fixture f;
        f.Choose(QStringLiteral("track.ini"), TrackFile("1500"));
        QCOMPARE(f.view.scrollValue, 21);
        f.view.UserMovesBar(0);
        QCOMPARE(f.session.AcceptedTrack().StartPosition, 0.0f);
        QCOMPARE(f.view.label2, QStringLiteral("This Start Position Is  0 Meters Or  0 Percent Beyond The Start Line."));

        f.view.UserMovesBar(500);
        f.session.SectionClick(1);
        f.view.UserMovesBar(500);
        QCOMPARE(f.session.AcceptedTrack().StartPosition, 35994.5859375f);
        QVERIFY(f.view.label2.startsWith(QStringLiteral("This Start Position Is  35995")));

        f.session.Revert();
        f.view.UserMovesBar(500);
        QVERIFY(f.view.label2.startsWith(QStringLiteral("This Start Position Is  35995")));
    }

    void saveWritesTheLine_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("bar");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("unchanged position") << -1 << -1 << QByteArray("stall_0 = 1500 0.0\t\t; Modified by Korsa Gridwell");
        QTest::newRow("section 8") << 8 << -1 << QByteArray("stall_0 = 66270 0.0\t\t; Modified by Korsa Gridwell");
        QTest::newRow("bar 500 cut, not rounded") << -1 << 500
                                                  << QByteArray("stall_0 = 35994 0.0\t\t; Modified by Korsa Gridwell");
    }
    void saveWritesTheLine()
    {
        QFETCH(int, section);
        QFETCH(int, bar);
        QFETCH(QByteArray, line);
        Fixture f;
        const QByteArray original = TrackFile("1500 0.0");
        f.Choose(QStringLiteral("track.ini"), original);
        if (section >= 0)
            f.session.SectionClick(section);
        if (bar >= 0)
            f.view.UserMovesBar(bar);
        const QString before = f.view.label2;
        f.session.Save();
        QByteArray expected = original;
        expected.replace("stall_0 = 1500 0.0", line);
        expected += "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";
        QCOMPARE(f.tree.read(QStringLiteral("track.ini")), expected);
        QCOMPARE(f.tree.read(QStringLiteral("track.ini.bak")), original);
        QCOMPARE(f.view.label2, before);
        QVERIFY(f.platform.messages.isEmpty());
        // Saving again changes nothing and still leaves one marker section.
        f.session.Save();
        QCOMPARE(f.tree.read(QStringLiteral("track.ini")), expected);
    }

    void revertPutsTheOriginalBack()
    {
        Fixture f;
        const QByteArray original = TrackFile("61.0 0.0");
        f.Choose(QStringLiteral("track.ini"), original);
        f.session.SectionClick(4);
        f.session.Save();
        const int mapsBefore = f.view.plainMaps;
        f.session.Revert();
        QCOMPARE(f.view.label2,
                 QStringLiteral("The Original Start Position Is  61 Meters Or  .1 Percent Beyond The Start Line"));
        QCOMPARE(f.view.scrollValue, 1);
        QCOMPARE(f.view.plainMaps, mapsBefore + 1);
        QCOMPARE(f.tree.read(QStringLiteral("track.ini")), original + "\r\n[ GRIDWELL ]\r\nstall_0 = 61.0 0.0\r\n");

        // Save after Revert writes the original as whole metres.
        f.session.Save();
        QVERIFY(f.tree.read(QStringLiteral("track.ini"))
                    .contains("stall_0 = 61 0.0\t\t; Modified by Korsa Gridwell\r\n[ END ]"));
        QCOMPARE(f.tree.read(QStringLiteral("track.ini.bak")), original);
    }

    void revertUsesTheMarkerLine()
    {
        Fixture f;
        f.Choose(QStringLiteral("track.ini"),
                 TrackFile("1500 0.0") + "\r\n[ GRIDWELL ]\r\nstall_0 = 1.2.3 0.0\r\n");
        f.session.Revert();
        QCOMPARE(f.session.AcceptedTrack().StartPosition, 1.2f);
        QVERIFY(f.tree.read(QStringLiteral("track.ini")).contains("\r\nstall_0 = 1.2.3 0.0\r\n[ END ]"));
    }

    void revertBeyondTheBarStopsAtItsEnd()
    {
        Fixture f;
        f.Choose(QStringLiteral("track.ini"), TrackFile("1500") + "[ GRIDWELL ]\r\nstall_0 = 90000\r\n");
        f.session.Revert();
        QCOMPARE(f.view.scrollValue, 1000);
        QCOMPARE(f.session.AcceptedTrack().StartPosition, 90000.0f);
        QCOMPARE(f.view.label2,
                 QStringLiteral("The Original Start Position Is  90000 Meters Or  125 Percent Beyond The Start Line"));
    }

    // Save and Revert only ever write the last accepted file.
    void saveAfterRefusalOrCancelWritesTheAcceptedFile_data()
    {
        QTest::addColumn<QString>("after");
        QTest::newRow("refused file") << "refused";
        QTest::newRow("cancelled finder") << "cancelled";
        QTest::newRow("vanished file") << "vanished";
    }
    void saveAfterRefusalOrCancelWritesTheAcceptedFile()
    {
        QFETCH(QString, after);
        Fixture f;
        f.Choose(QStringLiteral("track.ini"), TrackFile("1500"));
        f.session.SectionClick(2);
        const QString caption = f.view.label2;
        const QByteArray other = TrackFile("99", "3.1");
        if (after == QStringLiteral("refused")) {
            QCOMPARE(f.Choose(QStringLiteral("other.ini"), other), StartPositionSession::Selection::Refused);
            QCOMPARE(f.view.label2, caption);
        } else if (after == QStringLiteral("cancelled")) {
            f.state.TrackFileName.clear();
            QCOMPARE(f.session.AcceptChosenTrack(), StartPositionSession::Selection::Cancelled);
        } else {
            QCOMPARE(f.ChooseExisting(QStringLiteral("other.ini")), StartPositionSession::Selection::Accepted);
            QCOMPARE(f.platform.messages[0].caption, QStringLiteral("File Location Error"));
        }
        f.session.Save();
        QVERIFY(f.tree.read(QStringLiteral("track.ini")).contains("stall_0 = 17200 0.0\t\t;"));
        if (after == QStringLiteral("refused"))
            QCOMPARE(f.tree.read(QStringLiteral("other.ini")), other);
        QVERIFY(!QFile::exists(f.tree.file(QStringLiteral("other.ini.bak"))));
        f.session.Revert();
        QVERIFY(f.tree.read(QStringLiteral("track.ini")).contains("\r\nstall_0 = 1500\r\n"));
    }

    void choosingTheSameFileAgainReadsItAfresh()
    {
        Fixture f;
        f.Choose(QStringLiteral("track.ini"), TrackFile("1500"));
        f.session.SectionClick(8);
        QCOMPARE(f.ChooseExisting(QStringLiteral("track.ini")), StartPositionSession::Selection::Accepted);
        QCOMPARE(f.session.AcceptedTrack().StartPosition, 1500.0f);
        QCOMPARE(f.view.scrollValue, 21);
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "tst_session.moc"
