// The real korsa-sorvena-cli saving where saving is hard: the order of its system calls, disks that
// fail under it, FAT and NTFS images, and users who may write a file but not give one away.

#include "support/TempTree.h"
#include "support/TrackText.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korsa::test;

namespace {

const QByteArray Dunes = "stall_0 = 12200 0.0\t\t; Modified by Korsa Gridwell";

// What a save of `before` with the stall_0 line given leaves: the old line in the marker section.
QByteArray Saved(const QByteArray &before, const QByteArray &stall)
{
    return QByteArray(before).replace("stall_0 = 1500 0.0", stall) + "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";
}

struct Run {
    int exitCode;
    QByteArray err;
};

// The tool with the arguments, started through `prefix` (another user, strace), with `environment`.
Run Cli(const QStringList &args, const QStringList &prefix = {}, const QStringList &environment = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &pair : environment)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    const QStringList command = prefix + QStringList{QStringLiteral(KORSA_CLI)} + args;
    process.start(command.first(), command.mid(1));
    // One that hangs is ended, and fails.
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {-2, command.join(' ').toUtf8() + " did not finish"};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardError()};
}

// A tool's exit status. What it prints goes nowhere: a file system's daemon that goes on printing
// after it has mounted would die of a closed pipe.
int Quietly(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Adds the coverage counters written under `counters` (by GCOV_PREFIX) to the build's own.
void MergeCounters(const QString &counters)
{
    QSet<QString> folders;
    for (QDirIterator it(counters, {"*.gcda"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        folders.insert(QFileInfo(it.next()).path());
    // gcov-tool merges only into a folder that has counters of its own; others take a copy.
    for (const QString &folder : folders)
        if (Quietly("gcov-tool", {"merge", folder, folder.mid(counters.size()), "-o", folder.mid(counters.size())}))
            for (const QString &name : QDir(folder).entryList({"*.gcda"}))
                QFile::copy(folder + '/' + name, folder.mid(counters.size()) + '/' + name);
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

struct stat Stat(const QString &path)
{
    struct stat info {
    };
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

} // namespace

class SavesTest : public QObject
{
    Q_OBJECT

private slots:
    // A save writes the new file, syncs it, reads it back, gives it the name and syncs the folder,
    // in this order (the backup, made first, has its own).
    void systemCallsInOrder()
    {
        TempTree tree;
        const QString track = tree.write(QStringLiteral("track.ini"), TrackText());
        const QString log = tree.file(QStringLiteral("strace.log"));
        QCOMPARE(Cli({"section", "1", track}, {"strace", "-f", "-y", "-o", log, "-e", "trace=%file,%desc"}).exitCode,
                 0);
        const QStringList calls = QString::fromUtf8(ReadFile(log)).split(QLatin1Char('\n'));
        const QString temp = QStringLiteral(R"(\.track\.ini\.korsa-save-\w{6})");
        qsizetype at = -1;
        for (const QString &call : {"(pwrite64|write)\\(\\d+<[^>]*" + temp + ">", "fsync\\(\\d+<[^>]*" + temp + ">",
                                    "pread64\\(\\d+<[^>]*" + temp + ">",
                                    "renameat2\\(.*\"" + temp + "\", .*\"track\\.ini\", RENAME_EXCHANGE\\) += 0",
                                    "fsync\\(\\d+<" + QRegularExpression::escape(tree.path()) + ">\\) += 0"}) {
            const QRegularExpression pattern(call);
            while (++at < calls.size() && !pattern.match(calls[at]).hasMatch()) {
            }
            QVERIFY2(at < calls.size(), qPrintable("not in order: " + call));
        }
    }

    // A disk that fails is caught, and the file keeps its bytes; another program's version is never
    // lost; a file left half written is put back by the next open. Each row is the one case where a
    // check of the save's stands alone: without it, the row fails.
    void diskFaults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("linked"); // a second hard link: written in place
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("cause");
        QTest::addColumn<QByteArray>("ends"); // old, saved, other, other saved, torn
        QTest::addColumn<bool>("undone");     // the next show puts the old bytes back
        const QByteArray readBack = "What was written could not be read back unchanged.";
        QTest::newRow("read back differs")
            << "read .track.ini.korsa-save-" << false << 5 << readBack << QByteArray("old") << false;
        QTest::newRow("in place, the sync fails")
            << "fsync /track.ini$" << true << 5 << QByteArray("Input/output error.") << QByteArray("old") << false;
        QTest::newRow("in place, the journal's sync fails")
            << "fsync .korsa-journal-" << true << 5 << QByteArray("Input/output error.") << QByteArray("old") << false;
        QTest::newRow("in place, the journal reads back changed")
            << "write .korsa-journal-" << true << 5 << readBack << QByteArray("old") << false;
        QTest::newRow("renamed over it just before the exchange")
            << "rename-over /track.ini$" << false << 0 << QByteArray() << QByteArray("other saved") << false;
        QTest::newRow("edited at once, the exchange checked by bytes")
            << "edit@exchange /track.ini$" << false << 0 << QByteArray() << QByteArray("other saved") << false;
        QTest::newRow("edited before the exchange, whose undoing would fail")
            << "edit .korsa-save-; exchange#2 /track.ini$" << false << 0 << QByteArray() << QByteArray("other saved")
            << false;
        QTest::newRow("renamed over it on a disk without exchange or change times")
            << "rename-over /track.ini$; noexchange /track.ini$; noctime /track.ini" << false << 0 << QByteArray()
            << QByteArray("other saved") << false;
        QTest::newRow("the undoing of a replaced exchange fails")
            << "rename-over /track.ini$; exchange#2 /track.ini$" << false << 5
            << QByteArray("its version could not be put back (Input/output error): it is kept in ")
            << QByteArray("saved") << false;
        QTest::newRow("the undoing of a replaced exchange and the renaming of the other version fail")
            << "rename-over /track.ini$; exchange#2 /track.ini$; place .korsa-kept-" << false << 5
            << QByteArray("it is kept in ") << QByteArray("saved") << false;
        QTest::newRow("a named pipe in place of the new file when it is read back")
            << "fifo .track.ini.korsa-save-" << false << 5 << readBack << QByteArray("old") << false;
        QTest::newRow("the removal of what the exchange took from the name fails once")
            << "unlink .track.ini.korsa-save-" << false << 0 << QByteArray() << QByteArray("saved") << false;
        QTest::newRow("in place, another program writes meanwhile")
            << "edit /track.ini$" << true << 5 << QByteArray("Another program wrote the file meanwhile")
            << QByteArray("other") << false;
        QTest::newRow("in place, the sync fails and the old bytes go back short")
            << "fsync /track.ini$; truncate /track.ini$" << true << 5
            << QByteArray("is put back when the file is next opened.") << QByteArray("old") << true;
    }
    void diskFaults()
    {
        QFETCH(QString, fault);
        QFETCH(bool, linked);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, cause);
        QFETCH(QByteArray, ends);
        QFETCH(bool, undone);
        TempTree tree;
        const QByteArray old = TrackText("1500 0.0", "44.732", "object = 0\r\n"),
                         other = TrackText("1500 0.0", "44.732", "object = 1\r\n");
        const QString track = tree.write(QStringLiteral("track.ini"), old);
        if (linked)
            QCOMPARE(::link(qPrintable(track), qPrintable(tree.file("other.ini"))), 0);
        const Run run = Cli({"section", "1", track}, {},
                            {"LD_PRELOAD=" KORSA_FAULTY_DISK, QStringLiteral("KORSA_FAULT=") + fault,
                             "KORSA_FAULT_TARGET=" + track, "KORSA_FAULT_WITH=" + tree.write("with", other)});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(cause), run.err);
        const Run show = Cli({"show", track});
        QCOMPARE(show.err, undone ? "An interrupted save of " + track.toUtf8() + " was undone.\n" : QByteArray());
        const QMap<QByteArray, QByteArray> end = {
            {"old", old}, {"saved", Saved(old, Dunes)}, {"other", other}, {"other saved", Saved(other, Dunes)}};
        QCOMPARE(tree.read("track.ini"), end[ends]);
        QCOMPARE(tree.read(linked ? "other.ini" : "track.ini"), end[ends]);
        // Nothing left behind but the journal of bytes another program's write came after, and the
        // other program's version that could not be put back.
        const QStringList left = Entries(tree.path()).filter(".korsa-");
        QCOMPARE(left.size(), int(ends == "other" || (exitCode == 5 && ends == "saved")));
        QCOMPARE(left.filter(".korsa-kept-").size(), int(exitCode == 5 && ends == "saved"));
        for (const QString &kept : left.filter(".korsa-kept-"))
            QCOMPARE(tree.read(kept), other);
        // A journal kept goes 30 days after its file took another identity.
        if (ends == "other") {
            QCOMPARE(std::rename(qPrintable(tree.write("fresh", other)), qPrintable(track)), 0);
            for (const int days : {29, 31}) {
                QCOMPARE(QProcess::execute("touch", {"-d", QString::number(days) + " days ago", tree.file(left[0])}),
                         0);
                QCOMPARE(Cli({"show", track}).exitCode, 0);
                QCOMPARE(Entries(tree.path()).filter(".korsa-journal-").size(), int(days == 29));
            }
        }
    }

    // The tool killed on entering each system call of a save that changes the disk, each call one
    // after the other: the next open finds the old bytes or all of the new ones, putting back a file
    // left half written, and once their age has passed a save leaves nothing of the killed ones.
    void killedAtEachStep_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::addColumn<QString>("command");
        QTest::newRow("by rename, Save") << false << "section";
        QTest::newRow("by rename, Revert") << false << "revert";
        QTest::newRow("in place, Save") << true << "section";
        QTest::newRow("in place, Revert") << true << "revert";
    }
    void killedAtEachStep()
    {
        QFETCH(bool, linked);
        QFETCH(QString, command);
        TempTree tree;
        const QStringList args =
            command == "revert" ? QStringList{"revert"} : QStringList{QStringLiteral("section"), QStringLiteral("1")};
        const QString track = tree.file(QStringLiteral("track.ini")), log = tree.file(QStringLiteral("strace.log"));
        // Revert writes a shorter file over one saved before, whose backup is there.
        const QByteArray saved = Saved(TrackText(), Dunes), old = command == "revert" ? saved : TrackText(),
                         now = command == "revert" ? Saved(TrackText(), "stall_0 = 1500 0.0") : saved;
        int kills = 0, undone = 0;
        for (const QString call :
             {"pwrite64", "ftruncate", "fsync", "renameat2", "linkat", "unlinkat", "fchmod", "fsetxattr"}) {
            for (int when = 1;; ++when) {
                WriteFile(track, old);
                if (command == "revert")
                    WriteFile(track + ".bak", TrackText());
                else
                    QFile::remove(track + ".bak");
                if (linked && !QFile::exists(tree.file("other.ini")))
                    QCOMPARE(::link(qPrintable(track), qPrintable(tree.file("other.ini"))), 0);
                const QString inject = call + ":signal=KILL:when=" + QString::number(when);
                const Run run = Cli(args + QStringList{track},
                                    {"strace", "-f", "-o", log, "-e", "trace=" + call, "-e", "inject=" + inject});
                const Run show = Cli({"show", track});
                QCOMPARE(show.exitCode, 0);
                undone += !show.err.isEmpty();
                QVERIFY2(ReadFile(track) == old || ReadFile(track) == now, qPrintable(inject));
                if (run.exitCode == 0)
                    break;
                QCOMPARE(run.exitCode, -1);
                ++kills;
            }
        }
        // Ten minutes later, a save.
        for (const QString &name : Entries(tree.path()).filter(".korsa-"))
            QCOMPARE(QProcess::execute("touch", {"-d", "11 minutes ago", tree.file(name)}), 0);
        QCOMPARE(Cli({"section", "2", track}).exitCode, 0);
        QCOMPARE(Entries(tree.path()).filter(".korsa-"), QStringList());
        qInfo("%d kills, %d of them undone by the next open", kills, undone);
        QVERIFY(kills > 5 && (undone > 0) == (linked && command == "revert")); // only a cut tears the file
    }

    // Two saves of a hard-linked file at once take turns: one started while the other is cutting the
    // file it wrote in place to its new length waits, and never takes that file for one a killed save
    // left half written.
    void savesTakeTurns()
    {
        TempTree tree;
        const QByteArray saved = Saved(TrackText(), Dunes), reverted = Saved(TrackText(), "stall_0 = 1500 0.0");
        const QString track = tree.write(QStringLiteral("track.ini"), saved), alone = tree.write("alone.ini", reverted);
        tree.write(QStringLiteral("track.ini.bak"), TrackText());
        QCOMPARE(::link(qPrintable(track), qPrintable(tree.file("other.ini"))), 0);
        QProcess first; // held up two seconds on entering the cut
        first.start("strace", {"-o", tree.file("strace.log"), "-e", "trace=ftruncate", "-e",
                               "inject=ftruncate:delay_enter=2000000:when=1", KORSA_CLI, "revert", track});
        for (QDeadlineTimer deadline(20000); ReadFile(track) == saved && !deadline.hasExpired();)
            QThread::msleep(2);
        const Run second = Cli({"section", "2", track});
        QVERIFY(first.waitForFinished(60000));
        QCOMPARE(std::pair(first.exitCode(), second.exitCode), std::pair(0, 0));
        QCOMPARE(second.err, QByteArray());
        QCOMPARE(Cli({"section", "2", alone}).exitCode, 0);
        QCOMPARE(ReadFile(track), ReadFile(alone));
    }

    // --json names a file whose path is no UTF-8 text by its bytes too, in base64 beside "file".
    void jsonGivesPathBytes()
    {
        TempTree tree;
        for (const QByteArray &name : {QByteArray("pist\xe9.ini"), QByteArray("pist\xc3\xa9.ini")}) {
            const QByteArray path = QFile::encodeName(tree.path()) + '/' + name;
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0 && ::write(fd, TrackText().constData(), TrackText().size()) == TrackText().size());
            ::close(fd);
            QProcess process; // the path as bytes: QProcess would take it as text
            process.start("perl", {"-e", "exec($ARGV[0], '--json', 'show', pack('H*', $ARGV[1]))", KORSA_CLI,
                                   QString::fromLatin1(path.toHex())});
            QVERIFY(process.waitForFinished(60000) && process.exitCode() == 0);
            const QJsonObject json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
            QCOMPARE(json.value("file").toString(), QFile::decodeName(path));
            // A name that is no UTF-8 cannot be removed by its text: by its bytes, then.
            QVERIFY(::unlink(path.constData()) == 0);
            QCOMPARE(QByteArray::fromBase64(json.value("file_bytes").toString().toLatin1()),
                     name.endsWith("\xe9.ini") ? path : QByteArray());
        }
    }

    // Save, Revert, the backup and the line limit where a new file could not be what the old one
    // was: on FAT (no owners, no links) and NTFS images, for a member of the file's group, and in a
    // folder the user cannot write (the copy kept meanwhile goes to the user's data folder).
    void hardPlaces_data()
    {
        QTest::addColumn<QString>("image");  // a file system mounted for the test; empty: none
        QTest::addColumn<int>("folderMode"); // and file mode: root:games, saved by a member of games
        QTest::addColumn<int>("fileMode");   // 0: root saves
        QTest::addColumn<bool>("backup");
        QTest::newRow("FAT image (fusefat)") << "fat" << 0 << 0 << true;
        QTest::newRow("NTFS image (ntfs-3g)") << "ntfs" << 0 << 0 << true;
        QTest::newRow("root:games 0664, a member of games") << QString() << 0775 << 0664 << true;
        QTest::newRow("file writable, folder not") << QString() << 0755 << 0666 << false;
    }
    void hardPlaces()
    {
        QFETCH(QString, image);
        QFETCH(int, folderMode);
        QFETCH(int, fileMode);
        QFETCH(bool, backup);
        if (::geteuid() != 0)
            QSKIP("mounting images and acting as another user need root");
        TempTree tree;
        const QString folder = tree.file(QStringLiteral("tracks")), data = tree.file(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(data));
        if (!image.isEmpty()) {
            if (!QFile::exists(QStringLiteral("/dev/fuse")))
                QSKIP("FUSE is missing (no /dev/fuse): the FAT and NTFS images cannot be mounted here");
            const QString file = tree.file(image + ".img");
            QCOMPARE(Quietly("truncate", {"-s", "16M", file}), 0);
            QCOMPARE(image == "fat" ? Quietly("mkfs.fat", {file}) : Quietly("mkntfs", {"-F", "-f", "-q", file}), 0);
            // fusefat writes only when told that it may: "rw+".
            QCOMPARE(
                Quietly(image == "fat" ? "fusefat" : "ntfs-3g", {"-o", image == "fat" ? "rw+" : "rw", file, folder}),
                0);
        }
        const auto unmount = qScopeGuard([&] {
            if (!image.isEmpty())
                QProcess::execute("umount", {folder});
        });
        const QString track = WriteFile(folder + "/track.ini", TrackText());
        QStringList asUser;
        if (fileMode) {
            asUser = {"setpriv", "--reuid=65534", "--regid=65534", "--groups=60", "--"};
            QVERIFY(::chmod(qPrintable(tree.path()), 0755) == 0 && ::chmod(qPrintable(data), 0777) == 0);
            QVERIFY(::chown(qPrintable(folder), 0, 60) == 0 && ::chmod(qPrintable(folder), folderMode) == 0);
            QVERIFY(::chown(qPrintable(track), 0, 60) == 0 && ::chmod(qPrintable(track), fileMode) == 0);
        }
        const struct stat before = Stat(track);
        // A coverage build's counters of another user's runs go where that user may write them, so that
        // no complaint about the build folder lands after the messages checked here, and then join the
        // build's own.
        const QString counters = tree.file(QStringLiteral("counters"));
        QVERIFY(QDir().mkpath(counters) && ::chmod(qPrintable(counters), 0777) == 0);
        const auto merge = qScopeGuard([&] { MergeCounters(counters); });
        QStringList env = {"XDG_DATA_HOME=" + data};
        if (fileMode)
            env.append("GCOV_PREFIX=" + counters);

        QCOMPARE(Cli({"section", "1", track}, asUser, env).exitCode, 0);
        QCOMPARE(ReadFile(track), Saved(TrackText(), Dunes));
        QCOMPARE(ReadFile(track + ".bak"), backup ? TrackText() : QByteArray());
        QCOMPARE(Cli({"revert", track}, asUser, env).exitCode, 0);
        QCOMPARE(ReadFile(track), Saved(TrackText(), "stall_0 = 1500 0.0"));
        if (fileMode) { // a file the user may not read says so
            QVERIFY(::chmod(qPrintable(track), 0600) == 0);
            QVERIFY(Cli({"show", track}, asUser, env).err.endsWith("format.\nPermission denied.\n"));
            QVERIFY(::chmod(qPrintable(track), fileMode) == 0);
        }
        const struct stat after = Stat(track);
        QCOMPARE((QList<uint>{after.st_uid, after.st_gid, after.st_mode, uint(after.st_nlink)}),
                 (QList<uint>{before.st_uid, before.st_gid, before.st_mode, uint(before.st_nlink)}));

        // A save that would pass the most lines a track file can have is refused, and says so.
        const QByteArray longest = TrackText("1500 0.0", "44.732", QByteArray("x = 1\r\n").repeated(32761));
        QFile over(track); // written over where it stands: fusefat cannot empty a file
        QVERIFY(over.open(QIODevice::ReadWrite) && over.write(longest) == longest.size() && over.flush());
        const Run refused = Cli({"section", "1", track}, asUser, env);
        QCOMPARE(refused.exitCode, 5);
        QVERIFY2(refused.err.endsWith("\nThe file would have more than 32767 lines.\n"), refused.err);
        QCOMPARE(ReadFile(track), longest);
        // Nothing left behind, beside the file or per user.
        QCOMPARE(Entries(folder), QStringList({"track.ini", "track.ini.bak"}).mid(0, 1 + backup));
        QVERIFY(Entries(data + "/Penhallow/Korsa Sorvena Trainer/Copies").isEmpty());
        if (image == "fat") { // a full disk, which fusefat answers with EPERM
            const QString small = WriteFile(folder + "/small.ini", TrackText());
            WriteFile(folder + "/filler", QByteArray(QStorageInfo(folder).bytesAvailable() - 1024, 'f'));
            const Run full = Cli({"section", "2", small}, asUser, env);
            QVERIFY2(full.exitCode == 5 && full.err.endsWith("\nThe disk is full.\n"), full.err);
            QCOMPARE(ReadFile(small), TrackText());
        }
    }
};

QTEST_GUILESS_MAIN(SavesTest)
#include "tst_saves.moc"
