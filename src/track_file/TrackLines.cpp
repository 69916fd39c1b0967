#include "track_file/TrackIniFileReader.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace korsa {

QString SessionState::TrackFilePath() const
{
    return JoinPath(TrackFolder, TrackFileName);
}

std::optional<QList<QByteArray>> SplitTrackLines(const QByteArray &bytes)
{
    const char *const begin = bytes.constData();
    const char *const end = begin + bytes.size();
    qsizetype returns = 0;
    for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '\r', end - p))); ++p)
        ++returns;
    if (returns > MaxTrackLines)
        return std::nullopt;

    QList<QByteArray> lines;
    lines.reserve(returns + 1);
    const char *line = begin;
    while (line < end) {
        const char *cr = static_cast<const char *>(std::memchr(line, '\r', end - line));
        if (!cr) {
            // A last line without a terminator.
            if (lines.size() == MaxTrackLines)
                return std::nullopt;
            lines.append(QByteArray(line, end - line));
            break;
        }
        lines.append(QByteArray(line, cr - line));
        line = cr + 1;
        if (line < end && *line == '\n')
            ++line;
    }
    return lines;
}

std::optional<QByteArray> NumberAfterEquals(QByteArray line)
{
    const qsizetype equals = line.indexOf('=');
    if (equals >= 0)
        line = line.mid(equals + 1);
    qsizetype i = 0;
    while (i < line.size() && !(line[i] >= '0' && line[i] <= '9'))
        ++i;
    if (i == line.size())
        return std::nullopt;
    QByteArray result;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if ((c >= '0' && c <= '9') || c == '.')
            result.append(c);
        else if (c != '/')
            break;
    }
    return result;
}

std::optional<float> LeadingNumber(const QByteArray &text)
{
    // Gather the number's characters, skipping blanks wherever they stand, then let strtod do the
    // arithmetic on a clean "C" number.
    QByteArray clean;
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n'))
            ++i;
    };
    const auto takeDigits = [&] {
        int count = 0;
        for (skipBlanks(); i < text.size() && text[i] >= '0' && text[i] <= '9'; skipBlanks()) {
            clean.append(text[i++]);
            ++count;
        }
        return count;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        clean.append(text[i++]);
    int digits = takeDigits();
    if (i < text.size() && text[i] == '.') {
        clean.append(text[i++]);
        digits += takeDigits();
    }
    if (digits == 0)
        return 0.0f;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        const qsizetype mark = i;
        const qsizetype kept = clean.size();
        clean.append('e');
        ++i;
        skipBlanks();
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            clean.append(text[i++]);
        if (takeDigits() == 0) {
            i = mark;
            clean.truncate(kept);
        }
    }
    errno = 0;
    const double value = std::strtod(clean.constData(), nullptr);
    if (errno == ERANGE && std::abs(value) > 1.0)
        return std::nullopt;
    if (std::abs(value) > static_cast<double>(std::numeric_limits<float>::max()))
        return std::nullopt;
    return static_cast<float>(value);
}

} // namespace korsa
