// How long the trainer takes from launch until the X server maps its main window, against a bare
// Qt main window with a one-menu menu bar, how much memory each holds once shown, and how much
// processor time all its threads have used by then (less disturbed by other work on the machine
// than the time on the clock, though blind to work done side by side). Both run on
// one Xvfb server this program starts itself. The moment of mapping is taken from the server's own
// MapNotify event (SubstructureNotify on the root window, the title read from WM_NAME), so no
// window search adds its own milliseconds to either side.
//
// Usage: bench_startup_bench [--remembered] [RUNS] [TRAINER] [BARE-WINDOW] [MORE-TRAINERS...]
// By default the programs are looked for beside this one and in the build tree's src/app. More
// trainers (builds with and without a fast path) take their turns in the same runs.

#include "Median.h"
#include "XBench.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Start-up has settled when the process has used no processor time for this long.
constexpr int SettledMs = 150;

struct Launch {
    double msToMapped = 0;
    long rssAtMapKb = 0; // the moment the window is mapped, before its first paint
    long rssKb = 0;      // once start-up has settled
    double cpuMs = 0;    // processor time of all its threads, from launch until it has settled
};

long ResidentKb(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// User plus system time the process has used, in clock ticks.
long long CpuTicks(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

std::optional<Launch> LaunchOnce(MapWatcher &watcher, const std::string &program, const std::string &title,
                                 char *const *env)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string folder = program.substr(0, program.rfind('/'));
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};

    pid_t pid = 0;
    const double started = NowMs();
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, env);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return std::nullopt;

    std::optional<Launch> launch;
    const xcb_window_t window = watcher.WaitMapped(title, started + LaunchTimeoutMs);
    if (window) {
        launch = Launch{NowMs() - started, ResidentKb(pid), 0};
        // Memory once start-up has settled: the first paint done and the process idle.
        long long last = CpuTicks(pid);
        double quietSince = NowMs();
        for (const double deadline = NowMs() + 3000; NowMs() < deadline && NowMs() - quietSince < SettledMs;) {
            usleep(10000);
            const long long now = CpuTicks(pid);
            if (now != last) {
                last = now;
                quietSince = NowMs();
            }
        }
        launch->rssKb = ResidentKb(pid);
    }
    kill(pid, SIGKILL);
    rusage usage{};
    wait4(pid, nullptr, 0, &usage);
    if (launch)
        launch->cpuMs = (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
    // The next launch starts on an empty screen.
    if (window)
        watcher.WaitDestroyed(window, NowMs() + LaunchTimeoutMs);
    return launch;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    // With --remembered each trainer starts as on a later run: with a Sorvena track file remembered.
    const bool remembered = args.removeAll(QStringLiteral("--remembered")) > 0;
    const int runs = args.size() > 1 ? args[1].toInt() : 15;
    const QString here = QCoreApplication::applicationDirPath();
    QStringList trainersBuilt = {args.size() > 2
                                     ? args[2]
                                     : Locate({here + QStringLiteral("/korsa-sorvena-trainer"),
                                               here + QStringLiteral("/../src/app/korsa-sorvena-trainer")})};
    const QString bareBuilt = args.size() > 3 ? args[3] : Locate({here + QStringLiteral("/bench_bare_window")});
    // Further trainers (builds with and without a fast path, say) take their turns in the same runs.
    trainersBuilt += args.mid(4);
    if (runs < 1 || trainersBuilt.contains(QString()) || bareBuilt.isEmpty()) {
        std::fprintf(stderr,
                     "usage: bench_startup_bench [--remembered] [RUNS] [TRAINER] [BARE-WINDOW] [MORE-TRAINERS...]\n");
        return 64;
    }

    // The trainer keeps its settings beside itself: each runs as a copy from a folder of its own.
    QTemporaryDir folder;
    const QString configHome = folder.filePath(QStringLiteral("config"));
    std::vector<std::string> trainerPaths;
    for (int t = 0; t < trainersBuilt.size(); ++t) {
        const QString copy = folder.filePath(QStringLiteral("%1/korsa-sorvena-trainer").arg(t));
        if (!folder.isValid() || !QDir().mkpath(QFileInfo(copy).path()) || !QFile::copy(trainersBuilt[t], copy) ||
            !QDir().mkpath(configHome)) {
            std::fprintf(stderr, "cannot copy %s into %s\n", qPrintable(trainersBuilt[t]), qPrintable(folder.path()));
            return 1;
        }
        trainerPaths.push_back(copy.toStdString());
        if (remembered) {
            const QString track = folder.filePath(QStringLiteral("track.ini"));
            QFile trackFile(track), settings(QFileInfo(copy).dir().filePath(QStringLiteral("Korsa Gridwell.ini")));
            if (!trackFile.open(QIODevice::WriteOnly) ||
                trackFile.write("[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\n"
                                "stall_0 = 1500 0.0\r\n") < 0 ||
                !settings.open(QIODevice::WriteOnly) ||
                settings.write(QFile::encodeName(folder.path()) + "\r\nfile=track.ini\r\n") < 0) {
                std::fprintf(stderr, "cannot write the remembered track into %s\n", qPrintable(folder.path()));
                return 1;
            }
        }
    }

    Server server;
    if (!server.Start(QStringLiteral("1280x1024"))) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    MapWatcher watcher;
    if (!watcher.Connect(server.Display())) {
        std::fprintf(stderr, "cannot watch the X server's root window\n");
        return 1;
    }
    std::vector<std::string> storage;
    const std::vector<char *> env = Environment(server.Display(), configHome, storage);
    const std::string barePath = bareBuilt.toStdString();
    const std::string trainerTitle = "Korsa Sorvena Trainer", bareTitle = "Bare Window";

    // One launch of each first, not counted, so all start from a warm file cache.
    for (const std::string &trainer : trainerPaths)
        if (!LaunchOnce(watcher, trainer, trainerTitle, env.data())) {
            std::fprintf(stderr, "a trainer did not map its window\n");
            return 1;
        }
    if (!LaunchOnce(watcher, barePath, bareTitle, env.data())) {
        std::fprintf(stderr, "the bare window was not mapped\n");
        return 1;
    }

    const std::size_t count = trainerPaths.size();
    std::vector<std::vector<double>> trainerMs(count), ratios(count), trainerCpuMs(count);
    std::vector<std::vector<long>> trainerKb(count), trainerMapKb(count);
    std::vector<double> bareMs, bareCpuMs;
    std::vector<long> bareKb, bareMapKb;
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so a change in the machine's load falls on all alike.
        std::vector<Launch> launched;
        for (const std::string &trainer : trainerPaths)
            if (const std::optional<Launch> t = LaunchOnce(watcher, trainer, trainerTitle, env.data()))
                launched.push_back(*t);
        const std::optional<Launch> b = LaunchOnce(watcher, barePath, bareTitle, env.data());
        if (launched.size() != count || !b) {
            std::fprintf(stderr, "run %d: a program did not map its window\n", i + 1);
            return 1;
        }
        bareMs.push_back(b->msToMapped);
        bareCpuMs.push_back(b->cpuMs);
        bareKb.push_back(b->rssKb);
        bareMapKb.push_back(b->rssAtMapKb);
        std::printf("run %2d: bare %7.1f ms %7ld kB", i + 1, b->msToMapped, b->rssKb);
        for (std::size_t t = 0; t < count; ++t) {
            trainerMs[t].push_back(launched[t].msToMapped);
            trainerCpuMs[t].push_back(launched[t].cpuMs);
            ratios[t].push_back(launched[t].msToMapped / b->msToMapped);
            trainerKb[t].push_back(launched[t].rssKb);
            trainerMapKb[t].push_back(launched[t].rssAtMapKb);
            std::printf("   trainer %zu %7.1f ms %7ld kB %.2fx", t + 1, launched[t].msToMapped, launched[t].rssKb,
                        ratios[t].back());
        }
        std::printf("\n");
    }

    const auto range = [](const auto &v) {
        return std::pair{*std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end())};
    };
    std::printf("\nlaunch until the main window is mapped, median of %d (min..max):\n", runs);
    std::printf("  bare window  %7.1f ms (%.1f..%.1f)\n", Median(bareMs), range(bareMs).first, range(bareMs).second);
    std::printf("  processor time until settled, median: bare window %.1f ms\n", Median(bareCpuMs));
    std::printf("resident memory of the bare window, median: %.1f MB at mapping, %.1f MB settled\n",
                Median(bareMapKb) / 1024.0, Median(bareKb) / 1024.0);
    for (std::size_t t = 0; t < count; ++t) {
        const double ratio = Median(trainerMs[t]) / Median(bareMs);
        const long rss = Median(trainerKb[t]);
        std::printf("trainer %zu: %s\n", t + 1, qPrintable(trainersBuilt[static_cast<int>(t)]));
        std::printf("  launch       %7.1f ms (%.1f..%.1f)\n", Median(trainerMs[t]), range(trainerMs[t]).first,
                    range(trainerMs[t]).second);
        std::printf("  ratio of medians %.2fx, per-run ratio median %.2fx (%.2f..%.2f)   goal <= 1.20x: %s\n", ratio,
                    Median(ratios[t]), range(ratios[t]).first, range(ratios[t]).second,
                    ratio <= 1.2 ? "met" : "NOT met");
        std::printf("  processor time until settled, median %.1f ms (%.2fx the bare window's)\n",
                    Median(trainerCpuMs[t]), Median(trainerCpuMs[t]) / Median(bareCpuMs));
        std::printf("  resident memory, median: %.1f MB at mapping, %.1f MB settled (%.1f..%.1f)   goal <= 32 MB: %s\n",
                    Median(trainerMapKb[t]) / 1024.0, rss / 1024.0, range(trainerKb[t]).first / 1024.0,
                    range(trainerKb[t]).second / 1024.0, rss <= 32 * 1024 ? "met" : "NOT met");
    }
    return 0;
}
