#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace korsa {

// The command line's arguments after the program's name, as text.
QStringList ArgumentTexts(int argc, char *argv[]);
// The same as paths in SystemPath form: on Linux the bytes as given, so a name that is no UTF-8
// text still opens; on Windows the UTF-8 of the arguments as typed, whatever their letters.
QList<QByteArray> ArgumentPaths(int argc, char *argv[]);

// The path made absolute against the current folder (however long that is), in SystemPath form; as
// it is where the current folder is unknown.
QByteArray AbsoluteSystemPath(const QByteArray &path);

// Writes the text to a standard stream as UTF-8, byte for byte on every system (no line ends
// changed); a Windows console gets its characters. Returns what fputs does.
int WriteText(std::FILE *stream, const QString &text);

} // namespace korsa
