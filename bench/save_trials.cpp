// Saves under attack, counted. Usage: bench_save_trials kill|edit|link|steps|pair TRIALS [CLI] [inplace]
//   kill  the command-line tool (CLI) saving or reverting, killed at a random moment: after the next
//         open (show) each trial must find the old bytes or all of the new ones; what a killed save
//         left is removed by a later save once its age has passed
//   edit  another thread edits another line of the file while it is saved, renaming its new file
//         over it or rewriting it in place: its edit must never be lost
//   link  another thread keeps swapping a symbolic link to a file outside the folder in at the
//         name and a regular file back: nothing outside the folder may change
//   steps the tool killed by strace on entering each disk-changing system call, one after the
//         other, saving and reverting by rename, in place, and in place in a folder it cannot write
//         (as nobody, its journal per user); TRIALS is ignored
//   pair  two tools save a hard-linked file at once: no save reported may be missing from the file
// With "inplace" the file has a second hard link, so it is written in place. Prints the counts;
// exits 1 when a trial broke its rule.

#include "track_file/WriteTrackFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
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
QByteArray TrackWith(const QByteArray &stall, const QByteArray &object = "object = 0", int comment = 0)
{
    QByteArray bytes = "[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\n" + stall + "\r\n" +
                       object + "\r\n";
    for (int line = 0; line < 20000; ++line)
        bytes += "scenery = " + QByteArray::number(line) + QByteArray(comment, ';') + "\r\n";
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

// True while the folder holds a journal of a write in place.
bool JournalIn(const QString &folder)
{
    DIR *listing = ::opendir(QFile::encodeName(folder).constData());
    bool found = false;
    while (const dirent *entry = listing ? ::readdir(listing) : nullptr)
        found = found || std::strstr(entry->d_name, ".korsa-journal-");
    if (listing)
        ::closedir(listing);
    return found;
}

// Runs a program with the arguments, killed after `killAfter` microseconds (never: -1), counted from
// when a journal appears in `aim` where one is given (`lasted` gets the time from then to its end);
// its standard error goes to `err`. Its exit status, or -1 when it was killed.
int Run(const QByteArrayList &args, int killAfter = -1, const QString &err = QString(), const QString &aim = QString(),
        qint64 *lasted = nullptr)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0); // killed with the programs it starts (strace's)
        const int out = ::open(err.isEmpty() ? "/dev/null" : QFile::encodeName(err).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(out, 2);
        std::vector<char *> argv;
        for (const QByteArray &arg : args)
            argv.push_back(const_cast<char *>(arg.constData()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    bool exited = false;
    while (!aim.isEmpty() && !JournalIn(aim))
        if (::waitpid(child, &status, WNOHANG) == child) {
            exited = true;
            break;
        }
    if (exited)
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QElapsedTimer aimed;
    aimed.start();
    if (killAfter >= 0) {
        ::usleep(static_cast<useconds_t>(killAfter));
        ::kill(-child, SIGKILL);
    }
    ::waitpid(child, &status, 0);
    // And what it started (the tool under strace), which comes to this process once strace is gone:
    // a killed tool holds its turn until it is.
    while (args.first() == "strace" && ::waitpid(-1, nullptr, 0) > 0) {
    }
    if (lasted)
        *lasted = aimed.nsecsElapsed() / 1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void HardLink(const char *from, const char *to)
{
    if (::link(from, to) != 0 && errno != EEXIST)
        std::exit(2);
}

QByteArray WithStall(const QByteArray &bytes, const QByteArray &stall)
{
    const qsizetype from = bytes.indexOf("stall_0 = "), to = bytes.indexOf("\r\n", from);
    return QByteArray(bytes).replace(from, to - from, stall);
}

const QByteArray Original = "stall_0 = 1500 0.0";

QByteArray Modified(int metres)
{
    return "stall_0 = " + QByteArray::number(metres) + " 0.0\t\t; Modified by Korsa Gridwell";
}

int KillTrials(int trials, const char *cli, const QString &folder, bool inPlace)
{
    const QString track = folder + QStringLiteral("/track.ini"), err = folder + QStringLiteral("/err.txt");
    const QByteArray path = QFile::encodeName(track);
    WriteAll(track, TrackWith(Original));
    if (inPlace)
        HardLink(path.constData(), QFile::encodeName(folder + QStringLiteral("/other.ini")).constData());
    Run({cli, "metres", "1", path}); // the backup and the marker section, as after a first save
    QElapsedTimer timer;
    timer.start();
    Run({cli, "metres", "1", path});
    int saveMicroseconds = static_cast<int>(timer.nsecsElapsed() / 1000);
    // Aimed at the write in place: the tool runs under strace, which holds each cut of the file back
    // by 20 ms (the moment a Revert's shorter file is torn: new bytes, then the old tail), and the
    // kills land from the journal's appearance to its removal, as timed on a Revert.
    QByteArrayList slow;
    if (inPlace) {
        slow = {"strace", "-f",
                "-o",     QFile::encodeName(folder + QStringLiteral("/strace.log")),
                "-e",     "trace=ftruncate",
                "-e",     "inject=ftruncate:delay_enter=20000"};
        qint64 lasted = 0;
        Run(slow + QByteArrayList{cli, "metres", "1", path}, -1, QString(), folder);
        Run(slow + QByteArrayList{cli, "revert", path}, -1, QString(), folder, &lasted);
        saveMicroseconds = static_cast<int>(lasted);
    }
    int old = 0, saved = 0, broken = 0, undone = 0, leftBehind = 0, notRemoved = 0;
    for (int trial = 0; trial < trials; ++trial) {
        // Every other trial reverts: a shorter file written over a longer one.
        const bool revert = trial % 2;
        const QByteArray before = ReadAll(track), metres = QByteArray::number(2 + trial);
        const QByteArray after = WithStall(before, revert ? Original : Modified(2 + trial));
        Run(slow + (revert ? QByteArrayList{cli, "revert", path} : QByteArrayList{cli, "metres", metres, path}),
            QRandomGenerator::global()->bounded(saveMicroseconds), QString(), inPlace ? folder : QString());
        leftBehind += !Leftovers(folder).isEmpty();
        Run({cli, "show", path}, -1, err); // the next open
        undone += ReadAll(err).contains("was undone");
        const QByteArray now = ReadAll(track);
        now == before ? ++old : now == after ? ++saved : ++broken;
        if (trial % 50 == 49 || trial == trials - 1) { // ten minutes later, a save
            Age(folder);
            Run({cli, "metres", "1", path});
            notRemoved += Leftovers(folder).size();
        }
    }
    std::printf("kill%s: %d trials (a save%s takes %d us): after the next open %d old bytes, %d new bytes, %d "
                "neither (%d put back by it); %d left files behind, %d of them not removed by a later save\n",
                inPlace ? " in place" : "", trials, inPlace ? "'s write in place, journal included, under strace," : "",
                saveMicroseconds, old, saved, broken, undone, leftBehind, notRemoved);
    return broken == 0 && notRemoved == 0 ? 0 : 1;
}

// Two saves of a hard-linked file (written in place) by two tools at once: neither may report a
// save that the file does not hold afterwards.
int PairTrials(int trials, const char *cli, const QString &folder)
{
    const QString track = folder + QStringLiteral("/track.ini");
    const QByteArray path = QFile::encodeName(track), link = QFile::encodeName(folder + QStringLiteral("/other.ini"));
    int bothSaved = 0, oneSaved = 0, lost = 0;
    for (int trial = 0; trial < trials; ++trial) {
        WriteAll(track, TrackWith(Original));
        HardLink(path.constData(), link.constData());
        const QByteArray first = QByteArray::number(10 + trial), second = QByteArray::number(20000 + trial);
        int status[2] = {0, 0};
        std::thread other([&] { status[1] = Run({cli, "metres", second, path}); });
        status[0] = Run({cli, "metres", first, path});
        other.join();
        const QByteArray now = ReadAll(track);
        const bool holdsFirst = now.contains(Modified(10 + trial)), holdsSecond = now.contains(Modified(20000 + trial));
        (status[0] == 0 && status[1] == 0 ? bothSaved : oneSaved)++;
        // A save reported must be what the file holds, or the other save's, made after it.
        lost += (status[0] == 0 || status[1] == 0) && !holdsFirst && !holdsSecond;
        lost += status[0] == 0 && status[1] != 0 && !holdsFirst;
        lost += status[1] == 0 && status[0] != 0 && !holdsSecond;
        ::unlink(link.constData());
    }
    std::printf("pair: %d pairs of saves at once, in place: both saved %d times, one %d times; a reported save "
                "lost %d times\n",
                trials, bothSaved, oneSaved, lost);
    return lost == 0 ? 0 : 1;
}

// The tool killed on entering each disk-changing system call in turn, by rename, in place, and in
// place in a folder that only its file may be written in (as nobody, the journal per user).
int StepTrials(const char *cli, const QString &folder)
{
    const QString tracks = folder + QStringLiteral("/tracks"), data = folder + QStringLiteral("/data"),
                  perUser = data + QStringLiteral("/Penhallow/Korsa Sorvena Trainer/Copies"),
                  track = tracks + QStringLiteral("/track.ini"), err = folder + QStringLiteral("/err.txt");
    const QByteArray path = QFile::encodeName(track);
    QDir().mkpath(tracks);
    QDir().mkpath(data);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    ::chmod(QFile::encodeName(data).constData(), 0777);
    ::setenv("XDG_DATA_HOME", QFile::encodeName(data).constData(), 1);
    const QByteArray saved =
        WithStall(TrackWith(Original), Modified(12200)) + "\r\n[ GRIDWELL ]\r\n" + Original + "\r\n";
    int failures = 0;
    for (const QByteArray where : {"by rename", "in place", "in place, folder not writable"})
        for (const bool revert : {false, true}) {
            const bool nobody = where.endsWith("writable");
            const QByteArrayList as =
                nobody ? QByteArrayList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"}
                       : QByteArrayList();
            const QByteArray old = revert ? saved : TrackWith(Original),
                             now = revert ? WithStall(saved, Original) : saved;
            int kills = 0, torn = 0, undone = 0;
            for (const char *call : {"pwrite64", "ftruncate", "fsync", "renameat2", "linkat", "unlinkat", "fchown",
                                     "fchmod", "fsetxattr", "mkdir"})
                for (int when = 1; when < 400; ++when) {
                    ::chmod(QFile::encodeName(tracks).constData(), 0755);
                    WriteAll(track, old);
                    ::chmod(path.constData(), 0666);
                    if (revert)
                        WriteAll(track + QStringLiteral(".bak"), TrackWith(Original));
                    else
                        QFile::remove(track + QStringLiteral(".bak"));
                    if (where == "in place")
                        HardLink(path.constData(),
                                 QFile::encodeName(tracks + QStringLiteral("/other.ini")).constData());
                    else
                        QFile::remove(tracks + QStringLiteral("/other.ini"));
                    const QByteArray inject =
                        QByteArray("inject=") + call + ":signal=KILL:when=" + QByteArray::number(when);
                    const int status =
                        Run(QByteArrayList{"strace", "-f", "-o", QFile::encodeName(err), "-e",
                                           QByteArray("trace=") + call, "-e", inject} +
                            as + QByteArrayList{cli} +
                            (revert ? QByteArrayList{"revert", path} : QByteArrayList{"section", "1", path}));
                    Run(as + QByteArrayList{cli, "show", path}, -1, err);
                    undone += ReadAll(err).contains("was undone");
                    const QByteArray found = ReadAll(track);
                    torn += found != old && found != now;
                    if (status != -1)
                        break;
                    ++kills;
                }
            Age(tracks);
            Age(perUser);
            Run(as + QByteArrayList{cli, "section", "2", path});
            const int left = Leftovers(tracks).size() + Leftovers(perUser).size();
            std::printf("steps %s, %s: %d kills, %d torn after the next open (%d put back by it), %d leftovers "
                        "after their age\n",
                        where.constData(), revert ? "Revert" : "Save", kills, torn, undone, left);
            failures += torn + left;
        }
    return failures == 0 ? 0 : 1;
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

int EditTrials(int trials, const QString &folder, bool inPlace)
{
    const QByteArray link = QFile::encodeName(folder + QStringLiteral("/other.ini"));
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
        ::unlink(link.constData());
        if (inPlace)
            HardLink(QFile::encodeName(track).constData(), link.constData());
        const QByteArray edit = "object = " + QByteArray::number(trial + 1);
        std::thread editor([&] {
            ::usleep(static_cast<useconds_t>(QRandomGenerator::global()->bounded(saveMicroseconds * 3 / 2)));
            const QByteArray edited = ReadAll(track).replace("object = 0", edit);
            if (trial % 2 && !inPlace) { // as sed -i does
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
    std::printf("edit%s: %d races (a save takes %d us): the other program's edit lost %d times; both kept %d times; "
                "the save refused %d times; the save undone by the other program's own read and write %d times\n",
                inPlace ? " in place" : "", trials, saveMicroseconds, lost, bothKept, refused, oursLostToTheEditor);
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
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc < 3 || ((mode == "kill" || mode == "steps" || mode == "pair") && argc < 4)) {
        std::fprintf(stderr, "usage: bench_save_trials kill|edit|link|steps|pair TRIALS [CLI] [inplace]\n");
        return 64;
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    QTemporaryDir temp;
    const int trials = std::atoi(argv[2]);
    const bool inPlace = std::string(argv[argc - 1]) == "inplace";
    if (mode == "kill")
        return KillTrials(trials, argv[3], temp.path(), inPlace);
    if (mode == "steps")
        return StepTrials(argv[3], temp.path());
    if (mode == "pair")
        return PairTrials(trials, argv[3], temp.path());
    if (mode == "edit")
        return EditTrials(trials, temp.path(), inPlace);
    return LinkTrials(trials, temp.path());
}
