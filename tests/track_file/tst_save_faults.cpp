// Saving never loses the user's track file nor what it was: a failure is reported with its cause and
// the file keeps its bytes; a success means the new bytes are on disk, and the file keeps its owner,
// group, mode and links, and every edit another program made before the save.

#include "platform/SafeUpdate.h"
#include "support/TempTree.h"
#include "support/TrackText.h"
#include "track_file/WriteTrackFile.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace korsa;
using korsa::test::ReadFile;
using korsa::test::TempTree;
using korsa::test::TrackText;
using korsa::test::WriteFile;

namespace {

const QByteArray Seven = "stall_0 = 7 0.0";

// What a save of `before` at 7 metres leaves.
QByteArray SavedSeven(const QByteArray &before)
{
    return QByteArray(before).replace("stall_0 = 1500 0.0", Seven) + "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";
}

// Saves the folder's track.ini at 7 metres. `meanwhile` runs each time the change is made, with the
// count of earlier runs, as another program would act then.
TrackFileResult SaveSeven(const QString &folder, const std::function<void(int)> &meanwhile = {},
                          bool linkWhenRead = false)
{
    SessionState state;
    state.TrackFolder = folder;
    state.TrackFileName = QStringLiteral("track.ini");
    state.TrackFileIsLink = linkWhenRead;
    int runs = 0;
    return UpdateTrackFile(state, [&](SessionState &fresh) {
        if (meanwhile)
            meanwhile(runs++);
        fresh.TrackLines[fresh.StallLineIndex - 1] = Seven;
        return TrackFileResult();
    });
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Every extended attribute of the file, ACLs among them, by name.
QMap<QByteArray, QByteArray> Attributes(const QByteArray &path)
{
    QMap<QByteArray, QByteArray> all;
    QByteArray names(4096, '\0');
    names.truncate(qMax<ssize_t>(0, ::listxattr(path.constData(), names.data(), names.size())));
    for (const QByteArray &name : names.split('\0')) {
        QByteArray value(4096, '\0');
        if (!name.isEmpty())
            all[name] =
                value.left(qMax<ssize_t>(0, ::getxattr(path.constData(), name.constData(), value.data(), 4096)));
    }
    return all;
}

struct stat Stat(const QString &path)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        qFatal("no %s", qPrintable(path));
    return info;
}

} // namespace

class SaveFaultsTest : public QObject
{
    Q_OBJECT

    TempTree data_; // the per-user data folder, where copies go when a folder cannot be written
    const bool dataSet_ = qputenv("XDG_DATA_HOME", QFile::encodeName(data_.path()));

private slots:
    // The file keeps its mode, owner, group, extended attributes and ACL, replaced or (with a second
    // hard link) written in place; the ACL's mask stays the group's bits, so the group gains nothing.
    void keepsModeAndOwner_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("owner"); // -1: the test's own; else uid and gid, when run as root
        QTest::addColumn<bool>("attributes");
        QTest::addColumn<bool>("linked");
        QTest::newRow("rw-r-----") << 0640 << -1 << false << false;
        QTest::newRow("rw------- of another user") << 0600 << 4321 << false << false;
        QTest::newRow("an ACL and a user attribute") << 0640 << -1 << true << false;
        QTest::newRow("an ACL and a user attribute, in place") << 0640 << -1 << true << true;
    }
    void keepsModeAndOwner()
    {
        QFETCH(int, mode);
        QFETCH(int, owner);
        QFETCH(bool, attributes);
        QFETCH(bool, linked);
        if (owner >= 0 && ::geteuid() != 0)
            QSKIP("only root may give a file to another user");
        TempTree tree;
        const QString track = tree.write(QStringLiteral("track.ini"), TrackText());
        const QByteArray path = QFile::encodeName(track);
        QCOMPARE(::chmod(path.constData(), static_cast<mode_t>(mode)), 0);
        if (owner >= 0)
            QCOMPARE(::chown(path.constData(), static_cast<uid_t>(owner), static_cast<gid_t>(owner)), 0);
        if (attributes)
            QVERIFY(QProcess::execute("setfacl", {"-m", "u:nobody:rw,g::r--", track}) == 0 &&
                    QProcess::execute("setfattr", {"-n", "user.note", "-v", "kept", track}) == 0);
        if (linked)
            QCOMPARE(::link(path.constData(), QFile::encodeName(tree.file("other.ini")).constData()), 0);
        const struct stat before = Stat(track);
        const QMap<QByteArray, QByteArray> attributesBefore = Attributes(path);
        QCOMPARE(attributesBefore.size(), attributes ? 2 : 0);
        QCOMPARE(SaveSeven(tree.path()), TrackFileOutcome::Ok);
        const struct stat after = Stat(track);
        QCOMPARE(after.st_ino != before.st_ino, !linked);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(std::pair(after.st_uid, after.st_gid), std::pair(before.st_uid, before.st_gid));
        QCOMPARE(Attributes(path), attributesBefore);
        QCOMPARE(tree.read("track.ini"), SavedSeven(TrackText()));
        QCOMPARE(Entries(tree.path()).filter(".korsa-"), QStringList()); // no temporary file left
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
            QVERIFY(QFile::link(target, name));

            const TrackFileResult result = SaveSeven(tree.path(), {}, linkWhenRead);
            QCOMPARE(result.outcome, linkWhenRead ? TrackFileOutcome::Ok : TrackFileOutcome::SaveFailed);
            QCOMPARE(QFileInfo(name).symLinkTarget(), target);
            QCOMPARE(tree.read(QStringLiteral("real/track.ini")) == SavedSeven(TrackText()), linkWhenRead);
            QCOMPARE(Entries(tree.path() + "/real").size(), 1 + linkWhenRead); // the backup beside the file
        }
    }

    // Another program's edit made after the file was read and before the new content takes its place
    // is read again and kept, and the change made again; a file that never stops changing is left
    // with the other program's last edit.
    void anotherProgramsEditSurvives_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("always");
        QTest::newRow("renamed over it, as sed -i does") << "rename" << false;
        QTest::newRow("rewritten in place, same size") << "in place" << false;
        QTest::newRow("changed at every try") << "in place" << true;
    }
    void anotherProgramsEditSurvives()
    {
        QFETCH(QString, how);
        QFETCH(bool, always);
        TempTree tree;
        const QString track =
            tree.write(QStringLiteral("track.ini"), TrackText("1500 0.0", "44.732", "object = 0\r\n"));
        QByteArray edited;
        int edits = 0;
        const TrackFileResult result = SaveSeven(tree.path(), [&](int runs) {
            if (runs > 0 && !always)
                return;
            edited = TrackText("1500 0.0", "44.732", "object = " + QByteArray::number(++edits % 10) + "\r\n");
            if (how == "rename")
                QCOMPARE(std::rename(qPrintable(WriteFile(tree.file("sedXYZ"), edited)), qPrintable(track)), 0);
            else
                WriteFile(track, edited);
        });
        QCOMPARE(result.outcome, always ? TrackFileOutcome::SaveFailed : TrackFileOutcome::Ok);
        QCOMPARE(tree.read("track.ini"), always ? edited : SavedSeven(edited));
        QCOMPARE(edits, always ? 5 : 1);
    }

    // A save removes what saves ended by force left beside the file once it is ten minutes old: new
    // content that never took the name (at once where it is empty: its removal failed), and copies of
    // old bytes the file still holds, and the name saves take turns by. A copy of bytes the file no
    // longer holds may be all that is left of them, and stays, as does another program's version kept.
    void removesOldLeftovers()
    {
        TempTree tree;
        tree.write(QStringLiteral("track.ini"), TrackText());
        const QStringList old = {".track.ini.korsa-save-Aa0001", ".track.ini.bak.korsa-save-Aa0002",
                                 ".track.ini.korsa-copy-Aa0003", ".track.ini.korsa-copy-Aa0004",
                                 ".track.ini.korsa-kept-Aa0007", ".track.ini.korsa-lock"};
        for (const QString &name : old + QStringList{".track.ini.korsa-save-Aa0005", ".other.korsa-save-Aa0006",
                                                     ".track.ini.korsa-save-Aa0008"}) {
            tree.write(name, name.endsWith("4")                            ? QByteArray("half")
                             : name.endsWith("8") || name.endsWith("lock") ? QByteArray()
                                                                           : TrackText());
            if (old.contains(name) || name.contains("other"))
                QVERIFY(QProcess::execute("touch", {"-d", "11 minutes ago", tree.file(name)}) == 0);
        }
        // Copies earlier versions kept per user go once they are 30 days old, of whatever file.
        const QString perUser = PerUserCopyFolder() + '/';
        QDir().mkpath(perUser);
        for (const QString name : {".a.ini.korsa-copy-Aa0009", ".track.ini.korsa-copy-Aa0010", "a.korsa-copy-Aa0011"})
            QVERIFY(QProcess::execute("touch", {"-d", name.endsWith('0') ? "29 days ago" : "31 days ago",
                                                WriteFile(perUser + name, "old")}) == 0);
        QCOMPARE(SaveSeven(tree.path()), TrackFileOutcome::Ok);
        QCOMPARE(Entries(tree.path()), (QStringList{".other.korsa-save-Aa0006", ".track.ini.korsa-copy-Aa0004",
                                                    ".track.ini.korsa-kept-Aa0007", ".track.ini.korsa-save-Aa0005",
                                                    "track.ini", "track.ini.bak"}));
        QCOMPARE(Entries(perUser), (QStringList{".track.ini.korsa-copy-Aa0010", "a.korsa-copy-Aa0011"}));
        QVERIFY(QDir(perUser).removeRecursively());
    }

    // A named pipe another program puts in the file's place is never waited on: the save stops.
    void namedPipeIsNeverWaitedOn()
    {
        TempTree tree;
        const QByteArray track = QFile::encodeName(tree.write(QStringLiteral("track.ini"), TrackText())),
                         pipe = QFile::encodeName(tree.file("pipe"));
        auto saving = std::async(std::launch::async, [&] {
            return SaveSeven(tree.path(), [&](int runs) {
                if (runs == 0 && (::mkfifo(pipe.constData(), 0600) != 0 || std::rename(pipe, track) != 0))
                    qFatal("no pipe");
            });
        });
        const bool done = saving.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        if (!done) // lets an open that waits for the other end go on
            ::close(::open(track.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        QVERIFY(done);
        QCOMPARE(saving.get().outcome, TrackFileOutcome::Unreadable);
        QVERIFY(S_ISFIFO(Stat(QFile::decodeName(track)).st_mode));
    }

    // A file made where there was none never takes the place of one another program made after the
    // name was looked at: the change is made again, to that file.
    void createsWithoutOverwriting()
    {
        TempTree tree;
        FileUpdate update{QFile::encodeName(tree.file("new.ini")), false, true, {}, 1 << 20, {}};
        update.contentFor = [&](const QByteArray &current) -> std::optional<QByteArray> {
            if (current.isEmpty())
                WriteFile(tree.file("new.ini"), "other\n");
            return current + "ours\n";
        };
        QCOMPARE(UpdateFile(update).kind, UpdateResult::Kind::Written);
        QCOMPARE(tree.read("new.ini"), "other\nours\n");
    }

    // Saves on a small file system filled to every level from full to 24 KiB free, of files from
    // 300 bytes to 15 KB on both sides of the 4 KiB block edges, with and without a backup, replaced
    // or (with a second hard link) written in place: the file always holds its old bytes or all of
    // the new ones, the outcome says which, and a refusal says the disk is full.
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
        for (const bool linked : {false, true})
            for (const int size : {300, 4000, 4096, 8150, 12300, 15000})
                for (const bool backupPresent : {false, true})
                    for (int freeBytes = 0; freeBytes <= 24 * 1024; freeBytes += 2048) {
                        const QByteArray where = QByteArray::number(size) + " bytes, " + QByteArray::number(freeBytes) +
                                                 " free, backup " + QByteArray::number(backupPresent) + ", linked " +
                                                 QByteArray::number(linked);
                        for (const QString &name : Entries(disk))
                            QFile::remove(disk + QLatin1Char('/') + name);
                        const QByteArray pad = QByteArray(size - TrackText().size() - 2, ';') + "\r\n";
                        const QByteArray old = TrackText("1500 0.0", "44.732", pad);
                        WriteFile(track, old);
                        if (linked)
                            QCOMPARE(::link(QFile::encodeName(track).constData(),
                                            QFile::encodeName(disk + "/other").constData()),
                                     0);
                        if (backupPresent)
                            WriteFile(backup, "first");
                        // Take all room but freeBytes.
                        struct statvfs fs;
                        QCOMPARE(::statvfs(QFile::encodeName(disk).constData(), &fs), 0);
                        WriteFile(disk + QStringLiteral("/filler"),
                                  QByteArray(qMax<qint64>(0, qint64(fs.f_bavail * fs.f_frsize) - freeBytes), 'f'));

                        const TrackFileResult result = SaveSeven(disk);
                        const bool ok = result == TrackFileOutcome::Ok;
                        (ok ? saved : refused)++;
                        QVERIFY2(ReadFile(track) == (ok ? SavedSeven(old) : old), where);
                        QVERIFY2(ok || result.cause == "The disk is full.", where + ": " + result.cause.toUtf8());
                        QVERIFY2(!linked || ReadFile(disk + "/other") == ReadFile(track), where);
                        // The backup is the one that was there, or all of the old bytes, or none; no
                        // temporary file or copy is left behind, here or per user.
                        const bool backupNow = QFileInfo::exists(backup);
                        QVERIFY2(ReadFile(backup) == (backupPresent ? "first" : old) ||
                                     (!backupPresent && !ok && !backupNow),
                                 where);
                        QCOMPARE(Entries(disk).filter(QStringLiteral("track.ini")).size(), 1 + backupNow);
                        QVERIFY(QDir(PerUserCopyFolder()).isEmpty());
                    }
        // The sweep reaches both sides of the edge.
        qInfo("%d saves, %d refused", saved + refused, refused);
        QVERIFY(saved > 0 && refused > 0);
    }
};

QTEST_GUILESS_MAIN(SaveFaultsTest)
#include "tst_save_faults.moc"
