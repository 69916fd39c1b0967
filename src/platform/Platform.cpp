#include "platform/Platform.h"

#include <QDir>

namespace korsa {

QString JoinPath(const QString &folder, const QString &name) { return folder + QDir::separator() + name; }

} // namespace korsa
