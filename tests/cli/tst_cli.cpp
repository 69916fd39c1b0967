// The real korsa-sorvena-cli as a child process; reading, writing and captions are tested elsewhere.
// With KORSA_CLI_UNDER_WINE naming the Windows build's korsa-sorvena-cli.exe, the same table runs
// against that under Wine (tests/windows/wine.sh), and must give the same bytes and statuses.

#include "support/TempTree.h"
#include "support/TrackText.h"
#include "track_file/UserMessages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace korsa::test;

namespace {

const QString WineCli = qEnvironmentVariable("KORSA_CLI_UNDER_WINE");
const QString Cli = WineCli.isEmpty() ? QStringLiteral(KORSA_CLI) : WineCli;
// An absolute path as the tool is given it and names it: under Wine, on the drive Z: that holds
// the Linux file system, with the separators of Windows.
QString AsGiven(const QString &path)
{
    return WineCli.isEmpty() || !path.startsWith('/') ? path : "Z:" + QString(path).replace('/', '\\');
}
// Starts the tool with `args`.
void Start(QProcess &process, const QStringList &args)
{
    if (WineCli.isEmpty())
        process.start(Cli, args);
    else
        process.start(QStringLiteral("wine"), QStringList(WineCli) + args);
}

const QString TrackName = QStringLiteral("track.ini"), BackupName = QStringLiteral("track.ini.bak");
const QByteArray Lap = "The Sorvena Track Length Is  71989 Meters Long.\n", Decoy = TrackText("777 0.0");
// Outputs checked by what they must name: help, usage (a wrong command line), sections (an unknown one).
const QMap<QByteArray, QByteArrayList> Names = {
    {"HELP",
     {"show PATH", "section N PATH", "per-mille V PATH", "metres M PATH", "revert PATH", " sections\n", "--version",
      "--json", "\"file\"", "\"trackLengthMetres\"", "\"startMetres\"", "\"perMille\"", "\n  0 ", "\n  2 ", "\n  3 ",
      "\n  4 ", "\n  5 ", "\n  64 ", "\n  74 "}},
    {"USAGE", {"Usage:\n", "  korsa-sorvena-cli [--json] metres M PATH\n", "  korsa-sorvena-cli --help\n"}},
    {"SECTIONS",
     {"  0  Varnola\n", "  1  Dunes\n", "  2  SR 47 Bridge\n", "  3  Montaspro Bridge\n", "  4  Bivio Carrano\n",
      "  5  Vallerosa Curves\n", "  6  SP 6 KM 4\n", "  7  Pietraforno Curves\n", "  8  Lidoscuro\n"}}};

// A failure's line: the trainer's own caption and text, with the file between them; its cause, if
// any, on the line under it.
QByteArray Failure(int exitCode, const QString &path, const QByteArray &cause)
{
    using enum korsa::TrackFileOutcome;
    const auto m = korsa::MessageFor(std::array{Missing, Unreadable, NotSorvena, SaveFailed}[exitCode - 2]);
    return (m->caption + ": " + path + ": " + m->text + '\n').toUtf8() + (cause.isEmpty() ? "" : cause + '\n');
}

QByteArray Modified(const QByteArray &metres) { return "stall_0 = " + metres + " 0.0\t\t; Modified by Korsa Gridwell"; }

// A save: the new stall_0 line in place of the old one, which the appended marker section keeps.
QByteArray Saved(const QByteArray &before, const QByteArray &newStall)
{
    const qsizetype from = before.indexOf("stall_0 = "), length = before.indexOf("\r\n", from) - from;
    return QByteArray(before).replace(from, length, newStall) + "\r\n[ GRIDWELL ]\r\n" + before.mid(from, length + 2);
}

// The JSON line; PATH stands for the track file.
const QString Json =
    QStringLiteral(R"({"file": "PATH", "trackLengthMetres": 71989.171875, "startMetres": %1, "perMille": %2})");

// What stands at PATH when the tool runs (FullOutput: the track file, and standard output on a full disk).
enum class At { File, ReadOnlyFile, FullOutput, NamedPipe, LinkToDevZero, Oversized };
const NoRegularFile NoFile[] = {NoRegularFile::NamedPipe, NoRegularFile::LinkToDevZero, NoRegularFile::Oversized};

// A command line ("a|b", PATH the track file), its status and output (for a failure: the cause line),
// the new stall_0 line a save writes (null: the file is left alone), and the track file before.
struct Case {
    QString args;
    int exitCode;
    QByteArray out, saved;
    At at;
    QByteArray before;
};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    TempTree configHome_; // the per-user configuration folder the tool sees; it must stay empty
    const bool configSet_ = qputenv("XDG_CONFIG_HOME", configHome_.path().toLocal8Bit());

private slots:
    // Whatever a test ran, no "Korsa Gridwell.ini" appears beside the tool or per user.
    void cleanup()
    {
        QVERIFY(!QFileInfo::exists(QFileInfo(Cli).absoluteDir().filePath("Korsa Gridwell.ini")));
        QVERIFY(configSet_ && QDir(configHome_.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    // Every command line, its output, status and the bytes left. The suite also runs under locales
    // with a decimal comma and with their own digits: the same bytes, JSON included.
    void run_data()
    {
        QTest::addColumn<Case>("c");
        const auto row = [](const char *args, const char *tag, int exitCode, const QByteArray &out,
                            const QByteArray &saved = QByteArray(), At at = At::File,
                            const QByteArray &before = TrackText()) {
            QTest::addRow("%s %s", args, tag) << Case{args, exitCode, out, saved, at, before};
        };
        row("--version", "", 0, "v1.0.0 by Penhallow\n");
        row("--help", "", 0, "HELP");
        row("sections", "", 0,
            "0\tVarnola\t6050\n1\tDunes\t12200\n2\tSR 47 Bridge\t17200\n3\tMontaspro Bridge\t27100\n"
            "4\tBivio Carrano\t37685\n5\tVallerosa Curves\t46700\n6\tSP 6 KM 4\t52850\n"
            "7\tPietraforno Curves\t58630\n8\tLidoscuro\t66270\n");
        for (const char *wrong :
             {"", "edit|PATH", "section|PATH", "section|1|../tracks/", "per-mille|1001|PATH", "per-mille|5.5|PATH",
              "per-mille|4294967796|PATH", "per-mille|500", "show|PATH|PATH", "sections|PATH", "metres|-1|PATH",
              "metres|1,5|PATH", "metres|\xd9\xa5\xd9\xa0\xd9\xa0|PATH",
              "metres|99999999999999999999999999999999999999999|PATH", "--json|sections"})
            row(wrong, "", 64, "USAGE");
        for (const char *wrong : {"section|9|PATH", "section|-1|PATH", "section|Nowhere Bridge|PATH", "section||PATH"})
            row(wrong, "", 64, "SECTIONS");
        const auto at = [](const char *who, const char *metres, const char *percent) {
            return Lap + QStringLiteral("%1 Start Position Is  %2 Meters Or  %3 Percent Beyond The Start Line.\n")
                             .arg(who, metres, percent)
                             .toUtf8();
        };
        row("show|PATH", "", 0, at("The", "1500", "2.1"));
        // PATH splits at its last separator; a bare name lies in the current folder.
        row("section|1|track.ini", "", 0, at("The Dunes", "12200", "16.9"), Modified("12200"));
        row("section|sr 47 bridge|../Spiele Jürgen Łódź/track.ini", "", 0, at("The SR 47 Bridge", "17200", "23.9"),
            Modified("17200"));
        row("per-mille|500|PATH", "", 0, at("This", "35995", "50"), Modified("35994"));
        row("metres|1500.5|PATH", "", 0, at("This", "1501", "2.1"), Modified("1500"));
        row("metres|72000|PATH", "beyond the lap", 0, at("This", "11", "0"), Modified("11"));
        row("revert|PATH", "at 61", 0, at("The Original", "61", ".1").chopped(2) + '\n', "stall_0 = 61.0 0.0", At::File,
            TrackText("61.0 0.0"));
        row("--json|show|PATH", "at 0", 0, Json.arg("0", "0").toUtf8(), {}, At::File, TrackText("0 0.0"));
        row("per-mille|500|PATH|--json", "", 0, Json.arg("35994.5859375", "500").toUtf8(), Modified("35994"));
        row("metres|--json|71989.171875|PATH", "the lap stays", 0, Json.arg("71989.171875", "1000").toUtf8(),
            Modified("71989"));
        // Failures: status, a message naming the file, no output, and the file keeps its bytes.
        row("--json|metres|5|gone.ini", "absent", 2, "");
        row("show|t*.ini", "no pattern", 2, "");
        // Nothing but a regular file of sane size is read: never a hang, never a read without end.
        row("show|PATH", "named pipe", 3, "It is not a regular file.", {}, At::NamedPipe, {});
        row("show|PATH", "link to /dev/zero", 3, "It is not a regular file.", {}, At::LinkToDevZero, {});
        row("metres|5|PATH", "oversized", 3, "The file is larger than 32 MiB.", {}, At::Oversized, {});
        row("section|1|PATH", "other track", 4, "", {}, At::File, TrackText("1500 0.0", "3.2"));
        row("--json|metres|5|PATH", "read-only", 5, "The file is marked read-only.", {}, At::ReadOnlyFile);
        row("show|PATH", "output to a full disk", 74, "", {}, At::FullOutput); // what is not delivered is no success
        // The reader takes 32767 lines, and a save that would add more is refused.
        row("section|1|PATH", "32765 lines", 5, "The file would have more than 32767 lines.", {}, At::File,
            TrackText("1500 0.0", "44.732", QByteArray("x = 1\r\n").repeated(32761)));
    }
    void run()
    {
        QFETCH(Case, c);
        const auto &[joined, exitCode, out, saved, at, before] = c;
        // The track file in a folder whose name no 8-bit code page holds (so every row names one), where the
        // tool runs; files of the usual names above it are decoys.
        TempTree tree;
        const QString folder = QStringLiteral("Spiele Jürgen Łódź"), tracks = tree.file(folder);
        const QString track = tracks + QStringLiteral("/track.ini");
        QDir(tree.path()).mkdir(folder);
        tree.write(TrackName, Decoy);
        tree.write(BackupName, "a backup");
        const bool noFile = at >= At::NamedPipe;
        if (noFile)
            tree.make(folder + QStringLiteral("/track.ini"),
                      NoFile[static_cast<int>(at) - static_cast<int>(At::NamedPipe)]);
        else if (!before.isNull())
            WriteFile(track, before);
        if (at == At::ReadOnlyFile)
            QVERIFY(QFile::setPermissions(track, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QStringList given = (joined.isEmpty() ? QStringList() : joined.split(QLatin1Char('|')))
                                      .replaceInStrings(QStringLiteral("PATH"), track);
        QStringList args;
        std::transform(given.begin(), given.end(), std::back_inserter(args), AsGiven);
        QProcess process;
        process.setWorkingDirectory(tracks);
        process.setStandardOutputFile(at == At::FullOutput ? "/dev/full" : ""); // none: read back below
        Start(process, args);
        // What is no file is refused at once: a tool still reading after five seconds hangs (and is killed).
        QVERIFY(process.waitForFinished(noFile ? 5000 : 120000) && process.exitStatus() == QProcess::NormalExit);
        const QByteArray got = process.readAllStandardOutput(), err = process.readAllStandardError();
        QCOMPARE(process.exitCode(), exitCode);
        for (const QByteArray &name : Names.value(out))
            QVERIFY2((exitCode ? err : got).contains(name), name);
        if (out.startsWith('{')) { // one JSON object on one line, the same bytes in every locale
            QJsonObject expected = QJsonDocument::fromJson(out).object();
            expected[QStringLiteral("file")] = AsGiven(track);
            QCOMPARE(got, QJsonDocument(expected).toJson(QJsonDocument::Compact) + '\n');
        } else if (!Names.contains(out) || exitCode) {
            QCOMPARE(got, Names.contains(out) || exitCode ? QByteArray() : out);
        }
        if (exitCode < 64) // nothing on standard error but a failure's lines
            QCOMPARE(err, exitCode ? Failure(exitCode, AsGiven(QDir(tracks).absoluteFilePath(given.last())), out)
                                   : QByteArray());
        if (!noFile)
            QCOMPARE(tree.read(folder + "/track.ini"), saved.isNull() ? before : Saved(before, saved));
        // A save keeps a backup of the bytes before; a refused save may have made one first.
        const bool backup = QFileInfo::exists(track + QStringLiteral(".bak"));
        QCOMPARE(backup, !saved.isNull() || (backup && exitCode == 5));
        QCOMPARE(tree.read(folder + "/track.ini.bak"), backup ? before : QByteArray());
        QCOMPARE(QDir(tracks).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
                 (QStringList{TrackName, BackupName}.mid(0, 1 + backup))); // nothing else in the current folder
        QCOMPARE(tree.read(TrackName) + tree.read(BackupName), Decoy + "a backup");
    }

    // PATH is used byte for byte, from the real current folder: a name that is no UTF-8 text, and a
    // current folder whose path is longer than PATH_MAX (entered one folder at a time, by perl).
    void pathsAsTheSystemHasThem_data()
    {
        QTest::addColumn<int>("depth"); // folders of 200 letters entered below the tree
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("name in Latin-1") << 0 << QByteArray("pist\xe9.ini");
        QTest::newRow("current folder beyond PATH_MAX") << 25 << QByteArray("track.ini");
    }
    void pathsAsTheSystemHasThem()
    {
        QFETCH(int, depth);
        QFETCH(QByteArray, name);
        if (!WineCli.isEmpty())
            QSKIP("Windows names files in UTF-16, and its paths have no PATH_MAX");
        TempTree tree;
        const auto removeAll = qScopeGuard([&] { QProcess::execute("rm", {"-rf", tree.path()}); });
        QProcess perl;
        perl.setWorkingDirectory(tree.path());
        perl.start("perl", {"-e",
                            "my ($d, $n, $h, $c) = @ARGV; for (1 .. $d) { mkdir $n; chdir $n or die } my $f = "
                            "pack('H*', $h); local $/; my $t = <STDIN>; open(O, '>', $f) or die; print O $t; close O; "
                            "system($c, 'section', '1', $f); open(I, '<', $f) or die; print <I>;",
                            QString::number(depth), QString(200, 'd'), name.toHex(), KORSA_CLI});
        perl.write(TrackText());
        perl.closeWriteChannel();
        QVERIFY(perl.waitForFinished(60000));
        QCOMPARE(perl.readAllStandardError(), QByteArray());
        QCOMPARE(perl.readAllStandardOutput(),
                 Lap + "The Dunes Start Position Is  12200 Meters Or  16.9 Percent Beyond The Start Line.\n" +
                     Saved(TrackText(), Modified("12200")));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
