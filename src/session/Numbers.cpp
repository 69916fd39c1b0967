#include "session/Numbers.h"

#include "track_file/NumberRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace korsa {

namespace {

// The plain decimal form of a finite value rounded to `digits` significant digits, trailing zeros
// and a trailing point dropped, no sign. to_chars knows no locale: ASCII digits, "." as the point.
QByteArray PlainDigits(double value, int digits)
{
    value = std::abs(value);
    if (value == 0.0)
        return QByteArrayLiteral("0");
    char buffer[64];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, digits - 1);
    // buffer: d.ddddde[+-]xx
    const QByteArray text(buffer, written.ptr - buffer);
    const qsizetype e = text.indexOf('e');
    QByteArray mantissa = text.left(e);
    if (mantissa.size() > 1)
        mantissa.remove(1, 1); // the point
    while (mantissa.size() > 1 && mantissa.endsWith('0'))
        mantissa.chop(1);
    const char *exponentText = text.constData() + e + 1;
    if (*exponentText == '+')
        ++exponentText;
    int exponent = 0;
    std::from_chars(exponentText, text.constData() + text.size(), exponent);
    const int pointAt = exponent + 1; // digits before the point
    if (pointAt <= 0)
        return "0." + QByteArray(-pointAt, '0') + mantissa;
    if (pointAt >= mantissa.size())
        return mantissa + QByteArray(pointAt - mantissa.size(), '0');
    return mantissa.left(pointAt) + '.' + mantissa.mid(pointAt);
}

} // namespace

QString NumberText(double value)
{
    if (!std::isfinite(value))
        return QString(value < 0 ? QChar('-') : QChar(' ')) + QString::number(std::abs(value));
    QByteArray digits = PlainDigits(value, 15);
    if (digits.startsWith("0."))
        digits.remove(0, 1);
    return QString(value < 0 ? QChar('-') : QChar(' ')) + QString::fromLatin1(digits);
}

double RoundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode: to nearest, ties to even
}

double CaptionMetres(float metres) { return std::floor(static_cast<double>(metres) + 0.5); }

double CaptionPercent(float perMille) { return std::floor(static_cast<double>(perMille) + 0.5) / 10.0; }

bool IsSorvenaTrackLength(float trackLengthMiles) { return trackLengthMiles == AcceptedTrackLength; }

float TrackLengthInMetres(float trackLengthMiles)
{
    return static_cast<float>(static_cast<double>(trackLengthMiles) * static_cast<double>(MetresPerMile));
}

float ReduceBeyondTrack(float startPosition, float trackLengthMetres)
{
    if (!(startPosition > trackLengthMetres))
        return startPosition;
    // In doubles rather than 32-bit integers, so a far-off position can never overflow.
    const double whole = RoundHalfEven(startPosition);
    const double lap = RoundHalfEven(trackLengthMetres);
    return static_cast<float>(std::fmod(whole, lap));
}

float PerMilleOf(float startPosition, float trackLengthMetres)
{
    return static_cast<float>(static_cast<double>(startPosition) / static_cast<double>(trackLengthMetres) *
                              static_cast<double>(PerMilleScale));
}

float StartPositionOfPerMille(float perMille, float trackLengthMetres)
{
    return static_cast<float>(static_cast<double>(perMille) / static_cast<double>(PerMilleScale) *
                              static_cast<double>(trackLengthMetres));
}

int ScrollValueOf(float perMille)
{
    const double value = RoundHalfEven(perMille);
    if (!(value >= 0.0))
        return 0;
    return static_cast<int>(std::min(value, static_cast<double>(ScrollMaximum)));
}

QByteArray StartPositionText(float startPosition)
{
    // Always written plain, never with an exponent, and the same on every machine whatever its
    // locale.
    QByteArray text = std::isfinite(startPosition) ? PlainDigits(startPosition, 7) : QByteArrayLiteral("0");
    if (startPosition < 0 && text != "0")
        text.prepend('-');
    return text;
}

QByteArray WholeMetresText(float startPosition)
{
    // The value's text with 7 significant digits, as a 32-bit float shows, then the fraction cut
    // off: 35994.6 gives 35994, while 12345.999 is 12346 already at 7 digits.
    QByteArray text = StartPositionText(startPosition);
    if (const qsizetype point = text.indexOf('.'); point >= 0)
        text.truncate(point);
    return text == "-0" ? QByteArrayLiteral("0") : text;
}

QByteArray SavedStallLine(float startPosition)
{
    return "stall_0 = " + WholeMetresText(startPosition) + " 0.0\t\t; Modified by Korsa Gridwell";
}

float OriginalStartPositionValue(const QByteArray &text) { return LeadingNumber(text).value_or(0.0f); }

} // namespace korsa
