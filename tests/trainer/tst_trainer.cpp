// The built trainer copied into a folder of its own, run as a process on a real X server and driven
// through xdotool; what it did is read back from the disk, its exit status and the windows shown.

#include "Version.h"
#include "support/TempTree.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRect>
#include <QtTest>

#include <cmath>
#include <memory>
#include <optional>

namespace {

const QString TrainerPath = QStringLiteral(KORSA_TRAINER);
const QString CloseRequestPath = QStringLiteral(KORSA_CLOSE_REQUEST);

// What xdotool searches for: windows by title, or every window of the program by its class.
const QStringList MainTitle = {"--name", "^Korsa Sorvena Trainer$"};
const QStringList FinderTitle = {"--name", "^Track\\.ini File Finder$"};
const QStringList ReadErrorTitle = {"--name", "^File Read Error$"};
const QStringList AnyWindow = {"--classname", "^korsa-sorvena-trainer$"};

constexpr int StepMs = 15000; // how long one step of the user's may take to show
constexpr int PollMs = 20;

const QByteArray SorvenaTrack = "[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\n"
                                "pit_boxes = 1\r\nstall_0 = 1500 0.0\r\n[ END ]\r\n";
const QByteArray MarkerSection = "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";

enum class Kind { Main, Dialog, Menu, Other };

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

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
    std::optional<quint64> WaitFor(const QStringList &match, Kind kind) const
    {
        for (const QDeadlineTimer deadline(StepMs); !deadline.hasExpired(); QTest::qWait(PollMs))
            if (const QList<quint64> ids = Windows(match, kind); !ids.isEmpty())
                return ids.last();
        return std::nullopt;
    }
    bool WaitUntilGone(const QStringList &match) const
    {
        for (const QDeadlineTimer deadline(StepMs); !deadline.hasExpired(); QTest::qWait(PollMs))
            if (Windows(match).isEmpty())
                return true;
        return false;
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

// A further X server of the given size, on a display number it picks itself.
struct ExtraServer {
    QProcess process;
    ~ExtraServer()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished();
    }
    std::optional<Screen> Start(const QString &size)
    {
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start("Xvfb", {"-displayfd", "1", "-screen", "0", size + "x24", "-dpi", "96", "-nolisten", "tcp", "-noreset"});
        QByteArray number;
        for (const QDeadlineTimer deadline(StepMs); !number.contains('\n') && !deadline.hasExpired();) {
            if (!process.waitForReadyRead(PollMs) && process.state() == QProcess::NotRunning)
                return std::nullopt;
            number += process.readAllStandardOutput();
        }
        return number.contains('\n') ? std::optional(Screen{':' + QString::fromLatin1(number.trimmed())}) : std::nullopt;
    }
};

// Where the track file lies: in the folder the settings file names, in the program's folder (where
// the finder starts without a settings file), or in the default Steam library of the user's home
// folder, the program being installed (its folder read-only, nothing remembered).
enum class TrackIn { RememberedFolder, ProgramFolder, SteamLibrary };

// A copy of the trainer in a folder of its own, with a home folder of its own.
class Trainer
{
public:
    explicit Trainer(const Screen &screen, const QByteArray &track = SorvenaTrack,
                     TrackIn where = TrackIn::RememberedFolder)
        : trackPath(QDir(where == TrackIn::RememberedFolder ? tracks_.path()
                         : where == TrackIn::ProgramFolder  ? ProgramFolder()
                                                            : home_.filePath(SteamTrackFolder))
                        .filePath("track.ini")),
          settings(QFile::encodeName(QFileInfo(trackPath).path()) + "\r\n")
    {
        QProcessEnvironment env = DisplayEnvironment(screen.display);
        env.insert("XDG_CONFIG_HOME", ConfigHome()); // the user's own settings and Steam must not leak in
        env.insert("HOME", home_.path());
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(dir_.path());
        // A second line tells a rewritten settings file from the one written here.
        installed_ = QDir().mkpath(ProgramFolder()) && QFile::copy(TrainerPath, Program()) &&
                     QDir().mkpath(ConfigHome()) && QDir().mkpath(QFileInfo(trackPath).path()) &&
                     QFile::setPermissions(Program(), QFile::permissions(TrainerPath) | QFile::ExeOwner) &&
                     WriteBytes(trackPath, track) &&
                     (where != TrackIn::RememberedFolder ||
                      WriteBytes(SettingsPath(), settings + "written by the test\r\n")) &&
                     (where != TrackIn::SteamLibrary ||
                      QFile::setPermissions(ProgramFolder(), QFile::Permissions(0x5555)));
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
                return ReadBytes(it.filePath());
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
    korsa::test::TempTree tracks_;
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

Q_DECLARE_METATYPE(TrackIn)

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
        QVERIFY2(QFileInfo(CloseRequestPath).isExecutable(), qPrintable(CloseRequestPath));
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run this test under tests/support/with-xvfb.sh");
        screen_ = std::make_unique<Screen>(Screen{qEnvironmentVariable("DISPLAY")});
    }
    void cleanup() { QVERIFY2(screen_->WaitUntilGone(AnyWindow), "windows left over from the case"); }

    // Below 600 lines: one message box, no main window, and status 1 once the user closes the box.
    void screenSize_data()
    {
        QTest::addColumn<int>("lines");
        QTest::newRow("599 lines") << 599;
        QTest::newRow("600 lines") << 600;
    }
    void screenSize()
    {
        QFETCH(int, lines);
        ExtraServer server;
        const std::optional<Screen> screen = server.Start(QString("1280x%1").arg(lines));
        QVERIFY2(screen, "Xvfb did not start");
        QCOMPARE(screen->Height(), lines);
        Trainer trainer(*screen);
        QVERIFY(trainer.Start());
        const std::optional<quint64> window = screen->WaitFor(MainTitle, lines < 600 ? Kind::Dialog : Kind::Main);
        QVERIFY2(window, trainer.Diagnostics().constData());
        QCOMPARE(screen->Windows(AnyWindow), QList<quint64>{*window});
        if (lines >= 600) { // it keeps running until the user ends it
            QCOMPARE(trainer.WaitForExit(500), -1);
            return;
        }
        QVERIFY(screen->FocusAndKeys(*window, {"Return"}));
        int status = -1;
        for (const QDeadlineTimer deadline(StepMs); status < 0 && !deadline.hasExpired();) {
            status = trainer.WaitForExit(PollMs);
            QVERIFY2(screen->Windows(AnyWindow, Kind::Main).isEmpty(), "the main window showed");
        }
        QCOMPARE(status, 1);
    }

    // File > Exit, Ctrl+Q and the close box end the program at once with status 0, ask nothing,
    // write nothing.
    void ending_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("withTrack");
        QTest::newRow("Exit, no track") << "Exit" << false;
        QTest::newRow("Exit, unsaved section") << "Exit" << true;
        QTest::newRow("Ctrl+Q, unsaved section") << "ctrl+q" << true;
        QTest::newRow("close box, unsaved section") << "close box" << true;
    }
    void ending()
    {
        QFETCH(QString, how);
        QFETCH(bool, withTrack);
        Trainer trainer(*screen_);
        QVERIFY(Launch(trainer));
        QVERIFY(!withTrack || (PickFile() && screen_->Click(map_->SectionPicture(4))));
        int status = 0;
        if (how == "Exit") { // a click on Exit, the last item
            const std::optional<QRect> menu = OpenFileMenu();
            QVERIFY(menu && screen_->Click(QPoint(menu->x() + 40, menu->bottom() - 12)));
        } else if (how == "close box") {
            screen_->Run(CloseRequestPath, {QString::number(*window_)}, &status);
        } else {
            QVERIFY(screen_->FocusAndKeys(*window_, {how}));
        }
        QCOMPARE(status, 0);
        QCOMPARE(WaitForQuietExit(trainer), 0);
        QCOMPARE(ReadBytes(trainer.trackPath), SorvenaTrack);
        QVERIFY(!QFileInfo::exists(trainer.trackPath + ".bak"));
    }

    // Pick the track file in the finder or name it on the command line, click a section, Save,
    // Revert, Exit: what reaches the disk.
    void pickSaveRevertExit_data()
    {
        QTest::addColumn<bool>("onCommandLine");
        QTest::addColumn<bool>("byKeys"); // Ctrl+O and Ctrl+S for the menu and the Save button
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
        QTRY_COMPARE_WITH_TIMEOUT(ReadBytes(trainer.SettingsPath()), trainer.settings, StepMs);

        QVERIFY(screen_->Click(map_->SectionPicture(1)));
        QVERIFY(byKeys ? screen_->FocusAndKeys(*window_, {"ctrl+s"}) : screen_->Click(map_->SaveButton()));
        const QByteArray saved =
            QByteArray(SorvenaTrack).replace("stall_0 = 1500 0.0", "stall_0 = 12200 0.0\t\t; Modified by Korsa Gridwell");
        QTRY_COMPARE_WITH_TIMEOUT(ReadBytes(trainer.trackPath), saved + MarkerSection, StepMs);
        QCOMPARE(ReadBytes(trainer.trackPath + ".bak"), SorvenaTrack);

        QVERIFY(screen_->Click(map_->RevertButton()));
        QTRY_COMPARE_WITH_TIMEOUT(ReadBytes(trainer.trackPath), SorvenaTrack + MarkerSection, StepMs);
        QCOMPARE(ReadBytes(trainer.trackPath + ".bak"), SorvenaTrack);

        QVERIFY(OpenFileMenu() && screen_->Keys({"Up", "Return"}));
        QCOMPARE(WaitForQuietExit(trainer), 0);
        QCOMPARE(ReadBytes(trainer.trackPath), SorvenaTrack + MarkerSection);
        QCOMPARE(ReadBytes(trainer.SettingsPath()), trainer.settings);
    }

    // A track file of another length is refused with a message box; nothing is written.
    void refusedFile_data()
    {
        QTest::addColumn<TrackIn>("where");
        QTest::addColumn<bool>("onCommandLine");
        QTest::newRow("settings file") << TrackIn::RememberedFolder << false;
        QTest::newRow("no settings file") << TrackIn::ProgramFolder << false;
        QTest::newRow("command line") << TrackIn::RememberedFolder << true;
    }
    void refusedFile()
    {
        QFETCH(TrackIn, where);
        QFETCH(bool, onCommandLine);
        const QByteArray track = QByteArray(SorvenaTrack).replace("44.732", "3.2");
        Trainer trainer(*screen_, track, where);
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
        QCOMPARE(ReadBytes(trainer.trackPath), track);
        QVERIFY(!QFileInfo::exists(trainer.trackPath + ".bak"));
        const bool remembered = where == TrackIn::RememberedFolder;
        QCOMPARE(trainer.SettingsWritten(), remembered ? trainer.settings + "written by the test\r\n" : "");
    }

    // The first run of an installed trainer: the finder opens in the default Steam library's
    // steamapps/common, and the track file there is reached with the mouse in this many clicks.
    void firstRunReachesTheSteamLibrary()
    {
        Trainer trainer(*screen_, SorvenaTrack, TrackIn::SteamLibrary);
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
    // is refused in one line.
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // how standard output begins
        QTest::addColumn<int>("errorLines");
        const QString version = QString("Korsa Sorvena Trainer v%1.%2.%3 by %4\n")
                                    .arg(korsa::version::Major)
                                    .arg(korsa::version::Minor)
                                    .arg(korsa::version::Revision)
                                    .arg(korsa::version::CompanyName);
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: korsa-sorvena-trainer [PATH]\n" << 0;
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << 0;
        QTest::newRow("unknown option") << QStringList{"track.ini", "--bogus"} << 64 << "" << 1;
        QTest::newRow("two paths") << QStringList{"a.ini", "b.ini"} << 64 << "" << 1;
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        int status = -1;
        QByteArray errors;
        // No X server on an empty display: a window would end the program at once.
        const QString output = QString::fromLocal8Bit(Screen{""}.Run(TrainerPath, args, &status, &errors));
        QTEST(status, "status");
        QVERIFY2(out.isEmpty() ? output.isEmpty() : output.startsWith(out), qPrintable(output));
        QTEST(int(errors.count('\n')), "errorLines");
        QVERIFY(errors.isEmpty() || errors.contains(args.last().toLocal8Bit()));
    }
};

QTEST_GUILESS_MAIN(TrainerProcessTest)
#include "tst_trainer.moc"
