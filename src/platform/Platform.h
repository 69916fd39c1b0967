#pragma once

#include <QString>

namespace korsa {

// Exit statuses of the trainer and the command-line tool.
namespace exit_status {
inline constexpr int Ok = 0;
inline constexpr int ScreenTooSmall = 1;
inline constexpr int FileMissing = 2;
inline constexpr int TrackFileUnreadable = 3;
inline constexpr int NotSorvenaTrack = 4;
inline constexpr int SaveFailed = 5;
inline constexpr int Usage = 64;
inline constexpr int OutputFailed = 74;
} // namespace exit_status

// The user's answer to the question whether to save before the program ends.
enum class SaveAnswer { Save, Discard, Cancel };

// The edges of the window that tests need to watch: messages, termination, the screen and the
// program's own folder. Needs only Qt Core; the window's implementation (QtPlatform) lives in a
// library of its own, so code that only reads and writes files never pulls in the widgets.
class Platform
{
public:
    virtual ~Platform() = default;

    // A modal information message with a single OK button; returns when it is closed.
    virtual void ShowMessage(const QString &text, const QString &caption) = 0;
    // A modal question with the buttons Save (the default), Discard and Cancel (also Escape and the
    // close box); returns the answer.
    virtual SaveAnswer AskToSave(const QString &text, const QString &caption) = 0;
    // Ends the process at once: no event loop, no close handlers, nothing saved.
    [[noreturn]] virtual void Terminate(int status) = 0;
    // Height of the screen in its own pixels (lines), whatever the desktop's scaling.
    virtual int ScreenHeightPixels() const = 0;
    // The folder that holds the program file, without a trailing separator.
    virtual QString ProgramFolder() const = 0;
};

// Joins a folder and a name with the platform's separator.
QString JoinPath(const QString &folder, const QString &name);

} // namespace korsa
