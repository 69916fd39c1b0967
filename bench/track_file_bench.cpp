// How long reading and saving the largest track file the reader takes costs, next to copying the
// same file. Usage: bench_track_file_bench [RUNS] [FOLDER]   (defaults: 200, the temp folder; at
// least 15 runs)
//
// The file already has its backup and marker section, as on every save after the first, so each
// timed save is one read plus one atomic replace of the file.

#include "track_file/TrackFileWriter.h"
#include "track_file/TrackIniFileReader.h"
#include "track_file/TrackLines.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

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
    const QString copy = temp.filePath(QStringLiteral("copy.ini"));
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
        if (ReadTrackFile(state) != TrackFileOutcome::Ok || WriteTrackFile(state) != TrackFileOutcome::Ok)
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

    std::vector<double> save, readOnly, fileCopy, bytesCopy, saveToCopy;
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

        // (b) a plain copy to a new name
        QFile::remove(copy);
        timer.start();
        const bool copied = QFile::copy(track, copy);
        fileCopy.push_back(Milliseconds(timer));

        // (c) the same bytes read and written through an atomic replace, as Save writes them
        timer.start();
        QSaveFile out(rewritten);
        const QByteArray bytes = ReadAll(track);
        const bool rewrote = out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
        bytesCopy.push_back(Milliseconds(timer));
        saveToCopy.push_back(save.back() / fileCopy.back());
        if (!copied || !rewrote) {
            std::fprintf(stderr, "copy failed\n");
            return 1;
        }
    }
    if (ReadAll(track) != original) {
        std::fprintf(stderr, "saving changed the file\n");
        return 1;
    }

    constexpr double Goal = 2.0;
    const double ratio = Median(save) / Median(fileCopy);
    std::printf("track file: %lld lines, %lld bytes, in %s\n", static_cast<long long>(lineCount),
                static_cast<long long>(original.size()), qPrintable(temp.path()));
    std::printf("runs: %d; median, then the middle half and all runs\n", runs);
    PrintFigure("read + save (ReadTrackFile + WriteTrackFile):", save, "ms");
    PrintFigure("  of which the read alone (ReadTrackFile):", readOnly, "ms");
    PrintFigure("plain copy (QFile::copy to a new name):", fileCopy, "ms");
    PrintFigure("bytes read + atomic replace (QSaveFile):", bytesCopy, "ms");
    PrintFigure("read + save / plain copy, run by run:", saveToCopy, "x ");
    std::printf("read + save / plain copy, of the medians:       %8.2fx   goal: at most %.1fx, %s\n", ratio, Goal,
                ratio <= Goal ? "met" : "NOT met");
    std::printf("read + save / bytes read + atomic replace:      %8.2fx\n", Median(save) / Median(bytesCopy));
    return 0;
}
