#include "track_file/ReadTrackFile.h"

#include "platform/SafeUpdate.h"
#include "platform/SystemFiles.h"
#include "track_file/NumberRules.h"
#include "track_file/TrackLines.h"

namespace korsa {

namespace {

const QByteArray TrackNameShortKey = QByteArrayLiteral("track_name_short");
const QByteArray TrackLengthKey = QByteArrayLiteral("track_length");
const QByteArray StallKey = QByteArrayLiteral("stall_0");

// The text after the first "=", or the whole line when it has none.
QByteArray ValueOf(const QByteArray &line)
{
    const qsizetype equals = line.indexOf('=');
    return equals < 0 ? line : line.mid(equals + 1);
}

// Blanks only: tabs and other white space are part of the value.
QByteArray TrimBlanks(const QByteArray &text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && text[from] == ' ')
        ++from;
    while (to > from && text[to - 1] == ' ')
        --to;
    return text.mid(from, to - from);
}

// The 0-based index of the first line at or after `from` that starts with the key.
std::optional<qsizetype> FindKey(const QList<QByteArray> &lines, qsizetype from, const QByteArray &key)
{
    for (qsizetype k = from; k < lines.size(); ++k)
        if (lines[k].startsWith(key))
            return k;
    return std::nullopt;
}

// A copy that owns its bytes: the lines are views into the file's buffer, and what the state keeps
// apart from them must not be.
QByteArray Owned(const QByteArray &text) { return QByteArray(text.constData(), text.size()); }

// Parses the file's lines into the state; false, with the state partly set, when the file is not
// readable as a track file. Only the key lines and the marker's line are looked at closely.
bool ParseTrackLines(SessionState &state)
{
    const auto &all = state.TrackLines;

    const auto nameLine = FindKey(all, 0, TrackNameShortKey);
    if (!nameLine)
        return false;
    QByteArray name = ValueOf(all[*nameLine]);
    if (const qsizetype semicolon = name.indexOf(';'); semicolon >= 0)
        name.truncate(semicolon);
    name.replace('\t', ' ');
    state.TrackNameShort = Owned(TrimBlanks(name));

    const auto lengthLine = FindKey(all, *nameLine + 1, TrackLengthKey);
    if (!lengthLine)
        return false;
    const QByteArray length = ValueOf(all[*lengthLine]);
    const qsizetype unit = length.indexOf('m');
    if (unit < 0)
        return false;
    const auto trackLength = LeadingNumber(TrimBlanks(length.left(unit)));
    if (!trackLength)
        return false;
    state.TrackLength = *trackLength;

    const auto stallLine = FindKey(all, *lengthLine + 1, StallKey);
    if (!stallLine)
        return false;
    state.StallLineIndex = static_cast<std::int16_t>(*stallLine + 1);
    const auto stallNumber = NumberAfterEquals(all[*stallLine]);
    if (!stallNumber)
        return false;
    const auto start = LeadingNumber(*stallNumber);
    if (!start)
        return false;
    state.StartPosition = *start;

    state.NoMarkerSection = true;
    qsizetype original = *stallLine;
    const qsizetype marker = all.indexOf(MarkerLine);
    if (marker >= 0) {
        if (marker + 1 >= all.size())
            return false;
        state.NoMarkerSection = false;
        original = marker + 1;
    }
    state.OriginalStallLine = Owned(all[original]);

    const auto originalNumber = NumberAfterEquals(state.OriginalStallLine);
    // Revert turns this text into the start position; one that no float can hold is as
    // unreadable as such a stall_0 value.
    if (!originalNumber || !LeadingNumber(*originalNumber))
        return false;
    state.OriginalStartPosition = *originalNumber;
    return true;
}

} // namespace

TrackFileResult ReadTrackFile(SessionState &state)
{
    // A save ended by force while it wrote the file in place is undone first.
    const QString notice = UndoInterruptedSave(state.SystemTrackFilePath(), true)
                               ? InterruptedSaveUndone(state.TrackFilePath())
                               : QString();
    // One open decides everything: whether the name is a link, whether it is a regular file, and
    // what is read. The name is the file's own: a "*" in it is a character, not a pattern.
    auto content = ReadFileContent(state.SystemTrackFilePath(), MaxTrackFileBytes);
    TrackFileResult result;
    if (const ReadFault *fault = std::get_if<ReadFault>(&content)) {
        result = fault->missing ? TrackFileResult(TrackFileOutcome::Missing)
                                : TrackFileResult(TrackFileOutcome::Unreadable, fault->cause);
    } else {
        FileContent &file = std::get<FileContent>(content);
        SessionState read = state;
        result = ReadTrackBytes(std::move(file.bytes), read);
        if (result == TrackFileOutcome::Ok) {
            read.TrackFileIsLink = file.followedLink;
            state = std::move(read);
        }
    }
    result.notice = notice;
    return result;
}

TrackFileResult ReadTrackBytes(QByteArray bytes, SessionState &state)
{
    // The whole file in one buffer and every line a view into it: no allocation per line.
    auto lines = SplitTrackLines(bytes);
    if (!lines)
        return {TrackFileOutcome::Unreadable, QStringLiteral("The file has more than %1 lines.").arg(MaxTrackLines)};
    SessionState read = state;
    read.TrackLinesBuffer = std::move(bytes);
    read.TrackLines = std::move(*lines);
    if (!ParseTrackLines(read))
        return TrackFileOutcome::Unreadable;
    state = std::move(read);
    return TrackFileOutcome::Ok;
}

} // namespace korsa
