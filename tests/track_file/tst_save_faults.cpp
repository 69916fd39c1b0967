// Saving must never lose the user's track file: every failure is reported and ends the program,
// and the file keeps its previous bytes.

#include "support/TempTree.h"
#include "support/TestPlatform.h"
#include "track_file/TrackIniFileReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace korsa;
using korsa::test::TempTree;
using korsa::test::Terminated;
using korsa::test::TestPlatform;

namespace {

const QByteArray Original = "track_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\nstall_0 = 1500 0.0\r\n";

SessionState ChangedState(const QString &folder, const QString &name)
{
    SessionState state;
    state.TrackFolder = folder;
    state.TrackFileName = name;
    state.TrackLines = *SplitTrackLines(Original);
    state.StallLineIndex = 3;
    state.TrackLines[2] = "stall_0 = 7 0.0";
    state.NoMarkerSection = true;
    state.OriginalStallLine = "stall_0 = 1500 0.0";
    return state;
}

// Runs the writer; returns the exit status it ended with, or -1 when it returned normally.
int Write(const SessionState &state, TestPlatform &platform)
{
    try {
        WriteTrackFile(state, platform);
    } catch (const Terminated &t) {
        return t.status;
    }
    return -1;
}

void ExpectSaveError(const TestPlatform &platform, int status)
{
    QCOMPARE(status, exit_status::SaveFailed);
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].caption, QStringLiteral("File Save Error"));
    QCOMPARE(platform.messages[0].text,
             QStringLiteral("There was an error while attempting to save the Track.ini file.  Check that the file "
                            "is not marked Read Only."));
}

bool Run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
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
        const QString path = tree.write(QStringLiteral("track.ini"), Original);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)), 0);
        TestPlatform platform;
        ExpectSaveError(platform, Write(ChangedState(tree.path(), QStringLiteral("track.ini")), platform));
        ::chmod(QFile::encodeName(path).constData(), 0644);
        QCOMPARE(tree.read(QStringLiteral("track.ini")), Original);
        // The backup is still made before the write is refused.
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), Original);
    }

    void missingFileOrFolderIsAnError_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::newRow("file gone") << QString() << QStringLiteral("track.ini");
        QTest::newRow("folder gone") << QStringLiteral("gone") << QStringLiteral("track.ini");
        QTest::newRow("empty name") << QString() << QString();
    }
    void missingFileOrFolderIsAnError()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        TempTree tree;
        const QString where = folder.isEmpty() ? tree.path() : tree.file(folder);
        TestPlatform platform;
        ExpectSaveError(platform, Write(ChangedState(where, name), platform));
        QVERIFY(!QFileInfo::exists(JoinPath(where, name)) || name.isEmpty());
    }

    void missingFileWithBackupIsNotRecreated()
    {
        TempTree tree;
        tree.write(QStringLiteral("track.ini.bak"), "old");
        TestPlatform platform;
        ExpectSaveError(platform, Write(ChangedState(tree.path(), QStringLiteral("track.ini")), platform));
        QVERIFY(!QFileInfo::exists(tree.file(QStringLiteral("track.ini"))));
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), QByteArray("old"));
    }

    void existingBackupIsLeftUntouched()
    {
        TempTree tree;
        tree.write(QStringLiteral("track.ini"), Original);
        tree.write(QStringLiteral("track.ini.bak"), "the very first bytes");
        TestPlatform platform;
        QCOMPARE(Write(ChangedState(tree.path(), QStringLiteral("track.ini")), platform), -1);
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), QByteArray("the very first bytes"));
        QVERIFY(tree.read(QStringLiteral("track.ini")).contains("stall_0 = 7 0.0\r\n"));
    }

    void permissionBitsAreKept_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("rw-r-----") << 0640;
        QTest::newRow("rw-rw-rw-") << 0666;
        QTest::newRow("rw-------") << 0600;
    }
    void permissionBitsAreKept()
    {
        QFETCH(int, mode);
        TempTree tree;
        const QString path = tree.write(QStringLiteral("track.ini"), Original);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)), 0);
        TestPlatform platform;
        QCOMPARE(Write(ChangedState(tree.path(), QStringLiteral("track.ini")), platform), -1);
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
        QCOMPARE(static_cast<int>(after.st_mode & 07777), mode);
    }

    void symbolicLinkStaysALink()
    {
        TempTree tree;
        QDir(tree.path()).mkdir(QStringLiteral("real"));
        const QString target = tree.write(QStringLiteral("real/track.ini"), Original);
        QVERIFY(QFile::link(target, tree.file(QStringLiteral("track.ini"))));
        TestPlatform platform;
        QCOMPARE(Write(ChangedState(tree.path(), QStringLiteral("track.ini")), platform), -1);
        const QFileInfo link(tree.file(QStringLiteral("track.ini")));
        QVERIFY(link.isSymLink());
        QCOMPARE(link.symLinkTarget(), target);
        QVERIFY(tree.read(QStringLiteral("real/track.ini")).contains("stall_0 = 7 0.0\r\n"));
        QCOMPARE(tree.read(QStringLiteral("track.ini.bak")), Original);
    }

    // A small tmpfs that the track file nearly fills: neither the backup copy nor the new content
    // fits, and the file must come out of it unchanged.
    void fullDiskKeepsTheFile_data()
    {
        QTest::addColumn<bool>("backupPresent");
        QTest::newRow("backup copy fails") << false;
        QTest::newRow("replacement does not fit") << true;
    }
    void fullDiskKeepsTheFile()
    {
        QFETCH(bool, backupPresent);
        if (::geteuid() != 0)
            QSKIP("mounting a tmpfs needs root");
        TempTree tree;
        const QString mountPoint = tree.file(QStringLiteral("small"));
        QDir().mkpath(mountPoint);
        if (!Run(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mountPoint}))
            QSKIP("this machine does not let the test mount a tmpfs");
        const auto unmount = qScopeGuard([&] { Run(QStringLiteral("umount"), {mountPoint}); });

        // Fill the file system so only a little room is left for the track file itself.
        QByteArray big = Original;
        big += QByteArray(40 * 1024, ';') + "\r\n";
        QFile file(mountPoint + QStringLiteral("/track.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(big), big.size());
        file.close();
        if (backupPresent) {
            QFile backup(mountPoint + QStringLiteral("/track.ini.bak"));
            QVERIFY(backup.open(QIODevice::WriteOnly));
            backup.write("x");
        }
        QFile filler(mountPoint + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(1024, 'f')) == 1024 && filler.flush()) {
        }
        filler.close();

        SessionState state = ChangedState(mountPoint, QStringLiteral("track.ini"));
        state.TrackLines = *SplitTrackLines(big);
        state.TrackLines[2] = "stall_0 = 7 0.0";
        TestPlatform platform;
        ExpectSaveError(platform, Write(state, platform));
        QFile check(mountPoint + QStringLiteral("/track.ini"));
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), big);
    }
};

QTEST_GUILESS_MAIN(SaveFaultsTest)
#include "tst_save_faults.moc"
