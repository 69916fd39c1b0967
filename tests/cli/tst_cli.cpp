// The real korsa-sorvena-cli as a child process; reading, writing and captions are tested elsewhere.

#include "support/TempTree.h"

#include <QElapsedTimer>

#include <QProcess>
#include <QtTest>

using korsa::test::NoRegularFile;
using korsa::test::TempTree;

namespace {

const QString TrackName = QStringLiteral("track.ini"), BackupName = QStringLiteral("track.ini.bak");
const QByteArray Usage = "USAGE"; // stands for the usage text, checked by the commands it names
const QByteArray Lap = "The Sorvena Track Length Is  71989 Meters Long.\n";
const QByteArray Failure[] = {
    "File Location Error: Could not find the Track.ini File\n",
    "File Read Error: There is an unknown error in the Track.ini file probably caused by a nonstandard format.\n",
    "File Read Error: This is not a Sorvena track.ini file.  Please try again.\n",
    "File Save Error: There was an error while attempting to save the Track.ini file.  Check that the file is "
    "not marked Read Only.\n"};

QByteArray Stall(const QByteArray &value) { return "stall_0 = " + value; }
QByteArray Modified(const QByteArray &metres) { return Stall(metres + " 0.0\t\t; Modified by Korsa Gridwell"); }

// A trimmed track file (line 3 is stall_0), padded with scenery to lineCount lines.
QList<QByteArray> Lines(const QByteArray &stall = Stall("1500 0.0"), const QByteArray &length = "44.732",
                        int lineCount = 0)
{
    QList<QByteArray> lines = {"[ HEADER ]", "track_name_short = Sorvena ; the short name",
                               "track_length = " + length + " miles", stall, "pit_speed_limit = 80", "[ END ]"};
    while (lines.size() < lineCount)
        lines.append("object_" + QByteArray::number(lines.size()) + " = 12.5 0.0 ; scenery");
    return lines;
}

QByteArray Joined(const QList<QByteArray> &lines) { return lines.join("\r\n") + "\r\n"; }

// A save: the new stall_0 line, the old one kept under the marker section.
QByteArray Saved(QList<QByteArray> lines, const QByteArray &newStall)
{
    const QByteArray old = std::exchange(lines[3], newStall);
    return Joined(lines) + "\r\n[ GRIDWELL ]\r\n" + old + "\r\n";
}

// What stands at PATH when the tool runs.
enum class At { File, ReadOnlyFile, Nothing, Folder, NamedPipe, LinkToDevZero, Socket, Oversized };

QStringList Entries(const QString &folder)
{ return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System); }

struct Result { int exitCode = -1; QByteArray out, err; }; // -1: crashed or hung

const QByteArray Decoy = Joined(Lines(Stall("777 0.0"))), DecoyBackup = "a backup";

// The track file in "tracks", where the tool runs; files of the usual names above it are decoys.
struct Scene {
    TempTree tree;
    QString tracks = tree.file(QStringLiteral("tracks")), track = tracks + QStringLiteral("/track.ini");

    explicit Scene(const QByteArray &bytes = Joined(Lines()))
    {
        QDir(tree.path()).mkdir(QStringLiteral("tracks"));
        tree.write(TrackName, Decoy);
        tree.write(BackupName, DecoyBackup);
        if (!bytes.isNull())
            tree.write(QStringLiteral("tracks/track.ini"), bytes);
    }
    QByteArray Read(const QString &name = TrackName) const { return tree.read(QStringLiteral("tracks/") + name); }
    // "a|b" -> arguments; PATH is the track file, TRACKS its folder.
    QStringList Args(const QString &joined) const
    {
        QStringList args = joined.isEmpty() ? QStringList() : joined.split(QLatin1Char('|'));
        return args.replaceInStrings(QStringLiteral("PATH"), track).replaceInStrings(QStringLiteral("TRACKS"), tracks);
    }
};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    TempTree configHome_; // the per-user configuration folder the tool sees; it must stay empty
    const bool configSet_ = qputenv("XDG_CONFIG_HOME", configHome_.path().toLocal8Bit());

    Result Run(const QStringList &args, const QString &workDir, const QString &stdoutFile = QString(),
               int deadline = 120000)
    {
        QProcess process;
        process.setWorkingDirectory(workDir);
        process.setStandardOutputFile(stdoutFile); // none: read back below
        process.start(QStringLiteral(KORSA_CLI), args);
        if (!process.waitForFinished(deadline) || process.exitStatus() != QProcess::NormalExit)
            return {}; // the destructor kills a hung tool
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

private slots:
    // Whatever a test ran, no "Korsa Gridwell.ini" appears beside the tool or per user.
    void cleanup()
    {
        QVERIFY(!QFileInfo::exists(QFileInfo(QStringLiteral(KORSA_CLI)).absoluteDir().filePath("Korsa Gridwell.ini")));
        QVERIFY(configSet_ && QDir(configHome_.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    // Every command line, its output, status and the bytes left; "saved" is the new stall_0 line of a save.
    void run_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<At>("at");
        QTest::addColumn<QList<QByteArray>>("lines"); // the track file's, when one is there
        QTest::addColumn<bool>("stdoutFull");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out"); // Usage: the usage text
        QTest::addColumn<QByteArray>("saved"); // null: the file is left alone
        const auto row = [](const char *args, const char *tag, int exitCode, const QByteArray &out,
                            const QByteArray &saved = QByteArray(), At at = At::File, const QList<QByteArray> &lines = Lines())
        { QTest::addRow("%s %s", args, tag) << args << at << lines << false << exitCode << out << saved; };
        row("--version", "", 0, "v1.0.0 by Penhallow\n");
        row("--help", "", 0, Usage);
        row("-h", "", 0, Usage);
        row("sections", "", 0, "0\tVarnola\t6050\n1\tDunes\t12200\n2\tSR 47 Bridge\t17200\n3\tMontaspro Bridge\t27100\n"
                               "4\tBivio Carrano\t37685\n5\tVallerosa Curves\t46700\n6\tSP 6 KM 4\t52850\n"
                               "7\tPietraforno Curves\t58630\n8\tLidoscuro\t66270\n");
        for (const char *wrong : {"", "edit|PATH", "section|9|PATH", "section|-1|PATH", "section|Nowhere Bridge|PATH",
                                  "section||PATH", "section|PATH", "section|1|PATH|PATH", "section|1|TRACKS/",
                                  "per-mille|1001|PATH", "per-mille|-1|PATH", "per-mille|5.5|PATH",
                                  "per-mille||PATH", "per-mille|4294967796|PATH",
                                  "per-mille|500", "show", "show|PATH|PATH", "revert", "sections|PATH"})
            row(wrong, "", 64, "");
        const auto at = [](const char *who, const char *metres, const char *percent) {
            return Lap + QStringLiteral("%1 Start Position Is  %2 Meters Or  %3 Percent Beyond The Start Line.\n")
                             .arg(who, metres, percent).toUtf8();
        };
        row("show|PATH", "", 0, at("The", "1500", "2.1"));
        row("section|0|PATH", "", 0, at("The Varnola", "6050", "8.4"), Modified("6050"));
        row("section|8|PATH", "", 0, at("The Lidoscuro", "66270", "92.1"), Modified("66270"));
        // PATH splits at its last separator; a bare name lies in the current folder.
        row("section|1|track.ini", "", 0, at("The Dunes", "12200", "16.9"), Modified("12200"));
        row("section|1|../tracks/track.ini", "", 0, at("The Dunes", "12200", "16.9"), Modified("12200"));
        row("section|sr 47 bridge|PATH", "", 0, at("The SR 47 Bridge", "17200", "23.9"), Modified("17200"));
        row("per-mille|500|PATH", "", 0, at("This", "35995", "50"), Modified("35994"));
        row("per-mille|1000|PATH", "", 0, at("This", "71989", "100"), Modified("71989"));
        // Per-mille acts even where the bar already stands.
        row("per-mille|21|PATH", "", 0, at("This", "1512", "2.1"), Modified("1511"));
        row("per-mille|0|PATH", "at 0", 0, at("This", "0", "0"), Modified("0"), At::File, Lines(Stall("0 0.0")));
        // The reader takes 32767 lines and a save adds three.
        row("section|1|PATH", "32764 lines", 0, at("The Dunes", "12200", "16.9"), Modified("12200"), At::File,
            Lines(Stall("1500 0.0"), "44.732", 32764));
        row("revert|PATH", "at 61", 0, Lap + "The Original Start Position Is  61 Meters Or  .1 Percent Beyond The "
                                             "Start Line\n", Stall("61.0 0.0"), At::File, Lines(Stall("61.0 0.0")));
        // Failures: status, stderr line, no output, and the file keeps its bytes.
        for (const char *args : {"show|PATH", "section|1|PATH", "revert|PATH"}) {
            row(args, "absent", 2, "", {}, At::Nothing, {});
            row(args, "other track", 4, "", {}, At::File, Lines(Stall("1500 0.0"), "3.2"));
        }
        row("show|TRACKS/t*.ini", "", 2, "");
        for (const char *args : {"show|PATH", "per-mille|500|PATH"}) {
            row(args, "no stall_0", 3, "", {}, At::File, Lines("stall_1 = 5"));
            // Nothing but a regular file of sane size is read: never a hang, never a read without end.
            row(args, "folder", 3, "", {}, At::Folder, {});
            row(args, "named pipe", 3, "", {}, At::NamedPipe, {});
            row(args, "link to /dev/zero", 3, "", {}, At::LinkToDevZero, {});
            row(args, "socket", 3, "", {}, At::Socket, {});
            row(args, "oversized", 3, "", {}, At::Oversized, {});
        }
        for (const char *args : {"section|1|PATH", "per-mille|500|PATH", "per-mille|21|PATH", "revert|PATH"})
            row(args, "read-only", 5, "", {}, At::ReadOnlyFile);
        row("section|1|PATH", "32765 lines", 5, "", {}, At::File, Lines(Stall("1500 0.0"), "44.732", 32765));
        // Output that cannot be delivered is no success.
        QTest::addRow("show stdout full") << "show|PATH" << At::File << Lines() << true << 74 << QByteArray() << QByteArray();
    }
    void run()
    {
        QFETCH(QString, args);
        QFETCH(At, at);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(bool, stdoutFull);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, saved);
        const QByteArray before = lines.isEmpty() ? QByteArray() : Joined(lines);
        Scene scene(before);
        const QMap<At, NoRegularFile> noFile = {{At::Folder, NoRegularFile::Folder}, {At::NamedPipe, NoRegularFile::NamedPipe},
                                               {At::LinkToDevZero, NoRegularFile::LinkToDevZero}, {At::Socket, NoRegularFile::Socket},
                                               {At::Oversized, NoRegularFile::Oversized}};
        if (noFile.contains(at))
            scene.tree.make(QStringLiteral("tracks/track.ini"), noFile[at]);
        if (at == At::ReadOnlyFile)
            QVERIFY(QFile::setPermissions(scene.track, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        // What is no file is refused at once: a tool still reading after five seconds hangs.
        const Result r = Run(scene.Args(args), scene.tracks, stdoutFull ? "/dev/full" : QString(),
                             noFile.contains(at) ? 5000 : 120000);
        QCOMPARE(r.exitCode, exitCode);
        for (const char *command : {"show PATH", "section N PATH", "per-mille V PATH", "revert PATH", " sections\n",
                                    "--version", "--help"})
            QVERIFY2((out != Usage && exitCode != 64) || (exitCode ? r.err : r.out).contains(command), command);
        if (out != Usage)
            QCOMPARE(r.out, out);
        if (exitCode < 64)
            QCOMPARE(r.err, exitCode ? Failure[exitCode - 2] : QByteArray());
        if (!noFile.contains(at))
            QCOMPARE(scene.Read(), saved.isNull() ? before : Saved(lines, saved));
        QCOMPARE(Entries(scene.track), QStringList()); // a folder in its place stays empty
        QStringList expected = at == At::Nothing ? QStringList() : QStringList{TrackName};
        // A save keeps a backup of the bytes before; a refused save may have made one first.
        if (!saved.isNull() || (exitCode == 5 && QFileInfo::exists(scene.track + QStringLiteral(".bak")))) {
            QCOMPARE(scene.Read(BackupName), before);
            expected << BackupName;
        }
        QCOMPARE(Entries(scene.tracks), expected); // nothing else in the current folder
        QCOMPARE(scene.tree.read(TrackName) + scene.tree.read(BackupName), Decoy + DecoyBackup);
        if (at == At::ReadOnlyFile)
            QCOMPARE(QFileInfo(scene.track).permissions() & (QFile::WriteOwner | QFile::WriteGroup), 0);
        if (!saved.isNull())
            QCOMPARE(Run({"show", scene.track}, scene.tracks).exitCode, 0); // the save reads back
    }

    // "*" is no pattern: it stands for no other file, track or backup.
    void wildcardName()
    {
        Scene scene{QByteArray()};
        scene.tree.write(QStringLiteral("t*.ini"), Joined(Lines()));
        QCOMPARE(Run({"section", "1", "t*.ini"}, scene.tree.path()).exitCode, 0);
        QCOMPARE(scene.tree.read(QStringLiteral("t*.ini")), Saved(Lines(), Modified("12200")));
        QCOMPARE(scene.tree.read(QStringLiteral("t*.ini.bak")), Joined(Lines()));
        QCOMPARE(scene.tree.read(TrackName) + scene.tree.read(BackupName), Decoy + DecoyBackup);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
