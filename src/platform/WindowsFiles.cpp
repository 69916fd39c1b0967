#include "platform/WindowsFiles.h"

#include "platform/FileCause.h"
#include "platform/SystemFiles.h"

#include <QDir>

#include <algorithm>
#include <cstring>

namespace korsa::windows {

namespace {

// ReadFile and WriteFile move at most this much at once.
constexpr qint64 MaxTransfer = 1 << 30;

OVERLAPPED At(qint64 offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// Reads from the offset; the bytes read, or -1.
qint64 ReadAt(HANDLE handle, char *into, qint64 size, qint64 offset)
{
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    if (!::ReadFile(handle, into, static_cast<DWORD>(std::min(size, MaxTransfer)), &got, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return got;
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_INVALID_DRIVE || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME;
}

Fault Refused(QString cause) { return Fault{false, false, std::move(cause)}; }
Fault LastErrorFault()
{
    const DWORD error = ::GetLastError();
    return Fault{IsMissing(error), false, IsMissing(error) ? QString() : CauseOfError(static_cast<int>(error))};
}

// The path of the file the handle reads, as the system resolves it: links followed.
std::wstring FinalPath(HANDLE handle)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
}

} // namespace

Handle &Handle::operator=(Handle &&other) noexcept
{
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
    }
    return *this;
}

void Handle::Close()
{
    if (valid())
        ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
}

std::wstring Wide(const QString &text) { return text.toStdWString(); }

QString FromWide(const std::wstring &text) { return QString::fromStdWString(text); }

std::wstring WidePath(const QString &path)
{
    if (path.isEmpty())
        return {};
    const std::wstring native = Wide(QDir::toNativeSeparators(path));
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(native.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return native;
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length + 1);
    }
    // A long path goes to the system as it stands, with the prefix that lifts the limit on its length.
    if (full.size() < MAX_PATH - 12 || full.rfind(L"\\\\?\\", 0) == 0)
        return full;
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring WidePath(const QByteArray &systemPath) { return WidePath(PathText(systemPath)); }

QString ShownPath(const std::wstring &path)
{
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return QStringLiteral("\\\\") + FromWide(path.substr(8));
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return FromWide(path.substr(4));
    return FromWide(path);
}

std::wstring Join(const std::wstring &folder, const std::wstring &name)
{
    if (folder.empty() || folder.back() == L'\\')
        return folder + name;
    return folder + L'\\' + name;
}

Handle OpenExisting(const std::wstring &path, DWORD access, DWORD share, DWORD flags)
{
    return Handle(::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
}

bool ReadFrom(HANDLE handle, QByteArray &bytes, qint64 maxBytes)
{
    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(handle, &length))
        return false;
    // The file may grow while it is read: one byte more than allowed tells.
    bytes.resize(static_cast<qsizetype>(std::min<qint64>(length.QuadPart, maxBytes) + 1));
    qsizetype size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > maxBytes)
                break;
            bytes.resize(static_cast<qsizetype>(std::min<qint64>(qint64(size) * 2, maxBytes + 1)));
        }
        const qint64 got = ReadAt(handle, bytes.data() + size, bytes.size() - size, size);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        size += static_cast<qsizetype>(got);
    }
    bytes.truncate(size);
    return true;
}

bool HoldsExactly(HANDLE handle, const QByteArray &expected)
{
    char piece[64 * 1024];
    qsizetype at = 0;
    // One byte more than expected is asked for at the end: a longer file shows there.
    for (;;) {
        const qint64 want = std::min<qint64>(sizeof piece, expected.size() + 1 - at);
        const qint64 got = ReadAt(handle, piece, want, at);
        if (got <= 0)
            return got == 0 && at == expected.size();
        if (at + got > expected.size() || std::memcmp(piece, expected.constData() + at, static_cast<size_t>(got)) != 0)
            return false;
        at += static_cast<qsizetype>(got);
    }
}

bool WriteAllAt(HANDLE handle, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        OVERLAPPED at = At(done);
        DWORD written = 0;
        const auto part = static_cast<DWORD>(std::min<qint64>(bytes.size() - done, MaxTransfer));
        if (!::WriteFile(handle, bytes.constData() + done, part, &written, &at))
            return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

bool SetLength(HANDLE handle, qint64 length)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    return ::SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end);
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

bool SameContentTime(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b)
{
    return SameFile(a, b) && a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
           ::CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
}

std::variant<OpenFile, Fault> OpenForReading(const QByteArray &systemPath, Links links)
{
    const std::wstring path = WidePath(systemPath);
    const size_t cut = path.find_last_of(L'\\');
    if (path.empty() || cut == std::wstring::npos || cut + 1 == path.size())
        return Fault{true, false, QString()};
    OpenFile file;
    // The name itself first, a link as the link: whether it is one is decided by the open that reads.
    // Folders open too (backup semantics), to be told apart from files.
    constexpr DWORD asItIs = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    file.handle = OpenExisting(path, GENERIC_READ, ShareReadWrite, asItIs);
    if (!file.handle.valid())
        return LastErrorFault();
    // A device or a pipe is asked nothing more.
    if (::GetFileType(file.handle.get()) != FILE_TYPE_DISK)
        return Refused(QStringLiteral("It is not a regular file."));
    if (!::GetFileInformationByHandle(file.handle.get(), &file.info))
        return Refused(CauseOfError(static_cast<int>(::GetLastError())));
    file.folder = path.substr(0, cut);
    file.name = path.substr(cut + 1);
    file.reopenFlags = FILE_FLAG_OPEN_REPARSE_POINT;
    if (file.info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        const bool isLink = ::GetFileInformationByHandleEx(file.handle.get(), FileAttributeTagInfo, &tag, sizeof tag) &&
                            IsReparseTagNameSurrogate(tag.ReparseTag);
        if (isLink && links == Links::Refuse)
            return Fault{false, true, QStringLiteral("Its name is a symbolic link.")};
        // A link leads on; any other reparse point (a file kept in the cloud) is read as a file.
        file.handle = OpenExisting(path, GENERIC_READ, ShareReadWrite, FILE_FLAG_BACKUP_SEMANTICS);
        if (!file.handle.valid())
            return LastErrorFault();
        if (!::GetFileInformationByHandle(file.handle.get(), &file.info))
            return Refused(CauseOfError(static_cast<int>(::GetLastError())));
        file.reopenFlags = 0;
        if (isLink) {
            const std::wstring target = FinalPath(file.handle.get());
            const size_t at = target.find_last_of(L'\\');
            if (target.empty() || at == std::wstring::npos)
                return Refused(CauseOfError(static_cast<int>(::GetLastError())));
            file.folder = target.substr(0, at);
            file.name = target.substr(at + 1);
            file.followedLink = true;
        }
    }
    if (file.info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Refused(QStringLiteral("It is a folder, not a file."));
    if (::GetFileType(file.handle.get()) != FILE_TYPE_DISK)
        return Refused(QStringLiteral("It is not a regular file."));
    return file;
}

std::variant<QByteArray, Fault> ReadAll(const OpenFile &file, qint64 maxBytes)
{
    QByteArray bytes;
    if (!ReadFrom(file.handle.get(), bytes, maxBytes))
        return Refused(CauseOfError(static_cast<int>(::GetLastError())));
    if (bytes.size() > maxBytes)
        return Refused(QStringLiteral("The file is larger than %1 MiB.").arg(maxBytes >> 20));
    return bytes;
}

} // namespace korsa::windows
