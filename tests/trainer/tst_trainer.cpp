// The built trainer copied into a folder of its own, run as a process on a real X server and driven
// through xdotool; what it did is read back from the disk, its exit status and the windows shown.

#include "support/AboutText.h"
#include "support/TempTree.h"
#include "support/TrackText.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QtTest>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

using korsa::test::ReadFile;
using korsa::test::WriteFile;

namespace {

const QString TrainerPath = QStringLiteral(KORSA_TRAINER);
const QString WithXvfbPath = QStringLiteral(KORSA_WITH_XVFB);

// What xdotool searches for: windows by title, or every window of the program by its class.
const QStringList MainTitle = {"--name", "^Korsa Sorvena Trainer$"};
const QStringList FinderTitle = {"--name", "^Track\\.ini File Finder$"};
const QStringList ReadErrorTitle = {"--name", "^File Read Error$"};
const QStringList AnyWindow = {"--classname", "^korsa-sorvena-trainer$"};

constexpr int StepMs = 15000; // how long one step of the user's may take to show
constexpr int PollMs = 20;

const QByteArray Track = korsa::test::TrackText();
const QByteArray MarkerSection = "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";

enum class Kind { Main, Dialog, Menu, Other };

QProcessEnvironment DisplayEnvironment(const QString &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("QT_FONT_DPI", "96");
    return env;
}

// One X server and the clients that look at it and drive it.
struct Screen {
    QString display;

    // The client's standard output; status is -1 when it did not end normally.
    QByteArray Run(const QString &program, const QStringList &args, int *status = nullptr,
                   QByteArray *errors = nullptr) const
    {
        QProcess process;
        process.setProcessEnvironment(DisplayEnvironment(display));
        process.start(program, args);
        const bool ended = process.waitForFinished(StepMs) && process.exitStatus() == QProcess::NormalExit;
        if (status)
            *status = ended ? process.exitCode() : -1;
        if (errors)
            *errors = process.readAllStandardError();
        return process.readAllStandardOutput();
    }
    bool Xdotool(const QStringList &args) const
    {
        int status = -1;
        Run("xdotool", args, &status);
        return status == 0 || (qWarning("xdotool %s failed", qPrintable(args.join(' '))), false);
    }
    // Mapped windows that match and are of the kind (any kind without one), bottom of the stack first.
    QList<quint64> Windows(const QStringList &match, std::optional<Kind> kind = std::nullopt) const
    {
        QList<quint64> ids;
        for (const QByteArray &line : Run("xdotool", QStringList{"search", "--onlyvisible"} + match).split('\n'))
            if (const quint64 id = line.trimmed().toULongLong(); id && (!kind || KindOf(id) == *kind))
                ids.append(id);
        return ids;
    }
    // A pop-up bypasses the window manager; for the others, what _NET_WM_WINDOW_TYPE says.
    Kind KindOf(quint64 id) const
    {
        const QString window = QString::number(id);
        if (Run("xwininfo", {"-id", window}).contains("Override Redirect State: yes"))
            return Kind::Menu;
        const QByteArray type = Run("xprop", {"-id", window, "_NET_WM_WINDOW_TYPE"});
        return type.contains("MENU")      ? Kind::Menu
               : type.contains("_DIALOG") ? Kind::Dialog
               : type.contains("_NORMAL") ? Kind::Main
                                          : Kind::Other;
    }
    // The topmost window that matches and is of the kind, once one shows.
    std::optional<quint64> WaitFor(const QStringList &match, Kind kind) const
    {
        QList<quint64> ids;
        for (const QDeadlineTimer deadline(StepMs); ids.isEmpty() && !deadline.hasExpired(); QTest::qWait(PollMs))
            ids = Windows(match, kind);
        return ids.isEmpty() ? std::nullopt : std::optional(ids.last());
    }
    bool WaitUntilGone(const QStringList &match) const
    {
        return QTest::qWaitFor([&] { return Windows(match).isEmpty(); }, StepMs);
    }
    std::optional<QRect> Geometry(quint64 id) const
    {
        QMap<QByteArray, int> v;
        for (const QByteArray &line : Run("xdotool", {"getwindowgeometry", "--shell", QString::number(id)}).split('\n'))
            if (const QList<QByteArray> pair = line.trimmed().split('='); pair.size() == 2)
                v[pair[0]] = pair[1].toInt();
        return v.contains("WIDTH") ? std::optional(QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"])) : std::nullopt;
    }
    int Height() const { return Run("xdotool", {"getdisplaygeometry"}).trimmed().split(' ').value(1).toInt(); }
    // No --sync on the move: it waits forever when the pointer already stands there.
    bool Click(QPoint at, int count = 1) const
    {
        return Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "--repeat",
                        QString::number(count), "--delay", "60", "1"});
    }
    bool Keys(const QStringList &keys) const { return Xdotool(QStringList{"key"} + keys); }
    bool FocusAndKeys(quint64 id, const QStringList &keys) const
    {
        return Xdotool(QStringList{"windowfocus", "--sync", QString::number(id), "key"} + keys);
    }
};

// Asks the window to close as a window manager does when the user clicks the close box: a
// WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. (xdotool's windowclose destroys the window
// instead, which no application ever gets to answer.)
bool RequestClose(const QString &display, quint64 window)
{
    xcb_connection_t *x = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    const auto atom = [x](const char *name) {
        xcb_intern_atom_reply_t *reply =
            xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(std::strlen(name)), name), nullptr);
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

// A server of another size, through the suite's one launcher: the launcher's command prints the
// display and waits for its input to close, when the server ends with it.
struct OtherScreen {
    QProcess launcher;
    Screen screen;
    explicit OtherScreen(const QString &size)
    {
        launcher.start(WithXvfbPath, {size, "sh", "-c", "echo \"$DISPLAY\"; read -r _"});
        for (const QDeadlineTimer deadline(StepMs); !launcher.canReadLine() && !deadline.hasExpired();)
            launcher.waitForReadyRead(PollMs);
        screen.display = QString::fromLatin1(launcher.readLine().trimmed());
    }
    ~OtherScreen()
    {
        launcher.closeWriteChannel();
        if (!launcher.waitForFinished(StepMs))
            launcher.kill(), launcher.waitForFinished();
    }
};

// Where the track file lies: in the folder the settings file names, or in the default Steam library
// of the user's home folder, the program being installed (its folder read-only, nothing remembered).
enum class TrackIn { RememberedFolder, SteamLibrary };

// A copy of the trainer in a folder of its own, with a home folder of its own.
class Trainer
{
public:
    explicit Trainer(const Screen &screen, const QByteArray &track = Track,
                     TrackIn where = TrackIn::RememberedFolder)
        : trackPath(QDir(where == TrackIn::RememberedFolder ? tracks_.path() : home_.filePath(SteamTrackFolder))
                        .filePath("track.ini")),
          settings(QFile::encodeName(QFileInfo(trackPath).path()) + "\r\n")
    {
        QProcessEnvironment env = DisplayEnvironment(screen.display);
        env.insert("XDG_CONFIG_HOME", ConfigHome()); // the user's own settings and Steam must not leak in
        env.insert("HOME", home_.path());
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(dir_.path());
        installed_ = QDir().mkpath(ProgramFolder()) && QFile::copy(TrainerPath, Program()) &&
                     QDir().mkpath(ConfigHome()) && QDir().mkpath(QFileInfo(trackPath).path()) &&
                     QFile::setPermissions(Program(), QFile::permissions(TrainerPath) | QFile::ExeOwner);
        WriteFile(trackPath, track);
        if (where == TrackIn::RememberedFolder) // a second line tells a rewritten settings file from this one
            WriteFile(SettingsPath(), settings + "written by the test\r\n");
        else
            installed_ = installed_ && QFile::setPermissions(ProgramFolder(), QFile::Permissions(0x5555));
    }
    ~Trainer()
    {
        process_.kill(), process_.waitForFinished();
        QFile::setPermissions(ProgramFolder(), QFile::Permissions(0x7755));
    }

    QString ProgramFolder() const { return dir_.filePath("program"); }
    QString Program() const { return ProgramFolder() + "/korsa-sorvena-trainer"; }
    QString SettingsPath() const { return ProgramFolder() + "/Korsa Gridwell.ini"; }
    QString ConfigHome() const { return dir_.filePath(".config-home"); }
    // The settings file wherever the trainer wrote it: beside itself or per user.
    QByteArray SettingsWritten() const
    {
        for (QDirIterator it(dir_.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            if (it.next().endsWith("/Korsa Gridwell.ini"))
                return ReadFile(it.filePath());
        return {};
    }
    bool Start(const QStringList &args = {})
    {
        return process_.start(Program(), args), installed_ && process_.waitForStarted(StepMs);
    }
    bool Running() const { return process_.state() == QProcess::Running; }
    // The exit status once the process has ended by itself within the time given; -1 otherwise.
    int WaitForExit(int timeoutMs)
    {
        const bool ended = process_.waitForFinished(timeoutMs) && process_.exitStatus() == QProcess::NormalExit;
        return ended ? process_.exitCode() : -1;
    }
    QByteArray Diagnostics() { return process_.readAllStandardError(); }

    // Below the home folder; the home folder itself lies straight in /tmp, so the finder's folder
    // list shows the same number of parents above Steam's folders on every machine.
    static constexpr const char *SteamTrackFolder = ".local/share/Steam/steamapps/common/Simulator/tracks/sorvena";

private:
    QTemporaryDir dir_;
    QTemporaryDir home_{"/tmp/korsa-home-XXXXXX"};
    QTemporaryDir tracks_;
    bool installed_ = false;
    QProcess process_;

public:
    const QString trackPath;
    const QByteArray settings; // as the trainer writes it
};

// The menu bar keeps its height on top of a client area that is the 14256x9612-twip design (641 pixels
// high at 1024 lines) scaled to the screen.
struct MainWindowMap {
    QRect window;
    int menuHeight;
    MainWindowMap(QRect w, int screenHeight) : window(w), menuHeight(int(std::lround(w.height() * 1024.0 / screenHeight - 641))) {}
    QPoint CentreOf(double left, double top, double width, double height) const
    {
        return QPoint(window.x() + int(std::lround((left + width / 2) * window.width() / 14256)),
                      window.y() + menuHeight +
                          int(std::lround((top + height / 2) * (window.height() - menuHeight) / 9612)));
    }
    QPoint SectionPicture(int index) const { return CentreOf(120 + 3120 * (index % 3), 2280 + 2520 * (index / 3), 3000, 2000); }
    QPoint SaveButton() const { return CentreOf(120 + 480, 120 + 1140, 972, 372); }
    QPoint RevertButton() const { return CentreOf(120 + 12480, 120 + 1140, 972, 372); }
    QPoint FileMenu() const { return QPoint(window.x() + 12, window.y() + menuHeight / 2); }
};

} // namespace

class TrainerProcessTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Screen> screen_;
    std::optional<quint64> window_;
    std::optional<MainWindowMap> map_;

    // Starts the trainer and waits for its main window; notes where its controls are.
    bool Launch(Trainer &trainer, const QStringList &args = {})
    {
        window_ = trainer.Start(args) ? screen_->WaitFor(MainTitle, Kind::Main) : std::nullopt;
        const std::optional<QRect> geometry = window_ ? screen_->Geometry(*window_) : std::nullopt;
        if (!geometry)
            qWarning("no main window; the trainer said: %s", trainer.Diagnostics().constData());
        else
            map_.emplace(*geometry, screen_->Height());
        return geometry.has_value();
    }
    // Opens the File menu with a click on the menu bar and waits for it to drop down.
    std::optional<QRect> OpenFileMenu() const
    {
        const std::optional<quint64> menu =
            screen_->Click(map_->FileMenu()) ? screen_->WaitFor(AnyWindow, Kind::Menu) : std::nullopt;
        return menu ? screen_->Geometry(*menu) : std::nullopt;
    }
    // With the mouse alone: File > Select Sorvena track.ini..., a double-click on each row of the
    // folder list given (0 the top row), then on the first file listed, which closes the finder.
    // Returns the number of clicks it took; 0 when a step failed. With byKeys, Ctrl+O opens the finder.
    int PickFile(const QList<int> &folderRows = {}, bool byKeys = false) const
    {
        int clicks = byKeys ? 0 : 2;
        const std::optional<QRect> menu = byKeys ? std::nullopt : OpenFileMenu();
        const bool asked = byKeys ? screen_->FocusAndKeys(*window_, {"ctrl+o"})
                                  : menu && screen_->Click(menu->topLeft() + QPoint(40, 12));
        const std::optional<quint64> finder = asked ? screen_->WaitFor(FinderTitle, Kind::Dialog) : std::nullopt;
        const std::optional<QRect> geometry = finder ? screen_->Geometry(*finder) : std::nullopt;
        // The finder is 428x364; its folder list's rows are 18 pixels high, the top one centred 60
        // pixels below the finder's top; its first file lies 312,27 from the top left corner.
        if (!geometry || geometry->size() != QSize(428, 364))
            return 0;
        QList<QPoint> points;
        for (const int row : folderRows)
            points.append(QPoint(200, 60 + 18 * row));
        for (const QPoint at : points << QPoint(312, 27)) {
            if (!screen_->Click(geometry->topLeft() + at, 2))
                return 0;
            clicks += 2;
        }
        return screen_->WaitUntilGone(FinderTitle) ? clicks : 0;
    }
    // Waits for the process to end by itself; -2 when a dialog (a question) shows meanwhile.
    int WaitForQuietExit(Trainer &trainer) const
    {
        for (const QDeadlineTimer deadline(StepMs); !deadline.hasExpired();) {
            if (const int status = trainer.WaitForExit(PollMs); status >= 0 || !trainer.Running())
                return status;
            if (!screen_->Windows(AnyWindow, Kind::Dialog).isEmpty())
                return -2;
        }
        return -1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(TrainerPath).isExecutable(), qPrintable(TrainerPath));
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run this test under tests/support/with-xvfb.sh");
        screen_ = std::make_unique<Screen>(Screen{qEnvironmentVariable("DISPLAY")});
    }
    void cleanup() { QVERIFY2(screen_->WaitUntilGone(AnyWindow), "windows left over from the case"); }

    // A screen of 599 lines: one message box, no main window, and status 1 once the user closes it.
    void smallScreenRefusesToStart()
    {
        const OtherScreen small("1280x599");
        QCOMPARE(small.screen.Height(), 599);
        Trainer trainer(small.screen);
        QVERIFY(trainer.Start());
        const std::optional<quint64> box = small.screen.WaitFor(MainTitle, Kind::Dialog);
        QVERIFY2(box, trainer.Diagnostics().constData());
        QCOMPARE(small.screen.Windows(AnyWindow), QList<quint64>{*box});
        QVERIFY(small.screen.FocusAndKeys(*box, {"Return"}));
        int status = -1;
        for (const QDeadlineTimer deadline(StepMs); status < 0 && !deadline.hasExpired();) {
            status = trainer.WaitForExit(PollMs);
            QVERIFY2(small.screen.Windows(AnyWindow, Kind::Main).isEmpty(), "the main window showed");
        }
        QCOMPARE(status, 1);
    }

    // Pick the track file in the finder or name it on the command line, click a section, Save,
    // Revert, click a section and end without saving it: what reaches the disk. Ending asks nothing.
    void pickSaveRevertExit_data()
    {
        QTest::addColumn<bool>("onCommandLine");
        QTest::addColumn<bool>("byKeys"); // Ctrl+O, Ctrl+S and Ctrl+Q for the menu and the Save button
        QTest::newRow("finder") << false << false;
        QTest::newRow("finder, keys") << false << true;
        QTest::newRow("command line") << true << false;
    }
    void pickSaveRevertExit()
    {
        QFETCH(bool, onCommandLine);
        QFETCH(bool, byKeys);
        Trainer trainer(*screen_);
        QVERIFY(Launch(trainer, onCommandLine ? QStringList{trainer.trackPath} : QStringList{}));
        QVERIFY(onCommandLine || PickFile({}, byKeys));
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(trainer.SettingsPath()), trainer.settings, StepMs);

        QVERIFY(screen_->Click(map_->SectionPicture(1)));
        QVERIFY(byKeys ? screen_->FocusAndKeys(*window_, {"ctrl+s"}) : screen_->Click(map_->SaveButton()));
        const QByteArray saved = korsa::test::TrackText("12200 0.0\t\t; Modified by Korsa Gridwell");
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(trainer.trackPath), saved + MarkerSection, StepMs);
        QCOMPARE(ReadFile(trainer.trackPath + ".bak"), Track);

        QVERIFY(screen_->Click(map_->RevertButton()));
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(trainer.trackPath), Track + MarkerSection, StepMs);
        QCOMPARE(ReadFile(trainer.trackPath + ".bak"), Track);

        QVERIFY(screen_->Click(map_->SectionPicture(4)));
        QVERIFY(byKeys ? screen_->FocusAndKeys(*window_, {"ctrl+q"}) : OpenFileMenu() && screen_->Keys({"Up", "Return"}));
        QCOMPARE(WaitForQuietExit(trainer), 0);
        QCOMPARE(ReadFile(trainer.trackPath), Track + MarkerSection);
        QCOMPARE(ReadFile(trainer.SettingsPath()), trainer.settings);
    }

    // The close box ends the program at once with status 0, asks nothing and writes nothing, also
    // with a section clicked and not saved.
    void closeBoxEndsAtOnce()
    {
        Trainer trainer(*screen_);
        QVERIFY(Launch(trainer, {trainer.trackPath}));
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(trainer.SettingsPath()), trainer.settings, StepMs);
        QVERIFY(screen_->Click(map_->SectionPicture(4)));
        QVERIFY(RequestClose(screen_->display, *window_));
        QCOMPARE(WaitForQuietExit(trainer), 0);
        QCOMPARE(ReadFile(trainer.trackPath), Track);
        QVERIFY(!QFileInfo::exists(trainer.trackPath + ".bak"));
    }

    // A track file of another length is refused with a message box; nothing is written.
    void refusedFile_data()
    {
        QTest::addColumn<bool>("onCommandLine");
        QTest::newRow("finder") << false;
        QTest::newRow("command line") << true;
    }
    void refusedFile()
    {
        QFETCH(bool, onCommandLine);
        const QByteArray track = korsa::test::TrackText("1500 0.0", "3.2");
        Trainer trainer(*screen_, track);
        QVERIFY(Launch(trainer, onCommandLine ? QStringList{trainer.trackPath} : QStringList{}));
        QVERIFY(onCommandLine || PickFile());
        const std::optional<quint64> box = screen_->WaitFor(ReadErrorTitle, Kind::Dialog);
        QVERIFY2(box, trainer.Diagnostics().constData());
        QVERIFY(screen_->FocusAndKeys(*box, {"Return"}) && screen_->WaitUntilGone(ReadErrorTitle));
        // Save was never enabled: a click on it, Ctrl+S, then a menu that opens after them, change nothing.
        QVERIFY(screen_->Click(map_->SaveButton()) && screen_->FocusAndKeys(*window_, {"ctrl+s"}));
        QVERIFY(OpenFileMenu() && screen_->Keys({"Escape"}));
        QVERIFY(trainer.Running());
        QCOMPARE(screen_->Windows(MainTitle, Kind::Main), QList<quint64>{*window_});
        QCOMPARE(ReadFile(trainer.trackPath), track);
        QVERIFY(!QFileInfo::exists(trainer.trackPath + ".bak"));
        QCOMPARE(trainer.SettingsWritten(), trainer.settings + "written by the test\r\n");
    }

    // The first run of an installed trainer: the finder opens in the default Steam library's
    // steamapps/common, and the track file there is reached with the mouse in this many clicks.
    void firstRunReachesTheSteamLibrary()
    {
        Trainer trainer(*screen_, Track, TrackIn::SteamLibrary);
        QVERIFY(Launch(trainer));
        // Rows: /, tmp, the home folder, .local, share, Steam, steamapps, common, then Simulator; once
        // that is open, tracks below it, then sorvena.
        const int clicks = PickFile({8, 9, 10});
        qInfo("clicks from start-up to the accepted track file: %d", clicks);
        QCOMPARE(clicks, 10);
        QTRY_COMPARE_WITH_TIMEOUT(trainer.SettingsWritten(), trainer.settings, StepMs);
        QVERIFY(trainer.Running());
    }

    // The command line's options answer on standard output without a display; anything else unknown
    // is refused in one line that names it.
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");   // how standard output begins
        QTest::addColumn<QString>("error"); // the one line on standard error names this
        const QString version = "Korsa Sorvena Trainer " + korsa::test::AboutText() + '\n';
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: korsa-sorvena-trainer [PATH]\n" << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << "";
        QTest::newRow("unknown option") << QStringList{"track.ini", "--bogus"} << 64 << "" << "--bogus";
        QTest::newRow("two paths") << QStringList{"a.ini", "b.ini"} << 64 << "" << "b.ini";
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        QFETCH(QString, error);
        int status = -1;
        QByteArray errors;
        // No X server on an empty display: a window would end the program at once.
        const QString output = QString::fromLocal8Bit(Screen{""}.Run(TrainerPath, args, &status, &errors));
        QTEST(status, "status");
        QCOMPARE(output.left(out.size()), out);
        QCOMPARE(output.isEmpty(), out.isEmpty());
        QCOMPARE(errors.count('\n'), error.isEmpty() ? 0 : 1);
        QVERIFY2(errors.contains(error.toLocal8Bit()), errors.constData());
    }
};

QTEST_GUILESS_MAIN(TrainerProcessTest)
#include "tst_trainer.moc"
