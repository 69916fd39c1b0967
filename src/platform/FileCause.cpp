#include "platform/FileCause.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <locale.h>

namespace korsa {

namespace {

// strerror speaks the user's language; the messages around it are English.
QString SystemWords(int error)
{
    static const locale_t english = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return QString::fromLocal8Bit(english ? ::strerror_l(error, english) : std::strerror(error));
}

} // namespace

QString CauseOfError(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return QStringLiteral("The disk is full.");
    return SystemWords(error) + QLatin1Char('.');
}

QString FolderCannotBeWritten(const QString &folder, int error)
{
    QString why = SystemWords(error);
    if (!why.isEmpty())
        why[0] = why[0].toLower();
    return QStringLiteral("The folder %1 cannot be written (%2).").arg(folder, why);
}

} // namespace korsa
