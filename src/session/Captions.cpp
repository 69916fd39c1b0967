#include "session/Captions.h"

#include "Version.h"
#include "session/Numbers.h"

namespace korsa::captions {

namespace {

const QString PositionTail = QStringLiteral(" Percent Beyond The Start Line");

QString MetresAndPercent(float metres, float perMille)
{
    return NumberText(CaptionMetres(metres)) + QStringLiteral(" Meters Or ") + NumberText(CaptionPercent(perMille)) +
           PositionTail;
}

} // namespace

QString AboutText()
{
    return QStringLiteral("v%1.%2.%3 by %4")
        .arg(version::Major)
        .arg(version::Minor)
        .arg(version::Revision)
        .arg(QString::fromLatin1(version::CompanyName));
}

QString TrackLengthCaption(const QByteArray &trackNameShort, float trackLengthMetres)
{
    return QStringLiteral("The ") + QString::fromLocal8Bit(trackNameShort) + QStringLiteral(" Track Length Is ") +
           NumberText(CaptionMetres(trackLengthMetres)) + QStringLiteral(" Meters Long.");
}

QString SelectedPositionCaption(float startPosition, float perMille)
{
    return QStringLiteral("The Start Position Is ") + MetresAndPercent(startPosition, perMille) + QLatin1Char('.');
}

QString SectionPositionCaption(const QString &sectionName, float sectionStart, float perMille)
{
    return QStringLiteral("The ") + sectionName + QStringLiteral(" Start Position Is ") +
           MetresAndPercent(sectionStart, perMille) + QLatin1Char('.');
}

QString ScrollPositionCaption(float startPosition, float perMille)
{
    return QStringLiteral("This Start Position Is ") + MetresAndPercent(startPosition, perMille) + QLatin1Char('.');
}

QString OriginalPositionCaption(float startPosition, float perMille)
{
    return QStringLiteral("The Original Start Position Is ") + MetresAndPercent(startPosition, perMille);
}

} // namespace korsa::captions
