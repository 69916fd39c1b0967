// Choosing a track file, the section clicks, the scroll bar, Save and Revert, as the session
// logic shows them and as they land on disk, also when another program changed the file.

#include "session/StartPositionSession.h"
#include "support/TempTree.h"
#include "support/TrackText.h"

#include <QDir>
#include <QStandardPaths>
#include <QtTest>

#include <utility>

using namespace korsa;
using korsa::test::TempTree;
using korsa::test::TrackText;

namespace {

const QByteArray Marker = "\r\n[ GRIDWELL ]\r\n";
QByteArray Modified(const QByteArray &metres) { return "stall_0 = " + metres + " 0.0\t\t; Modified by Korsa Gridwell"; }
// The file with its first oldLine replaced and, when it had none, the marker section appended.
QByteArray Saved(QByteArray file, const QByteArray &line, const QByteArray &oldLine = "stall_0 = 1500 0.0")
{
    const bool marked = file.contains("[ GRIDWELL ]");
    file.replace(file.indexOf(oldLine), oldLine.size(), line);
    return marked ? file : file + Marker + oldLine + "\r\n";
}
// The second status line after "The", "This" or "The Dunes"; Revert's ("The Original") has no full stop.
QString Position(const QString &who, const QString &metres, const QString &percent)
{
    return who +
           QStringLiteral(" Start Position Is  %1 Meters Or  %2 Percent Beyond The Start Line.").arg(metres, percent);
}

// A session on a temporary folder, shown as plain values. A value set on the bar, by the program
// or by the user, raises the change handler at once when it differs from the bar's, as the bar does.
struct Window final : SessionView {
    TempTree tree;
    SessionState state;
    SettingsFile settings{tree.file(QStringLiteral("program"))};
    StartPositionSession session{state, *this, &settings};
    QString label1, label2;
    int scroll = 0, maps = 0;
    bool enabled = false, unsaved = false;

    Window() { QDir(tree.path()).mkdir(QStringLiteral("program")); }
    void ShowTrackLengthCaption(const QString &caption) override { label1 = caption; }
    void ShowStartPositionCaption(const QString &caption) override { label2 = caption; }
    void SetStartPositionBar(int value) override
    {
        if (std::exchange(scroll, value) != value)
            session.ScrollChange(value);
    }
    void ShowPlainMap() override { ++maps; }
    void EnableTrackCommands() override { enabled = true; }
    void ShowUnsavedStart(bool mark) override { unsaved = mark; }

    QStringList Shown() const
    {
        const auto n = [](int v) { return QString::number(v); };
        return {label1, label2, n(scroll), n(maps), n(enabled), n(unsaved)};
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
    // A per-user settings file of the machine's own user is never touched.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // One session from the choice to Revert and a new choice. Every user's move of the bar acts, also onto
    // the value the handler last acted on; the program's own settings of the bar are no moves. A start
    // the file does not hold is marked unsaved until Save or Revert.
    void oneSession()
    {
        Window w;
        const QByteArray at61 = TrackText("61.0 0.0");
        QCOMPARE(w.Choose(QStringLiteral("track.ini"), at61), TrackFileOutcome::Ok);
        QCOMPARE(w.Shown(), (QStringList{QStringLiteral("The Sorvena Track Length Is  71989 Meters Long."),
                                         Position("The", "61", ".1"), "1", "1", "1", "0"}));
        QCOMPARE(w.Settings(), QFile::encodeName(w.tree.path()) + "\r\nfile=track.ini\r\n");
        w.SetStartPositionBar(0);
        QCOMPARE(w.label2, Position("This", "0", "0"));
        w.SetStartPositionBar(500);
        w.session.SectionClick(1);
        QCOMPARE(w.label2, Position("The Dunes", "12200", "16.9"));
        QCOMPARE(w.scroll, 169);
        w.SetStartPositionBar(500);
        QCOMPARE(w.session.AcceptedTrack().StartPosition, 35994.5859375f);
        QCOMPARE(w.label2, Position("This", "35995", "50"));
        QCOMPARE(w.Track(), at61); // untouched until Save

        // Save shows nothing new but the mark gone (the fraction it drops is nothing unsaved); saving
        // again gives the same bytes and keeps the first backup.
        QStringList shown = w.Shown();
        QCOMPARE(shown.takeLast(), "1");
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(w.session.Save(), TrackFileOutcome::Ok);
            QCOMPARE(w.Track(), Saved(at61, Modified("35994"), "stall_0 = 61.0 0.0"));
            QCOMPARE(w.tree.read(QStringLiteral("track.ini.bak")), at61);
            QCOMPARE(w.Shown(), shown + QStringList{"0"});
        }
        w.session.SectionClick(0);
        QVERIFY(w.unsaved);
        QCOMPARE(w.session.Revert(), TrackFileOutcome::Ok);
        QCOMPARE(w.Shown(),
                 (QStringList{shown[0], Position("The Original", "61", ".1").chopped(1), "1", "2", "1", "0"}));
        QCOMPARE(w.Track(), at61 + Marker + "stall_0 = 61.0 0.0\r\n");
        w.SetStartPositionBar(500);
        QCOMPARE(w.label2, Position("This", "35995", "50"));

        // A new choice reads the file afresh. Acceptance takes a position beyond the lap round it;
        // Revert shows the file's original as it is. Neither is a start the file does not hold.
        QCOMPARE(w.Choose(QStringLiteral("track.ini"), TrackText("72000 0.0")), TrackFileOutcome::Ok);
        QCOMPARE(w.label2, Position("The", "11", "0"));
        QCOMPARE(w.scroll, 0);
        QVERIFY(!w.unsaved);
        QCOMPARE(w.session.Revert(), TrackFileOutcome::Ok);
        QCOMPARE(w.label2, Position("The Original", "72000", "100").chopped(1));
        QCOMPARE(w.scroll, 1000);
        QVERIFY(!w.unsaved);
    }

    // A choice that fails changes nothing: not what is shown, not the settings, and Save still
    // acts on the file accepted before, if any.
    void failedChoicesChangeNothing_data()
    {
        QTest::addColumn<QString>("name");     // empty: the finder was cancelled
        QTest::addColumn<QByteArray>("bytes"); // null: none written
        QTest::addColumn<TrackFileOutcome>("outcome");
        QTest::addColumn<bool>("acceptedBefore");
        for (const bool before : {false, true}) {
            QTest::addRow("44.7321 miles, %d", before)
                << QStringLiteral("other.ini") << TrackText("99", "44.7321") << TrackFileOutcome::NotSorvena << before;
            QTest::addRow("cancelled, %d", before)
                << QString() << QByteArray() << TrackFileOutcome::Cancelled << before;
        }
    }
    void failedChoicesChangeNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, acceptedBefore);
        Window w;
        if (acceptedBefore) {
            QCOMPARE(w.Choose(QStringLiteral("track.ini")), TrackFileOutcome::Ok);
            w.session.SectionClick(2);
        }
        const QStringList shown = w.Shown();
        const QByteArray settings = w.Settings();
        QTEST(w.Choose(name, bytes), "outcome");
        QCOMPARE(w.Shown(), shown);
        QCOMPARE(w.Settings(), settings);
        QCOMPARE(w.session.Save(), acceptedBefore ? TrackFileOutcome::Ok : TrackFileOutcome::Cancelled);
        QCOMPARE(w.Track(), acceptedBefore ? Saved(TrackText(), Modified("17200")) : QByteArray());
        QCOMPARE(w.tree.read(name), bytes);
        QVERIFY(!QFile::exists(w.tree.file(name + QStringLiteral(".bak"))));
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
        const QByteArray above = "; added by an editor\r\nsun = 1\r\n" + TrackText();
        QTest::newRow("lines added above stall_0")
            << above << false << TrackFileOutcome::Ok << Saved(above, Modified("66270"));
        // Another copy of the trainer saved meanwhile and appended its marker section.
        const QByteArray other = Saved(TrackText(), Modified("12200"));
        QTest::newRow("marker section appended, save")
            << other << false << TrackFileOutcome::Ok << Saved(other, Modified("66270"), Modified("12200"));
        QTest::newRow("marker section appended, revert")
            << other << true << TrackFileOutcome::Ok << Saved(other, "stall_0 = 1500 0.0", Modified("12200"));
        QTest::newRow("another track now, save")
            << TrackText("1500 0.0", "3.2") << false << TrackFileOutcome::NotSorvena << QByteArray();
        QTest::newRow("removed, save") << QByteArray() << false << TrackFileOutcome::SaveFailed << QByteArray();
    }
    void outsideChangesAreKept()
    {
        QFETCH(QByteArray, onDisk);
        QFETCH(bool, revert);
        QFETCH(TrackFileOutcome, outcome);
        QFETCH(QByteArray, after);
        Window w;
        w.Choose(QStringLiteral("track.ini"));
        w.session.SectionClick(8);
        const QStringList shown = w.Shown();
        QFile::remove(w.tree.file(QStringLiteral("track.ini")));
        if (!onDisk.isNull())
            w.tree.write(QStringLiteral("track.ini"), onDisk);

        QCOMPARE(revert ? w.session.Revert() : w.session.Save(), outcome);
        QCOMPARE(w.Track(), after.isNull() ? onDisk : after);
        if (outcome != TrackFileOutcome::Ok) {
            QCOMPARE(w.Shown(), shown);
            QVERIFY(!QFile::exists(w.tree.file(QStringLiteral("track.ini.bak"))));
        }
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "tst_session.moc"
