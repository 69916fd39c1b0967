// The main window as the window benchmarks measure it: shown, with a Sorvena track file accepted.
#pragma once

#include "platform/QtPlatform.h"
#include "presentation/MainWindow.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

// Real screen; messages go to standard error instead of boxes a benchmark cannot close.
class BenchPlatform final : public korsa::Platform
{
public:
    void ShowMessage(const QString &text, const QString &caption) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    }
    korsa::SaveAnswer AskToSave(const QString &, const QString &) override { return korsa::SaveAnswer::Discard; }
    [[noreturn]] void Terminate(int status) override { std::exit(status); }
    int ScreenHeightPixels() const override { return real.ScreenHeightPixels(); }
    QString ProgramFolder() const override { return folder.path(); }
    korsa::QtPlatform real;
    QTemporaryDir folder;
};

struct TrainerWithTrack {
    BenchPlatform platform;
    std::unique_ptr<korsa::MainWindow> window;

    // False when the track file cannot be written or the window never shows.
    bool Open()
    {
        QFile track(platform.folder.filePath(QStringLiteral("track.ini")));
        if (!track.open(QIODevice::WriteOnly) ||
            track.write("track_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\nstall_0 = 1500 0.0\r\n") < 0)
            return false;
        track.close();
        window = std::make_unique<korsa::MainWindow>(platform);
        window->Load();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        window->showFinder = [this](const QString &, const QString &) {
            return std::optional(korsa::TrackChoice{platform.folder.path(), QStringLiteral("track.ini")});
        };
        window->SelectTrack();
        // As a user finds it: the window painted with the track taken, before the pointer moves.
        // Its first paint also sets up the window's drawing surface, which is no part of a hover.
        window->repaint();
        QCoreApplication::processEvents();
        return true;
    }
};
