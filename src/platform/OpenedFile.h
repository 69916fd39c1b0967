#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

#include <optional>
#include <utility>
#include <variant>

namespace korsa {

// A file descriptor closed when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor &operator=(Descriptor &&other) noexcept;
    ~Descriptor();
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// What tells one state of a file from another: which file it is, how long, when it last changed.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileIdentity Of(const struct stat &info);
    bool SameFile(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
    // Same file, same size and content time; a rename of it changes its status time, not these.
    bool SameContentTime(const FileIdentity &other) const;
    bool operator==(const FileIdentity &other) const;
};

// Why a file could not be opened or read: there is none, or it may not or cannot be read.
struct FileFault {
    bool missing = false;
    // The name is a symbolic link, and links were not to be followed.
    bool link = false;
    // One sentence for the user, or empty.
    QString cause;
};

// A regular file opened once for reading, by its name inside a folder that is held open too: what
// is later done to it is done to this file in this folder, whatever happens to the names meanwhile.
class OpenedFile
{
public:
    enum class Links { Refuse, Follow };

    // path as the system spells it. A symbolic link at the name is followed (to a regular file)
    // only when asked to; then the file and folder are the ones the link leads to.
    static std::variant<OpenedFile, FileFault> Open(const QByteArray &path, Links links);

    int Folder() const { return folder_.get(); }
    int Fd() const { return file_.get(); }
    const QByteArray &FolderPath() const { return folderPath_; }
    const QByteArray &Name() const { return name_; }
    bool FollowedLink() const { return followedLink_; }
    const struct stat &Info() const { return info_; }

    // The whole content, read through the descriptor from the start; a file larger than maxBytes is
    // refused.
    std::variant<QByteArray, FileFault> ReadAll(qint64 maxBytes) const;
    // True when the name still names this file, unchanged since it was opened: same size and times
    // and, where asked, the bytes ReadAll returned (two edits within one tick of the file system's
    // clock leave the same times).
    bool Unchanged(const QByteArray &bytes, bool compareBytes) const;
    // True when the file holds these bytes now.
    bool Holds(const QByteArray &bytes) const;

private:
    OpenedFile() = default;

    Descriptor folder_;
    Descriptor file_;
    QByteArray folderPath_;
    QByteArray name_;
    bool followedLink_ = false;
    struct stat info_ {
    };
};

// Splits a path into its folder ("." for a bare name, "/" at the root) and its last name.
std::pair<QByteArray, QByteArray> SplitPath(const QByteArray &path);

// True when the open file holds exactly these bytes, from its start to its end. It is compared a
// piece at a time: a whole copy would be fresh memory each time, whose pages cost more than the read
// (on the benchmark's largest file, read + save took 14 ms so, 29 ms with whole copies).
bool HoldsExactly(int fd, const QByteArray &expected);

} // namespace korsa
