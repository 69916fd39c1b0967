#pragma once

#include "platform/Platform.h"

#include <QList>
#include <QPair>
#include <QString>

namespace korsa::test {

// Thrown by TestPlatform::Terminate so a test can see that the program would have ended.
struct Terminated {
    int status;
};

// Records messages instead of showing them; termination throws Terminated.
class TestPlatform final : public Platform
{
public:
    struct Message {
        QString text;
        QString caption;
    };

    void ShowMessage(const QString &text, const QString &caption) override { messages.append({text, caption}); }
    [[noreturn]] void Terminate(int status) override { throw Terminated{status}; }
    int ScreenHeightPixels() const override { return screenHeight; }
    QString ProgramFolder() const override { return programFolder; }

    QList<Message> messages;
    int screenHeight = 1024;
    QString programFolder;
};

} // namespace korsa::test
