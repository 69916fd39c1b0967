#include "session/TypedStart.h"

#include "session/Numbers.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>

namespace korsa {

namespace {

// The text with every decimal digit, of whatever script, as its ASCII digit: a number typed with
// the digits of the user's language reads as it is meant, whatever the locale says.
QString AsciiDigits(QString text)
{
    for (QChar &c : text)
        if (c.isDigit() && c.digitValue() >= 0)
            c = QChar(u'0' + c.digitValue());
    return text;
}

} // namespace

TypedStart ReadTypedStart(const QString &text, float lapMetres)
{
    QString number = AsciiDigits(text.trimmed()).toLower();
    if (number.isEmpty())
        return {std::nullopt, QStringLiteral("Type a start position.")};
    enum class Unit { Metres, Kilometres, Percent } unit = Unit::Metres;
    if (number.endsWith(QStringLiteral("km"))) {
        unit = Unit::Kilometres;
        number.chop(2);
    } else if (number.endsWith(u'%')) {
        unit = Unit::Percent;
        number.chop(1);
    } else if (number.endsWith(u'm')) {
        number.chop(1);
    }
    number = number.trimmed();
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)")));
    if (!form.match(number).hasMatch())
        return {std::nullopt, QStringLiteral("That is not a number (\".\" is the decimal point).")};

    const bool negative = number.startsWith(u'-');
    const QByteArray digits = number.toLatin1().mid(number.front().isDigit() || number.front() == u'.' ? 0 : 1);
    double value = 0;
    // from_chars knows no locale; a number too large for a double lies past the lap all the same.
    const auto read = std::from_chars(digits.constData(), digits.constData() + digits.size(), value);
    if (read.ec != std::errc())
        value = HUGE_VAL;
    if (negative)
        value = -value;

    double metres = value;
    if (unit == Unit::Kilometres)
        metres = value * 1000.0;
    else if (unit == Unit::Percent)
        // The bar's own rule, so 17.1 % is the start the bar gives at 171.
        metres = StartPositionOfPerMille(static_cast<float>(value * 10.0), lapMetres);
    if (!(metres >= 0.0 && metres <= static_cast<double>(lapMetres)) || !(value >= 0.0))
        return {std::nullopt, QStringLiteral("The start must lie within the lap: 0 to%1 m, or 0 to 100 %.")
                                  .arg(NumberText(std::floor(lapMetres)))};
    return {static_cast<float>(metres), QString()};
}

} // namespace korsa
