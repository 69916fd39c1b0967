// Saving never loses the user's track file: every failure is reported, and the file keeps its
// previous bytes; a success means the new bytes are on disk.

#include "support/TempTree.h"
#include "support/TrackText.h"
#include "track_file/TrackFileWriter.h"
#include "track_file/TrackIniFileReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace korsa;
using korsa::test::TempTree;
using korsa::test::TrackText;

namespace {

// The file read as it is in the folder, its start position changed.
SessionState Changed(const QString &folder, const QString &name = QStringLiteral("track.ini"))
{
    SessionState state;
    state.TrackFolder = folder;
    state.TrackFileName = name;
    if (ReadTrackFile(state) == TrackFileOutcome::Ok)
        state.TrackLines[state.StallLineIndex - 1] = "stall_0 = 7 0.0";
    else
        state.TrackLines = {"track_name_short = Sorvena", "track_length = 44.732 miles", "stall_0 = 7 0.0"};
    return state;
}

bool Run(const QStringList &command)
{
    QProcess p;
    p.start(command.first(), command.mid(1));
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
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
    void readOnlyFileIsRefusedAndKept_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("r--r--r--") << 0444;
        QTest::newRow("r--------") << 0400;
        QTest::newRow("no bits at all") << 0000;
    }
    void readOnlyFileIsRefusedAndKept()
    {
        QFETCH(int, mode);
        TempTree tree;
        const QString path = tree.write(QStringLiteral("track.ini"), TrackText());
        const SessionState state = Changed(tree.path());
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)), 0);
        QCOMPARE(WriteTrackFile(state), TrackFileOutcome::SaveFailed);
        ::chmod(QFile::encodeName(path).constData(), 0644);
        QCOMPARE(tree.read(QStringLiteral("track.ini")), TrackText());
        // The backup is still made before the write is refused.
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), TrackText());
    }

    void missingFileOrFolderIsAnError_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("backup"); // null: none
        QTest::newRow("file gone") << QString() << QStringLiteral("track.ini") << QByteArray();
        QTest::newRow("file gone, backup kept") << QString() << QStringLiteral("track.ini") << QByteArray("old");
        QTest::newRow("folder gone") << QStringLiteral("gone") << QStringLiteral("track.ini") << QByteArray();
        QTest::newRow("empty name") << QString() << QString() << QByteArray();
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

    // The replacement is a new file: it gets the old one's mode bits and owner.
    void modeAndOwnerAreKept_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("owner"); // -1: the test's own; else uid and gid, when run as root
        QTest::newRow("rw-r-----") << 0640 << -1;
        QTest::newRow("rw-rw-rw-") << 0666 << -1;
        QTest::newRow("rw------- of another user") << 0600 << 4321;
    }
    void modeAndOwnerAreKept()
    {
        QFETCH(int, mode);
        QFETCH(int, owner);
        if (owner >= 0 && ::geteuid() != 0)
            QSKIP("only root may give a file to another user");
        TempTree tree;
        const QByteArray path = QFile::encodeName(tree.write(QStringLiteral("track.ini"), TrackText()));
        QCOMPARE(::chmod(path.constData(), static_cast<mode_t>(mode)), 0);
        if (owner >= 0)
            QCOMPARE(::chown(path.constData(), static_cast<uid_t>(owner), static_cast<gid_t>(owner)), 0);
        struct stat before {};
        QCOMPARE(::stat(path.constData(), &before), 0);
        QCOMPARE(WriteTrackFile(Changed(tree.path())), TrackFileOutcome::Ok);
        struct stat after {};
        QCOMPARE(::stat(path.constData(), &after), 0);
        QVERIFY(after.st_ino != before.st_ino); // really replaced
        QCOMPARE(static_cast<int>(after.st_mode & 07777), mode);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
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
        if (!Run({"mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk}))
            QSKIP("this machine does not let the test mount a tmpfs");
        const auto unmount = qScopeGuard([&] { Run({"umount", disk}); });

        int saved = 0, refused = 0;
        for (const int size : {300, 4000, 4096, 8150, 12300, 15000})
            for (const bool backupPresent : {false, true})
                for (int freeBytes = 0; freeBytes <= 24 * 1024; freeBytes += 2048) {
                    const QString where = QStringLiteral("size %1, %2 free, backup %3").arg(size).arg(freeBytes).arg(backupPresent);
                    for (const QString &name : Entries(disk))
                        QFile::remove(disk + QLatin1Char('/') + name);
                    QByteArray old = TrackText();
                    old += QByteArray(size - old.size() - 2, ';') + "\r\n";
                    QFile track(disk + QStringLiteral("/track.ini"));
                    QVERIFY2(track.open(QIODevice::WriteOnly) && track.write(old) == size && track.flush(), qPrintable(where));
                    track.close();
                    if (backupPresent) {
                        QFile backup(disk + QStringLiteral("/track.ini.bak"));
                        QVERIFY(backup.open(QIODevice::WriteOnly) && backup.write("first") == 5);
                    }
                    const SessionState state = Changed(disk);
                    // Take all room but freeBytes.
                    struct statvfs fs {};
                    QCOMPARE(::statvfs(QFile::encodeName(disk).constData(), &fs), 0);
                    const qint64 fill = qint64(fs.f_bavail) * qint64(fs.f_frsize) - freeBytes;
                    QFile filler(disk + QStringLiteral("/filler"));
                    QVERIFY(filler.open(QIODevice::WriteOnly));
                    if (fill > 0)
                        filler.write(QByteArray(fill, 'f'));
                    filler.close();

                    const TrackFileOutcome outcome = WriteTrackFile(state);
                    QFile check(disk + QStringLiteral("/track.ini"));
                    QVERIFY(check.open(QIODevice::ReadOnly));
                    const QByteArray now = check.readAll();
                    if (outcome == TrackFileOutcome::Ok) {
                        QVERIFY2(now == TrackFileBytes(state), qPrintable(where));
                        ++saved;
                    } else {
                        QVERIFY2(now == old, qPrintable(where));
                        ++refused;
                    }
                    // The backup is the one that was there, or all of the old bytes, or none.
                    QFile backup(disk + QStringLiteral("/track.ini.bak"));
                    const QByteArray kept = backup.open(QIODevice::ReadOnly) ? backup.readAll() : QByteArray();
                    QVERIFY2(kept == (backupPresent ? QByteArray("first") : old) ||
                                 (!backupPresent && outcome != TrackFileOutcome::Ok && !backup.exists()),
                             qPrintable(where));
                    // No temporary file is left behind.
                    QCOMPARE(Entries(disk).filter(QStringLiteral("track.ini.")).size(), backup.exists() ? 1 : 0);
                }
        // The sweep reaches both sides of the edge.
        QVERIFY(saved > 0 && refused > 0);
    }
};

QTEST_GUILESS_MAIN(SaveFaultsTest)
#include "tst_save_faults.moc"
