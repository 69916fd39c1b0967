// The system's files and command line on Windows.

#include "platform/Console.h"
#include "platform/FileCause.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemFiles.h"
#include "platform/WindowsFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringDecoder>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

namespace korsa {

using namespace windows;

QByteArray SystemPath(const QString &path) { return path.toUtf8(); }

QString PathText(const QByteArray &path)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(path);
    return utf8.hasError() ? QString::fromLocal8Bit(path) : text;
}

std::variant<FileContent, ReadFault> ReadFileContent(const QByteArray &path, qint64 maxBytes)
{
    auto opened = OpenForReading(path, Links::Follow);
    if (const Fault *fault = std::get_if<Fault>(&opened))
        return ReadFault{fault->missing, fault->cause};
    const OpenFile &file = std::get<OpenFile>(opened);
    auto bytes = ReadAll(file, maxBytes);
    if (const Fault *fault = std::get_if<Fault>(&bytes))
        return ReadFault{fault->missing, fault->cause};
    return FileContent{std::get<QByteArray>(std::move(bytes)), file.followedLink};
}

bool InSystemProgramTree(const QString &folder)
{
    const QString slashed = QDir::fromNativeSeparators(folder);
    for (const char *variable : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "SystemRoot"}) {
        const QString tree = QDir::fromNativeSeparators(qEnvironmentVariable(variable));
        if (tree.isEmpty())
            continue;
        const QString canonical = QFileInfo(tree).canonicalFilePath();
        for (const QString &form : {tree, canonical}) {
            if (!form.isEmpty() && (slashed.compare(form, Qt::CaseInsensitive) == 0 ||
                                    slashed.startsWith(form + QLatin1Char('/'), Qt::CaseInsensitive)))
                return true;
        }
    }
    return false;
}

QString PerUserSettingsFolder() { return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation); }

bool CanWriteFolder(const QString &folder)
{
    // Windows decides by the folder's access list, which the attributes do not show: a new file there
    // tells, and goes again at once.
    if (!QFileInfo(folder).isDir())
        return false;
    const std::wstring probe = Join(
        WidePath(folder), Wide(QStringLiteral(".korsa-write-test-%1").arg(QRandomGenerator::global()->generate())));
    const HANDLE made = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (made == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(made);
    return true;
}

QStringList ArgumentTexts(int, char *[])
{
    // The arguments as typed, whatever their letters: the 8-bit argv has lost what the code page lacks.
    QStringList texts;
    int count = 0;
    if (LPWSTR *arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            texts.append(QString::fromWCharArray(arguments[i]));
        ::LocalFree(arguments);
    }
    return texts;
}

QList<QByteArray> ArgumentPaths(int argc, char *argv[])
{
    QList<QByteArray> paths;
    for (const QString &text : ArgumentTexts(argc, argv))
        paths.append(SystemPath(text));
    return paths;
}

QByteArray AbsoluteSystemPath(const QByteArray &path) { return SystemPath(ShownPath(WidePath(path))); }

int WriteText(std::FILE *stream, const QString &text)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        DWORD written = 0;
        const std::wstring wide = Wide(text);
        return ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) ? 0 : EOF;
    }
    // Bytes as on Linux: no carriage return put before each line feed.
    ::_setmode(::_fileno(stream), _O_BINARY);
    return std::fputs(text.toUtf8().constData(), stream);
}

} // namespace korsa
