// Disk faults a test cannot make otherwise, put between a program and the C library with
// LD_PRELOAD. KORSA_FAULT="read PATH" turns a bit in the first read of the file whose path holds
// PATH (a trailing "$" anchors it at the end); KORSA_FAULT="fsync PATH" fails its first sync (EIO).
// Each fault happens once.

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

std::atomic<bool> done{false};

bool Strikes(int fd, const char *call)
{
    const char *fault = std::getenv("KORSA_FAULT");
    if (!fault || done)
        return false;
    const std::string spec(fault), kind = spec.substr(0, spec.find(' '));
    std::string pattern = spec.substr(spec.find(' ') + 1);
    char path[4096];
    const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    if (kind != call || length <= 0)
        return false;
    const std::string file(path, static_cast<size_t>(length));
    const bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored)
        pattern.pop_back();
    const size_t at = file.rfind(pattern);
    return at != std::string::npos && (!anchored || at + pattern.size() == file.size()) && !done.exchange(true);
}

template <typename Call> Call Next(const char *name) { return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name)); }

} // namespace

extern "C" ssize_t pread64(int fd, void *buffer, size_t count, off_t offset)
{
    static const auto next = Next<ssize_t (*)(int, void *, size_t, off_t)>("pread64");
    const ssize_t got = next(fd, buffer, count, offset);
    if (got > 0 && Strikes(fd, "read"))
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

extern "C" int fsync(int fd)
{
    static const auto next = Next<int (*)(int)>("fsync");
    if (Strikes(fd, "fsync")) {
        errno = EIO;
        return -1;
    }
    return next(fd);
}
