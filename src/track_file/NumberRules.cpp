#include "track_file/NumberRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace korsa {

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
    // Gather the number's characters, skipping blanks wherever they stand, then convert the clean
    // number with from_chars, which knows no locale: "." is the point on every machine.
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
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    int digits = takeDigits();
    // Where the point stands among the digits, for telling a huge number from a tiny one below.
    const qsizetype wholeDigits = clean.size();
    if (i < text.size() && text[i] == '.') {
        clean.append(text[i++]);
        digits += takeDigits();
    }
    if (digits == 0)
        return 0.0f;
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        const qsizetype mark = i;
        const qsizetype kept = clean.size();
        clean.append('e');
        ++i;
        skipBlanks();
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            clean.append(text[i++]);
        const qsizetype exponentFrom = clean.size();
        if (takeDigits() == 0) {
            i = mark;
            clean.truncate(kept);
        } else {
            // Far beyond any double either way, and small enough that adding the digits' count to it
            // cannot overflow.
            constexpr long Farthest = 1'000'000'000;
            const char *from = clean.constData() + exponentFrom;
            if (std::from_chars(from, clean.constData() + clean.size(), exponent).ec != std::errc())
                exponent = Farthest;
            exponent = std::min(exponent, Farthest);
            if (clean[exponentFrom - 1] == '-')
                exponent = -exponent;
        }
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(clean.constData(), clean.constData() + clean.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Beyond a double: too large is no number, too small is as good as 0.
        qsizetype first = 0;
        while (first < wholeDigits && clean[first] == '0')
            ++first;
        qsizetype firstFraction = wholeDigits + 1;
        while (firstFraction < clean.size() && clean[firstFraction] == '0')
            ++firstFraction;
        const long magnitude = first < wholeDigits ? static_cast<long>(wholeDigits - first) + exponent
                                                   : exponent - static_cast<long>(firstFraction - wholeDigits - 1);
        if (magnitude > 0)
            return std::nullopt;
        value = 0.0;
    } else if (error != std::errc()) {
        return 0.0f;
    }
    if (std::abs(value) > static_cast<double>(std::numeric_limits<float>::max()))
        return std::nullopt;
    return static_cast<float>(negative ? -value : value);
}

} // namespace korsa
