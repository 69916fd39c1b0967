// The trainer: one main window, shown once its load handler has fitted it to the screen. A track
// file named on the command line is taken once the window shows, as if picked in the finder.

#include "KorsaResources.h"
#include "Version.h"
#include "platform/Console.h"
#include "platform/QtPlatform.h"
#include "presentation/MainWindow.h"
#include "session/Captions.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

const char *const Usage = "Usage: korsa-sorvena-trainer [PATH]\n"
                          "Sets where the car starts on the Sorvena track, in the track's track.ini.\n"
                          "  PATH       a track.ini to open at once, as if picked with\n"
                          "             File > Select Sorvena track.ini...\n"
                          "  --help     show this text and exit\n"
                          "  --version  show the version and exit\n";

// Exits on --help, --version and a wrong command line; otherwise the PATH given, if any.
// Runs before any window exists, so none of this needs a display.
std::optional<QString> TrackPathArgument(int argc, char *argv[])
{
    using korsa::WriteText;
    std::optional<QString> path;
    bool options = true;
    for (const QString &arg : korsa::ArgumentTexts(argc, argv)) {
        const auto fail = [&arg](const char *why) {
            WriteText(stderr,
                      QStringLiteral("korsa-sorvena-trainer: %1: %2 (try --help)\n").arg(QLatin1String(why), arg));
            std::exit(korsa::exit_status::Usage);
        };
        if (options && arg == QLatin1String("--")) {
            options = false;
        } else if (options && (arg == QLatin1String("--help") || arg == QLatin1String("-h"))) {
            WriteText(stdout, QString::fromLatin1(Usage));
            std::exit(std::fflush(stdout) == 0 ? korsa::exit_status::Ok : korsa::exit_status::OutputFailed);
        } else if (options && arg == QLatin1String("--version")) {
            WriteText(stdout, korsa::captions::ProgramTitle + QLatin1Char(' ') + korsa::captions::AboutText() +
                                  QLatin1Char('\n'));
            std::exit(std::fflush(stdout) == 0 ? korsa::exit_status::Ok : korsa::exit_status::OutputFailed);
        } else if (options && arg.size() > 1 && arg.front() == QLatin1Char('-')) {
            fail("unknown option");
        } else if (path) {
            fail("only one PATH can be opened");
        } else {
            path = arg;
        }
    }
    return path;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::optional<QString> trackPath = TrackPathArgument(argc, argv);

    // The desktop's scaling (Xft.dpi, QT_SCALE_FACTOR) is left to Qt: the window is laid out in
    // device-independent pixels of 1/96 inch, which is also the inch Qt gives fonts in points.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korsa Sorvena Trainer"));
    QApplication::setOrganizationName(QStringLiteral("Penhallow"));
    // Desktops match the window to its desktop entry and icon by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(korsa::version::ApplicationId));
    korsa::InitResources();

    korsa::QtPlatform platform;
    korsa::MainWindow window(platform);
    window.Load();
    window.show();
    if (trackPath)
        QTimer::singleShot(0, &window, [&window, &trackPath] { window.OpenTrackPath(*trackPath); });
    // Should the event loop end some other way (the desktop's session ending, say), the program ends
    // as at Exit: at once, without waiting for the search's thread or the sound output to wind down.
    platform.Terminate(QApplication::exec());
}
