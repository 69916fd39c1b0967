#pragma once

#include "platform/Platform.h"

namespace korsa {

class QtPlatform final : public Platform
{
public:
    void ShowMessage(const QString &text, const QString &caption) override;
    SaveAnswer AskToSave(const QString &text, const QString &caption) override;
    [[noreturn]] void Terminate(int status) override;
    int ScreenHeightPixels() const override;
    QString ProgramFolder() const override;
};

} // namespace korsa
