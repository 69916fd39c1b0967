#include "finder/TrackSearch.h"

#include "finder/FinderPaths.h"
#include "finder/Places.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <utility>

namespace korsa::finder {

QString FindTrackFile(const QStringList &folders, const TrackFileTest &isTrack, const SearchLimits &limits,
                      const std::atomic<bool> &stop)
{
    const auto deadline = std::chrono::steady_clock::now() + limits.timeLimit;
    const auto goOn = [&] { return !stop && std::chrono::steady_clock::now() < deadline; };
    // "track*.ini" in any case. Compared by hand: a regular expression used on this thread would
    // leave Qt a per-thread object whose destruction, at the thread's end, crashes a MinGW build.
    const auto trackName = [](const QString &name) {
        return name.size() >= 9 && name.startsWith(QLatin1String("track"), Qt::CaseInsensitive) &&
               name.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive);
    };
    // A link may lead back up the tree: each folder reached through one is entered once.
    QSet<QString> linkedFolders;
    for (const QString &start : folders) {
        QStringList level{start};
        for (int depth = 0; depth <= limits.maxDepth && !level.isEmpty(); ++depth) {
            QStringList next;
            for (const QString &folder : std::as_const(level)) {
                const QFileInfoList entries = QDir(folder).entryInfoList(
                    QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
                for (const QFileInfo &entry : entries) {
                    if (!goOn())
                        return QString();
                    if (entry.isFile() && trackName(entry.fileName()) && isTrack(entry.filePath()))
                        return QDir::toNativeSeparators(entry.filePath());
                }
                for (const QFileInfo &entry : entries) {
                    if (depth == limits.maxDepth || !entry.isDir())
                        continue;
                    if (entry.isSymLink()) {
                        const QString target = entry.canonicalFilePath();
                        if (target.isEmpty() || linkedFolders.contains(target))
                            continue;
                        linkedFolders.insert(target);
                    }
                    next.append(entry.filePath());
                }
            }
            level = std::move(next);
        }
    }
    return QString();
}

TrackSearch::TrackSearch(TrackFileTest isTrack, SearchLimits limits, QObject *parent)
    : QObject(parent), isTrack_(std::move(isTrack)), limits_(limits)
{}

TrackSearch::~TrackSearch()
{
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

void TrackSearch::Start(const QString &home)
{
    if (worker_.joinable())
        return;
    worker_ = std::thread([this, home] {
        QStringList folders;
        for (const QString &library : SteamLibraries(home))
            folders.append(GamesFolder(library));
        const QString found = FindTrackFile(folders, isTrack_, limits_, stop_);
        // Handed over on the object's own thread; dropped if the object has gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, found] {
                found_ = found;
                finished_ = true;
                emit Done();
            },
            Qt::QueuedConnection);
    });
}

} // namespace korsa::finder
