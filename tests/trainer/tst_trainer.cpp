// The trainer as the user meets it: the built program copied into a folder of its own, started as
// a process on a real X server and driven with the mouse and keyboard through xdotool. What it did
// is read back from the files on disk, its exit status and the windows the server shows.
//
// The test runs under its own Xvfb (DISPLAY); cases that need another screen size start one more.

#include "support/TempTree.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>
#include <optional>
#include <utility>

namespace {

const QString TrainerPath = QStringLiteral(KORSA_TRAINER);
const QString CloseRequestPath = QStringLiteral(KORSA_CLOSE_REQUEST);
const QString ScreenshotFolder = QStringLiteral(KORSA_SCREENSHOTS);
const QString SettingsName = QStringLiteral("Korsa Gridwell.ini");

// What xdotool searches for: windows by title (extended regular expressions), or every window of
// the program by its class (its menus have no title xdotool can match).
const QStringList MainTitle = {QStringLiteral("--name"), QStringLiteral("^Korsa Sorvena Trainer$")};
const QStringList FinderTitle = {QStringLiteral("--name"), QStringLiteral("^Track\\.ini File Finder$")};
const QStringList ReadErrorTitle = {QStringLiteral("--name"), QStringLiteral("^File Read Error$")};
const QStringList AnyWindow = {QStringLiteral("--classname"), QStringLiteral("^korsa-sorvena-trainer$")};

// How long one step of the user's may take to show on the screen.
constexpr int StepMs = 15000;
// Between two looks at the server or the disk.
constexpr int PollMs = 20;

// The window's design, in twips at a 1024-line screen.
constexpr double DesignClientWidth = 14256;
constexpr double DesignClientHeight = 9612;
constexpr double DesignClientHeightPixels = 641; // 9612 twips, rounded to pixels
constexpr int DesignScreenHeight = 1024;

// The finder: its size in pixels, and where the first entry of its file list lies from its top
// left corner (the list is 4080 + 120 twips across and 120 + 120 twips down, inside a 2-pixel
// sunken border; its first row is about 15 pixels high).
constexpr QSize FinderSize(428, 364);
constexpr QPoint FinderFirstFile(282 + 30, 18 + 9);

const QByteArray SorvenaTrack = QByteArrayLiteral("[ HEADER ]\r\n"
                                                  "track_name_short = Sorvena\r\n"
                                                  "track_length = 44.732 miles\r\n"
                                                  "pit_boxes = 1\r\n"
                                                  "stall_0 = 1500 0.0\r\n"
                                                  "[ END ]\r\n");
const QByteArray OriginalStallLine = QByteArrayLiteral("stall_0 = 1500 0.0");
const QByteArray MarkerSection = QByteArrayLiteral("\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n");

enum class WindowKind { Main, Dialog, Menu, Other };

struct ToolResult {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

QProcessEnvironment DisplayEnvironment(const QString &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
    return env;
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One X server and the clients that look at it and drive it.
class Screen
{
public:
    explicit Screen(QString display) : display_(std::move(display)) {}
    const QString &Display() const { return display_; }

    ToolResult Run(const QString &program, const QStringList &args) const
    {
        QProcess process;
        process.setProcessEnvironment(DisplayEnvironment(display_));
        process.start(program, args);
        ToolResult result;
        if (!process.waitForFinished(StepMs)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    bool Xdotool(const QStringList &args) const
    {
        const ToolResult result = Run(QStringLiteral("xdotool"), args);
        if (result.status != 0)
            qWarning("xdotool %s failed (%d): %s", qPrintable(args.join(u' ')), result.status, result.err.constData());
        return result.status == 0;
    }

    // Mapped windows that match, bottom of the stack first.
    QList<quint64> VisibleWindows(const QStringList &match) const
    {
        const ToolResult result =
            Run(QStringLiteral("xdotool"), QStringList{QStringLiteral("search"), QStringLiteral("--onlyvisible")} + match);
        QList<quint64> ids;
        for (const QByteArray &line : result.out.split('\n'))
            if (bool ok = false; !line.trimmed().isEmpty()) {
                const quint64 id = line.trimmed().toULongLong(&ok);
                if (ok)
                    ids.append(id);
            }
        return ids;
    }

    std::optional<QRect> Geometry(quint64 id) const
    {
        const ToolResult result = Run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                                                  QStringLiteral("--shell"), QString::number(id)});
        if (result.status != 0)
            return std::nullopt;
        int x = 0, y = 0, w = -1, h = -1;
        for (const QByteArray &line : result.out.split('\n')) {
            const QList<QByteArray> pair = line.trimmed().split('=');
            if (pair.size() != 2)
                continue;
            const int value = pair[1].toInt();
            if (pair[0] == "X")
                x = value;
            else if (pair[0] == "Y")
                y = value;
            else if (pair[0] == "WIDTH")
                w = value;
            else if (pair[0] == "HEIGHT")
                h = value;
        }
        if (w < 0 || h < 0)
            return std::nullopt;
        return QRect(x, y, w, h);
    }

    // What the window is: a pop-up (a menu) bypasses the window manager; for the others, what the
    // toolkit says in _NET_WM_WINDOW_TYPE. (A menu shown a second time may carry only NORMAL.)
    WindowKind Kind(quint64 id) const
    {
        const QByteArray info = Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(id)}).out;
        if (info.contains("Override Redirect State: yes"))
            return WindowKind::Menu;
        const QByteArray type =
            Run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(id), QStringLiteral("_NET_WM_WINDOW_TYPE")})
                .out;
        if (type.contains("MENU"))
            return WindowKind::Menu;
        if (type.contains("_NET_WM_WINDOW_TYPE_DIALOG"))
            return WindowKind::Dialog;
        if (type.contains("_NET_WM_WINDOW_TYPE_NORMAL"))
            return WindowKind::Main;
        return WindowKind::Other;
    }

    QList<quint64> VisibleWindowsOfKind(const QStringList &match, WindowKind kind) const
    {
        QList<quint64> found;
        for (quint64 id : VisibleWindows(match))
            if (Kind(id) == kind)
                found.append(id);
        return found;
    }

    // Polls until a window of that title and kind is mapped.
    std::optional<quint64> WaitForWindow(const QStringList &match, WindowKind kind, int timeoutMs = StepMs) const
    {
        const QDeadlineTimer deadline(timeoutMs);
        do {
            const QList<quint64> ids = VisibleWindowsOfKind(match, kind);
            if (!ids.isEmpty())
                return ids.last();
            QTest::qWait(PollMs);
        } while (!deadline.hasExpired());
        return std::nullopt;
    }

    bool WaitUntilGone(const QStringList &match, int timeoutMs = StepMs) const
    {
        const QDeadlineTimer deadline(timeoutMs);
        do {
            if (VisibleWindows(match).isEmpty())
                return true;
            QTest::qWait(PollMs);
        } while (!deadline.hasExpired());
        return false;
    }

    QSize Size() const
    {
        const QList<QByteArray> parts =
            Run(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")}).out.trimmed().split(' ');
        return parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
    }

    bool Click(QPoint at, int count = 1) const
    {
        // No --sync: it waits for the pointer to move, forever when it already stands there. The
        // server handles the faked motion and clicks in order anyway.
        QStringList args = {QStringLiteral("mousemove"), QString::number(at.x()),
                            QString::number(at.y()), QStringLiteral("click")};
        if (count > 1)
            args << QStringLiteral("--repeat") << QString::number(count) << QStringLiteral("--delay")
                 << QStringLiteral("60");
        args << QStringLiteral("1");
        return Xdotool(args);
    }

    // Keys typed on the keyboard: they go where the keyboard focus (or a menu's grab) is.
    bool Keys(const QStringList &keys) const { return Xdotool(QStringList{QStringLiteral("key")} + keys); }

    // Gives the window the keyboard focus, then types the keys, as a user who clicked into the window
    // before typing would.
    bool FocusAndKeys(quint64 id, const QStringList &keys) const
    {
        return Xdotool(QStringList{QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(id),
                                   QStringLiteral("key")} +
                       keys);
    }

    bool Screenshot(const QString &path) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        return Run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path}).status == 0 &&
               QFileInfo(path).size() > 0;
    }

private:
    QString display_;
};

// A further X server of a given size, for cases about the screen itself.
class ExtraServer
{
public:
    ~ExtraServer()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished();
            }
        }
    }

    // Starts Xvfb on a display number it picks itself and reports back on its standard output.
    bool Start(const QString &size)
    {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                 QStringLiteral("-screen"), QStringLiteral("0"), size + QStringLiteral("x24"),
                                                 QStringLiteral("-dpi"), QStringLiteral("96"),
                                                 QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                                 QStringLiteral("-noreset")});
        if (!process_.waitForStarted(StepMs))
            return false;
        QByteArray number;
        const QDeadlineTimer deadline(StepMs);
        while (!number.contains('\n') && !deadline.hasExpired() && process_.state() == QProcess::Running) {
            process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
            number += process_.readAllStandardOutput();
        }
        if (!number.contains('\n'))
            return false;
        display_ = u':' + QString::fromLatin1(number.trimmed());
        return true;
    }

    QString Display() const { return display_; }

private:
    QProcess process_;
    QString display_;
};

// A copy of the trainer in a folder of its own (its settings file and photographs live beside it).
class Trainer
{
public:
    explicit Trainer(const Screen &screen) : screen_(screen)
    {
        program_ = dir_.filePath(QStringLiteral("korsa-sorvena-trainer"));
        installed_ = dir_.isValid() && QFile::copy(TrainerPath, program_) &&
                     QFile::setPermissions(program_, QFile::permissions(TrainerPath) | QFile::ExeOwner) &&
                     QDir().mkpath(ConfigHome());
    }

    ~Trainer()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    bool Installed() const { return installed_; }
    QString Folder() const { return dir_.path(); }
    QString SettingsPath() const { return dir_.filePath(SettingsName); }
    QString ConfigHome() const { return dir_.filePath(QStringLiteral(".config-home")); }

    void WriteSettings(const QByteArray &bytes) const
    {
        QFile file(SettingsPath());
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(SettingsPath()));
    }

    bool Start()
    {
        QProcessEnvironment env = DisplayEnvironment(screen_.Display());
        // A settings file in the user's own configuration must not leak in.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), ConfigHome());
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(Folder());
        process_.start(program_, {});
        return process_.waitForStarted(StepMs);
    }

    bool Running() const { return process_.state() == QProcess::Running; }

    // The exit status, once the process has ended by itself within the time given; -1 otherwise.
    int WaitForExit(int timeoutMs = StepMs)
    {
        if (!process_.waitForFinished(timeoutMs))
            return -1;
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

    QByteArray Diagnostics() { return process_.readAllStandardError(); }

private:
    const Screen &screen_;
    QTemporaryDir dir_;
    QString program_;
    bool installed_ = false;
    QProcess process_;
};

// Where the main window's controls are on the screen, from the window's own geometry: the menu
// bar sits on top of a client area that is the design scaled to the screen.
class MainWindowMap
{
public:
    MainWindowMap(QRect window, int screenHeight) : window_(window)
    {
        // The whole window is scaled by screenHeight/1024; the menu bar keeps its height.
        const double factor = static_cast<double>(screenHeight) / DesignScreenHeight;
        menuHeight_ = static_cast<int>(std::lround(window.height() / factor - DesignClientHeightPixels));
        client_ = QSizeF(window.width(), window.height() - menuHeight_);
    }

    QPoint At(double twipsX, double twipsY) const
    {
        return QPoint(window_.x() + static_cast<int>(std::lround(twipsX * client_.width() / DesignClientWidth)),
                      window_.y() + menuHeight_ +
                          static_cast<int>(std::lround(twipsY * client_.height() / DesignClientHeight)));
    }
    QPoint CentreOf(double left, double top, double width, double height) const
    {
        return At(left + width / 2, top + height / 2);
    }
    QPoint SectionPicture(int index) const
    {
        return CentreOf(120 + 3120 * (index % 3), 2280 + 2520 * (index / 3), 3000, 2000);
    }
    // The buttons lie in Frame1, which lies at 120,120.
    QPoint SaveButton() const { return CentreOf(120 + 480, 120 + 1140, 972, 372); }
    QPoint RevertButton() const { return CentreOf(120 + 12480, 120 + 1140, 972, 372); }
    QPoint FileMenu() const { return QPoint(window_.x() + 12, window_.y() + menuHeight_ / 2); }
    int MenuHeight() const { return menuHeight_; }

private:
    QRect window_;
    int menuHeight_ = 0;
    QSizeF client_;
};

QByteArray WithStallLine(const QByteArray &track, const QByteArray &stallLine)
{
    QByteArray bytes = track;
    const qsizetype at = bytes.indexOf("stall_0 = ");
    const qsizetype end = bytes.indexOf("\r\n", at);
    return bytes.replace(at, end - at, stallLine);
}

} // namespace

class TrainerProcessTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Screen> screen_;
    int screenHeight_ = 0;

    // Starts the trainer and waits for its main window; fills in where its controls are.
    bool StartToMainWindow(Trainer &trainer, quint64 &window, std::optional<MainWindowMap> &map)
    {
        if (!trainer.Installed() || !trainer.Start())
            return false;
        const std::optional<quint64> id = screen_->WaitForWindow(MainTitle, WindowKind::Main);
        if (!id) {
            qWarning("no main window; trainer said: %s", trainer.Diagnostics().constData());
            return false;
        }
        const std::optional<QRect> geometry = screen_->Geometry(*id);
        if (!geometry)
            return false;
        window = *id;
        map.emplace(*geometry, screenHeight_);
        return true;
    }

    // Opens the File menu with a click on the menu bar and waits for it to drop down.
    std::optional<QRect> OpenFileMenu(const MainWindowMap &map) const
    {
        if (!screen_->Click(map.FileMenu()))
            return std::nullopt;
        const std::optional<quint64> menu = screen_->WaitForWindow(AnyWindow, WindowKind::Menu);
        if (!menu) {
            screen_->Screenshot(ScreenshotFolder + QStringLiteral("/no-file-menu.png"));
            for (quint64 id : screen_->VisibleWindows(AnyWindow))
                qWarning("window %llu kind %d", id, static_cast<int>(screen_->Kind(id)));
        }
        return menu ? screen_->Geometry(*menu) : std::nullopt;
    }

    // File > Select Sorvena track.ini..., with the keyboard once the menu is down.
    std::optional<quint64> OpenFinder(const MainWindowMap &map) const
    {
        if (!OpenFileMenu(map) || !screen_->Keys({QStringLiteral("Down"), QStringLiteral("Return")}))
            return std::nullopt;
        return screen_->WaitForWindow(FinderTitle, WindowKind::Dialog);
    }

    // A double-click on the first file the finder lists; the finder closes on it.
    bool PickFirstFile(quint64 finder) const
    {
        const std::optional<QRect> geometry = screen_->Geometry(finder);
        if (!geometry || geometry->size() != FinderSize) {
            qWarning("the finder is not %dx%d", FinderSize.width(), FinderSize.height());
            return false;
        }
        return screen_->Click(geometry->topLeft() + FinderFirstFile, 2) && screen_->WaitUntilGone(FinderTitle);
    }

    // Waits for the process to end by itself; fails on any dialog (a question, a message) that
    // shows meanwhile, and on the main window coming back.
    int WaitForQuietExit(Trainer &trainer, bool mainWindowAllowed)
    {
        const QDeadlineTimer deadline(StepMs);
        while (!deadline.hasExpired()) {
            const int status = trainer.WaitForExit(PollMs);
            if (status >= 0 || !trainer.Running())
                return status;
            for (quint64 id : screen_->VisibleWindows(AnyWindow)) {
                const WindowKind kind = screen_->Kind(id);
                if (kind == WindowKind::Dialog) {
                    qWarning("a dialog showed while the program was ending");
                    return -2;
                }
                if (kind == WindowKind::Main && !mainWindowAllowed) {
                    qWarning("a main window showed");
                    return -3;
                }
            }
        }
        return -1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(TrainerPath).isExecutable(), qPrintable(TrainerPath));
        QVERIFY2(QFileInfo(CloseRequestPath).isExecutable(), qPrintable(CloseRequestPath));
        const QString display = qEnvironmentVariable("DISPLAY");
        QVERIFY2(!display.isEmpty(), "run this test under an X server (tests/support/with-xvfb.sh)");
        screen_ = std::make_unique<Screen>(display);
        screenHeight_ = screen_->Size().height();
        QVERIFY(screenHeight_ >= 600);
    }

    void cleanup()
    {
        // Nothing of one case may be left on the screen for the next.
        QVERIFY2(screen_->WaitUntilGone(AnyWindow), "windows left over from the case");
    }

    // Too small a screen: one message, closed by the user, and the program ends with status 1
    // without its main window ever showing. From 600 lines up the window shows and stays.
    void screenSize_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("refused");
        QTest::newRow("599 lines") << QStringLiteral("1280x599") << true;
        QTest::newRow("480 lines") << QStringLiteral("800x480") << true;
        QTest::newRow("600 lines") << QStringLiteral("1280x600") << false;
        QTest::newRow("768 lines") << QStringLiteral("1024x768") << false;
    }

    void screenSize()
    {
        QFETCH(QString, size);
        QFETCH(bool, refused);
        ExtraServer server;
        QVERIFY2(server.Start(size), "Xvfb did not start");
        const Screen screen(server.Display());
        const QSize screenSize = screen.Size();
        QCOMPARE(QString::number(screenSize.width()) + u'x' + QString::number(screenSize.height()), size);
        // The main window's size on this screen, scaled from its 950x660 design.
        const double factor = screenSize.height() / static_cast<double>(DesignScreenHeight);
        const QSize mainSize(static_cast<int>(std::lround(950 * factor)), static_cast<int>(std::lround(660 * factor)));

        Trainer trainer(screen);
        QVERIFY(trainer.Installed());
        QVERIFY(trainer.Start());

        if (!refused) {
            const std::optional<quint64> window = screen.WaitForWindow(MainTitle, WindowKind::Main);
            QVERIFY2(window, trainer.Diagnostics().constData());
            const std::optional<QRect> geometry = screen.Geometry(*window);
            QVERIFY(geometry);
            QVERIFY2(std::abs(geometry->width() - mainSize.width()) <= 1 &&
                         std::abs(geometry->height() - mainSize.height()) <= 2,
                     qPrintable(QStringLiteral("main window %1x%2").arg(geometry->width()).arg(geometry->height())));
            QVERIFY(screen.VisibleWindowsOfKind(AnyWindow, WindowKind::Dialog).isEmpty());
            // It keeps running until the user ends it.
            QCOMPARE(trainer.WaitForExit(500), -1);
            QVERIFY(trainer.Running());
            return;
        }

        // Watch every window the program maps until its message shows.
        std::optional<quint64> box;
        const QDeadlineTimer deadline(StepMs);
        while (!box && !deadline.hasExpired() && trainer.Running()) {
            for (quint64 id : screen.VisibleWindows(AnyWindow)) {
                const WindowKind kind = screen.Kind(id);
                QVERIFY2(kind != WindowKind::Main, "the main window showed on a screen too small");
                if (kind == WindowKind::Dialog)
                    box = id;
            }
            if (!box)
                QTest::qWait(PollMs);
        }
        QVERIFY2(box, trainer.Diagnostics().constData());
        QCOMPARE(screen.VisibleWindows(MainTitle), QList<quint64>{*box});

        // A message box's size: much lower than the main window would be on this screen.
        const std::optional<QRect> geometry = screen.Geometry(*box);
        QVERIFY(geometry);
        QVERIFY2(geometry->height() < mainSize.height() * 2 / 3 && geometry->size() != mainSize,
                 qPrintable(QStringLiteral("message %1x%2, main window would be %3x%4")
                                .arg(geometry->width())
                                .arg(geometry->height())
                                .arg(mainSize.width())
                                .arg(mainSize.height())));
        QVERIFY(trainer.Running());

        QVERIFY(screen.FocusAndKeys(*box, {QStringLiteral("Return")}));
        const QDeadlineTimer exitDeadline(StepMs);
        int status = -1;
        while (status < 0 && !exitDeadline.hasExpired()) {
            status = trainer.WaitForExit(PollMs);
            if (status < 0)
                QVERIFY2(screen.VisibleWindowsOfKind(AnyWindow, WindowKind::Main).isEmpty(),
                         "the main window showed after the message");
        }
        QCOMPARE(status, 1);
    }

    // File > Exit ends the program at once with status 0, asks nothing and writes nothing.
    void exitFromMenu_data()
    {
        QTest::addColumn<bool>("withTrack");
        QTest::addColumn<bool>("byClick");
        QTest::newRow("no track, keys") << false << false;
        QTest::newRow("no track, click on Exit") << false << true;
        QTest::newRow("unsaved section, keys") << true << false;
        QTest::newRow("unsaved section, click on Exit") << true << true;
    }

    void exitFromMenu()
    {
        QFETCH(bool, withTrack);
        QFETCH(bool, byClick);
        Trainer trainer(*screen_);
        korsa::test::TempTree tracks;
        const QString trackPath = tracks.write(QStringLiteral("track.ini"), SorvenaTrack);
        trainer.WriteSettings(QFile::encodeName(tracks.path()) + "\r\n");

        quint64 window = 0;
        std::optional<MainWindowMap> map;
        QVERIFY(StartToMainWindow(trainer, window, map));
        if (withTrack) {
            const std::optional<quint64> finder = OpenFinder(*map);
            QVERIFY(finder);
            QVERIFY(PickFirstFile(*finder));
            QVERIFY(screen_->Click(map->SectionPicture(1)));
        }

        const std::optional<QRect> menu = OpenFileMenu(*map);
        QVERIFY(menu);
        if (byClick)
            QVERIFY(screen_->Click(QPoint(menu->x() + 40, menu->bottom() - 12)));
        else
            QVERIFY(screen_->Keys({QStringLiteral("Up"), QStringLiteral("Return")}));

        QCOMPARE(WaitForQuietExit(trainer, true), 0);
        QCOMPARE(ReadBytes(trackPath), SorvenaTrack);
        QVERIFY(!QFileInfo::exists(trackPath + QStringLiteral(".bak")));
    }

    // The close box (the window manager's close request) ends the program like Exit.
    void closeRequest_data()
    {
        QTest::addColumn<bool>("withTrack");
        QTest::newRow("no track") << false;
        QTest::newRow("unsaved section") << true;
    }

    void closeRequest()
    {
        QFETCH(bool, withTrack);
        Trainer trainer(*screen_);
        korsa::test::TempTree tracks;
        const QString trackPath = tracks.write(QStringLiteral("track.ini"), SorvenaTrack);
        trainer.WriteSettings(QFile::encodeName(tracks.path()) + "\r\n");

        quint64 window = 0;
        std::optional<MainWindowMap> map;
        QVERIFY(StartToMainWindow(trainer, window, map));
        if (withTrack) {
            const std::optional<quint64> finder = OpenFinder(*map);
            QVERIFY(finder);
            QVERIFY(PickFirstFile(*finder));
            QVERIFY(screen_->Click(map->SectionPicture(4)));
        }

        const ToolResult sent = screen_->Run(CloseRequestPath, {QString::number(window)});
        QVERIFY2(sent.status == 0, sent.err.constData());
        QCOMPARE(WaitForQuietExit(trainer, true), 0);
        QCOMPARE(ReadBytes(trackPath), SorvenaTrack);
        QVERIFY(!QFileInfo::exists(trackPath + QStringLiteral(".bak")));
    }

    // Pick the track file in the finder, click a section, Save, Revert, Exit: what reaches the
    // disk at every step.
    void pickSaveRevertExit()
    {
        Trainer trainer(*screen_);
        korsa::test::TempTree tracks;
        const QString trackPath = tracks.write(QStringLiteral("track.ini"), SorvenaTrack);
        const QByteArray settings = QFile::encodeName(tracks.path()) + "\r\n";
        // A second line tells a rewritten settings file from the one written here.
        trainer.WriteSettings(settings + "written by the test\r\n");

        quint64 window = 0;
        std::optional<MainWindowMap> map;
        QVERIFY(StartToMainWindow(trainer, window, map));

        const std::optional<quint64> finder = OpenFinder(*map);
        QVERIFY(finder);
        QVERIFY(screen_->Screenshot(ScreenshotFolder + QStringLiteral("/finder-open.png")));
        QVERIFY(PickFirstFile(*finder));
        // Accepting the file writes its folder into the settings file.
        QTRY_COMPARE_WITH_TIMEOUT(ReadBytes(trainer.SettingsPath()), settings, StepMs);
        QCOMPARE(ReadBytes(trackPath), SorvenaTrack);

        QVERIFY(screen_->Click(map->SectionPicture(1)));
        QVERIFY(screen_->Click(map->SaveButton()));
        const QByteArray saved =
            WithStallLine(SorvenaTrack, "stall_0 = 12200 0.0\t\t; Modified by Korsa Gridwell") + MarkerSection;
        QTRY_COMPARE_WITH_TIMEOUT(ReadBytes(trackPath), saved, StepMs);
        QCOMPARE(ReadBytes(trackPath + QStringLiteral(".bak")), SorvenaTrack);
        QCOMPARE(ReadBytes(trainer.SettingsPath()), settings);
        // Taken once the file shows the click was handled, so the captions on it are the new ones.
        QVERIFY(screen_->Screenshot(ScreenshotFolder + QStringLiteral("/after-selection.png")));

        QVERIFY(screen_->Click(map->RevertButton()));
        const QByteArray reverted = WithStallLine(SorvenaTrack, OriginalStallLine) + MarkerSection;
        QTRY_COMPARE_WITH_TIMEOUT(ReadBytes(trackPath), reverted, StepMs);
        QCOMPARE(ReadBytes(trackPath + QStringLiteral(".bak")), SorvenaTrack);

        QVERIFY(OpenFileMenu(*map));
        QVERIFY(screen_->Keys({QStringLiteral("Up"), QStringLiteral("Return")}));
        QCOMPARE(WaitForQuietExit(trainer, true), 0);
        QCOMPARE(ReadBytes(trackPath), reverted);
        QCOMPARE(ReadBytes(trainer.SettingsPath()), settings);
    }

    // A track file of another length is refused with a message; nothing is written and the
    // window stays, with Save still doing nothing.
    void refusedFile_data()
    {
        QTest::addColumn<QByteArray>("lengthLine");
        QTest::addColumn<bool>("withSettings");
        QTest::newRow("3.2 miles, settings file") << QByteArray("track_length = 3.2 miles") << true;
        QTest::newRow("3.2 miles, no settings file") << QByteArray("track_length = 3.2 miles") << false;
        QTest::newRow("44.73 miles") << QByteArray("track_length = 44.73 miles") << true;
    }

    void refusedFile()
    {
        QFETCH(QByteArray, lengthLine);
        QFETCH(bool, withSettings);
        Trainer trainer(*screen_);
        korsa::test::TempTree tracks;
        QByteArray track = SorvenaTrack;
        track.replace("track_length = 44.732 miles", lengthLine);
        QVERIFY(track != SorvenaTrack);
        // Without a settings file the finder starts in the program's own folder.
        const QString trackFolder = withSettings ? tracks.path() : trainer.Folder();
        const QString trackPath = QDir(trackFolder).filePath(QStringLiteral("track.ini"));
        {
            QFile file(trackPath);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(track) == track.size());
        }
        const QByteArray settings = QFile::encodeName(tracks.path()) + "\r\nwritten by the test\r\n";
        if (withSettings)
            trainer.WriteSettings(settings);

        quint64 window = 0;
        std::optional<MainWindowMap> map;
        QVERIFY(StartToMainWindow(trainer, window, map));
        const std::optional<quint64> finder = OpenFinder(*map);
        QVERIFY(finder);
        QVERIFY(PickFirstFile(*finder));

        const std::optional<quint64> box = screen_->WaitForWindow(ReadErrorTitle, WindowKind::Dialog);
        QVERIFY2(box, trainer.Diagnostics().constData());
        QVERIFY(screen_->FocusAndKeys(*box, {QStringLiteral("Return")}));
        QVERIFY(screen_->WaitUntilGone(ReadErrorTitle));

        // Save was never enabled: a click on it, then a menu that opens after it, changes nothing.
        QVERIFY(screen_->Click(map->SaveButton()));
        QVERIFY(OpenFileMenu(*map));
        QVERIFY(screen_->Keys({QStringLiteral("Escape")}));
        QVERIFY(screen_->WaitForWindow(MainTitle, WindowKind::Main));
        QVERIFY(trainer.Running());

        QCOMPARE(ReadBytes(trackPath), track);
        QVERIFY(!QFileInfo::exists(trackPath + QStringLiteral(".bak")));
        if (withSettings)
            QCOMPARE(ReadBytes(trainer.SettingsPath()), settings);
        else
            QVERIFY(!QFileInfo::exists(trainer.SettingsPath()));
        QVERIFY(QDir(trainer.ConfigHome()).isEmpty());

        // The close box still ends it normally.
        QVERIFY(screen_->Run(CloseRequestPath, {QString::number(window)}).status == 0);
        QCOMPARE(WaitForQuietExit(trainer, true), 0);
    }
};

QTEST_GUILESS_MAIN(TrainerProcessTest)
#include "tst_trainer.moc"
