// Windows' errors (GetLastError) as the sentences the user reads. The common ones are worded as on
// Linux, so a message reads the same on both; the rest in the system's own English words.

#include "platform/FileCause.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace korsa {

// ERROR_DISK_QUOTA_EXCEEDED, which MinGW's headers lack.
constexpr DWORD DiskQuotaExceeded = 1295;

QString SystemWords(int error)
{
    switch (static_cast<DWORD>(error)) {
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
        return QStringLiteral("Permission denied");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return QStringLiteral("No such file or directory");
    case ERROR_WRITE_PROTECT:
        return QStringLiteral("Read-only file system");
    case ERROR_FILENAME_EXCED_RANGE:
        return QStringLiteral("File name too long");
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return QStringLiteral("The file is in use by another program");
    case ERROR_NOT_READY:
        return QStringLiteral("The drive is not ready");
    default:
        break;
    }
    wchar_t *text = nullptr;
    constexpr DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    // English where the system has it, whatever the user's language, as the messages around it are.
    DWORD length = 0;
    for (const WORD language :
         {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)}) {
        length = ::FormatMessageW(flags, nullptr, static_cast<DWORD>(error), language, reinterpret_cast<LPWSTR>(&text),
                                  0, nullptr);
        if (length != 0)
            break;
    }
    QString words = length ? QString::fromWCharArray(text, static_cast<qsizetype>(length)).trimmed()
                           : QStringLiteral("Windows error %1").arg(static_cast<DWORD>(error));
    if (text)
        ::LocalFree(text);
    while (words.endsWith(QLatin1Char('.')))
        words.chop(1);
    return words;
}

QString CauseOfError(int error)
{
    const auto code = static_cast<DWORD>(error);
    if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL || code == DiskQuotaExceeded)
        return QStringLiteral("The disk is full.");
    return SystemWords(error) + QLatin1Char('.');
}

} // namespace korsa
