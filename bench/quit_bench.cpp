// How long the trainer takes to end once its window is asked to close (the close box, as a window
// manager asks it), against a bare Qt main window: from the close request until the process has
// ended. The trainer runs three ways: on a first run, with the search for the track file still
// walking a large Steam library; with the Track Announcer on, its sound output open; and with a
// track file taken at start. All run on one Xvfb server this program starts itself, each program
// as a copy in a folder of its own.
//
// Usage: bench_quit_bench [RUNS] [TRAINER] [BARE-WINDOW]   (default 15 runs)
// For the announcer's sound output to open, run it with a sound server, for instance
//   tests/support/pulseaudio.sh build/bench/bench_quit_bench

#include "Median.h"
#include "XBench.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The window is closed this long after it is mapped: the trainer has shown, its search and its
// sound output are under way.
constexpr int ShownMs = 300;

// Launches the program, closes its window once shown and returns the milliseconds from the close
// request until the process has ended.
std::optional<double> CloseToExit(MapWatcher &watcher, const std::string &program, const std::string &title,
                                  char *const *env)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, env);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return std::nullopt;

    std::optional<double> ms;
    const xcb_window_t window = watcher.WaitMapped(title, NowMs() + LaunchTimeoutMs);
    if (window) {
        usleep(ShownMs * 1000);
        const double asked = NowMs();
        watcher.RequestClose(window);
        // Polled, so a process that does not end is stopped rather than waited for.
        for (const double deadline = asked + 10000; NowMs() < deadline;) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                ms = NowMs() - asked;
                pid = 0;
                break;
            }
            usleep(500);
        }
    }
    if (pid) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (window)
        watcher.WaitDestroyed(window, NowMs() + LaunchTimeoutMs);
    return ms;
}

bool Write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A Steam library the search takes well over the close's moment to walk: 8 games of 10 x 10 x 10
// folders, a track file of another circuit in every deepest one.
bool MakeLibrary(const QString &home)
{
    const QString common = home + QStringLiteral("/.local/share/Steam/steamapps/common");
    for (int game = 0; game < 8; ++game)
        for (int a = 0; a < 10; ++a)
            for (int b = 0; b < 10; ++b)
                for (int c = 0; c < 10; ++c)
                    if (!Write(
                            QStringLiteral("%1/Game%2/%3/%4/%5/track.ini").arg(common).arg(game).arg(a).arg(b).arg(c),
                            "[ HEADER ]\r\ntrack_length = 3.1 miles\r\n"))
                        return false;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int runs = args.size() > 1 ? args[1].toInt() : 15;
    const QString here = QCoreApplication::applicationDirPath();
    const QString trainer = args.size() > 2 ? args[2]
                                            : Locate({here + QStringLiteral("/korsa-sorvena-trainer"),
                                                      here + QStringLiteral("/../src/app/korsa-sorvena-trainer")});
    const QString bare = args.size() > 3 ? args[3] : Locate({here + QStringLiteral("/bench_bare_window")});
    if (runs < 1 || trainer.isEmpty() || bare.isEmpty()) {
        std::fprintf(stderr, "usage: bench_quit_bench [RUNS] [TRAINER] [BARE-WINDOW]\n");
        return 64;
    }

    QTemporaryDir folder;
    const QString home = folder.filePath(QStringLiteral("home"));
    const QByteArray track = "[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\n"
                             "stall_0 = 1500 0.0\r\n";
    struct Kind {
        const char *name;
        QByteArray settings; // beside the copy; none for a first run
        std::string path;
    };
    std::vector<Kind> kinds = {
        {"first run, search running", {}, {}},
        {"announcer on", QFile::encodeName(folder.path()) + "\r\nannouncer=on\r\n", {}},
        {"track taken at start", QFile::encodeName(folder.path()) + "\r\nfile=track.ini\r\n", {}}};
    if (!folder.isValid() || !MakeLibrary(home) || !Write(folder.filePath(QStringLiteral("track.ini")), track)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(folder.path()));
        return 1;
    }
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const QString copy = folder.filePath(QStringLiteral("%1/korsa-sorvena-trainer").arg(k));
        if (!QDir().mkpath(QFileInfo(copy).path()) || !QFile::copy(trainer, copy) ||
            (!kinds[k].settings.isEmpty() &&
             !Write(QFileInfo(copy).dir().filePath(QStringLiteral("Korsa Gridwell.ini")), kinds[k].settings))) {
            std::fprintf(stderr, "cannot copy %s into %s\n", qPrintable(trainer), qPrintable(folder.path()));
            return 1;
        }
        kinds[k].path = copy.toStdString();
    }

    Server server;
    MapWatcher watcher;
    if (!server.Start(QStringLiteral("1280x1024")) || !watcher.Connect(server.Display())) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    qputenv("HOME", QFile::encodeName(home));
    std::vector<std::string> storage;
    const std::vector<char *> env = Environment(server.Display(), folder.filePath(QStringLiteral("config")), storage);

    std::vector<std::vector<double>> trainerMs(kinds.size());
    std::vector<double> bareMs;
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so a change in the machine's load falls on all alike.
        const std::optional<double> b = CloseToExit(watcher, bare.toStdString(), "Bare Window", env.data());
        if (!b) {
            std::fprintf(stderr, "run %d: the bare window did not end\n", i + 1);
            return 1;
        }
        bareMs.push_back(*b);
        std::printf("run %2d: bare %6.1f ms", i + 1, *b);
        for (std::size_t k = 0; k < kinds.size(); ++k) {
            const std::optional<double> t = CloseToExit(watcher, kinds[k].path, "Korsa Sorvena Trainer", env.data());
            if (!t) {
                std::fprintf(stderr, "\nrun %d: the trainer (%s) did not end within 10 s\n", i + 1, kinds[k].name);
                return 1;
            }
            trainerMs[k].push_back(*t);
            std::printf("   %6.1f ms", *t);
        }
        std::printf("\n");
    }

    const auto range = [](const std::vector<double> &v) {
        return std::pair{*std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end())};
    };
    std::printf("\nclose request until the process has ended, median of %d (min..max):\n", runs);
    std::printf("  %-35s %6.1f ms (%.1f..%.1f)\n", "bare window", Median(bareMs), range(bareMs).first,
                range(bareMs).second);
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const double median = Median(trainerMs[k]);
        std::printf("  trainer, %-26s %6.1f ms (%.1f..%.1f)   goal <= 100 ms: %s\n", kinds[k].name, median,
                    range(trainerMs[k]).first, range(trainerMs[k]).second, median <= 100 ? "met" : "NOT met");
    }
    return 0;
}
