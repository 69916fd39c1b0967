#include "platform/FileCause.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <locale.h>

namespace korsa {

// strerror speaks the user's language; the messages around it are English.
QString SystemWords(int error)
{
    static const locale_t english = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return QString::fromLocal8Bit(english ? ::strerror_l(error, english) : std::strerror(error));
}

QString CauseOfError(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return QStringLiteral("The disk is full.");
    return SystemWords(error) + QLatin1Char('.');
}

} // namespace korsa
