// korsa-sorvena-cli: the trainer's track-file commands for scripts, launchers and machines
// without a display. Every number, caption and byte comes from the same code as the window's.

#include "Version.h"
#include "platform/Console.h"
#include "platform/Platform.h"
#include "platform/SystemFiles.h"
#include "session/Captions.h"
#include "session/Numbers.h"
#include "session/StartPositionSession.h"
#include "track_file/NumberRules.h"
#include "track_file/UserMessages.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

using namespace korsa;

// What a wrong command line is answered with; --help adds what each command does.
const char *const Usage = "Usage:\n"
                          "  korsa-sorvena-cli [--json] show PATH\n"
                          "  korsa-sorvena-cli [--json] section N PATH\n"
                          "  korsa-sorvena-cli [--json] per-mille V PATH\n"
                          "  korsa-sorvena-cli [--json] metres M PATH\n"
                          "  korsa-sorvena-cli [--json] revert PATH\n"
                          "  korsa-sorvena-cli sections\n"
                          "  korsa-sorvena-cli --version\n"
                          "  korsa-sorvena-cli --help\n";

const char *const Help = "\n"
                         "Shows and sets where the simulator places the car on the Sorvena circuit: the stall_0 line\n"
                         "of the track's track.ini, named by PATH. The commands that change it save at once, as the\n"
                         "trainer's Save does: the first save keeps a copy, track.ini.bak, and the original stall_0\n"
                         "line in a [ GRIDWELL ] section at the end of the file.\n"
                         "\n"
                         "Commands:\n"
                         "  show PATH          print the track length and the start position\n"
                         "  section N PATH     start at training section N and save; N is its index 0..8 or its\n"
                         "                     name in any case (\"sr 47 bridge\"), as listed by sections\n"
                         "  per-mille V PATH   start V tenths of a percent into the lap and save; V is a whole\n"
                         "                     number 0..1000, as the trainer's scroll bar\n"
                         "  metres M PATH      start M metres beyond the start line and save; M is a number 0 or\n"
                         "                     more, digits with \".\" as the decimal point in every language\n"
                         "                     (1500, 1500.5); a start beyond the lap is taken round it, as when\n"
                         "                     a file is read (72000 gives 11); the file keeps whole metres\n"
                         "  revert PATH        write the original stall_0 line back\n"
                         "  sections           list the nine sections: index, name and start in metres,\n"
                         "                     separated by tabs\n"
                         "  --version          print the version\n"
                         "  --help, -h         print this help\n"
                         "\n"
                         "Output:\n"
                         "  On success show and the changing commands print the trainer's two status lines. With\n"
                         "  --json they print one JSON object on one line instead, with the keys:\n"
                         "    \"file\"               the track file's absolute path\n"
                         "    \"trackLengthMetres\"  the length of the lap in metres\n"
                         "    \"startMetres\"        the start position in metres beyond the start line\n"
                         "    \"perMille\"           the start position in tenths of a percent of the lap\n"
                         "    \"file_bytes\"         only where the path is no UTF-8 text: its bytes, in base64\n"
                         "  Numbers are written with \".\" as the decimal point, whatever the language. On failure\n"
                         "  nothing goes to standard output, and the trainer's message goes to standard error as\n"
                         "  \"CAPTION: PATH: TEXT\".\n"
                         "\n"
                         "Exit status:\n"
                         "  0   success\n"
                         "  2   the track file is missing\n"
                         "  3   the track file cannot be read: no regular file, too large, or no track file\n"
                         "  4   the file is not the Sorvena track's (its track_length is not 44.732 miles)\n"
                         "  5   saving failed; the file keeps its previous bytes\n"
                         "  64  wrong command line\n"
                         "  74  the output could not be written\n";

void PrintLine(std::FILE *stream, const QString &text) { WriteText(stream, text + QLatin1Char('\n')); }

// Keeps the two status lines; the scroll bar, map and enabling have nothing to show here.
class CliView final : public SessionView
{
public:
    void ShowTrackLengthCaption(const QString &caption) override { label1 = caption; }
    void ShowStartPositionCaption(const QString &caption) override { label2 = caption; }
    void SetStartPositionBar(int) override {}
    void ShowPlainMap() override {}
    void EnableTrackCommands() override {}

    QString label1;
    QString label2;
};

// A failure's message goes to standard error as "CAPTION: PATH: TEXT", its cause on a line under it;
// its kind chooses the exit status.
int Report(const TrackFileResult &result, const QString &path)
{
    if (const auto message = MessageFor(result))
        PrintLine(stderr, message->caption + QStringLiteral(": ") + path + QStringLiteral(": ") + message->Body());
    switch (result.outcome) {
    case TrackFileOutcome::Ok:
    case TrackFileOutcome::Cancelled:
        return exit_status::Ok;
    case TrackFileOutcome::Missing:
        return exit_status::FileMissing;
    case TrackFileOutcome::Unreadable:
        return exit_status::TrackFileUnreadable;
    case TrackFileOutcome::NotSorvena:
        return exit_status::NotSorvenaTrack;
    case TrackFileOutcome::SaveFailed:
        return exit_status::SaveFailed;
    }
    return exit_status::SaveFailed;
}

// "korsa-sorvena-cli: WHY" on standard error, then what would have been right.
[[noreturn]] void ArgumentError(const QString &why, const QString &hint = QString::fromLatin1(Usage))
{
    PrintLine(stderr, QStringLiteral("korsa-sorvena-cli: ") + why);
    WriteText(stderr, hint);
    std::exit(exit_status::Usage);
}

[[noreturn]] void UsageError(const QString &why)
{
    if (why.isEmpty()) {
        WriteText(stderr, QString::fromLatin1(Usage));
        std::exit(exit_status::Usage);
    }
    ArgumentError(why);
}

QString SectionList(const SectionTable &table)
{
    QString list = QStringLiteral("A section is given by its index or its name, in any case:\n");
    for (int i = 0; i < SectionCount; ++i)
        list += QStringLiteral("  %1  %2\n").arg(i).arg(table.SectionNames[i]);
    return list;
}

// A start in metres: digits with at most one "." (no sign, exponent, blank or comma), read by the
// track file's own number rule, so "." is the point in every locale.
std::optional<float> MetresArgument(const QString &text)
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+\\.?[0-9]*|\\.[0-9]+")));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    return LeadingNumber(text.toLatin1());
}

// Names the track file by PATH's bytes as given, so a name that is no UTF-8 text opens too, and a
// relative one is found from the real current folder, however long its path. Returns the file as the
// user named it, made absolute where the current folder is known: what messages and --json name;
// `absolute` gets its bytes.
QString ChooseTrackFile(SessionState &state, const QByteArray &path, QByteArray &absolute)
{
    const QString text = PathText(path);
    if (path.isEmpty() || text.endsWith(QLatin1Char('/')) || text.endsWith(QDir::separator()))
        UsageError(QStringLiteral("PATH names no file: ") + text);
    state.TrackFileBytesPath = path;
    absolute = AbsoluteSystemPath(path);
    const QString shown = PathText(absolute);
    const qsizetype cut = std::max(shown.lastIndexOf(QLatin1Char('/')), shown.lastIndexOf(QDir::separator()));
    // A root folder keeps its separator ("/", "C:\\").
    const QString root = shown.left(cut + 1);
    state.TrackFolder = cut < 0 ? QStringLiteral(".") : QDir(root).isRoot() ? root : shown.left(cut);
    state.TrackFileName = shown.mid(cut + 1);
    return shown;
}

int RunTrackCommand(const QStringList &args, const QByteArray &pathBytes, bool json)
{
    const QString &command = args[0];
    const int expected = (command == QStringLiteral("show") || command == QStringLiteral("revert")) ? 2 : 3;
    if (args.size() != expected)
        UsageError(QStringLiteral("wrong number of arguments for ") + command);

    CliView view;
    SessionState state;
    StartPositionSession session(state, view, nullptr);

    // Check the command's own argument before anything is read.
    int section = -1;
    int perMille = -1;
    std::optional<float> metres;
    if (command == QStringLiteral("section")) {
        const auto found = FindSection(session.Sections(), args[1]);
        if (!found)
            ArgumentError(QStringLiteral("no such section: ") + args[1], SectionList(session.Sections()));
        section = *found;
    } else if (command == QStringLiteral("per-mille")) {
        bool ok = false;
        perMille = args[1].toInt(&ok);
        if (!ok || perMille < 0 || perMille > ScrollMaximum)
            UsageError(QStringLiteral("V must be a whole number from 0 to 1000: ") + args[1]);
    } else if (command == QStringLiteral("metres")) {
        metres = MetresArgument(args[1]);
        if (!metres)
            UsageError(QStringLiteral("M must be a number of metres, 0 or more, with \".\" as the decimal point: ") +
                       args[1]);
    }

    QByteArray absolute;
    const QString path = ChooseTrackFile(state, pathBytes, absolute);
    TrackFileResult outcome = session.AcceptChosenTrack();
    // A save ended by force that the read or the save undid is told on standard error, first.
    const auto tell = [](const TrackFileResult &result) {
        if (!result.notice.isEmpty())
            PrintLine(stderr, result.notice);
    };
    tell(outcome);
    if (outcome == TrackFileOutcome::Ok) {
        if (section >= 0) {
            session.SectionClick(section);
            outcome = session.Save();
        } else if (perMille >= 0) {
            session.ScrollChange(perMille);
            outcome = session.Save();
        } else if (metres) {
            session.StartAtMetres(*metres);
            outcome = session.Save();
        } else if (command == QStringLiteral("revert")) {
            outcome = session.Revert();
        }
        if (command != QStringLiteral("show"))
            tell(outcome);
    }
    if (outcome != TrackFileOutcome::Ok)
        return Report(outcome, path);
    if (json) {
        // The 32-bit values exactly (71989.171875); QJsonDocument writes numbers without a locale.
        const auto number = [](float value) { return static_cast<double>(value); };
        QJsonObject object{{QStringLiteral("file"), path},
                           {QStringLiteral("trackLengthMetres"), number(session.TrackLengthMetres())},
                           {QStringLiteral("startMetres"), number(session.AcceptedTrack().StartPosition)},
                           {QStringLiteral("perMille"), number(session.PositionPerMille())}};
        // A path that is no UTF-8 text cannot be told in "file": its bytes are given beside it.
        if (SystemPath(path) != absolute)
            object.insert(QStringLiteral("file_bytes"), QString::fromLatin1(absolute.toBase64()));
        PrintLine(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    } else {
        PrintLine(stdout, view.label1);
        PrintLine(stdout, view.label2);
    }
    return exit_status::Ok;
}

// What was printed must have reached standard output, or the run did not succeed.
int Finish(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        WriteText(stderr, QStringLiteral("korsa-sorvena-cli: cannot write to standard output\n"));
        return status == exit_status::Ok ? exit_status::OutputFailed : status;
    }
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The arguments as text, and as the bytes they are: a path is used byte for byte.
    QStringList args;
    QByteArrayList bytes;
    bool json = false;
    const QStringList texts = ArgumentTexts(argc, argv);
    const QByteArrayList paths = ArgumentPaths(argc, argv);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        // --json may stand anywhere; a file of that name is ./--json.
        if (paths[i] == "--json") {
            json = true;
            continue;
        }
        bytes.append(paths[i]);
        args.append(texts[i]);
    }
    if (args.isEmpty())
        UsageError(QString());

    const QString &command = args[0];
    static const QStringList trackCommands = {QStringLiteral("show"), QStringLiteral("section"),
                                              QStringLiteral("per-mille"), QStringLiteral("metres"),
                                              QStringLiteral("revert")};
    if (json && !trackCommands.contains(command))
        UsageError(QStringLiteral("--json is for show, section, per-mille, metres and revert"));
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h")) {
        WriteText(stdout, QString::fromLatin1(Usage) + QString::fromLatin1(Help));
        return Finish(exit_status::Ok);
    }
    if (command == QStringLiteral("--version")) {
        PrintLine(stdout, captions::AboutText());
        return Finish(exit_status::Ok);
    }
    if (command == QStringLiteral("sections")) {
        if (args.size() != 1)
            UsageError(QStringLiteral("sections takes no arguments"));
        SectionTable table;
        FillSectionNames(table);
        for (int i = 0; i < SectionCount; ++i)
            PrintLine(stdout, QStringLiteral("%1\t%2\t%3")
                                  .arg(i)
                                  .arg(table.SectionNames[i])
                                  .arg(static_cast<double>(table.SectionStarts[i]), 0, 'f', 0));
        return Finish(exit_status::Ok);
    }
    if (!trackCommands.contains(command))
        UsageError(QStringLiteral("unknown command: ") + command);
    return Finish(RunTrackCommand(args, bytes.last(), json));
}
