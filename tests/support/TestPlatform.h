#pragma once

#include "platform/Platform.h"

#include <QList>
#include <QString>

namespace korsa::test {

// Records messages instead of showing them. Nothing a test drives through it may end the program.
class TestPlatform final : public Platform
{
public:
    struct Message {
        QString text;
        QString caption;
    };

    void ShowMessage(const QString &text, const QString &caption) override { messages.append({text, caption}); }
    [[noreturn]] void Terminate(int status) override { qFatal("the program would have ended with status %d", status); }
    int ScreenHeightPixels() const override { return screenHeight; }
    QString ProgramFolder() const override { return programFolder; }

    QList<Message> messages;
    int screenHeight = 1024;
    QString programFolder;
};

} // namespace korsa::test
