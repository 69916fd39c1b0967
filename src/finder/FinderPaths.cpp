#include "finder/FinderPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <filesystem>
#include <system_error>

namespace korsa::finder {

namespace {

constexpr Qt::CaseSensitivity PathCase =
#ifdef Q_OS_WIN
    Qt::CaseInsensitive;
#else
    Qt::CaseSensitive;
#endif

// The root part of a path in '/' form: "/" or "C:/"; empty when the path has none.
QString RootOf(const QString &slashed)
{
    if (slashed.size() >= 3 && slashed.at(1) == QLatin1Char(':') && slashed.at(2) == QLatin1Char('/'))
        return slashed.left(3);
    if (slashed.startsWith(QLatin1Char('/')))
        return QStringLiteral("/");
    return QString();
}

} // namespace

QString CleanFolder(const QString &path)
{
    if (path.isEmpty())
        return QString();
    QString slashed = QDir::fromNativeSeparators(path);
    // A bare drive ("C:") stands for that drive's root.
    if (slashed.size() == 2 && slashed.at(1) == QLatin1Char(':'))
        slashed += QLatin1Char('/');
    slashed = QDir::cleanPath(QFileInfo(slashed).absoluteFilePath());
    return QDir::toNativeSeparators(slashed);
}

bool IsRootFolder(const QString &folder)
{
    const QString slashed = QDir::fromNativeSeparators(folder);
    return !slashed.isEmpty() && RootOf(slashed) == slashed;
}

QStringList FolderChain(const QString &folder)
{
    const QString slashed = QDir::fromNativeSeparators(CleanFolder(folder));
    const QString root = RootOf(slashed);
    if (root.isEmpty())
        return {};
    QStringList chain{QDir::toNativeSeparators(root)};
    QString walked = root;
    const QStringList names = slashed.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &name : names) {
        if (!walked.endsWith(QLatin1Char('/')))
            walked += QLatin1Char('/');
        walked += name;
        chain.append(QDir::toNativeSeparators(walked));
    }
    return chain;
}

QString FolderDisplayName(const QString &folder)
{
    if (IsRootFolder(folder))
        return folder;
    const QString slashed = QDir::fromNativeSeparators(folder);
    return slashed.mid(slashed.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ChildFolder(const QString &folder, const QString &name)
{
    QString slashed = QDir::fromNativeSeparators(folder);
    if (!slashed.endsWith(QLatin1Char('/')))
        slashed += QLatin1Char('/');
    return CleanFolder(slashed + name);
}

bool IsSameOrBelow(const QString &path, const QString &folder)
{
    const QString p = QDir::fromNativeSeparators(path);
    QString f = QDir::fromNativeSeparators(folder);
    if (p.isEmpty() || f.isEmpty())
        return false;
    if (p.compare(f, PathCase) == 0)
        return true;
    if (!f.endsWith(QLatin1Char('/')))
        f += QLatin1Char('/');
    return p.startsWith(f, PathCase);
}

bool ContainsFolder(const QStringList &folders, const QString &folder) { return folders.contains(folder, PathCase); }

bool CanListFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    // Opening the folder is the only reliable test: permission bits say nothing for some users.
    std::error_code error;
    // The path from UTF-8: on Linux the name's bytes as they are, on Windows its every letter.
    const QByteArray utf8 = folder.toUtf8();
    const std::u8string name(reinterpret_cast<const char8_t *>(utf8.constData()), static_cast<size_t>(utf8.size()));
    std::filesystem::directory_iterator it(std::filesystem::path(name), error);
    return !error;
}

QString TypedPath(const QString &typed, const QString &shownFolder, const QString &home)
{
    QString path = typed.trimmed();
    if (path.size() >= 2 && (path.front() == QLatin1Char('\'') || path.front() == QLatin1Char('"')) &&
        path.back() == path.front())
        path = path.mid(1, path.size() - 2);
    if (path.startsWith(QLatin1String("file://"), Qt::CaseInsensitive))
        path = QUrl(path).toLocalFile();
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = home + path.mid(1);
    if (path.isEmpty())
        return QString();
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(shownFolder).absoluteFilePath(path)));
}

} // namespace korsa::finder
