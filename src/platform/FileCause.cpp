#include "platform/FileCause.h"

namespace korsa {

QString FolderCannotBeWritten(const QString &folder, int error)
{
    QString why = SystemWords(error);
    if (!why.isEmpty())
        why[0] = why[0].toLower();
    return QStringLiteral("The folder %1 cannot be written (%2).").arg(folder, why);
}

} // namespace korsa
