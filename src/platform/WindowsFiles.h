#pragma once

// The Windows file functions the platform's Windows files share: handles, wide paths, reading and
// comparing through a handle, and a regular file opened once for reading.

#include <QByteArray>
#include <QString>

#include <string>
#include <utility>
#include <variant>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace korsa::windows {

// A file handle closed when it goes out of scope.
class Handle
{
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    Handle(Handle &&other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Handle &operator=(Handle &&other) noexcept;
    ~Handle() { Close(); }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Close();

private:
    HANDLE handle_;
};

// Every open shares reading and writing: other programs may read and write the file meanwhile, as
// they may on Linux. Deleting and renaming it is shared only where asked: while the program holds a
// file it is saving, no other program can take its name away.
inline constexpr DWORD ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
inline constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The attributes SetFileAttributesW can give.
inline constexpr DWORD SettableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                            FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;

// The absolute path in the system's wide form, with the prefix that lifts the 260-character limit
// where it is that long; empty for an empty path.
std::wstring WidePath(const QString &path);
std::wstring WidePath(const QByteArray &systemPath);
// The wide path as a person reads it: without that prefix.
QString ShownPath(const std::wstring &path);
// The folder and the name in it joined.
std::wstring Join(const std::wstring &folder, const std::wstring &name);
std::wstring Wide(const QString &text);
QString FromWide(const std::wstring &text);

// Opens an existing file; INVALID_HANDLE_VALUE and the last error set where it cannot.
Handle OpenExisting(const std::wstring &path, DWORD access, DWORD share, DWORD flags = 0);

// Reads the whole file through the handle from its start into `bytes`, at most maxBytes + 1 bytes
// (so a larger file shows); false after a read error.
bool ReadFrom(HANDLE handle, QByteArray &bytes, qint64 maxBytes);
// True when the file holds exactly these bytes, from its start to its end.
bool HoldsExactly(HANDLE handle, const QByteArray &expected);
// Writes the bytes from the file's start; false (the last error set) where they are not all written.
bool WriteAllAt(HANDLE handle, const QByteArray &bytes);
// Sets the file's length.
bool SetLength(HANDLE handle, qint64 length);

bool SameFile(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b);
// Same file, same size, same last write.
bool SameContentTime(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b);

// Why a file could not be opened or read.
struct Fault {
    bool missing = false;
    // The name is a symbolic link or a junction, and links were not to be followed.
    bool link = false;
    QString cause;
};

// A regular file opened once for reading, its folder and name those of the file itself (a link
// followed leads to them).
struct OpenFile {
    Handle handle;
    std::wstring folder;
    std::wstring name;
    BY_HANDLE_FILE_INFORMATION info{};
    bool followedLink = false;
    // The flags with which the name opens this file again and nothing a link put there since.
    DWORD reopenFlags = 0;

    std::wstring Path() const { return Join(folder, name); }
};

enum class Links { Refuse, Follow };
std::variant<OpenFile, Fault> OpenForReading(const QByteArray &systemPath, Links links);

// The whole content; a file larger than maxBytes is refused.
std::variant<QByteArray, Fault> ReadAll(const OpenFile &file, qint64 maxBytes);

} // namespace korsa::windows
