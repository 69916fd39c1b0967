#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace korsa::finder {

// Whether the file at this path is the one looked for. Runs on the search's own thread.
using TrackFileTest = std::function<bool(const QString &path)>;

struct SearchLimits {
    // Folders deeper than this below a starting folder are not looked into (the starting folder is 0).
    int maxDepth = 6;
    std::chrono::milliseconds timeLimit{2000};
};

// The first file named track*.ini (in any case) that passes the test, looking through each folder
// in turn, level by level, each level's entries by name; links to folders are followed once.
// Empty when none was found within the limits, or once `stop` is set.
QString FindTrackFile(const QStringList &folders, const TrackFileTest &isTrack, const SearchLimits &limits,
                      const std::atomic<bool> &stop);

// The search for the track file in the Steam libraries' steamapps/common, run on a thread of its
// own so that nothing waits for it: the result comes back through Done, on the object's thread.
class TrackSearch : public QObject
{
    Q_OBJECT

public:
    explicit TrackSearch(TrackFileTest isTrack, SearchLimits limits = {}, QObject *parent = nullptr);
    // Stops a search still running and waits for its thread, which ends within one folder's listing
    // or one file's reading.
    ~TrackSearch() override;

    // Searches the Steam libraries of the user whose home folder this is; once per object.
    void Start(const QString &home);
    bool Finished() const { return finished_; }
    // The file found, as an absolute path; empty while running and when nothing was found.
    QString Found() const { return found_; }

signals:
    void Done();

private:
    TrackFileTest isTrack_;
    SearchLimits limits_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
    bool finished_ = false;
    QString found_;
};

} // namespace korsa::finder
