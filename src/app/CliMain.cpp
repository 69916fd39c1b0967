// korsa-sorvena-cli: the trainer's track-file commands for scripts, launchers and machines
// without a display. Every number, caption and byte comes from the same code as the window's.

#include "Version.h"
#include "platform/Platform.h"
#include "session/Captions.h"
#include "session/Numbers.h"
#include "session/StartPositionSession.h"
#include "track_file/UserMessages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace korsa;

const char *const Usage =
    "Usage:\n"
    "  korsa-sorvena-cli show PATH\n"
    "  korsa-sorvena-cli section N PATH     N: 0..8, or a section name, case-insensitive\n"
    "  korsa-sorvena-cli per-mille V PATH   V: whole number 0..1000, as the scroll bar\n"
    "  korsa-sorvena-cli revert PATH\n"
    "  korsa-sorvena-cli sections\n"
    "  korsa-sorvena-cli --version\n"
    "  korsa-sorvena-cli --help\n";

void PrintLine(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fprintf(stream, "%s\n", bytes.constData());
}

// Keeps the two status lines; the scroll bar, map and enabling have nothing to show here.
class CliView final : public SessionView
{
public:
    void SetLabel1(const QString &caption) override { label1 = caption; }
    void SetLabel2(const QString &caption) override { label2 = caption; }
    void SetScrollValue(int) override {}
    void ShowPlainMap() override {}
    void EnableTrackCommands() override {}

    QString label1;
    QString label2;
};

// A failure's message goes to standard error as "CAPTION: TEXT"; its kind chooses the exit status.
int Report(TrackFileOutcome outcome)
{
    if (const auto message = MessageFor(outcome))
        PrintLine(stderr, message->caption + QStringLiteral(": ") + message->text);
    switch (outcome) {
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

[[noreturn]] void UsageError(const QString &why)
{
    if (!why.isEmpty())
        PrintLine(stderr, QStringLiteral("korsa-sorvena-cli: ") + why);
    std::fputs(Usage, stderr);
    std::exit(exit_status::Usage);
}

// Splits PATH at its last separator; a bare name lies in the current folder.
void ChooseTrackFile(SessionState &state, const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    const qsizetype cut = native.lastIndexOf(QDir::separator());
    if (cut < 0) {
        state.TrackFolder = QDir::toNativeSeparators(QDir::currentPath());
        state.TrackFileName = native;
    } else {
        state.TrackFolder = cut == 0 ? QString(QDir::separator()) : native.left(cut);
        state.TrackFileName = native.mid(cut + 1);
    }
    if (state.TrackFileName.isEmpty())
        UsageError(QStringLiteral("PATH names no file: ") + path);
}

int RunTrackCommand(const QStringList &args)
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
    if (command == QStringLiteral("section")) {
        const auto found = FindSection(session.Sections(), args[1]);
        if (!found)
            UsageError(QStringLiteral("no such section: ") + args[1]);
        section = *found;
    } else if (command == QStringLiteral("per-mille")) {
        bool ok = false;
        perMille = args[1].toInt(&ok);
        if (!ok || perMille < 0 || perMille > ScrollMaximum)
            UsageError(QStringLiteral("V must be a whole number from 0 to 1000: ") + args[1]);
    }

    ChooseTrackFile(state, args.last());
    TrackFileOutcome outcome = session.AcceptChosenTrack();
    if (outcome == TrackFileOutcome::Ok) {
        if (section >= 0) {
            session.SectionClick(section);
            outcome = session.Save();
        } else if (perMille >= 0) {
            session.ForgetLastScrollValue();
            session.ScrollChange(perMille);
            outcome = session.Save();
        } else if (command == QStringLiteral("revert")) {
            outcome = session.Revert();
        }
    }
    if (outcome != TrackFileOutcome::Ok)
        return Report(outcome);
    PrintLine(stdout, view.label1);
    PrintLine(stdout, view.label2);
    return exit_status::Ok;
}

// What was printed must have reached standard output, or the run did not succeed.
int Finish(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("korsa-sorvena-cli: cannot write to standard output\n", stderr);
        return status == exit_status::Ok ? exit_status::OutputFailed : status;
    }
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty())
        UsageError(QString());

    const QString &command = args[0];
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h")) {
        std::fputs(Usage, stdout);
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
    static const QStringList trackCommands = {QStringLiteral("show"), QStringLiteral("section"),
                                              QStringLiteral("per-mille"), QStringLiteral("revert")};
    if (!trackCommands.contains(command))
        UsageError(QStringLiteral("unknown command: ") + command);
    return Finish(RunTrackCommand(args));
}
