#include "session/Sections.h"

#include <cmath>

namespace korsa {

void FillSectionNames(SectionTable &table)
{
    table.SectionStarts = {6050.0f, 12200.0f, 17200.0f, 27100.0f, 37685.0f, 46700.0f, 52850.0f, 58630.0f, 66270.0f};
    table.SectionNames = {QStringLiteral("Varnola"),       QStringLiteral("Dunes"),
                          QStringLiteral("SR 47 Bridge"),  QStringLiteral("Montaspro Bridge"),
                          QStringLiteral("Bivio Carrano"), QStringLiteral("Vallerosa Curves"),
                          QStringLiteral("SP 6 KM 4"),     QStringLiteral("Pietraforno Curves"),
                          QStringLiteral("Lidoscuro")};
}

std::optional<int> FindSection(const SectionTable &table, const QString &indexOrName)
{
    bool isNumber = false;
    const int index = indexOrName.trimmed().toInt(&isNumber);
    if (isNumber)
        return index >= 0 && index < SectionCount ? std::optional<int>(index) : std::nullopt;
    const QString wanted = indexOrName.simplified();
    for (int i = 0; i < SectionCount; ++i)
        if (table.SectionNames[i].compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    return std::nullopt;
}

std::optional<int> SectionAt(const SectionTable &table, float metres, float lapMetres)
{
    if (!std::isfinite(metres) || !(lapMetres > 0))
        return std::nullopt;
    double onLap = std::fmod(static_cast<double>(metres), static_cast<double>(lapMetres));
    if (onLap < 0)
        onLap += lapMetres;
    int section = SectionCount - 1;
    for (int i = 0; i < SectionCount; ++i)
        if (onLap >= static_cast<double>(table.SectionStarts[i]))
            section = i;
    return section;
}

} // namespace korsa
