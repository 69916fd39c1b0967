// How long the search for the track file takes in a large Steam library, next to only walking the
// same folders, and whether the window shows and keeps answering while it runs.
// Usage: bench_track_search_bench [RUNS]   (default 15; on a display, or QT_QPA_PLATFORM=offscreen)
//
// The library: 20 games of 10 x 10 x 9 folders (20,220 folders), a track file of another circuit in
// every 9th of the deepest ones (2,000 files), and the Sorvena track's file in the last of them, so
// the search reads every other file before it finds that one.

#include "Median.h"
#include "TrainerWithTrack.h"
#include "finder/TrackSearch.h"
#include "session/StartPositionSession.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace korsa;

QByteArray TrackText(const QByteArray &miles)
{
    return "[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = " + miles + " miles\r\nstall_0 = 1500 0.0\r\n";
}

// Returns the number of folders made; 0 when the disk refused.
int MakeLibrary(const QString &games)
{
    int folders = 0, leaves = 0;
    for (int game = 0; game < 20; ++game)
        for (int a = 0; a < 10; ++a)
            for (int b = 0; b < 10; ++b)
                for (int c = 0; c < 9; ++c) {
                    const QString leaf =
                        QStringLiteral("%1/Game %2/data%3/part%4/set%5").arg(games).arg(game).arg(a).arg(b).arg(c);
                    if (!QDir().mkpath(leaf))
                        return 0;
                    if (++leaves % 9 == 0) {
                        QFile file(leaf + (leaves == 18000 ? "/track.ini" : "/track_other.ini"));
                        if (!file.open(QIODevice::WriteOnly) ||
                            file.write(TrackText(leaves == 18000 ? "44.732" : "3.2")) < 0)
                            return 0;
                    }
                }
    for (QDirIterator it(games, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();
         it.next())
        ++folders;
    return folders;
}

bool IsSorvenaTrackFile(const QString &path)
{
    const QFileInfo file(path);
    SessionState state;
    state.TrackFolder = file.absolutePath();
    state.TrackFileName = file.fileName();
    return ReadSorvenaTrackFile(state) == TrackFileOutcome::Ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    QTemporaryDir home;
    const QString games = home.filePath(QStringLiteral(".local/share/Steam/steamapps/common"));
    const int folders = MakeLibrary(games);
    if (folders == 0) {
        std::fprintf(stderr, "cannot make the library in %s\n", qPrintable(home.path()));
        return 1;
    }
    qputenv("HOME", QFile::encodeName(home.path()));

    // The search against a bare walk of the same folders, taken in turns.
    std::vector<double> searchMs, walkMs;
    QString found;
    const std::atomic<bool> stop = false;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        int walked = 0;
        for (QDirIterator it(games, QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext(); it.next())
            ++walked;
        walkMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        clock.restart();
        found = finder::FindTrackFile({games}, IsSorvenaTrackFile, {}, stop);
        searchMs.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("library: %d folders, 2000 track files; found %s\n", folders,
                found.endsWith(QStringLiteral("set8/track.ini")) ? "the Sorvena file last" : "NOT the Sorvena file");
    std::printf("search, median of %d: %.1f ms (bare walk %.1f ms, ratio %.2f)\n", runs, Median(searchMs),
                Median(walkMs), Median(searchMs) / Median(walkMs));

    // The trainer's window with nothing remembered: when it shows, when the search it starts ends,
    // and the longest the window's thread went without handling its events meanwhile.
    std::vector<double> shownMs, doneMs, stallMs;
    for (int run = 0; run < std::min(runs, 7); ++run) {
        QElapsedTimer clock;
        clock.start();
        BenchPlatform platform;
        MainWindow window(platform);
        QSignalSpy done(&window.Search(), &finder::TrackSearch::Done);
        window.Load();
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        shownMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        double stall = 0, last = shownMs.back();
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const double now = double(clock.nsecsElapsed()) / 1e6;
            stall = std::max(stall, now - last);
            last = now;
        });
        tick.start(1);
        if (!done.wait(10000) || window.Search().Found() != found)
            return 1;
        doneMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        stallMs.push_back(stall);
    }
    std::printf("window shown at %.1f ms, search ended at %.1f ms (medians); shown first in every run: %s; longest "
                "gap between the window's events meanwhile: %.1f ms\n",
                Median(shownMs), Median(doneMs),
                std::equal(shownMs.begin(), shownMs.end(), doneMs.begin(), std::less<>()) ? "yes" : "NO",
                *std::max_element(stallMs.begin(), stallMs.end()));
    return 0;
}
