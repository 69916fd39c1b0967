// The settings file: what start-up reads from it and where selection writes it.

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

    void readsTheFirstLine_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("folder");
        QTest::newRow("several lines") << QByteArray("/a\r\n/b\r\n/c\r\n") << "/a";
        QTest::newRow("cr alone") << QByteArray("/a\r/b") << "/a";
        QTest::newRow("empty first line") << QByteArray("\r\n/b\r\n") << "";
        QTest::newRow("lf stays in the line") << QByteArray("/a\n/b\r\n") << "/a\n/b";
    }
    void readsTheFirstLine()
    {
        QFETCH(QByteArray, bytes);
        TempTree program;
        program.write(QStringLiteral("Korsa Gridwell.ini"), bytes);
        QTEST(SettingsFile(program.path()).ReadTrackFolder(), "folder");
    }

    void noFileGivesTheProgramFolder()
    {
        TempTree program;
        QCOMPARE(SettingsFile(program.path()).ReadTrackFolder(), program.path());
        QVERIFY(!QFile::exists(program.file(QStringLiteral("Korsa Gridwell.ini"))));
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
        QCOMPARE(settings.ReadTrackFolder(), program.path());
        struct stat before {
        }, after{};
        QCOMPARE(::lstat(name.constData(), &before), 0);
        settings.WriteTrackFolder(QStringLiteral("/races/sorvena"));
        QVERIFY(::lstat(name.constData(), &after) == 0 && after.st_ino == before.st_ino);
        QCOMPARE(korsa::test::ReadFile(settings.PerUserPath()), QByteArray("/races/sorvena\r\n"));
    }

    // Where the program's folder cannot be written, the per-user file is written and read, also over
    // a stale file beside the program, and stays the one in use.
    void readOnlyProgramFolderUsesThePerUserFile()
    {
        TempTree program;
        program.write(QStringLiteral("Korsa Gridwell.ini"), "/stale\r\n");
        SettingsFile settings(program.path());
        QCOMPARE(::chmod(QFile::encodeName(program.path()).constData(), 0555), 0);
        settings.WriteTrackFolder(QStringLiteral("/races/sorvena"));
        ::chmod(QFile::encodeName(program.path()).constData(), 0755);
        QCOMPARE(program.read(QStringLiteral("Korsa Gridwell.ini")), QByteArray("/stale\r\n"));
        QCOMPARE(korsa::test::ReadFile(settings.PerUserPath()), QByteArray("/races/sorvena\r\n"));
        QCOMPARE(settings.ReadTrackFolder(), QStringLiteral("/races/sorvena"));

        settings.WriteTrackFolder(QStringLiteral("/races/later"));
        QCOMPARE(settings.ReadTrackFolder(), QStringLiteral("/races/later"));
        QCOMPARE(program.read(QStringLiteral("Korsa Gridwell.ini")), QByteArray("/stale\r\n"));
    }

    // An installed program keeps its settings per user even where it may write (root in /usr/bin).
    void installedProgramUsesThePerUserFile()
    {
        TempTree program; // writable, and here the folder it is installed in
        SettingsFile(program.path(), program.path()).WriteTrackFolder(QStringLiteral("/races/sorvena"));
        QVERIFY(!QFile::exists(program.file(QStringLiteral("Korsa Gridwell.ini"))));
        QCOMPARE(SettingsFile(program.path(), program.path()).ReadTrackFolder(), QStringLiteral("/races/sorvena"));
        QVERIFY(KeepsFilesBesideItself(program.path()) && !KeepsFilesBesideItself(QStringLiteral("/usr/bin")));
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
