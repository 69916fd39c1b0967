#include "track_file/TrackLines.h"

#include "platform/Platform.h"
#include "track_file/SessionState.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace korsa {

namespace {

// Track files have tens of thousands of short lines, so line ends are looked for eight bytes at a
// time rather than by one search per line.
using Word = std::uint64_t;

// A word with the top bit set in each byte of the eight at p that is a carriage return.
Word CarriageReturnsAt(const char *p)
{
    constexpr Word Low7 = 0x7f7f7f7f7f7f7f7fULL;
    constexpr Word Returns = 0x0d0d0d0d0d0d0d0dULL;
    Word word;
    std::memcpy(&word, p, sizeof word);
    const Word x = word ^ Returns; // a zero byte where a CR stands
    // The top bit of each byte that is zero, and of no other: no carry crosses a byte here.
    return ~(((x & Low7) + Low7) | x | Low7);
}

// The offset of the first byte marked in a word of CarriageReturnsAt, and the word without it.
int FirstMarked(Word marks)
{
    return (std::endian::native == std::endian::little ? std::countr_zero(marks) : std::countl_zero(marks)) / 8;
}

Word WithoutFirst(Word marks)
{
    return std::endian::native == std::endian::little ? marks & (marks - 1)
                                                      : marks & ~(Word{1} << (63 - std::countl_zero(marks)));
}

} // namespace

QString SessionState::TrackFilePath() const { return JoinPath(TrackFolder, TrackFileName); }

std::optional<QList<QByteArray>> SplitTrackLines(const QByteArray &bytes)
{
    const char *const begin = bytes.constData();
    const char *const end = begin + bytes.size();
    // A place for every line there can be: no more than bytes plus one, nor than a track file may
    // have. The lines go straight into their places; a line beyond the last place fails the split.
    QList<QByteArray> lines(std::min<qsizetype>(MaxTrackLines, bytes.size() + 1));
    QByteArray *const first = lines.data();
    QByteArray *const last = first + lines.size();
    QByteArray *out = first;
    const char *line = begin;
    for (const char *p = begin; p < end; p += sizeof(Word)) {
        char padded[sizeof(Word)] = {}; // the last few bytes, followed by bytes that are no CR
        const bool whole = end - p >= static_cast<qsizetype>(sizeof(Word));
        if (!whole)
            std::memcpy(padded, p, static_cast<std::size_t>(end - p));
        for (Word marks = CarriageReturnsAt(whole ? p : padded); marks; marks = WithoutFirst(marks)) {
            const char *const cr = p + FirstMarked(marks);
            if (out == last)
                return std::nullopt;
            *out++ = QByteArray::fromRawData(line, cr - line);
            line = cr + 1;
            if (line < end && *line == '\n')
                ++line;
        }
    }
    // Text after the last line end is one more line.
    if (line < end) {
        if (out == last)
            return std::nullopt;
        *out++ = QByteArray::fromRawData(line, end - line);
    }
    lines.resize(out - first);
    return lines;
}

} // namespace korsa
