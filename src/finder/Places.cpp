#include "finder/Places.h"

#include "finder/FinderPaths.h"
#include "platform/ProgramFolder.h"
#include "track_file/FileExists.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace korsa::finder {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// The text of a vdf file as tokens: quoted strings (with backslash escapes), bare words, braces.
class VdfTokens
{
public:
    explicit VdfTokens(const QByteArray &text) : text_(text) {}

    // The next token; false at the end. A brace comes back as itself with brace set.
    bool Next(QByteArray &token, bool &brace)
    {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (IsSpace(c)) {
                ++at_;
            } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/') {
                const qsizetype end = text_.indexOf('\n', at_);
                at_ = end < 0 ? text_.size() : end + 1;
            } else {
                break;
            }
        }
        if (at_ >= text_.size())
            return false;
        token.clear();
        const char first = text_[at_];
        brace = first == '{' || first == '}';
        if (brace) {
            token += first;
            ++at_;
        } else if (first == '"') {
            for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
                if (text_[at_] == '\\' && at_ + 1 < text_.size()) {
                    const char escaped = text_[++at_];
                    token += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
                } else {
                    token += text_[at_];
                }
            }
            ++at_; // the closing quote, if there is one
        } else {
            while (at_ < text_.size() && !IsSpace(text_[at_]) && text_[at_] != '"' && text_[at_] != '{' &&
                   text_[at_] != '}')
                token += text_[at_++];
        }
        return true;
    }

private:
    const QByteArray &text_;
    qsizetype at_ = 0;
};

bool AllDigits(const QByteArray &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

QStringList LibraryFoldersIn(const QString &vdfPath)
{
    QFile file(vdfPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = file.read(MaxLibraryFileBytes);
    // Some editors save it with a UTF-8 byte-order mark.
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);

    // "libraryfolders" { "0" { "path" "/home/racer/.local/share/Steam" ... } "1" { ... } }, or in
    // older files "libraryfolders" { "1" "/mnt/games/SteamLibrary" }.
    QStringList folders;
    VdfTokens tokens(text);
    QByteArray token, key, outer;
    bool brace = false, haveKey = false;
    int depth = 0;
    while (tokens.Next(token, brace)) {
        if (brace) {
            if (token == "{") {
                if (++depth == 1)
                    outer = haveKey ? key.toLower() : QByteArray();
            } else {
                depth = std::max(0, depth - 1);
            }
            haveKey = false;
        } else if (!haveKey) {
            key = token;
            haveKey = true;
        } else {
            haveKey = false;
            const bool named =
                outer == "libraryfolders" &&
                ((depth == 2 && key.compare("path", Qt::CaseInsensitive) == 0) || (depth == 1 && AllDigits(key)));
            const QString folder = QString::fromUtf8(token);
            if (named && QDir::isAbsolutePath(folder))
                folders.append(folder);
        }
    }
    return folders;
}

QStringList SteamLibraries(const QString &home)
{
    QStringList installations, libraries;
    const auto add = [](QStringList &list, const QString &folder) {
        const QFileInfo info(folder);
        const QString canonical = CleanFolder(info.canonicalFilePath());
        if (!canonical.isEmpty() && QFileInfo(canonical).isDir() && !ContainsFolder(list, canonical))
            list.append(canonical);
    };
    for (const QString &installation : SteamInstallations(home))
        add(installations, installation);
    for (const QString &steam : installations) {
        const QDir steamapps(QDir(steam).filePath(QStringLiteral("steamapps")));
        if (steamapps.exists())
            add(libraries, steam);
        for (const QString &folder : LibraryFoldersIn(steamapps.filePath(QStringLiteral("libraryfolders.vdf"))))
            add(libraries, folder);
    }
    return libraries;
}

QString GamesFolder(const QString &library) { return QDir(library).filePath(QStringLiteral("steamapps/common")); }

QString FirstRunFolder(const QString &programFolder, const QString &home)
{
    // The same decision as where the settings go: a copy of the program in a writable folder of its own.
    if (KeepsFilesBesideItself(programFolder))
        return CleanFolder(programFolder);
    for (const QString &library : SteamLibraries(home)) {
        if (QFileInfo(GamesFolder(library)).isDir())
            return CleanFolder(GamesFolder(library));
    }
    return CleanFolder(home);
}

bool RemembersFolder(const QString &trackFolder, const QString &programFolder)
{
    return FileExists(trackFolder) && CleanFolder(trackFolder) != CleanFolder(programFolder);
}

} // namespace korsa::finder
