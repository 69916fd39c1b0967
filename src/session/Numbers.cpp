#include "session/Numbers.h"

#include "track_file/TrackIniFileReader.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace korsa {

namespace {

// The plain decimal form of a finite value rounded to `digits` significant digits, trailing zeros
// and a trailing point dropped, no sign.
QByteArray PlainDigits(double value, int digits)
{
    value = std::abs(value);
    if (value == 0.0)
        return QByteArrayLiteral("0");
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, value);
    // buffer: d.ddddde[+-]xx
    const QByteArray text(buffer);
    const qsizetype e = text.indexOf('e');
    QByteArray mantissa = text.left(e);
    mantissa.remove(1, 1); // the point
    while (mantissa.size() > 1 && mantissa.endsWith('0'))
        mantissa.chop(1);
    const int exponent = std::atoi(text.constData() + e + 1);
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

double CaptionMetres(float metres)
{
    return std::floor(static_cast<double>(metres) + 0.5);
}

double CaptionPercent(float perMille)
{
    return std::floor(static_cast<double>(perMille) + 0.5) / 10.0;
}

bool IsSorvenaTrackLength(float trackLengthMiles)
{
    return trackLengthMiles == AcceptedTrackLength;
}

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

QByteArray WholeMetresText(float startPosition)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = locale.toString(startPosition, 'g', 7);
    if (text.contains(QLatin1Char('e'), Qt::CaseInsensitive) || !std::isfinite(startPosition)) {
        // The regional text would switch to an exponent here; the file gets plain whole metres.
        text = QString::fromLatin1(PlainDigits(startPosition, 7));
        if (startPosition < 0)
            text.prepend(QLatin1Char('-'));
    }
    text.replace(locale.decimalPoint(), QStringLiteral("."));
    if (const qsizetype comma = text.indexOf(QLatin1Char(',')); comma >= 0)
        text[comma] = QLatin1Char('.');
    if (const qsizetype point = text.indexOf(QLatin1Char('.')); point >= 0)
        text.truncate(point);
    if (text.isEmpty() || text == QStringLiteral("-"))
        text = QStringLiteral("0");
    return text.toLatin1();
}

QByteArray SavedStallLine(float startPosition)
{
    return "stall_0 = " + WholeMetresText(startPosition) + " 0.0\t\t; Modified by Korsa Gridwell";
}

float OriginalStartPositionValue(const QByteArray &text)
{
    return LeadingNumber(text).value_or(0.0f);
}

} // namespace korsa
