// Disk faults and other programs' acts that a test cannot time otherwise, put between a program and
// the C library with LD_PRELOAD. KORSA_FAULT holds faults separated by ";", each "ACTION[@CALL][#N]
// PATH": it strikes once, at the Nth call (the first by default) of its kind on a file whose path
// holds PATH (a trailing "$" anchors it at the end). Actions, each on its own call unless @CALL says:
//   read        the read returns a bit turned (pread)
//   write       the bytes written have a bit turned (pwrite)
//   fsync       the sync fails with EIO
//   truncate    the file is cut one byte shorter than asked (ftruncate)
//   exchange    the exchange of two names fails with EIO (renameat2 RENAME_EXCHANGE; PATH: the new name)
//   noexchange  the same, refused with EINVAL as by a file system without it
//   edit        another program writes the bytes of KORSA_FAULT_WITH over KORSA_FAULT_TARGET where it
//               stands, and puts its modification time back (on fsync, or @exchange)
//   rename-over another program renames a new file of those bytes over KORSA_FAULT_TARGET (on
//               exchange, or @fsync)
//   place       a rename that must not overwrite fails with EIO (RENAME_NOREPLACE; PATH: the new name)
//   unlink      a removal fails with ENOSPC, as on a full NTFS disk (unlinkat)
//   fifo        another program puts a named pipe in the file's place (on fsync)
//   noctime     from the Nth on, every fstat answers the modification time as change time, as a
//               file system without change times (FAT) does
// Faults on the same call strike in the order given.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Fault {
    std::string action, call, pattern;
    int nth = 1;
    int seen = 0;
    bool done = false;
};

std::string NaturalCall(const std::string &action)
{
    if (action == "edit" || action == "fifo")
        return "fsync";
    if (action == "rename-over" || action == "noexchange")
        return "exchange";
    if (action == "noctime")
        return "stat";
    return action;
}

std::vector<Fault> &Faults()
{
    static std::vector<Fault> faults = [] {
        std::vector<Fault> parsed;
        std::istringstream all(std::getenv("KORSA_FAULT") ? std::getenv("KORSA_FAULT") : "");
        for (std::string one; std::getline(all, one, ';');) {
            Fault fault;
            std::string head;
            std::istringstream(one) >> head >> fault.pattern;
            if (const size_t hash = head.find('#'); hash != std::string::npos)
                fault.nth = std::atoi(head.c_str() + hash + 1);
            head = head.substr(0, head.find('#'));
            fault.action = head.substr(0, head.find('@'));
            fault.call =
                head.find('@') == std::string::npos ? NaturalCall(fault.action) : head.substr(head.find('@') + 1);
            if (!fault.pattern.empty())
                parsed.push_back(fault);
        }
        return parsed;
    }();
    return faults;
}

std::recursive_mutex guard;

bool Matches(std::string file, std::string pattern)
{
    const bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored)
        pattern.pop_back();
    const size_t at = file.rfind(pattern);
    return at != std::string::npos && (!anchored || at + pattern.size() == file.size());
}

std::string PathOf(int fd)
{
    char path[4096];
    const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

// The actions that strike now, on this call of that file, in the order given.
std::vector<std::string> Strikes(const std::string &file, const char *call)
{
    std::lock_guard<std::recursive_mutex> lock(guard);
    std::vector<std::string> now;
    for (Fault &fault : Faults())
        if (!fault.done && fault.call == call && !file.empty() && Matches(file, fault.pattern) &&
            ++fault.seen >= fault.nth) {
            fault.done = fault.action != "noctime";
            now.push_back(fault.action);
        }
    return now;
}

template <typename Call> Call Next(const char *name) { return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name)); }

// Another program's act on the target.
void Act(const std::string &action)
{
    const char *target = std::getenv("KORSA_FAULT_TARGET");
    std::ifstream with(std::getenv("KORSA_FAULT_WITH"), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(with), std::istreambuf_iterator<char>()};
    struct stat before {
    };
    const std::string written = action == "edit" ? target : std::string(target) + ".other";
    if (::stat(target, &before) != 0 || !(std::ofstream(written, std::ios::binary) << bytes))
        std::abort();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    if (action == "edit" ? ::utimensat(AT_FDCWD, target, times, 0) != 0 : ::rename(written.c_str(), target) != 0)
        std::abort();
}

} // namespace

extern "C" ssize_t pread64(int fd, void *buffer, size_t count, off_t offset)
{
    static const auto next = Next<ssize_t (*)(int, void *, size_t, off_t)>("pread64");
    const ssize_t got = next(fd, buffer, count, offset);
    if (got > 0 && !Strikes(PathOf(fd), "read").empty())
        static_cast<char *>(buffer)[0] ^= 1;
    return got;
}

extern "C" ssize_t pread(int fd, void *buffer, size_t count, off_t offset)
{
    return pread64(fd, buffer, count, offset);
}

// A build with _FORTIFY_SOURCE reads through the checked entries.
extern "C" ssize_t __pread_chk(int fd, void *buffer, size_t count, off_t offset, size_t)
{
    return pread64(fd, buffer, count, offset);
}

extern "C" ssize_t __pread64_chk(int fd, void *buffer, size_t count, off_t offset, size_t)
{
    return pread64(fd, buffer, count, offset);
}

extern "C" ssize_t pwrite64(int fd, const void *buffer, size_t count, off_t offset)
{
    static const auto next = Next<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite64");
    if (count > 0 && !Strikes(PathOf(fd), "write").empty()) {
        std::string turned(static_cast<const char *>(buffer), count);
        turned[0] ^= 1;
        return next(fd, turned.data(), count, offset);
    }
    return next(fd, buffer, count, offset);
}

extern "C" ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset)
{
    return pwrite64(fd, buffer, count, offset);
}

extern "C" int fsync(int fd)
{
    static const auto next = Next<int (*)(int)>("fsync");
    for (const std::string &action : Strikes(PathOf(fd), "fsync")) {
        if (action == "fsync") {
            errno = EIO;
            return -1;
        }
        if (action == "fifo") {
            const std::string path = PathOf(fd);
            if (::unlink(path.c_str()) != 0 || ::mkfifo(path.c_str(), 0600) != 0)
                std::abort();
            continue;
        }
        Act(action);
    }
    return next(fd);
}

extern "C" int ftruncate64(int fd, off_t length)
{
    static const auto next = Next<int (*)(int, off_t)>("ftruncate64");
    if (length > 0 && !Strikes(PathOf(fd), "truncate").empty())
        --length;
    return next(fd, length);
}

extern "C" int ftruncate(int fd, off_t length) { return ftruncate64(fd, length); }

extern "C" int renameat2(int fromFolder, const char *from, int toFolder, const char *to, unsigned int flags)
{
    static const auto next = Next<int (*)(int, const char *, int, const char *, unsigned int)>("renameat2");
    const std::string path = to[0] == '/' ? std::string(to) : PathOf(toFolder) + '/' + to;
    if (flags & RENAME_EXCHANGE) {
        for (const std::string &action : Strikes(path, "exchange")) {
            if (action == "exchange" || action == "noexchange") {
                errno = action == "exchange" ? EIO : EINVAL;
                return -1;
            }
            Act(action);
        }
    }
    if ((flags & RENAME_NOREPLACE) && !Strikes(path, "place").empty()) {
        errno = EIO;
        return -1;
    }
    return next(fromFolder, from, toFolder, to, flags);
}

extern "C" int unlinkat(int folder, const char *name, int flags)
{
    static const auto next = Next<int (*)(int, const char *, int)>("unlinkat");
    if (!Strikes(name[0] == '/' ? std::string(name) : PathOf(folder) + '/' + name, "unlink").empty()) {
        errno = ENOSPC;
        return -1;
    }
    return next(folder, name, flags);
}

extern "C" int fstat(int fd, struct stat *info) noexcept
{
    static const auto next = Next<int (*)(int, struct stat *)>("fstat");
    const int result = next(fd, info);
    if (result == 0 && !Strikes(PathOf(fd), "stat").empty())
        info->st_ctim = info->st_mtim;
    return result;
}

extern "C" int fstat64(int fd, struct stat64 *info) noexcept
{
    return fstat(fd, reinterpret_cast<struct stat *>(info));
}
