// How long the trainer takes from launch until its main window is on the screen, against a bare
// Qt main window, and how much memory each holds then. Both run on one Xvfb server this program
// starts itself; a window counts as shown once xdotool finds it mapped.
//
// Usage: bench_startup_bench [RUNS] [TRAINER] [BARE-WINDOW]
// By default the programs are looked for beside this one and in the build tree's src/app.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int LaunchTimeoutMs = 30000;

struct Launch {
    double msToWindow = 0;
    long rssKb = 0;
};

class Server
{
public:
    ~Server()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished();
            }
        }
    }

    bool Start(const QString &size)
    {
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                                 QStringLiteral("0"), size + QStringLiteral("x24"), QStringLiteral("-dpi"),
                                                 QStringLiteral("96"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                                 QStringLiteral("-noreset")});
        if (!process_.waitForStarted(LaunchTimeoutMs))
            return false;
        QByteArray number;
        const QDeadlineTimer deadline(LaunchTimeoutMs);
        while (!number.contains('\n') && !deadline.hasExpired() && process_.state() == QProcess::Running) {
            process_.waitForReadyRead(100);
            number += process_.readAllStandardOutput();
        }
        if (!number.contains('\n'))
            return false;
        display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        return true;
    }

    QString Display() const { return display_; }

private:
    QProcess process_;
    QString display_;
};

QProcessEnvironment Environment(const QString &display, const QString &configHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    return env;
}

// True once a mapped window of exactly that title exists on the display.
bool WindowShown(const QProcessEnvironment &env, const QString &title)
{
    QProcess search;
    search.setProcessEnvironment(env);
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                              QStringLiteral("--name"), QStringLiteral("^") + title + QStringLiteral("$")});
    return search.waitForFinished(LaunchTimeoutMs) && search.exitStatus() == QProcess::NormalExit &&
           search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty();
}

long ResidentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

std::optional<Launch> LaunchOnce(const QString &program, const QString &title, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QFileInfo(program).absolutePath());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    if (!process.waitForStarted(LaunchTimeoutMs))
        return std::nullopt;
    Launch launch;
    const QDeadlineTimer deadline(LaunchTimeoutMs);
    while (!WindowShown(env, title)) {
        if (deadline.hasExpired() || process.state() != QProcess::Running) {
            process.kill();
            process.waitForFinished();
            return std::nullopt;
        }
    }
    launch.msToWindow = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    launch.rssKb = ResidentKb(process.processId());

    process.kill();
    process.waitForFinished();
    // The next launch starts on an empty screen.
    const QDeadlineTimer gone(LaunchTimeoutMs);
    while (WindowShown(env, title) && !gone.hasExpired())
        QThread::msleep(5);
    return launch;
}

template <typename T> T Median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QString Locate(const QStringList &candidates)
{
    for (const QString &path : candidates)
        if (QFileInfo(path).isExecutable())
            return QFileInfo(path).absoluteFilePath();
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int runs = args.size() > 1 ? args[1].toInt() : 10;
    const QString here = QCoreApplication::applicationDirPath();
    const QString trainerBuilt = args.size() > 2 ? args[2]
                                                 : Locate({here + QStringLiteral("/korsa-sorvena-trainer"),
                                                           here + QStringLiteral("/../src/app/korsa-sorvena-trainer")});
    const QString bareBuilt = args.size() > 3 ? args[3] : Locate({here + QStringLiteral("/bench_bare_window")});
    if (runs < 1 || trainerBuilt.isEmpty() || bareBuilt.isEmpty()) {
        std::fprintf(stderr, "usage: bench_startup_bench [RUNS] [TRAINER] [BARE-WINDOW]\n");
        return 64;
    }

    // The trainer keeps its settings beside itself: run a copy from a folder of its own.
    QTemporaryDir folder;
    const QString trainer = folder.filePath(QStringLiteral("korsa-sorvena-trainer"));
    const QString configHome = folder.filePath(QStringLiteral("config"));
    if (!folder.isValid() || !QFile::copy(trainerBuilt, trainer) || !QDir().mkpath(configHome)) {
        std::fprintf(stderr, "cannot copy the trainer into %s\n", qPrintable(folder.path()));
        return 1;
    }

    Server server;
    if (!server.Start(QStringLiteral("1280x1024"))) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    const QProcessEnvironment env = Environment(server.Display(), configHome);
    const QString trainerTitle = QStringLiteral("Korsa Sorvena Trainer");
    const QString bareTitle = QStringLiteral("Bare Window");

    // One launch of each first, not counted, so both start from a warm file cache.
    if (!LaunchOnce(trainer, trainerTitle, env) || !LaunchOnce(bareBuilt, bareTitle, env)) {
        std::fprintf(stderr, "a program did not show its window\n");
        return 1;
    }

    std::vector<double> trainerMs, bareMs;
    std::vector<long> trainerKb, bareKb;
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so a change in the machine's load falls on both alike.
        const std::optional<Launch> t = LaunchOnce(trainer, trainerTitle, env);
        const std::optional<Launch> b = LaunchOnce(bareBuilt, bareTitle, env);
        if (!t || !b) {
            std::fprintf(stderr, "run %d: a program did not show its window\n", i + 1);
            return 1;
        }
        trainerMs.push_back(t->msToWindow);
        bareMs.push_back(b->msToWindow);
        trainerKb.push_back(t->rssKb);
        bareKb.push_back(b->rssKb);
        std::printf("run %2d: trainer %7.1f ms %7ld kB   bare %7.1f ms %7ld kB\n", i + 1, t->msToWindow, t->rssKb,
                    b->msToWindow, b->rssKb);
    }

    const double trainerMedian = Median(trainerMs);
    const double bareMedian = Median(bareMs);
    const long trainerRss = Median(trainerKb);
    const long bareRss = Median(bareKb);
    std::printf("\nlaunch to window shown, median of %d (min..max):\n", runs);
    std::printf("  trainer      %7.1f ms (%.1f..%.1f)\n", trainerMedian, *std::min_element(trainerMs.begin(), trainerMs.end()),
                *std::max_element(trainerMs.begin(), trainerMs.end()));
    std::printf("  bare window  %7.1f ms (%.1f..%.1f)\n", bareMedian, *std::min_element(bareMs.begin(), bareMs.end()),
                *std::max_element(bareMs.begin(), bareMs.end()));
    std::printf("  ratio trainer/bare %.2fx (goal < 1.5x): %s\n", trainerMedian / bareMedian,
                trainerMedian / bareMedian < 1.5 ? "met" : "NOT met");
    std::printf("resident memory once shown, median: trainer %ld kB, bare window %ld kB (ratio %.2fx)\n", trainerRss,
                bareRss, static_cast<double>(trainerRss) / static_cast<double>(bareRss));
    return 0;
}
