#include "session/Sections.h"

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

} // namespace korsa
