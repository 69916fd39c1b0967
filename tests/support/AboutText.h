#pragma once

#include "Version.h"

#include <QString>

namespace korsa::test {

// What the About box and --version say after the program's title, from the project's version, the
// one place it is set.
inline QString AboutText()
{
    return QStringLiteral("v%1.%2.%3 by %4")
        .arg(version::Major)
        .arg(version::Minor)
        .arg(version::Revision)
        .arg(QLatin1String(version::CompanyName));
}

} // namespace korsa::test
