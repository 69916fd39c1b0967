#include "track_file/TrackIniFileReader.h"

#include "track_file/FileExists.h"
#include "track_file/NumberRules.h"
#include "track_file/RegularFile.h"
#include "track_file/TrackLines.h"

#include <QFileInfo>

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

// Parses the file's lines into a complete state; empty when the file is not readable as a track file.
std::optional<SessionState> ParseTrackLines(SessionState state, QList<QByteArray> lines)
{
    state.TrackLines = std::move(lines);
    const auto &all = state.TrackLines;

    const auto nameLine = FindKey(all, 0, TrackNameShortKey);
    if (!nameLine)
        return std::nullopt;
    QByteArray name = ValueOf(all[*nameLine]);
    if (const qsizetype semicolon = name.indexOf(';'); semicolon >= 0)
        name.truncate(semicolon);
    name.replace('\t', ' ');
    state.TrackNameShort = TrimBlanks(name);

    const auto lengthLine = FindKey(all, *nameLine + 1, TrackLengthKey);
    if (!lengthLine)
        return std::nullopt;
    QByteArray length = ValueOf(all[*lengthLine]);
    const qsizetype unit = length.indexOf('m');
    if (unit < 0)
        return std::nullopt;
    const auto trackLength = LeadingNumber(TrimBlanks(length.left(unit)));
    if (!trackLength)
        return std::nullopt;
    state.TrackLength = *trackLength;

    const auto stallLine = FindKey(all, *lengthLine + 1, StallKey);
    if (!stallLine)
        return std::nullopt;
    state.StallLineIndex = static_cast<std::int16_t>(*stallLine + 1);
    const auto stallNumber = NumberAfterEquals(all[*stallLine]);
    if (!stallNumber)
        return std::nullopt;
    const auto start = LeadingNumber(*stallNumber);
    if (!start)
        return std::nullopt;
    state.StartPosition = *start;

    state.NoMarkerSection = true;
    state.OriginalStallLine = all[*stallLine];
    const qsizetype marker = all.indexOf(MarkerLine);
    if (marker >= 0) {
        if (marker + 1 >= all.size())
            return std::nullopt;
        state.NoMarkerSection = false;
        state.OriginalStallLine = all[marker + 1];
    }

    const auto original = NumberAfterEquals(state.OriginalStallLine);
    // Revert turns this text into the start position; one that no float can hold is as
    // unreadable as such a stall_0 value.
    if (!original || !LeadingNumber(*original))
        return std::nullopt;
    state.OriginalStartPosition = *original;
    return state;
}

} // namespace

TrackFileOutcome ReadTrackFile(SessionState &state)
{
    const QString path = state.TrackFilePath();
    // The name is the file's own: a "*" in it is a character, not a pattern.
    if (!EntryExists(path))
        return TrackFileOutcome::Missing;

    std::optional<SessionState> read;
    if (const auto bytes = ReadRegularFile(path, MaxTrackFileBytes))
        if (auto lines = SplitTrackLines(*bytes))
            read = ParseTrackLines(state, std::move(*lines));
    if (!read)
        return TrackFileOutcome::Unreadable;
    read->TrackFileIsLink = QFileInfo(path).isSymLink();
    state = std::move(*read);
    return TrackFileOutcome::Ok;
}

} // namespace korsa
