// How long reading and saving the largest track file the reader takes costs, next to the least any
// durable save of it costs. Usage: bench_track_file_bench [RUNS] [FOLDER]   (defaults: 200, the temp
// folder; at least 15 runs)
//
// The file already has its backup and marker section, as on every save after the first, so each
// timed save is one read plus one atomic replace of the file. The baseline reads the same bytes and
// replaces a file with them as plainly as a durable replace can be: a new file written at once,
// synced, renamed over the old one, and the folder synced.

#include "track_file/ReadTrackFile.h"
#include "track_file/TrackLines.h"
#include "track_file/WriteTrackFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace korsa;

// MaxTrackLines lines of a plausible track file: the header with the three keys, then scenery
// objects and pit stalls, then the marker section a first save leaves behind.
QByteArray BigTrackFile()
{
    QList<QByteArray> lines = {
        "; Track settings",
        "[ HEADER ]",
        "track_name = Sorvena Hill Climb",
        "track_name_short = Sorvena ; shown in menus",
        "track_length = 44.732 miles",
        "track_type = road",
        "stall_0 = 12200 0.0\t\t; Modified by Korsa Gridwell",
        "stall_1 = 12210 0.0",
        "pit_speed_limit = 80 ; km/h",
        "",
    };
    const QList<QByteArray> tail = {"", MarkerLine, "stall_0 = 1500 0.0"};
    for (int object = 0; lines.size() + tail.size() < MaxTrackLines; ++object) {
        const QByteArray n = QByteArray::number(object);
        const QList<QByteArray> block = {
            "[ OBJECT_" + n + " ]",
            "model = scenery/tree_" + QByteArray::number(object % 17) + ".mdl",
            "position = " + QByteArray::number(object * 3.25, 'f', 2) + " " + QByteArray::number(object % 400) +
                ".50 -12.75",
            "rotation = 0.0 " + QByteArray::number((object * 37) % 360) + ".0 0.0",
            "scale = 1.0\t; default",
            "",
        };
        for (const QByteArray &line : block)
            if (lines.size() + tail.size() < MaxTrackLines)
                lines.append(line);
    }
    lines += tail;

    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// The value below which the given share of the values lies, between neighbours where it falls
// between two.
double Quantile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const double at = share * static_cast<double>(values.size() - 1);
    const size_t below = static_cast<size_t>(at);
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (values[above] - values[below]) * (at - static_cast<double>(below));
}

double Median(const std::vector<double> &values) { return Quantile(values, 0.5); }

// Median, then the spread: the middle half of the runs and the whole range.
void PrintFigure(const char *what, const std::vector<double> &values, const char *unit)
{
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    std::printf("  %-44s %8.3f %s   middle half %.3f-%.3f, all %.3f-%.3f\n", what, Median(values), unit,
                Quantile(values, 0.25), Quantile(values, 0.75), *low, *high);
}

double Milliseconds(const QElapsedTimer &timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The baseline: the bytes in a new file beside `path`, on disk, in its place, the rename on disk.
bool DurableReplace(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path), temp = target + ".new";
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size() && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok && ::rename(temp.constData(), target.constData()) == 0;
    const int folder = ::open(QFile::encodeName(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY);
    ok = folder >= 0 && ::fsync(folder) == 0 && ok;
    ::close(folder);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::max(15, std::atoi(argv[1])) : 200;
    QTemporaryDir temp(argc > 2 ? QDir(QString::fromLocal8Bit(argv[2])).filePath(QStringLiteral("bench-XXXXXX"))
                                : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    if (!temp.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const QString name = QStringLiteral("track.ini");
    const QString track = temp.filePath(name);
    const QString rewritten = temp.filePath(QStringLiteral("rewritten.ini"));

    const QByteArray original = BigTrackFile();
    {
        QFile file(track);
        if (!file.open(QIODevice::WriteOnly) || file.write(original) != original.size())
            return 1;
    }
    const auto readAndSave = [&] {
        SessionState state;
        state.TrackFolder = temp.path();
        state.TrackFileName = name;
        const auto unchanged = [](SessionState &) { return TrackFileResult(); };
        if (UpdateTrackFile(state, unchanged) != TrackFileOutcome::Ok)
            std::exit(1);
        return state.TrackLines.size();
    };
    // Untimed first save: makes the backup, as the user's first save would.
    const qsizetype lineCount = readAndSave();
    if (lineCount != MaxTrackLines || ReadAll(track) != original ||
        ReadAll(track + QStringLiteral(".bak")) != original) {
        std::fprintf(stderr, "the first save changed the file\n");
        return 1;
    }

    std::vector<double> save, readOnly, replace, saveToReplace;
    QElapsedTimer timer;
    for (int run = 0; run < runs; ++run) {
        // (a) what Save costs from here on
        timer.start();
        readAndSave();
        save.push_back(Milliseconds(timer));

        // the read alone, to see how the save's time divides
        timer.start();
        {
            SessionState state;
            state.TrackFolder = temp.path();
            state.TrackFileName = name;
            ReadTrackFile(state);
        }
        readOnly.push_back(Milliseconds(timer));

        // (b) the same bytes read and put in a file's place durably, as plainly as that can be done
        timer.start();
        const bool replaced = DurableReplace(rewritten, ReadAll(track));
        replace.push_back(Milliseconds(timer));
        saveToReplace.push_back(save.back() / replace.back());
        if (!replaced) {
            std::fprintf(stderr, "the baseline's replace failed\n");
            return 1;
        }
    }
    if (ReadAll(track) != original) {
        std::fprintf(stderr, "saving changed the file\n");
        return 1;
    }

    constexpr double Goal = 1.3;
    const double ratio = Median(save) / Median(replace);
    std::printf("track file: %lld lines, %lld bytes, in %s\n", static_cast<long long>(lineCount),
                static_cast<long long>(original.size()), qPrintable(temp.path()));
    std::printf("runs: %d; median, then the middle half and all runs\n", runs);
    PrintFigure("read + save (UpdateTrackFile):", save, "ms");
    PrintFigure("  of which the read alone (ReadTrackFile):", readOnly, "ms");
    PrintFigure("bytes read + durable replace:", replace, "ms");
    PrintFigure("read + save / durable replace, run by run:", saveToReplace, "x ");
    std::printf("read + save / durable replace, of the medians:  %8.2fx   goal: at most %.1fx, %s\n", ratio, Goal,
                ratio <= Goal ? "met" : "NOT met");
    return 0;
}
