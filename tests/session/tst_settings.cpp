// The settings file: what start-up reads from it and where selection and the announcer write it.

#include "session/SettingsFile.h"
#include "support/TempTree.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtTest>

#include <sys/stat.h>

using namespace korsa;
using korsa::test::NoRegularFile;
using korsa::test::TempTree;

class SettingsTest : public QObject
{
    Q_OBJECT

private:
    TempTree home_;

private slots:
    void initTestCase()
    {
        // Keep the per-user file inside the test's own folder.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.path()));
        QStandardPaths::setTestModeEnabled(false);
    }
    void cleanup() { QFile::remove(SettingsFile(QString()).PerUserPath()); }

    // The first line is the folder, also in a file an older copy wrote; then the file and the announcer.
    // Without a file, the program's own folder, and reading makes none.
    void reads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("read"); // folder, file name, announcer, window size
        QTest::newRow("none: the program folder") << QByteArray() << QStringList{"<program>", "", "0", "1"};
        QTest::newRow("several lines") << QByteArray("/a\r\n/b\r\n/c\r\n") << QStringList{"/a", "", "0", "1"};
        QTest::newRow("empty first line") << QByteArray("\r\n/b\r\n") << QStringList{"", "", "0", "1"};
        QTest::newRow("lf stays in the line") << QByteArray("/a\n/b\r\n") << QStringList{"/a\n/b", "", "0", "1"};
        QTest::newRow("file and announcer, cr alone")
            << QByteArray("/a\rfile=track=1.ini\rannouncer=on") << QStringList{"/a", "track=1.ini", "1", "1"};
        QTest::newRow("window fits the screen")
            << QByteArray("/a\r\nwindow=fit\r\n") << QStringList{"/a", "", "0", "fit"};
        QTest::newRow("window larger") << QByteArray("/a\r\nwindow=1.25\r\n") << QStringList{"/a", "", "0", "1.25"};
        for (const char *amiss : {"window=1,25", "window=-2", "window=1e3", "window=0.1", "window=", "window=big"})
            QTest::newRow(amiss) << QByteArray("/a\r\n") + amiss << QStringList{"/a", "", "0", "1"};
    }
    void reads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, read);
        TempTree program;
        if (!bytes.isNull())
            program.write(QStringLiteral("Korsa Gridwell.ini"), bytes);
        const RememberedSettings got = SettingsFile(program.path()).Read();
        const QString size = got.windowSize.fitToScreen ? "fit" : QString::number(got.windowSize.factor);
        QCOMPARE((QStringList{got.trackFolder, got.trackFileName, QString::number(got.trackAnnouncer), size}),
                 read.replaceInStrings("<program>", program.path()));
        QCOMPARE(QFile::exists(program.file(QStringLiteral("Korsa Gridwell.ini"))), !bytes.isNull()); // never made
    }

    // Anything but a regular file of sane size is passed over, at once, when read, and left as it is
    // when written (a link is not followed): the per-user file is written instead.
    void onlyARegularFileIsReadOrWritten_data()
    {
        QTest::addColumn<NoRegularFile>("kind");
        QTest::newRow("folder") << NoRegularFile::Folder;
        QTest::newRow("named pipe") << NoRegularFile::NamedPipe;
        QTest::newRow("link to /dev/zero") << NoRegularFile::LinkToDevZero;
        QTest::newRow("oversized") << NoRegularFile::Oversized;
    }
    void onlyARegularFileIsReadOrWritten()
    {
        QFETCH(NoRegularFile, kind);
        TempTree program;
        const QByteArray name = QFile::encodeName(program.make(QStringLiteral("Korsa Gridwell.ini"), kind));
        SettingsFile settings(program.path(), QString());
        QCOMPARE(settings.Read().trackFolder, program.path());
        struct stat before {
        }, after{};
        QCOMPARE(::lstat(name.constData(), &before), 0);
        settings.RememberTrack(QStringLiteral("/races/sorvena"), QStringLiteral("track.ini"));
        QVERIFY(::lstat(name.constData(), &after) == 0 && after.st_ino == before.st_ino);
        QCOMPARE(korsa::test::ReadFile(settings.PerUserPath()), QByteArray("/races/sorvena\r\nfile=track.ini\r\n"));
    }

    // Where the program's folder cannot be written, the per-user file is written and read, also over
    // a stale file beside the program, and stays the one in use. Each setting keeps the others.
    void readOnlyProgramFolderUsesThePerUserFile()
    {
        TempTree program;
        program.write(QStringLiteral("Korsa Gridwell.ini"), "/stale\r\nannouncer=on\r\n");
        SettingsFile settings(program.path());
        QCOMPARE(::chmod(QFile::encodeName(program.path()).constData(), 0555), 0);
        settings.RememberTrack(QStringLiteral("/races/sorvena"), QStringLiteral("track.ini"));
        ::chmod(QFile::encodeName(program.path()).constData(), 0755);
        QCOMPARE(program.read(QStringLiteral("Korsa Gridwell.ini")), QByteArray("/stale\r\nannouncer=on\r\n"));
        QCOMPARE(korsa::test::ReadFile(settings.PerUserPath()), "/races/sorvena\r\nfile=track.ini\r\nannouncer=on\r\n");

        settings.RememberTrackAnnouncer(false);
        settings.RememberTrack(QStringLiteral("/races/later"), QStringLiteral("track_b.ini"));
        QCOMPARE(korsa::test::ReadFile(settings.PerUserPath()), "/races/later\r\nfile=track_b.ini\r\n");
        settings.RememberTrackAnnouncer(true);
        QCOMPARE(settings.Read().trackFileName, QStringLiteral("track_b.ini"));
        settings.RememberWindowSize({false, 1.5});
        QCOMPARE(korsa::test::ReadFile(settings.PerUserPath()),
                 "/races/later\r\nfile=track_b.ini\r\nannouncer=on\r\nwindow=1.5\r\n");
        settings.RememberWindowSize({}); // the layout's own size is not written
        QCOMPARE(korsa::test::ReadFile(settings.PerUserPath()), "/races/later\r\nfile=track_b.ini\r\nannouncer=on\r\n");
        QCOMPARE(program.read(QStringLiteral("Korsa Gridwell.ini")), QByteArray("/stale\r\nannouncer=on\r\n"));
    }

    // An installed program keeps its settings per user even where it may write (root in /usr/bin).
    void installedProgramUsesThePerUserFile()
    {
        TempTree program; // writable, and here the folder it is installed in
        SettingsFile(program.path(), program.path()).RememberTrackAnnouncer(true);
        QVERIFY(!QFile::exists(program.file(QStringLiteral("Korsa Gridwell.ini"))));
        QVERIFY(SettingsFile(program.path(), program.path()).Read().trackAnnouncer);
        QVERIFY(KeepsFilesBesideItself(program.path()) && !KeepsFilesBesideItself(QStringLiteral("/usr/bin")));
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
