// The command-line tool as scripts see it: the real korsa-sorvena-cli binary run as a child
// process on track files in temporary folders. Every case checks the exit status, both output
// streams and the bytes left on disk.

#include "support/TempTree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

using korsa::test::TempTree;

namespace {

const QByteArray Crlf = QByteArrayLiteral("\r\n");
const QByteArray Marker = QByteArrayLiteral("[ GRIDWELL ]");
const QString TrackName = QStringLiteral("track.ini");
const QString BackupName = QStringLiteral("track.ini.bak");
const QString SettingsName = QStringLiteral("Korsa Gridwell.ini");
const QByteArray Lap = QByteArrayLiteral("The Sorvena Track Length Is  71989 Meters Long.");

const QString LocationError = QStringLiteral("File Location Error: Could not find the Track.ini File");
const QString ReadError = QStringLiteral(
    "File Read Error: There is an unknown error in the Track.ini file probably caused by a nonstandard format.");
const QString NotSorvena = QStringLiteral("File Read Error: This is not a Sorvena track.ini file.  Please try again.");
const QString SaveError = QStringLiteral("File Save Error: There was an error while attempting to save the Track.ini "
                                         "file.  Check that the file is not marked Read Only.");

QString CliPath()
{
    return QStringLiteral(KORSA_CLI);
}

QByteArray Stall(const QByteArray &value)
{
    return "stall_0 = " + value;
}

// The stall_0 line the tool writes for a new start position.
QByteArray Modified(const QByteArray &metres)
{
    return "stall_0 = " + metres + " 0.0\t\t; Modified by Korsa Gridwell";
}

// Index of the stall_0 line in Lines().
constexpr int StallAt = 3;

// A track file as the game ships it, trimmed to a few sections.
QList<QByteArray> Lines(const QByteArray &stallLine, const QByteArray &length = "44.732")
{
    return {"[ HEADER ]",
            "track_name_short = Sorvena ; the short name",
            "track_length = " + length + " miles",
            stallLine,
            "pit_speed_limit = 80 ; km/h",
            "[ END ]"};
}

QByteArray Joined(const QList<QByteArray> &lines, const QByteArray &ending = Crlf)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + ending;
    return bytes;
}

QList<QByteArray> WithStall(QList<QByteArray> lines, const QByteArray &stallLine)
{
    lines[StallAt] = stallLine;
    return lines;
}

// What a save leaves behind for a file that had no marker section yet: every line with CR LF, the
// new stall_0 line in place of the old one, and the old one kept under the marker.
QByteArray SavedWithNewMarker(const QList<QByteArray> &lines, const QByteArray &newStall)
{
    return Joined(WithStall(lines, newStall)) + Crlf + Marker + Crlf + lines[StallAt] + Crlf;
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

QStringList EntriesBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

QByteArray Lines2(const QString &caption)
{
    return Lap + '\n' + caption.toUtf8() + '\n';
}

QByteArray ErrorLine(const QString &message)
{
    return message.toUtf8() + '\n';
}

// Replaces the placeholder "PATH" with the track file's path.
QStringList WithPath(QStringList args, const QString &path)
{
    for (QString &arg : args)
        if (arg == QStringLiteral("PATH"))
            arg = path;
    return args;
}

struct Result {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// A temporary tree with a folder for track files and a separate current folder for the tool.
struct Scene {
    TempTree tree;
    QString tracks = tree.file(QStringLiteral("tracks"));
    QString work = tree.file(QStringLiteral("work"));
    QString track = QDir(tracks).filePath(TrackName);
    QString backup = QDir(tracks).filePath(BackupName);

    Scene()
    {
        QDir(tree.path()).mkpath(QStringLiteral("tracks"));
        QDir(tree.path()).mkpath(QStringLiteral("work"));
    }
    void Put(const QByteArray &bytes) const { tree.write(QStringLiteral("tracks/") + TrackName, bytes); }
    QByteArray Track() const { return tree.read(QStringLiteral("tracks/") + TrackName); }
    QByteArray Backup() const { return tree.read(QStringLiteral("tracks/") + BackupName); }
};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    // The per-user configuration folder the tool sees; it must stay empty.
    TempTree configHome_;

    Result Run(const QStringList &args, const QString &workDir, const QString &stdoutFile = QString())
    {
        QProcess process;
        process.setProgram(CliPath());
        process.setArguments(args);
        process.setWorkingDirectory(workDir);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome_.path());
        process.setProcessEnvironment(env);
        if (!stdoutFile.isEmpty())
            process.setStandardOutputFile(stdoutFile);
        process.start();
        Result result;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.finished = process.exitStatus() == QProcess::NormalExit;
        result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(CliPath()).isExecutable(), qPrintable(CliPath()));
        QVERIFY(configHome_.path().size() > 0);
    }

    // Whatever a test ran, the tool never leaves a settings file beside itself or per user.
    void cleanup()
    {
        QVERIFY(!QFileInfo::exists(QDir(QFileInfo(CliPath()).absolutePath()).filePath(SettingsName)));
        QCOMPARE(EntriesBelow(configHome_.path()), QStringList());
    }

    void trackCommands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("caption");
        // The file afterwards; empty when the command must leave it alone.
        QTest::addColumn<QByteArray>("after");

        const QList<QByteArray> at1500 = Lines(Stall("1500 0.0"));
        const QByteArray file1500 = Joined(at1500);
        const QString show1500 = QStringLiteral("The Start Position Is  1500 Meters Or  2.1 Percent Beyond The Start Line.");

        QTest::newRow("show") << QStringList{"show", "PATH"} << file1500 << show1500 << QByteArray();
        QTest::newRow("show beyond the lap")
            << QStringList{"show", "PATH"} << Joined(Lines(Stall("72000 0.0")))
            << QStringLiteral("The Start Position Is  11 Meters Or  0 Percent Beyond The Start Line.") << QByteArray();
        QTest::newRow("show below one percent")
            << QStringList{"show", "PATH"} << Joined(Lines(Stall("61.0 0.0")))
            << QStringLiteral("The Start Position Is  61 Meters Or  .1 Percent Beyond The Start Line.") << QByteArray();
        QTest::newRow("show CR line ends") << QStringList{"show", "PATH"} << Joined(at1500, "\r") << show1500
                                           << QByteArray();
        QTest::newRow("show reads the main line, not the marker's")
            << QStringList{"show", "PATH"} << Joined(at1500 + QList<QByteArray>{"", Marker, Stall("61.0 0.0")})
            << show1500 << QByteArray();

        struct Section {
            const char *arg;
            const char *name;
            QByteArray metres;
            const char *percent;
        };
        const QList<Section> sections = {{"1", "Dunes", "12200", "16.9"},
                                         {"dunes", "Dunes", "12200", "16.9"},
                                         {"DUNES", "Dunes", "12200", "16.9"},
                                         {"0", "Varnola", "6050", "8.4"},
                                         {"sr 47 bridge", "SR 47 Bridge", "17200", "23.9"},
                                         {"Sp 6 Km 4", "SP 6 KM 4", "52850", "73.4"},
                                         {"8", "Lidoscuro", "66270", "92.1"},
                                         {"vallerosa curves", "Vallerosa Curves", "46700", "64.9"}};
        for (const Section &s : sections)
            QTest::addRow("section %s", s.arg)
                << QStringList{"section", s.arg, "PATH"} << file1500
                << QStringLiteral("The %1 Start Position Is  %2 Meters Or  %3 Percent Beyond The Start Line.")
                       .arg(QString::fromLatin1(s.name), QString::fromLatin1(s.metres), QString::fromLatin1(s.percent))
                << SavedWithNewMarker(at1500, Modified(s.metres));

        const QString dunes = QStringLiteral("The Dunes Start Position Is  12200 Meters Or  16.9 Percent Beyond The Start Line.");
        QTest::newRow("section on CR line ends writes CR LF")
            << QStringList{"section", "1", "PATH"} << Joined(at1500, "\r") << dunes
            << SavedWithNewMarker(at1500, Modified("12200"));
        QTest::newRow("section keeps the marker it finds")
            << QStringList{"section", "1", "PATH"}
            << Joined(WithStall(at1500, Modified("6050")) + QList<QByteArray>{"", Marker, Stall("1500 0.0")}) << dunes
            << Joined(WithStall(at1500, Modified("12200")) + QList<QByteArray>{"", Marker, Stall("1500 0.0")});

        // Lines the tool does not understand still go back byte for byte.
        QList<QByteArray> odd = at1500;
        odd.insert(1, "r\xe9gion = \xc9t\xe9 ; Latin-1");
        odd.insert(2, "note = one\ntwo ; a lone line feed stays inside the line");
        odd.insert(3, "\t  indented = 1  ");
        odd.insert(4, "");
        QList<QByteArray> oddSaved = odd;
        oddSaved[StallAt + 4] = Modified("12200");
        QByteArray oddFile = Joined(odd);
        oddFile.chop(2); // the last line has no line end
        QTest::newRow("section keeps other lines' bytes")
            << QStringList{"section", "1", "PATH"} << oddFile << dunes
            << Joined(oddSaved) + Crlf + Marker + Crlf + Stall("1500 0.0") + Crlf;

        QTest::newRow("per-mille 500")
            << QStringList{"per-mille", "500", "PATH"} << file1500
            << QStringLiteral("This Start Position Is  35995 Meters Or  50 Percent Beyond The Start Line.")
            << SavedWithNewMarker(at1500, Modified("35994"));
        // 1500 m is where the bar stands for this file (21); the tool still acts and saves.
        QTest::newRow("per-mille at the file's own value")
            << QStringList{"per-mille", "21", "PATH"} << file1500
            << QStringLiteral("This Start Position Is  1512 Meters Or  2.1 Percent Beyond The Start Line.")
            << SavedWithNewMarker(at1500, Modified("1511"));
        QTest::newRow("per-mille 0 on a file at 0")
            << QStringList{"per-mille", "0", "PATH"} << Joined(Lines(Stall("0 0.0")))
            << QStringLiteral("This Start Position Is  0 Meters Or  0 Percent Beyond The Start Line.")
            << SavedWithNewMarker(Lines(Stall("0 0.0")), Modified("0"));
        QTest::newRow("per-mille 1000")
            << QStringList{"per-mille", "1000", "PATH"} << file1500
            << QStringLiteral("This Start Position Is  71989 Meters Or  100 Percent Beyond The Start Line.")
            << SavedWithNewMarker(at1500, Modified("71989"));
        QTest::newRow("per-mille 5")
            << QStringList{"per-mille", "5", "PATH"} << file1500
            << QStringLiteral("This Start Position Is  360 Meters Or  .5 Percent Beyond The Start Line.")
            << SavedWithNewMarker(at1500, Modified("359"));

        const QString original61 = QStringLiteral("The Original Start Position Is  61 Meters Or  .1 Percent Beyond The Start Line");
        const QList<QByteArray> at61 = Lines(Stall("61.0 0.0"));
        QTest::newRow("revert without marker") << QStringList{"revert", "PATH"} << Joined(at61) << original61
                                               << SavedWithNewMarker(at61, Stall("61.0 0.0"));
        QTest::newRow("revert takes the marker's line")
            << QStringList{"revert", "PATH"}
            << Joined(WithStall(at61, Modified("12200")) + QList<QByteArray>{"", Marker, Stall("61.0 0.0")})
            << original61 << Joined(at61 + QList<QByteArray>{"", Marker, Stall("61.0 0.0")});
    }
    void trackCommands()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, before);
        QFETCH(QString, caption);
        QFETCH(QByteArray, after);
        Scene scene;
        scene.Put(before);

        const Result r = Run(WithPath(args, scene.track), scene.work);
        QVERIFY(r.finished);
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.out, Lines2(caption));
        QCOMPARE(r.exitCode, 0);

        if (after.isEmpty()) {
            QCOMPARE(scene.Track(), before);
            QCOMPARE(Entries(scene.tracks), QStringList{TrackName});
        } else {
            QCOMPARE(scene.Track(), after);
            // The first save keeps the file as it was, byte for byte.
            QCOMPARE(scene.Backup(), before);
            QCOMPARE(Entries(scene.tracks), (QStringList{TrackName, BackupName}));
        }
        // Nothing lands in the current folder, the settings file least of all.
        QCOMPARE(Entries(scene.work), QStringList());
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        // "file", "read-only", "absent" or "folder" (a folder where the file should be).
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");

        const QByteArray good = Joined(Lines(Stall("1500 0.0")));
        const QStringList commands[] = {{"show", "PATH"},
                                        {"section", "1", "PATH"},
                                        {"per-mille", "500", "PATH"},
                                        {"revert", "PATH"}};
        for (const QStringList &args : commands) {
            QTest::addRow("%s: missing file", qPrintable(args[0]))
                << args << QStringLiteral("absent") << QByteArray() << 2 << LocationError;
            QTest::addRow("%s: another track", qPrintable(args[0]))
                << args << QStringLiteral("file") << Joined(Lines(Stall("1500 0.0"), "3.2")) << 4 << NotSorvena;
            QTest::addRow("%s: no stall_0", qPrintable(args[0]))
                << args << QStringLiteral("file") << Joined(Lines("stall_1 = 5")) << 3 << ReadError;
        }
        QTest::newRow("show: nearly the length") << QStringList{"show", "PATH"} << QStringLiteral("file")
                                                 << Joined(Lines(Stall("1500"), "44.73")) << 4 << NotSorvena;
        QTest::newRow("per-mille: nearly the length") << QStringList{"per-mille", "21", "PATH"} << QStringLiteral("file")
                                                      << Joined(Lines(Stall("1500"), "44.7321")) << 4 << NotSorvena;
        QTest::newRow("show: empty file") << QStringList{"show", "PATH"} << QStringLiteral("file") << QByteArray() << 3
                                          << ReadError;
        QTest::newRow("section: stall_0 without a number") << QStringList{"section", "1", "PATH"}
                                                           << QStringLiteral("file") << Joined(Lines(Stall("x")))
                                                           << 3 << ReadError;
        QTest::newRow("revert: marker on the last line") << QStringList{"revert", "PATH"} << QStringLiteral("file")
                                                         << good + Marker + Crlf << 3 << ReadError;
        QTest::newRow("per-mille: line feeds only")
            << QStringList{"per-mille", "500", "PATH"} << QStringLiteral("file")
            << Joined(Lines(Stall("1500 0.0")), "\n") << 3 << ReadError;
        QTest::newRow("section: start beyond a float") << QStringList{"section", "1", "PATH"} << QStringLiteral("file")
                                                       << Joined(Lines(Stall(QByteArray(45, '9')))) << 3 << ReadError;
        QTest::newRow("show: a folder of that name") << QStringList{"show", "PATH"} << QStringLiteral("folder")
                                                     << QByteArray() << 3 << ReadError;
        QTest::newRow("section: a folder of that name") << QStringList{"section", "1", "PATH"} << QStringLiteral("folder")
                                                        << QByteArray() << 3 << ReadError;

        QTest::newRow("section: read-only") << QStringList{"section", "1", "PATH"} << QStringLiteral("read-only")
                                            << good << 5 << SaveError;
        QTest::newRow("per-mille: read-only") << QStringList{"per-mille", "500", "PATH"} << QStringLiteral("read-only")
                                              << good << 5 << SaveError;
        QTest::newRow("per-mille at the file's own value: read-only")
            << QStringList{"per-mille", "21", "PATH"} << QStringLiteral("read-only") << good << 5 << SaveError;
        QTest::newRow("revert: read-only") << QStringList{"revert", "PATH"} << QStringLiteral("read-only") << good << 5
                                           << SaveError;
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, setup);
        QFETCH(QByteArray, before);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        Scene scene;
        if (setup == QStringLiteral("folder"))
            QVERIFY(QDir(scene.tracks).mkdir(TrackName));
        else if (setup != QStringLiteral("absent"))
            scene.Put(before);
        const bool readOnly = setup == QStringLiteral("read-only");
        if (readOnly)
            QVERIFY(QFile::setPermissions(scene.track, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

        const Result r = Run(WithPath(args, scene.track), scene.work);
        QVERIFY(r.finished);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.err, ErrorLine(message));
        QCOMPARE(r.exitCode, exitCode);

        if (setup == QStringLiteral("absent")) {
            QCOMPARE(Entries(scene.tracks), QStringList());
        } else if (setup == QStringLiteral("folder")) {
            QCOMPARE(Entries(scene.tracks), QStringList{TrackName});
            QCOMPARE(Entries(scene.track), QStringList());
        } else {
            QCOMPARE(scene.Track(), before);
            QStringList expected{TrackName};
            // A failed save may have made its backup first; if so it holds the untouched bytes.
            if (readOnly && QFileInfo::exists(scene.backup)) {
                QCOMPARE(scene.Backup(), before);
                expected << BackupName;
            }
            QCOMPARE(Entries(scene.tracks), expected);
        }
        if (readOnly)
            QVERIFY(!(QFileInfo(scene.track).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)));
        QCOMPARE(Entries(scene.work), QStringList());
    }

    // A wrong command line is refused before the track file is even looked at.
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << QStringList{"edit", "PATH"};
        QTest::newRow("section 9") << QStringList{"section", "9", "PATH"};
        QTest::newRow("section -1") << QStringList{"section", "-1", "PATH"};
        QTest::newRow("section unknown name") << QStringList{"section", "Nowhere Bridge", "PATH"};
        QTest::newRow("section empty") << QStringList{"section", "", "PATH"};
        QTest::newRow("section without N") << QStringList{"section", "PATH"};
        QTest::newRow("per-mille 1001") << QStringList{"per-mille", "1001", "PATH"};
        QTest::newRow("per-mille -1") << QStringList{"per-mille", "-1", "PATH"};
        QTest::newRow("per-mille abc") << QStringList{"per-mille", "abc", "PATH"};
        QTest::newRow("per-mille 5.5") << QStringList{"per-mille", "5.5", "PATH"};
        QTest::newRow("per-mille empty") << QStringList{"per-mille", "", "PATH"};
        QTest::newRow("per-mille beyond an int") << QStringList{"per-mille", "4294967796", "PATH"};
        QTest::newRow("per-mille without PATH") << QStringList{"per-mille", "500"};
        QTest::newRow("show without PATH") << QStringList{"show"};
        QTest::newRow("revert without PATH") << QStringList{"revert"};
        QTest::newRow("show two paths") << QStringList{"show", "PATH", "PATH"};
        QTest::newRow("section extra argument") << QStringList{"section", "1", "PATH", "PATH"};
        QTest::newRow("sections with an argument") << QStringList{"sections", "PATH"};
        QTest::newRow("PATH names a folder") << QStringList{"section", "1", "FOLDER/"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        Scene scene;
        const QByteArray before = Joined(Lines(Stall("1500 0.0")));
        scene.Put(before);
        for (QString &arg : args)
            arg.replace(QStringLiteral("FOLDER"), scene.tracks);

        const Result r = Run(WithPath(args, scene.track), scene.work);
        QVERIFY(r.finished);
        QCOMPARE(r.out, QByteArray());
        QVERIFY2(r.err.contains("Usage:\n  korsa-sorvena-cli show PATH\n"), r.err.constData());
        QCOMPARE(r.exitCode, 64);
        QCOMPARE(scene.Track(), before);
        QCOMPARE(Entries(scene.tracks), QStringList{TrackName});
        QCOMPARE(Entries(scene.work), QStringList());
    }

    void information_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("version") << QStringList{"--version"} << QByteArray("v1.0.0 by Penhallow\n");
        QTest::newRow("sections") << QStringList{"sections"}
                                  << QByteArray("0\tVarnola\t6050\n"
                                                "1\tDunes\t12200\n"
                                                "2\tSR 47 Bridge\t17200\n"
                                                "3\tMontaspro Bridge\t27100\n"
                                                "4\tBivio Carrano\t37685\n"
                                                "5\tVallerosa Curves\t46700\n"
                                                "6\tSP 6 KM 4\t52850\n"
                                                "7\tPietraforno Curves\t58630\n"
                                                "8\tLidoscuro\t66270\n");
        const QByteArray usage = "Usage:\n"
                                 "  korsa-sorvena-cli show PATH\n"
                                 "  korsa-sorvena-cli section N PATH     N: 0..8, or a section name, case-insensitive\n"
                                 "  korsa-sorvena-cli per-mille V PATH   V: whole number 0..1000, as the scroll bar\n"
                                 "  korsa-sorvena-cli revert PATH\n"
                                 "  korsa-sorvena-cli sections\n"
                                 "  korsa-sorvena-cli --version\n"
                                 "  korsa-sorvena-cli --help\n";
        QTest::newRow("help") << QStringList{"--help"} << usage;
        QTest::newRow("short help") << QStringList{"-h"} << usage;
    }
    void information()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, out);
        Scene scene;
        const Result r = Run(args, scene.work);
        QVERIFY(r.finished);
        QCOMPARE(r.out, out);
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(Entries(scene.work), QStringList());
    }

    // PATH is split at its last separator; a bare name is looked up in the current folder.
    void pathForms_data()
    {
        QTest::addColumn<QString>("trackFolder"); // relative to the scene's tree
        QTest::addColumn<QString>("workFolder");  // relative to the scene's tree
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("pathArg");     // "ABS" stands for the file's absolute path
        QTest::newRow("bare name") << "work" << "work" << "track.ini" << "track.ini";
        QTest::newRow("dot folder") << "work" << "work" << "track.ini" << "./track.ini";
        QTest::newRow("sub-folder") << "work/sub" << "work" << "track.ini" << "sub/track.ini";
        QTest::newRow("parent folder") << "tracks" << "work" << "track.ini" << "../tracks/track.ini";
        QTest::newRow("absolute") << "tracks" << "work" << "track.ini" << "ABS";
        QTest::newRow("blanks in names") << "my tracks" << "work" << "Sorvena track.ini" << "../my tracks/Sorvena track.ini";
        QTest::newRow("other file name") << "work" << "work" << "sorvena.txt" << "sorvena.txt";
    }
    void pathForms()
    {
        QFETCH(QString, trackFolder);
        QFETCH(QString, workFolder);
        QFETCH(QString, fileName);
        QFETCH(QString, pathArg);
        TempTree tree;
        QDir root(tree.path());
        QVERIFY(root.mkpath(trackFolder));
        QVERIFY(root.mkpath(workFolder));
        const QList<QByteArray> lines = Lines(Stall("1500 0.0"));
        const QString track = tree.write(trackFolder + QLatin1Char('/') + fileName, Joined(lines));
        // A file of the same name in the tree's top folder must be left alone.
        const QByteArray decoy = Joined(Lines(Stall("777 0.0")));
        tree.write(fileName, decoy);
        if (pathArg == QStringLiteral("ABS"))
            pathArg = track;

        const Result r = Run({"section", "1", pathArg}, tree.file(workFolder));
        QVERIFY(r.finished);
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.out, Lines2(QStringLiteral(
                             "The Dunes Start Position Is  12200 Meters Or  16.9 Percent Beyond The Start Line.")));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(tree.read(trackFolder + QLatin1Char('/') + fileName), SavedWithNewMarker(lines, Modified("12200")));
        QCOMPARE(tree.read(trackFolder + QLatin1Char('/') + fileName + QStringLiteral(".bak")), Joined(lines));
        QCOMPARE(tree.read(fileName), decoy);
        QVERIFY(!QFileInfo::exists(tree.file(fileName + QStringLiteral(".bak"))));
        QVERIFY(!QFileInfo::exists(QDir(tree.file(workFolder)).filePath(SettingsName)));
        QVERIFY(!QFileInfo::exists(QDir(tree.file(trackFolder)).filePath(SettingsName)));
    }

    // Each run reads what the last one wrote: the backup stays the very first bytes and the marker
    // section is added once.
    void runsInSequence()
    {
        Scene scene;
        const QList<QByteArray> lines = Lines(Stall("1500 0.0"));
        const QByteArray original = Joined(lines);
        scene.Put(original);
        const QByteArray withMarker = Crlf + Marker + Crlf + Stall("1500 0.0") + Crlf;

        struct Step {
            QStringList args;
            const char *caption;
            QByteArray stall;
        };
        const QList<Step> steps = {
            {{"section", "4", "PATH"},
             "The Bivio Carrano Start Position Is  37685 Meters Or  52.3 Percent Beyond The Start Line.",
             Modified("37685")},
            {{"per-mille", "500", "PATH"},
             "This Start Position Is  35995 Meters Or  50 Percent Beyond The Start Line.",
             Modified("35994")},
            {{"show", "PATH"}, "The Start Position Is  35994 Meters Or  50 Percent Beyond The Start Line.",
             Modified("35994")},
            {{"revert", "PATH"}, "The Original Start Position Is  1500 Meters Or  2.1 Percent Beyond The Start Line",
             Stall("1500 0.0")},
            {{"section", "Lidoscuro", "PATH"},
             "The Lidoscuro Start Position Is  66270 Meters Or  92.1 Percent Beyond The Start Line.",
             Modified("66270")},
        };
        for (const Step &step : steps) {
            const Result r = Run(WithPath(step.args, scene.track), scene.work);
            QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
            QCOMPARE(r.out, Lines2(QString::fromLatin1(step.caption)));
            QCOMPARE(scene.Track(), Joined(WithStall(lines, step.stall)) + withMarker);
            QCOMPARE(scene.Backup(), original);
        }
    }

    // The tool takes PATH literally: "*" and "?" are ordinary characters of a file name.
    void wildcardCharactersInTheName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("otherName");
        QTest::newRow("star") << "t*.ini" << "track.ini";
        QTest::newRow("question mark") << "track?.ini" << "track1.ini";
    }
    void wildcardCharactersInTheName()
    {
        QFETCH(QString, name);
        QFETCH(QString, otherName);
        TempTree tree;
        const QList<QByteArray> lines = Lines(Stall("1500 0.0"));
        const QByteArray otherBackup = "the other file's backup\r\n";
        tree.write(name, Joined(lines));
        tree.write(otherName, Joined(Lines(Stall("777 0.0"))));
        tree.write(otherName + QStringLiteral(".bak"), otherBackup);

        const Result r = Run({"section", "1", name}, tree.path());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(tree.read(name), SavedWithNewMarker(lines, Modified("12200")));
        QCOMPARE(tree.read(otherName + QStringLiteral(".bak")), otherBackup);
        // The backup is looked up by its own name: "*" in it is no pattern, so another file
        // matching it never stands in for the backup.
        QCOMPARE(tree.read(name + QStringLiteral(".bak")), Joined(lines));
    }

    // A missing file whose name holds "*" or "?" is missing, however many other files the
    // characters would match as a pattern.
    void wildcardNameOfAMissingFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("star") << "t*.ini";
        QTest::newRow("question mark") << "track?.ini";
    }
    void wildcardNameOfAMissingFile()
    {
        QFETCH(QString, name);
        TempTree tree;
        const QByteArray other = Joined(Lines(Stall("1500 0.0")));
        tree.write(QStringLiteral("track1.ini"), other);

        const Result r = Run({"show", name}, tree.path());
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(tree.read(QStringLiteral("track1.ini")), other);
        // The same on the reading side: a file that does not exist is missing (2), whatever
        // other files its name would match as a pattern.
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.err, ErrorLine(LocationError));
    }

    // Whatever a save does to a long file, the tool can still read the result: otherwise the user
    // can neither see nor revert the start position.
    void savedLongFileStaysReadable_data()
    {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<int>("saveStatus");
        // The reader takes at most 32767 lines; a save adds three (blank, marker, original).
        QTest::newRow("32764 lines") << 32764 << 0;
        QTest::newRow("32765 lines") << 32765 << 5;
        QTest::newRow("32767 lines") << 32767 << 5;
    }
    void savedLongFileStaysReadable()
    {
        QFETCH(int, lineCount);
        QFETCH(int, saveStatus);
        Scene scene;
        QList<QByteArray> lines = Lines(Stall("1500 0.0"));
        for (int k = 0; lines.size() < lineCount; ++k)
            lines.append("object_" + QByteArray::number(k) + " = 12.5 0.0 ; scenery");
        const QByteArray original = Joined(lines);
        scene.Put(original);
        const Result first = Run({"show", scene.track}, scene.work);
        QCOMPARE(first.exitCode, 0);

        const Result save = Run({"section", "1", scene.track}, scene.work);
        QVERIFY(save.finished);
        QCOMPARE(save.exitCode, saveStatus);
        if (save.exitCode != 0) // a refused save keeps the file as it was
            QCOMPARE(scene.Track(), original);
        const Result after = Run({"show", scene.track}, scene.work);
        // A save never pushes the file past the most lines the reader takes: such a save is
        // refused and the file kept.
        QCOMPARE(after.exitCode, 0);
        QCOMPARE(after.err, QByteArray());
    }

    // Output that cannot be delivered is a failure, not a success.
    void unwritableOutputIsAFailure()
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("needs /dev/full");
        Scene scene;
        scene.Put(Joined(Lines(Stall("1500 0.0"))));
        const Result r = Run({"show", scene.track}, scene.work, QStringLiteral("/dev/full"));
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 74);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
