#include "KorsaResources.h"

#include <QtCore/QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitKorsaResourceFile() { Q_INIT_RESOURCE(resources); }

namespace korsa {

void InitResources() { InitKorsaResourceFile(); }

} // namespace korsa
