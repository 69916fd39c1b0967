#pragma once

#include "session/StartPositionSession.h"

#include <functional>

namespace korsa::test {

// Shows the session's state as plain values; a scroll value set by the program raises the change
// handler synchronously, as the real bar does, when it differs from the bar's value.
class RecordingView final : public SessionView
{
public:
    void SetLabel1(const QString &caption) override { label1 = caption; }
    void SetLabel2(const QString &caption) override { label2 = caption; }
    void SetScrollValue(int value) override
    {
        if (value == scrollValue)
            return;
        scrollValue = value;
        ++scrollChanges;
        if (onScrollChange)
            onScrollChange(value);
    }
    void ShowPlainMap() override { ++plainMaps; }
    void EnableTrackCommands() override { enabled = true; }

    // The user moves the bar: nothing happens unless the value changes.
    void UserMovesBar(int value) { SetScrollValue(value); }

    QString label1;
    QString label2;
    int scrollValue = 0;
    int scrollChanges = 0;
    int plainMaps = 0;
    bool enabled = false;
    std::function<void(int)> onScrollChange;
};

} // namespace korsa::test
