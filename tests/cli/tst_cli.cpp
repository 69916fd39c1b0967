// The real korsa-sorvena-cli binary run as a child process: arguments, output lines, exit statuses
// and the bytes left on disk. Reading, writing and captions themselves are tested in track_file
// and session; here only what the tool adds on top.

#include "support/TempTree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using korsa::test::TempTree;

namespace {

const QByteArray Crlf = "\r\n";
const QByteArray Marker = "[ GRIDWELL ]";
const QString TrackName = QStringLiteral("track.ini");
const QString BackupName = QStringLiteral("track.ini.bak");
const QString SettingsName = QStringLiteral("Korsa Gridwell.ini");
const QByteArray Lap = "The Sorvena Track Length Is  71989 Meters Long.\n";

// The stderr line for exit statuses 2, 3, 4 and 5.
const QByteArray Failure[] = {
    "File Location Error: Could not find the Track.ini File\n",
    "File Read Error: There is an unknown error in the Track.ini file probably caused by a nonstandard format.\n",
    "File Read Error: This is not a Sorvena track.ini file.  Please try again.\n",
    "File Save Error: There was an error while attempting to save the Track.ini file.  Check that the file is not "
    "marked Read Only.\n"};

const QByteArray Usage = "Usage:\n"
                         "  korsa-sorvena-cli show PATH\n"
                         "  korsa-sorvena-cli section N PATH     N: 0..8, or a section name, case-insensitive\n"
                         "  korsa-sorvena-cli per-mille V PATH   V: whole number 0..1000, as the scroll bar\n"
                         "  korsa-sorvena-cli revert PATH\n"
                         "  korsa-sorvena-cli sections\n"
                         "  korsa-sorvena-cli --version\n"
                         "  korsa-sorvena-cli --help\n";

QByteArray Stall(const QByteArray &value) { return "stall_0 = " + value; }
QByteArray Modified(const QByteArray &metres) { return "stall_0 = " + metres + " 0.0\t\t; Modified by Korsa Gridwell"; }

// A track file as the game ships it, trimmed to a few sections (line 3 is stall_0), padded to lineCount.
QList<QByteArray> Lines(const QByteArray &stallLine = Stall("1500 0.0"), const QByteArray &length = "44.732",
                        int lineCount = 0)
{
    QList<QByteArray> lines = {"[ HEADER ]", "track_name_short = Sorvena ; the short name",
                               "track_length = " + length + " miles", stallLine, "pit_speed_limit = 80 ; km/h",
                               "[ END ]"};
    while (lines.size() < lineCount)
        lines.append("object_" + QByteArray::number(lines.size()) + " = 12.5 0.0 ; scenery");
    return lines;
}

QByteArray Joined(const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + Crlf;
    return bytes;
}

// A save of a file without a marker section: new stall_0 line, the old one kept under the marker.
QByteArray Saved(QList<QByteArray> lines, const QByteArray &newStall)
{
    const QByteArray old = lines[3];
    lines[3] = newStall;
    return Joined(lines) + Crlf + Marker + Crlf + old + Crlf;
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

// "a|b|c" -> {"a", "b", "c"}; "" -> no arguments.
QStringList Args(const char *joined)
{
    return *joined ? QString::fromUtf8(joined).split(QLatin1Char('|')) : QStringList();
}

QStringList WithPath(QStringList args, const QString &path)
{
    args.replaceInStrings(QRegularExpression(QStringLiteral("^PATH$")), path);
    return args;
}

struct Result {
    int exitCode = -1; // -1: crashed or hung
    QByteArray out;
    QByteArray err;
};

// A temporary tree with a folder for the track file and a separate current folder for the tool.
struct Scene {
    TempTree tree;
    QString tracks = tree.file(QStringLiteral("tracks"));
    QString work = tree.file(QStringLiteral("work"));
    QString track = QDir(tracks).filePath(TrackName);

    Scene(const QByteArray &bytes = Joined(Lines()))
    {
        QDir(tree.path()).mkpath(QStringLiteral("tracks"));
        QDir(tree.path()).mkpath(QStringLiteral("work"));
        if (!bytes.isNull())
            tree.write(QStringLiteral("tracks/") + TrackName, bytes);
    }
    QByteArray Read(const QString &name = TrackName) const { return tree.read(QStringLiteral("tracks/") + name); }
};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    TempTree configHome_; // the per-user configuration folder the tool sees; it must stay empty

    Result Run(const QStringList &args, const QString &workDir, const QString &stdoutFile = QString())
    {
        QProcess process;
        process.setWorkingDirectory(workDir);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome_.path());
        process.setProcessEnvironment(env);
        if (!stdoutFile.isEmpty())
            process.setStandardOutputFile(stdoutFile);
        process.start(QStringLiteral(KORSA_CLI), args);
        Result result;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
        } else if (process.exitStatus() == QProcess::NormalExit) {
            result = {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
        }
        return result;
    }

private slots:
    // Whatever a test ran, the tool never writes a settings file, beside itself or per user.
    void cleanup()
    {
        QVERIFY(!QFileInfo::exists(QFileInfo(QStringLiteral(KORSA_CLI)).absoluteDir().filePath(SettingsName)));
        QCOMPARE(QDirIterator(configHome_.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                              QDirIterator::Subdirectories).hasNext(), false);
    }

    // Options and wrong command lines; a wrong one is refused before the file is looked at.
    void arguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("--version") << Args("--version") << 0 << QByteArray("v1.0.0 by Penhallow\n");
        QTest::newRow("--help") << Args("--help") << 0 << Usage;
        QTest::newRow("-h") << Args("-h") << 0 << Usage;
        QTest::newRow("sections") << Args("sections") << 0
                                  << QByteArray("0\tVarnola\t6050\n1\tDunes\t12200\n2\tSR 47 Bridge\t17200\n"
                                                "3\tMontaspro Bridge\t27100\n4\tBivio Carrano\t37685\n"
                                                "5\tVallerosa Curves\t46700\n6\tSP 6 KM 4\t52850\n"
                                                "7\tPietraforno Curves\t58630\n8\tLidoscuro\t66270\n");
        for (const char *wrong :
             {"", "edit|PATH", "section|9|PATH", "section|-1|PATH", "section|Nowhere Bridge|PATH", "section||PATH",
              "section|PATH", "section|1|PATH|PATH", "section|1|FOLDER/", "per-mille|1001|PATH", "per-mille|-1|PATH",
              "per-mille|5.5|PATH", "per-mille|abc|PATH", "per-mille||PATH", "per-mille|4294967796|PATH",
              "per-mille|500", "show", "show|PATH|PATH", "revert", "sections|PATH"})
            QTest::addRow("usage: %s", wrong) << Args(wrong) << 64 << QByteArray();
    }
    void arguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        Scene scene;
        const QByteArray before = scene.Read();
        args.replaceInStrings(QStringLiteral("FOLDER"), scene.tracks);
        const Result r = Run(WithPath(args, scene.track), scene.work);
        QCOMPARE(r.out, out);
        if (exitCode == 64)
            QVERIFY2(r.err.endsWith(Usage), r.err.constData()); // after a one-line reason
        else
            QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(scene.Read(), before);
        QCOMPARE(Entries(scene.tracks), QStringList{TrackName});
        QCOMPARE(Entries(scene.work), QStringList());
    }

    // Each command prints the lap line and its caption; the changing ones save with a backup.
    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("stall");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QByteArray>("saved"); // the new stall_0 line; null: the file is left alone
        QTest::addColumn<int>("lineCount");    // of the file before
        const QString line = QStringLiteral("%1 Start Position Is  %2 Meters Or  %3 Percent Beyond The Start Line.");
        QTest::newRow("show") << Args("show|PATH") << QByteArray("1500 0.0") << line.arg("The", "1500", "2.1")
                              << QByteArray() << 0;
        QTest::newRow("section 0") << Args("section|0|PATH") << QByteArray("1500 0.0")
                                   << line.arg("The Varnola", "6050", "8.4") << Modified("6050") << 0;
        QTest::newRow("section 8") << Args("section|8|PATH") << QByteArray("1500 0.0")
                                   << line.arg("The Lidoscuro", "66270", "92.1") << Modified("66270") << 0;
        QTest::newRow("section by name, any case") << Args("section|sr 47 bridge|PATH") << QByteArray("1500 0.0")
                                                   << line.arg("The SR 47 Bridge", "17200", "23.9") << Modified("17200") << 0;
        QTest::newRow("per-mille 500") << Args("per-mille|500|PATH") << QByteArray("1500 0.0")
                                       << line.arg("This", "35995", "50") << Modified("35994") << 0;
        QTest::newRow("per-mille 1000") << Args("per-mille|1000|PATH") << QByteArray("1500 0.0")
                                        << line.arg("This", "71989", "100") << Modified("71989") << 0;
        // 21 is where the bar already stands for 1500 m: the tool still acts and saves.
        QTest::newRow("per-mille at the file's own value") << Args("per-mille|21|PATH") << QByteArray("1500 0.0")
                                                           << line.arg("This", "1512", "2.1") << Modified("1511") << 0;
        QTest::newRow("per-mille 0 on a file at 0") << Args("per-mille|0|PATH") << QByteArray("0 0.0")
                                                    << line.arg("This", "0", "0") << Modified("0") << 0;
        // The reader takes at most 32767 lines and a save adds three: one more line and the save is refused.
        QTest::newRow("section on 32764 lines") << Args("section|1|PATH") << QByteArray("1500 0.0")
                                                << line.arg("The Dunes", "12200", "16.9") << Modified("12200") << 32764;
        QTest::newRow("revert") << Args("revert|PATH") << QByteArray("61.0 0.0")
                                << QStringLiteral("The Original Start Position Is  61 Meters Or  .1 Percent Beyond "
                                                  "The Start Line")
                                << Stall("61.0 0.0") << 0;
    }
    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, stall);
        QFETCH(QString, caption);
        QFETCH(QByteArray, saved);
        QFETCH(int, lineCount);
        const QList<QByteArray> lines = Lines(Stall(stall), "44.732", lineCount);
        const QByteArray before = Joined(lines);
        Scene scene(before);
        const Result r = Run(WithPath(args, scene.track), scene.work);
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.out, Lap + caption.toUtf8() + '\n');
        QCOMPARE(r.exitCode, 0);
        if (saved.isNull()) {
            QCOMPARE(scene.Read(), before);
            QCOMPARE(Entries(scene.tracks), QStringList{TrackName});
        } else {
            QCOMPARE(scene.Read(), Saved(lines, saved));
            QCOMPARE(scene.Read(BackupName), before);
            QCOMPARE(Entries(scene.tracks), (QStringList{TrackName, BackupName}));
            QCOMPARE(Run({"show", scene.track}, scene.work).exitCode, 0); // what was saved reads back
        }
        QCOMPARE(Entries(scene.work), QStringList());
    }

    // Each failure has its own status and message on stderr, and the file keeps its bytes.
    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("exitCode");
        const struct {
            const char *args, *setup;
            int exitCode;
        } rows[] = {{"show|PATH", "absent", 2},          {"section|1|PATH", "absent", 2},
                    {"revert|PATH", "absent", 2},        {"show|PATH", "folder", 3},
                    {"section|1|PATH", "folder", 3},     {"show|PATH", "no stall_0", 3},
                    {"per-mille|500|PATH", "no stall_0", 3}, {"show|PATH", "other track", 4},
                    {"section|1|PATH", "other track", 4}, {"revert|PATH", "other track", 4},
                    {"section|1|PATH", "read-only", 5},  {"per-mille|500|PATH", "read-only", 5},
                    {"per-mille|21|PATH", "read-only", 5}, {"revert|PATH", "read-only", 5},
                    {"section|1|PATH", "32765 lines", 5}};
        for (const auto &row : rows)
            QTest::addRow("%s: %s", row.args, row.setup) << Args(row.args) << row.setup << row.exitCode;
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, setup);
        QFETCH(int, exitCode);
        const QMap<QString, QByteArray> files = {{"no stall_0", Joined(Lines("stall_1 = 5"))},
                                                 {"other track", Joined(Lines(Stall("1500 0.0"), "3.2"))},
                                                 {"read-only", Joined(Lines())},
                                                 {"32765 lines", Joined(Lines(Stall("1500 0.0"), "44.732", 32765))}};
        const QByteArray before = files.value(setup);
        Scene scene(before);
        if (setup == QStringLiteral("folder"))
            QVERIFY(QDir(scene.tracks).mkdir(TrackName));
        const bool readOnly = setup == QStringLiteral("read-only");
        if (readOnly)
            QVERIFY(QFile::setPermissions(scene.track, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

        const Result r = Run(WithPath(args, scene.track), scene.work);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.err, Failure[exitCode - 2]);
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(scene.Read(), before);
        QCOMPARE(Entries(scene.track), QStringList()); // a folder in its place stays empty
        QStringList expected = setup == QStringLiteral("absent") ? QStringList() : QStringList{TrackName};
        // A refused save may have made its backup first; if so it holds the untouched bytes.
        if (exitCode == 5 && QFileInfo::exists(scene.track + QStringLiteral(".bak"))) {
            QCOMPARE(scene.Read(BackupName), before);
            expected << BackupName;
        }
        QCOMPARE(Entries(scene.tracks), expected);
        if (readOnly)
            QVERIFY(!(QFileInfo(scene.track).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)));
        QCOMPARE(Entries(scene.work), QStringList());
    }

    // PATH is split at its last separator; a bare name is looked up in the current folder.
    void pathForms_data()
    {
        QTest::addColumn<QString>("trackFolder"); // relative to the tree; the tool runs in "work"
        QTest::addColumn<QString>("pathArg");     // "ABS": the file's absolute path
        QTest::newRow("bare name") << "work" << "track.ini";
        QTest::newRow("relative") << "tracks" << "../tracks/track.ini";
        QTest::newRow("absolute") << "tracks" << "ABS";
    }
    void pathForms()
    {
        QFETCH(QString, trackFolder);
        QFETCH(QString, pathArg);
        TempTree tree;
        QDir(tree.path()).mkpath(QStringLiteral("work"));
        QDir(tree.path()).mkpath(QStringLiteral("tracks"));
        const QString name = trackFolder + QStringLiteral("/track.ini");
        const QString track = tree.write(name, Joined(Lines()));
        const QByteArray decoy = Joined(Lines(Stall("777 0.0"))); // same name in the top folder: left alone
        tree.write(TrackName, decoy);

        const Result r = Run({"section", "1", pathArg == QStringLiteral("ABS") ? track : pathArg},
                             tree.file(QStringLiteral("work")));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(tree.read(name), Saved(Lines(), Modified("12200")));
        QCOMPARE(tree.read(name + QStringLiteral(".bak")), Joined(Lines()));
        QCOMPARE(tree.read(TrackName), decoy);
        QVERIFY(!QFileInfo::exists(tree.file(BackupName)));
    }

    // "*" in PATH is an ordinary character: no pattern finds a missing file or stands in for a backup.
    void wildcardNames()
    {
        TempTree tree;
        const QByteArray other = Joined(Lines(Stall("777 0.0")));
        tree.write(TrackName, other);
        tree.write(BackupName, "the other file's backup\r\n");
        Result r = Run(Args("show|t*.ini"), tree.path());
        QCOMPARE(r.err, Failure[0]);
        QCOMPARE(r.exitCode, 2);

        tree.write(QStringLiteral("t*.ini"), Joined(Lines()));
        r = Run(Args("section|1|t*.ini"), tree.path());
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(tree.read(QStringLiteral("t*.ini")), Saved(Lines(), Modified("12200")));
        QCOMPARE(tree.read(QStringLiteral("t*.ini.bak")), Joined(Lines()));
        QCOMPARE(tree.read(TrackName), other);
        QCOMPARE(tree.read(BackupName), QByteArray("the other file's backup\r\n"));
    }

    // Output that cannot be delivered is a failure, not a success.
    void unwritableOutputIsAFailure()
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("needs /dev/full");
        Scene scene;
        QCOMPARE(Run({"show", scene.track}, scene.work, QStringLiteral("/dev/full")).exitCode, 74);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
