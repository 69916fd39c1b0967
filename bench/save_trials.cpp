// Saves under attack, counted. Usage: bench_save_trials kill|edit|link TRIALS [CLI]
//   kill  the command-line tool (CLI) saving, killed at a random moment: each trial must leave the
//         old bytes or all of the new ones; what a killed save left is removed by a later save
//   edit  another thread edits another line of the file while it is saved, renaming its new file
//         over it or rewriting it in place: its edit must never be lost
//   link  another thread keeps swapping a symbolic link to a file outside the folder in at the
//         name and a regular file back: nothing outside the folder may change
// Prints the counts; exits 1 when a trial broke its rule.

#include "track_file/TrackFileWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace korsa;

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::exit(2);
}

// A track file of about 300 KB, so that a kill often lands inside its write; its first 200 bytes
// are a small one.
QByteArray TrackWith(const QByteArray &stall, const QByteArray &object = "object = 0")
{
    QByteArray bytes = "[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\n" + stall + "\r\n" +
                       object + "\r\n";
    for (int line = 0; line < 20000; ++line)
        bytes += "scenery = " + QByteArray::number(line) + "\r\n";
    return bytes;
}

QStringList Leftovers(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.korsa-*")}, QDir::Files | QDir::Hidden);
}

void Age(const QString &folder)
{
    for (const QString &name : Leftovers(folder)) {
        const timespec old[2] = {{std::time(nullptr) - 11 * 60, 0}, {std::time(nullptr) - 11 * 60, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(folder + '/' + name).constData(), old, 0);
    }
}

// Runs the tool's `metres` command on the file, killed after `killAfter` microseconds (never: -1).
void Metres(const char *cli, int metres, const QString &track, int killAfter)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        const QByteArray value = QByteArray::number(metres), path = QFile::encodeName(track);
        ::execl(cli, cli, "metres", value.constData(), path.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    if (killAfter >= 0) {
        ::usleep(static_cast<useconds_t>(killAfter));
        ::kill(child, SIGKILL);
    }
    ::waitpid(child, nullptr, 0);
}

int KillTrials(int trials, const char *cli, const QString &folder)
{
    const QString track = folder + QStringLiteral("/track.ini");
    WriteAll(track, TrackWith("stall_0 = 1500 0.0"));
    Metres(cli, 1, track, -1); // the backup and the marker section, as after a first save
    QElapsedTimer timer;
    timer.start();
    Metres(cli, 1, track, -1);
    const int saveMicroseconds = static_cast<int>(timer.nsecsElapsed() / 1000);
    int old = 0, saved = 0, broken = 0, leftBehind = 0, notRemoved = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const QByteArray before = ReadAll(track);
        const int metres = 2 + trial;
        const qsizetype from = before.indexOf("stall_0 = "), to = before.indexOf("\r\n", from);
        const QByteArray after = QByteArray(before).replace(
            from, to - from, "stall_0 = " + QByteArray::number(metres) + " 0.0\t\t; Modified by Korsa Gridwell");
        Metres(cli, metres, track, QRandomGenerator::global()->bounded(saveMicroseconds * 3 / 2));
        const QByteArray now = ReadAll(track);
        now == before ? ++old : now == after ? ++saved : ++broken;
        leftBehind += !Leftovers(folder).isEmpty();
        if (trial % 50 == 49 || trial == trials - 1) { // ten minutes later, a save
            Age(folder);
            Metres(cli, 1, track, -1);
            notRemoved += Leftovers(folder).size();
        }
    }
    std::printf("kill: %d trials (a save takes %d us): %d old bytes, %d new bytes, %d neither; %d left files "
                "behind, %d of them not removed by the next save\n",
                trials, saveMicroseconds, old, saved, broken, leftBehind, notRemoved);
    return broken == 0 && notRemoved == 0 ? 0 : 1;
}

TrackFileResult SaveAt(const QString &folder, int metres)
{
    SessionState state;
    state.TrackFolder = folder;
    state.TrackFileName = QStringLiteral("track.ini");
    return UpdateTrackFile(state, [&](SessionState &fresh) {
        fresh.TrackLines[fresh.StallLineIndex - 1] = "stall_0 = " + QByteArray::number(metres) + " 0.0";
        return TrackFileResult();
    });
}

int EditTrials(int trials, const QString &folder)
{
    const QString track = folder + QStringLiteral("/track.ini");
    WriteAll(track, TrackWith("stall_0 = 1500 0.0"));
    SaveAt(folder, 1);
    QElapsedTimer timer;
    timer.start();
    SaveAt(folder, 1);
    const int saveMicroseconds = static_cast<int>(timer.nsecsElapsed() / 1000);
    int lost = 0, bothKept = 0, oursLostToTheEditor = 0, refused = 0;
    for (int trial = 0; trial < trials; ++trial) {
        WriteAll(track, TrackWith("stall_0 = 1500 0.0"));
        const QByteArray edit = "object = " + QByteArray::number(trial + 1);
        std::thread editor([&] {
            ::usleep(static_cast<useconds_t>(QRandomGenerator::global()->bounded(saveMicroseconds * 3 / 2)));
            const QByteArray edited = ReadAll(track).replace("object = 0", edit);
            if (trial % 2) { // as sed -i does
                WriteAll(folder + QStringLiteral("/sedXYZ"), edited);
                std::rename(qPrintable(folder + QStringLiteral("/sedXYZ")), qPrintable(track));
            } else { // as a script's "> file" does
                WriteAll(track, edited);
            }
        });
        const bool ok = SaveAt(folder, trial + 2) == TrackFileOutcome::Ok;
        editor.join();
        const QByteArray now = ReadAll(track);
        const bool ours = now.contains("stall_0 = " + QByteArray::number(trial + 2) + " 0.0");
        refused += !ok;
        lost += !now.contains(edit);
        bothKept += now.contains(edit) && ours;
        oursLostToTheEditor += ok && !ours;
    }
    std::printf("edit: %d races (a save takes %d us): the other program's edit lost %d times; both kept %d times; "
                "the save refused %d times; the save undone by the other program's own read and write %d times\n",
                trials, saveMicroseconds, lost, bothKept, refused, oursLostToTheEditor);
    return lost == 0 ? 0 : 1;
}

int LinkTrials(int trials, const QString &folder)
{
    const QString tracks = folder + QStringLiteral("/tracks"), outside = folder + QStringLiteral("/outside.ini");
    QDir().mkpath(tracks);
    const QByteArray outsideBytes = TrackWith("stall_0 = 42 0.0"), small = TrackWith("stall_0 = 1500 0.0").left(200);
    WriteAll(outside, outsideBytes);
    WriteAll(tracks + QStringLiteral("/track.ini"), small);
    std::atomic<bool> stop{false};
    std::atomic<int> swaps{0};
    std::thread swapper([&] {
        const QByteArray name = QFile::encodeName(tracks + QStringLiteral("/track.ini")),
                         link = QFile::encodeName(tracks + QStringLiteral("/link")),
                         regular = QFile::encodeName(tracks + QStringLiteral("/regular"));
        while (!stop) {
            ::unlink(link.constData());
            if (::symlink(QFile::encodeName(outside).constData(), link.constData()) != 0)
                continue;
            ::rename(link.constData(), name.constData());
            ::usleep(static_cast<useconds_t>(QRandomGenerator::global()->bounded(2000)));
            WriteAll(QFile::decodeName(regular), small);
            ::rename(regular.constData(), name.constData());
            ::usleep(static_cast<useconds_t>(QRandomGenerator::global()->bounded(20000)));
            ++swaps;
        }
    });
    int saved = 0, refused = 0;
    for (int trial = 0; trial < trials; ++trial) {
        ::usleep(static_cast<useconds_t>(QRandomGenerator::global()->bounded(5000)));
        SaveAt(tracks, trial) == TrackFileOutcome::Ok ? ++saved : ++refused;
    }
    stop = true;
    swapper.join();
    const bool untouched = ReadAll(outside) == outsideBytes && !QFile::exists(outside + QStringLiteral(".bak"));
    std::printf("link: %d saves while a link was swapped in %d times: %d saved, %d refused; the file outside %s\n",
                trials, swaps.load(), saved, refused, untouched ? "untouched" : "CHANGED");
    return untouched ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3 || (std::string(argv[1]) == "kill" && argc < 4)) {
        std::fprintf(stderr, "usage: bench_save_trials kill|edit|link TRIALS [CLI]\n");
        return 64;
    }
    QTemporaryDir temp;
    const QString mode = QString::fromLatin1(argv[1]);
    const int trials = std::atoi(argv[2]);
    if (mode == QStringLiteral("kill"))
        return KillTrials(trials, argv[3], temp.path());
    if (mode == QStringLiteral("edit"))
        return EditTrials(trials, temp.path());
    return LinkTrials(trials, temp.path());
}
