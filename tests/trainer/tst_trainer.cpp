// The built trainer run as a process on this test's X server and driven through xdotool as a user
// drives it; what it did is read back from the disk, its exit status and the windows it showed.

#include "support/AboutText.h"
#include "support/TempTree.h"
#include "support/TrackText.h"

#include <QtTest>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

using korsa::test::ReadFile;
using korsa::test::TrackText;
using korsa::test::WriteFile;

namespace {

const QString TrainerPath = QStringLiteral(KORSA_TRAINER);
// What xdotool searches for: windows by title, or every window of the program by its class.
const QStringList MainTitle = {"--name", "^Korsa Sorvena Trainer$"};
const QStringList FinderTitle = {"--name", "^Track\\.ini File Finder$"};
// The question whether to save bears the program's title; the main window's is marked then.
const QStringList QuestionTitle = MainTitle;
const QStringList UnsavedTitle = {"--name", "^\\*Korsa Sorvena Trainer$"};
const QStringList AnyWindow = {"--classname", "^korsa-sorvena-trainer$"};
constexpr int StepMs = 15000; // how long one step of the user's may take to show
const QByteArray Marker = "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";

// Runs xdotool: whether it succeeded, and what it printed.
bool Xdotool(const QStringList &args, QByteArray *out = nullptr)
{
    QProcess process;
    process.start("xdotool", args);
    const bool ok = process.waitForFinished(StepMs) && process.exitStatus() == QProcess::NormalExit;
    return (out ? (*out = process.readAllStandardOutput(), ok) : ok) && process.exitCode() == 0;
}
QByteArray Run(const QStringList &args)
{
    QByteArray out;
    Xdotool(args, &out);
    return out;
}

// Mapped windows that match, bottom of the stack first.
QList<quint64> Windows(const QStringList &match)
{
    QList<quint64> ids;
    for (const QByteArray &line : Run(QStringList{"search", "--onlyvisible"} + match).split('\n'))
        if (const quint64 id = line.trimmed().toULongLong())
            ids.append(id);
    return ids;
}
// The topmost window that matches, once more than `others` match.
std::optional<quint64> WaitFor(const QStringList &match, int others = 0)
{
    QList<quint64> ids;
    const bool shown = QTest::qWaitFor([&] { return (ids = Windows(match)).size() > others; }, StepMs);
    return shown ? std::optional(ids.last()) : std::nullopt;
}
bool WaitUntilGone(const QStringList &match)
{
    return QTest::qWaitFor([&] { return Windows(match).isEmpty(); }, StepMs);
}
std::optional<QRect> Geometry(quint64 id)
{
    QMap<QByteArray, int> v;
    for (const QByteArray &line : Run({"getwindowgeometry", "--shell", QString::number(id)}).split('\n'))
        if (const QList<QByteArray> pair = line.trimmed().split('='); pair.size() == 2)
            v[pair[0]] = pair[1].toInt();
    return v.contains("WIDTH") ? std::optional(QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"])) : std::nullopt;
}
// No --sync on the move: it waits forever when the pointer already stands there.
bool Click(QPoint at, int count = 1)
{
    return Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "--repeat",
                    QString::number(count), "--delay", "60", "1"});
}
bool FocusAndKeys(quint64 id, const QStringList &keys)
{
    return Xdotool(QStringList{"windowfocus", "--sync", QString::number(id), "key"} + keys);
}

// Asks the window to close as a window manager does when the user clicks the close box: a
// WM_PROTOCOLS client message carrying WM_DELETE_WINDOW (xdotool can only destroy the window).
bool RequestClose(quint64 window)
{
    xcb_connection_t *x = xcb_connect(nullptr, nullptr);
    const auto atom = [x](const char *name) {
        auto *reply = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    };
    xcb_client_message_event_t event{}; // 32 bytes, as every event on the wire
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    // With no event mask the event goes to the client that created the window.
    xcb_generic_error_t *error = xcb_request_check(
        x, xcb_send_event_checked(x, 0, event.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event)));
    const bool sent = !xcb_connection_has_error(x) && event.type && event.data.data32[0] && !error;
    std::free(error);
    xcb_disconnect(x);
    return sent;
}

// A copy of the trainer in a home folder of its own, which holds the track file in the default Steam
// library. Remembered: the settings file beside the program names the track's folder, as an older
// copy wrote it; otherwise the program is installed (its folder read-only) and nothing is remembered.
class Trainer
{
    QTemporaryDir home_{"/tmp/korsa-home-XXXXXX"}; // straight in /tmp: the finder shows the same parents
    QProcess process_;
    bool installed_ = false;

public:
    const QString folder = home_.filePath("program");
    const QString trackPath = home_.filePath(".local/share/Steam/steamapps/common/Simulator/tracks/sorvena/track.ini");
    const QByteArray folderLine = QFile::encodeName(QFileInfo(trackPath).path()) + "\r\n";
    const QByteArray settings = folderLine + "file=track.ini\r\n"; // as the trainer writes it

    explicit Trainer(const QByteArray &track = TrackText(), bool remembered = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home_.path()); // the user's own settings and Steam must not leak in
        env.insert("XDG_CONFIG_HOME", home_.filePath(".config"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel); // what it says shows in the log
        installed_ = QDir().mkpath(QFileInfo(trackPath).path()) && QDir().mkpath(folder) &&
                     QFile::copy(TrainerPath, folder + "/korsa-sorvena-trainer");
        WriteFile(trackPath, track);
        if (remembered) // a second line tells a settings file the trainer wrote from this one
            WriteFile(folder + "/Korsa Gridwell.ini", folderLine + "written by the test\r\n");
        else
            installed_ = installed_ && QFile::setPermissions(folder, QFile::Permissions(0x5555));
    }
    ~Trainer()
    {
        process_.kill();
        process_.waitForFinished();
        QFile::setPermissions(folder, QFile::Permissions(0x7755));
    }

    QString Home(const QString &relative) const { return home_.filePath(relative); }
    // The settings file wherever the trainer wrote it: beside itself or per user.
    QByteArray SettingsWritten() const
    {
        QDirIterator it(home_.path(), {"Korsa Gridwell.ini"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        return it.hasNext() ? ReadFile(it.next()) : QByteArray();
    }
    bool Start(const QStringList &args = {})
    {
        process_.start(folder + "/korsa-sorvena-trainer", args);
        return installed_ && process_.waitForStarted(StepMs);
    }
    // The exit status once the process has ended by itself; -1 when it goes on (a question shown).
    int WaitForExit()
    {
        const bool ended = process_.waitForFinished(StepMs) && process_.exitStatus() == QProcess::NormalExit;
        return ended ? process_.exitCode() : -1;
    }
};

// Controls of the window's design, in twips of its 14256 x 9612 client area.
const QRectF Section1(3240, 2280, 3000, 2000);
const QRectF SaveButton(600, 1260, 972, 372), RevertButton(12600, 1260, 972, 372);

} // namespace

class TrainerProcessTest : public QObject
{
    Q_OBJECT

    std::optional<quint64> window_;
    QRect geometry_; // the main window's
    int menu_ = 0;   // the menu bar's height

    // Where a control lies on the screen: the client area, 641 pixels high on 1024 lines, is scaled
    // with the screen, below a menu bar that keeps its own height.
    QPoint At(const QRectF &design) const
    {
        const QPointF centre = design.center();
        return geometry_.topLeft() + QPoint(int(std::lround(centre.x() * geometry_.width() / 14256)),
                                            menu_ + int(std::lround(centre.y() * (geometry_.height() - menu_) / 9612)));
    }

    // Starts the trainer and waits for its main window; notes where its controls are.
    bool Launch(Trainer &trainer, const QStringList &args = {})
    {
        window_ = trainer.Start(args) ? WaitFor(MainTitle) : std::nullopt;
        const std::optional<QRect> geometry = window_ ? Geometry(*window_) : std::nullopt;
        if (!geometry)
            return false;
        const int lines = Run({"getdisplaygeometry"}).trimmed().split(' ').value(1).toInt();
        geometry_ = *geometry;
        menu_ = int(std::lround(geometry->height() * 1024.0 / lines - 641));
        return true;
    }
    // Opens the File menu with a click on the menu bar and waits for it to drop down.
    std::optional<QRect> OpenFileMenu() const
    {
        const std::optional<quint64> menu =
            Click(geometry_.topLeft() + QPoint(12, menu_ / 2)) ? WaitFor(AnyWindow, 1) : std::nullopt;
        return menu ? Geometry(*menu) : std::nullopt;
    }
    // Ctrl+O: the finder once it shows, at its size of 428x364.
    std::optional<quint64> OpenFinder() const
    {
        const std::optional<quint64> finder = FocusAndKeys(*window_, {"ctrl+o"}) ? WaitFor(FinderTitle) : std::nullopt;
        const std::optional<QRect> geometry = finder ? Geometry(*finder) : std::nullopt;
        return geometry && geometry->size() == QSize(428, 364) ? finder : std::nullopt;
    }
    // Options > Track Announcer: the File menu opened, then the next menu along and its first item.
    bool ToggleAnnouncer() const { return OpenFileMenu() && Xdotool({"key", "Right", "Return"}); }
    // Answers the question whether to save with the key given.
    static bool Answer(const QString &key)
    {
        const std::optional<quint64> question = WaitFor(QuestionTitle);
        return question && FocusAndKeys(*question, {key}) && WaitUntilGone(QuestionTitle);
    }

private slots:
    void cleanup() { QVERIFY2(WaitUntilGone(AnyWindow), "windows left over from the case"); }

    // On a screen of 599 lines, on an X server of its own: one message box, no main window, and
    // status 1 once the user closes the box. Every step is bounded, so the server always stops.
    void smallScreenRefusesToStart()
    {
        QProcess run;
        run.start(QStringLiteral(KORSA_WITH_XVFB), {"1280x599", "sh", "-c", R"sh(timeout 20 "$0" &
            box=$(timeout 10 xdotool search --sync --onlyvisible --name '^Korsa Sorvena Trainer$' | head -n 1)
            echo "$(xdotool search --onlyvisible --classname '^korsa-sorvena-trainer$' | wc -l) window(s)"
            xdotool windowfocus --sync "$box" key Return; wait $!; echo "status $?")sh",
                                                    TrainerPath});
        QVERIFY(run.waitForFinished(3 * StepMs));
        QCOMPARE(run.readAllStandardOutput(), QByteArray("1 window(s)\nstatus 1\n"));
    }

    // Pick, click a section, Save, Revert and end: what reaches the disk. With nothing unsaved, ending
    // asks nothing and is immediate, with status 0.
    void pickSaveRevertExit_data()
    {
        QTest::addColumn<bool>("byKeys");   // Ctrl+O, Ctrl+S, Ctrl+Q; else the command line, the mouse
        QTest::addColumn<bool>("closeBox"); // ending by the window's close box
        QTest::newRow("finder by keys") << true << false;
        QTest::newRow("command line, mouse, File > Exit") << false << false;
        QTest::newRow("command line, mouse, close box") << false << true;
    }
    void pickSaveRevertExit()
    {
        QFETCH(bool, byKeys);
        QFETCH(bool, closeBox);
        Trainer trainer;
        QVERIFY(Launch(trainer, byKeys ? QStringList() : QStringList{trainer.trackPath}));
        // The first file listed lies 312,27 from the finder's top left corner.
        const std::optional<quint64> finder = byKeys ? OpenFinder() : std::nullopt;
        const std::optional<QRect> at = finder ? Geometry(*finder) : std::nullopt;
        QVERIFY(!byKeys || (at && Click(at->topLeft() + QPoint(312, 27), 2) && WaitUntilGone(FinderTitle)));
        QTRY_COMPARE_WITH_TIMEOUT(trainer.SettingsWritten(), trainer.settings, StepMs);

        QVERIFY(Click(At(Section1)));
        QVERIFY(byKeys ? FocusAndKeys(*window_, {"ctrl+s"}) : Click(At(SaveButton)));
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(trainer.trackPath),
                                  TrackText("12200 0.0\t\t; Modified by Korsa Gridwell") + Marker, StepMs);
        QVERIFY(Click(At(RevertButton)));
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(trainer.trackPath), TrackText() + Marker, StepMs);

        QElapsedTimer closing;
        closing.start();
        QVERIFY(closeBox ? RequestClose(*window_)
                : byKeys ? FocusAndKeys(*window_, {"ctrl+q"})
                         : OpenFileMenu() && Xdotool({"key", "Up", "Return"}));
        QCOMPARE(trainer.WaitForExit(), 0);
        // At once: no thread or sound output is waited for (the bench measures it closely).
        QVERIFY2(!closeBox || closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
        QCOMPARE(ReadFile(trainer.trackPath), TrackText() + Marker);
        QCOMPARE(ReadFile(trainer.trackPath + ".bak"), TrackText());
    }

    // A track file of another length on the command line: its message box, then the window goes on
    // (its File menu opens) and nothing is written.
    void refusedFileKeepsTheWindow()
    {
        const QByteArray track = TrackText("1500 0.0", "3.2");
        Trainer trainer(track);
        QVERIFY(Launch(trainer, {trainer.trackPath}));
        const std::optional<quint64> box = WaitFor({"--name", "^File Read Error$"});
        QVERIFY(box);
        QVERIFY(FocusAndKeys(*box, {"Return"}) && WaitUntilGone({"--name", "^File Read Error$"}));
        QVERIFY(Click(At(SaveButton)) && OpenFileMenu() && Xdotool({"key", "Escape"}));
        QCOMPARE(Windows(MainTitle), QList<quint64>{*window_});
        QCOMPARE(ReadFile(trainer.trackPath), track);
        QVERIFY(!QFileInfo::exists(trainer.trackPath + ".bak"));
    }

    // An installed trainer, the simulator in a second Steam library and a track file of another circuit
    // in the first. The first run: Ctrl+O and Enter accept the Sorvena file the trainer found, and the
    // announcer is switched on. The next run starts with the file accepted and the announcer on; a start
    // not saved is asked about on closing: Cancel keeps the window, Save writes it and ends.
    void foundTrackReopenedNothingLost()
    {
        const QByteArray decoy = TrackText("1500 0.0", "3.2");
        Trainer trainer(decoy, false);
        const QString track = trainer.Home("Games/SteamLibrary/steamapps/common/Simulator/content/tracks/sorvena");
        QVERIFY(QDir().mkpath(track));
        WriteFile(track + "/track.ini", TrackText());
        WriteFile(trainer.Home(".local/share/Steam/steamapps/libraryfolders.vdf"),
                  "\"libraryfolders\" { \"1\" { \"path\" \"" + trainer.Home("Games/SteamLibrary").toUtf8() + "\" } }");
        const QByteArray remembered = QFile::encodeName(track) + "\r\nfile=track.ini\r\n";

        QVERIFY(Launch(trainer));
        const std::optional<quint64> finder = OpenFinder();
        QVERIFY(finder && FocusAndKeys(*finder, {"Return"}) && WaitUntilGone(FinderTitle));
        QTRY_COMPARE_WITH_TIMEOUT(trainer.SettingsWritten(), remembered, StepMs);
        QVERIFY(ToggleAnnouncer());
        QTRY_COMPARE_WITH_TIMEOUT(trainer.SettingsWritten(), remembered + "announcer=on\r\n", StepMs);
        QVERIFY(FocusAndKeys(*window_, {"ctrl+q"}));
        QCOMPARE(trainer.WaitForExit(), 0);

        QVERIFY(Launch(trainer));
        // Closed once the title shows the picked start unsaved, as a user sees it before closing.
        QVERIFY(Click(At(Section1)) && WaitFor(UnsavedTitle) && RequestClose(*window_) && Answer("Escape"));
        QVERIFY(ToggleAnnouncer()); // off again
        QTRY_COMPARE_WITH_TIMEOUT(trainer.SettingsWritten(), remembered, StepMs);
        QVERIFY(FocusAndKeys(*window_, {"ctrl+q"}) && Answer("Return"));
        QCOMPARE(trainer.WaitForExit(), 0);
        QCOMPARE(ReadFile(track + "/track.ini"), TrackText("12200 0.0\t\t; Modified by Korsa Gridwell") + Marker);
        QCOMPARE(ReadFile(trainer.trackPath), decoy);
    }

    // The options answer on standard output, without a display; anything else unknown is refused in
    // one line that names it.
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");   // the first line on standard output
        QTest::addColumn<QString>("error"); // the one line on standard error names this
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: korsa-sorvena-trainer [PATH]" << QString();
        QTest::newRow("--version") << QStringList{"--version"} << 0
                                   << "Korsa Sorvena Trainer " + korsa::test::AboutText() << QString();
        QTest::newRow("unknown option") << QStringList{"track.ini", "--bogus"} << 64 << QString() << "--bogus";
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        QProcess trainer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY"); // a window would end the program at once
        trainer.setProcessEnvironment(env);
        trainer.start(TrainerPath, args);
        QVERIFY(trainer.waitForFinished(StepMs));
        QTEST(trainer.exitCode(), "status");
        QTEST(QString::fromLocal8Bit(trainer.readAllStandardOutput()).section('\n', 0, 0), "out");
        const QByteArray errors = trainer.readAllStandardError();
        QVERIFY2(errors.count('\n') == (error.isEmpty() ? 0 : 1) && errors.contains(error.toLocal8Bit()),
                 errors.constData());
    }
};

QTEST_GUILESS_MAIN(TrainerProcessTest)
#include "tst_trainer.moc"
