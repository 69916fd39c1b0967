// Saving never loses the user's track file: every failure is reported, and the file keeps its
// previous bytes; a success means the new bytes are on disk.

#include "support/TempTree.h"
#include "support/TrackText.h"
#include "track_file/TrackFileWriter.h"
#include "track_file/TrackIniFileReader.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace korsa;
using korsa::test::ReadFile;
using korsa::test::TempTree;
using korsa::test::TrackText;

namespace {

// The folder's track file as read, its start position changed to 7; where there is no file to
// read, the lines given here stand for it.
SessionState Changed(const QString &folder, const QString &name = QStringLiteral("track.ini"))
{
    SessionState state;
    state.TrackFolder = folder;
    state.TrackFileName = name;
    state.TrackLines = {"track_name_short = Sorvena", "track_length = 44.732 miles", "stall_0 = 1500 0.0"};
    state.StallLineIndex = 3;
    ReadTrackFile(state);
    state.TrackLines[state.StallLineIndex - 1] = "stall_0 = 7 0.0";
    return state;
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class SaveFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    // Nothing is created where the file or its folder has gone, and a backup there stays as it is.
    void missingFileOrFolderIsAnError_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("backup"); // null: none
        QTest::newRow("file gone, backup kept") << QString() << QStringLiteral("track.ini") << QByteArray("old");
        QTest::newRow("folder gone") << QStringLiteral("gone") << QStringLiteral("track.ini") << QByteArray();
        QTest::newRow("a folder at the name") << QString() << QString() << QByteArray();
    }
    void missingFileOrFolderIsAnError()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QByteArray, backup);
        TempTree tree;
        if (!backup.isNull())
            tree.write(QStringLiteral("track.ini.bak"), backup);
        QCOMPARE(WriteTrackFile(Changed(tree.file(folder), name)), TrackFileOutcome::SaveFailed);
        QCOMPARE(Entries(tree.path()), backup.isNull() ? QStringList() : QStringList{"track.ini.bak"});
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), backup);
    }

    // The replacement is a new file with the old one's mode bits and owner. A file nobody may
    // write is refused even where the system would let the user write it; its backup is made.
    void modeAndOwner_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("owner"); // -1: the test's own; else uid and gid, when run as root
        QTest::addColumn<TrackFileOutcome>("outcome");
        QTest::newRow("rw-r-----") << 0640 << -1 << TrackFileOutcome::Ok;
        QTest::newRow("rw------- of another user") << 0600 << 4321 << TrackFileOutcome::Ok;
        QTest::newRow("r--r--r--") << 0444 << -1 << TrackFileOutcome::SaveFailed;
    }
    void modeAndOwner()
    {
        QFETCH(int, mode);
        QFETCH(int, owner);
        QFETCH(TrackFileOutcome, outcome);
        if (owner >= 0 && ::geteuid() != 0)
            QSKIP("only root may give a file to another user");
        TempTree tree;
        const QByteArray path = QFile::encodeName(tree.write(QStringLiteral("track.ini"), TrackText()));
        const SessionState state = Changed(tree.path());
        QCOMPARE(::chmod(path.constData(), static_cast<mode_t>(mode)), 0);
        if (owner >= 0)
            QCOMPARE(::chown(path.constData(), static_cast<uid_t>(owner), static_cast<gid_t>(owner)), 0);
        struct stat before, after;
        QCOMPARE(::stat(path.constData(), &before), 0);
        QCOMPARE(WriteTrackFile(state), outcome);
        QCOMPARE(::stat(path.constData(), &after), 0);
        QCOMPARE(after.st_ino != before.st_ino, outcome == TrackFileOutcome::Ok); // replaced, or not touched
        QCOMPARE(static_cast<int>(after.st_mode & 07777), mode);
        QCOMPARE(std::pair(after.st_uid, after.st_gid), std::pair(before.st_uid, before.st_gid));
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), TrackText());
    }

    // A name that was a link when read is written through, and stays a link; a name turned into a
    // link after the read is refused, and neither file changes.
    void linksAreFollowedOnlyWhenTheyWereRead()
    {
        for (const bool linkWhenRead : {true, false}) {
            TempTree tree;
            QDir(tree.path()).mkdir(QStringLiteral("real"));
            const QString target = tree.write(QStringLiteral("real/track.ini"), TrackText());
            const QString name = tree.file(QStringLiteral("track.ini"));
            if (linkWhenRead)
                QVERIFY(QFile::link(target, name));
            else
                tree.write(QStringLiteral("track.ini"), TrackText());
            const SessionState state = Changed(tree.path());
            if (!linkWhenRead)
                QVERIFY(QFile::remove(name) && QFile::link(target, name));

            QCOMPARE(WriteTrackFile(state), linkWhenRead ? TrackFileOutcome::Ok : TrackFileOutcome::SaveFailed);
            QCOMPARE(QFileInfo(name).symLinkTarget(), target);
            QCOMPARE(tree.read(QStringLiteral("real/track.ini")).contains("stall_0 = 7 0.0\r\n"), linkWhenRead);
            QCOMPARE(QFileInfo::exists(tree.file(QStringLiteral("track.ini.bak"))), linkWhenRead);
        }
    }

    // Saves on a small file system filled to every level from full to 24 KiB free, of files from
    // 300 bytes to 15 KB on both sides of the 4 KiB block edges, with and without a backup: the file
    // always holds its old bytes or all of the new ones, and the outcome says which.
    void nearlyFullDiskNeverLosesTheFile()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a tmpfs needs root");
        TempTree tree;
        const QString disk = tree.file(QStringLiteral("small"));
        QDir().mkpath(disk);
        if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk}) != 0)
            QSKIP("this machine does not let the test mount a tmpfs");
        const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {disk}); });
        const QString track = disk + QStringLiteral("/track.ini"), backup = track + QStringLiteral(".bak");

        int saved = 0, refused = 0;
        for (const int size : {300, 4000, 4096, 8150, 12300, 15000})
            for (const bool backupPresent : {false, true})
                for (int freeBytes = 0; freeBytes <= 24 * 1024; freeBytes += 2048) {
                    const QByteArray where = QByteArray::number(size) + " bytes, " + QByteArray::number(freeBytes) +
                                             " free, backup " + QByteArray::number(backupPresent);
                    for (const QString &name : Entries(disk))
                        QFile::remove(disk + QLatin1Char('/') + name);
                    const QByteArray pad = QByteArray(size - TrackText().size() - 2, ';') + "\r\n";
                    const QByteArray old = TrackText("1500 0.0", "44.732", pad);
                    korsa::test::WriteFile(track, old);
                    if (backupPresent)
                        korsa::test::WriteFile(backup, "first");
                    const SessionState state = Changed(disk);
                    // Take all room but freeBytes.
                    struct statvfs fs;
                    QCOMPARE(::statvfs(QFile::encodeName(disk).constData(), &fs), 0);
                    korsa::test::WriteFile(
                        disk + QStringLiteral("/filler"),
                        QByteArray(qMax<qint64>(0, qint64(fs.f_bavail * fs.f_frsize) - freeBytes), 'f'));

                    const bool ok = WriteTrackFile(state) == TrackFileOutcome::Ok;
                    (ok ? saved : refused)++;
                    const QByteArray now = QByteArray(old).replace("stall_0 = 1500 0.0", "stall_0 = 7 0.0") +
                                           "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";
                    QVERIFY2(ReadFile(track) == (ok ? now : old), where);
                    // The backup is the one that was there, or all of the old bytes, or none; no
                    // temporary file is left behind.
                    const bool backupNow = QFileInfo::exists(backup);
                    QVERIFY2(ReadFile(backup) == (backupPresent ? "first" : old) ||
                                 (!backupPresent && !ok && !backupNow),
                             where);
                    QCOMPARE(Entries(disk).filter(QStringLiteral("track.ini.")).size(), backupNow ? 1 : 0);
                }
        // The sweep reaches both sides of the edge.
        QVERIFY(saved > 0 && refused > 0);
    }
};

QTEST_GUILESS_MAIN(SaveFaultsTest)
#include "tst_save_faults.moc"
