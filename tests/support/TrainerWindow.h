#pragma once

#include "KorsaResources.h"
#include "platform/QtPlatform.h"
#include "presentation/CircuitGeometry.h"
#include "presentation/MainWindow.h"
#include "support/Pointer.h"
#include "support/TempTree.h"
#include "support/TrackText.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <optional>
#include <utility>

namespace korsa::test {

// The program's own message boxes on the real screen, each answered as soon as it shows and noted
// in `boxes` as "caption | text": a message with Enter (noted as amiss if it is not an information
// box with one OK button), the question whether to save with a click on the button `answer`. A
// program that would end throws Ended instead.
class BoxPlatform final : public Platform
{
public:
    struct Ended {
        int status;
    };
    explicit BoxPlatform(QString programFolder) : folder_(std::move(programFolder)) {}
    void ShowMessage(const QString &text, const QString &caption) override
    {
        WhenBoxShows([this](QMessageBox *box) {
            const bool plain = box->icon() == QMessageBox::Information && box->buttons().size() == 1;
            boxes << box->windowTitle() + " | " + box->text() + (plain ? "" : " | not an OK information box");
            widths << box->width();
            QTest::keyClick(box, Qt::Key_Return);
        });
        real_.ShowMessage(text, caption);
    }
    SaveAnswer AskToSave(const QString &text, const QString &caption) override
    {
        WhenBoxShows([this](QMessageBox *box) {
            boxes << box->windowTitle() + " | " + box->text();
            QTest::mouseClick(box->button(answer), Qt::LeftButton);
        });
        return real_.AskToSave(text, caption);
    }
    [[noreturn]] void Terminate(int status) override { throw Ended{status}; }
    int ScreenHeightPixels() const override { return screenHeight.value_or(real_.ScreenHeightPixels()); }
    QString ProgramFolder() const override { return folder_; }

    QStringList boxes;
    QList<int> widths;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    std::optional<int> screenHeight; // the real screen's when not set

private:
    // Runs in the box's own event loop; the single shot dies with the platform if no box came.
    void WhenBoxShows(std::function<void(QMessageBox *)> act)
    {
        QTimer::singleShot(0, &context_, [act] {
            QMessageBox *box = nullptr;
            if (!QTest::qWaitFor([&] { return box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); }))
                qFatal("the message box did not show");
            act(box);
        });
    }

    QString folder_;
    QtPlatform real_;
    QObject context_;
};

// The main window, loaded and shown, with its program folder ("program") and a Sorvena track.ini
// in a temporary folder. Select stands in for the finder's choice.
class TrainerWindow
{
public:
    TrainerWindow()
    {
        window.Load();
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("the main window did not show");
    }

    template <typename T = QWidget> T *Find(const QString &name) { return window.findChild<T *>(name); }
    PictureBox *Picture(int i) { return Find<PictureBox>(QStringLiteral("GEMPic1_%1").arg(i)); }
    QScrollBar *Bar() { return Find<QScrollBar>(QStringLiteral("HScroll1")); }
    QString Label(int line) { return Find<QLabel>(QStringLiteral("Label%1").arg(line))->text(); }
    QImage Map() { return Find<ImageControl>(QStringLiteral("TrackMap"))->Picture(); }
    // A control as the X server shows it.
    QImage Shown(QWidget *control)
    {
        const QPoint at = control->mapTo(&window, QPoint(0, 0));
        return control->screen()
            ->grabWindow(window.winId(), at.x(), at.y(), control->width(), control->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
    // The map as the X server shows it, and as the map control draws it whole: the same once every
    // change has been painted.
    QImage ShownMap() { return Shown(Find(QStringLiteral("TrackMap"))); }
    QImage DrawnMap()
    {
        return Find(QStringLiteral("TrackMap"))->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // Whether the shown map, once every change is painted, has the blue start marker (or the slate
    // ring of the quieter one at the file's own start) centred where `metres` lie on the lap, or,
    // without metres, anywhere. Only the place's surroundings are looked at: the start marker's
    // smoothed edge has shades of the quieter one's ring.
    bool MarkShown(bool original, std::optional<double> metres = {})
    {
        // Once the screen shows what the map draws. At a fractional desktop scale the screen smooths
        // the marker's edge at another sub-pixel place than a grab of the map alone, so there the
        // screen need only have settled: two grabs alike, with the events between them handled.
        const qreal ratio = window.devicePixelRatioF();
        QImage map = ShownMap();
        if (!QTest::qWaitFor([&] {
                if (ratio == std::floor(ratio))
                    return (map = ShownMap()) == DrawnMap();
                QCoreApplication::processEvents();
                const QImage last = std::exchange(map, ShownMap());
                return last == map;
            }))
            return false;
        const QPointF wanted = CircuitGeometry::Sorvena().PointAtMetres(metres.value_or(0), map.size());
        const auto isMark = [original](QRgb c) {
            return original
                       ? qRed(c) > 60 && qRed(c) < 115 && qGreen(c) > 80 && qGreen(c) < 125 && qBlue(c) - qRed(c) > 35
                       : qBlue(c) > 170 && qRed(c) < 100 && qBlue(c) - qGreen(c) > 70;
        };
        const double near = 10.0 * map.width() / Find(QStringLiteral("TrackMap"))->width(); // 10 pixels of the desktop
        QPointF sum;
        int count = 0;
        for (int y = 0; y < map.height(); ++y)
            for (int x = 0; x < map.width(); ++x)
                if ((!metres || QLineF(QPointF(x + 0.5, y + 0.5), wanted).length() < near) && isMark(map.pixel(x, y))) {
                    sum += QPointF(x + 0.5, y + 0.5);
                    ++count;
                }
        return count >= 12 && (!metres || QLineF(sum / count, wanted).length() < near / 6);
    }

    // File > Select Sorvena track.ini... with the finder choosing the name in the temporary folder.
    void Select(const QString &name)
    {
        window.showFinder = [this, name](const QString &, const QString &) {
            return std::optional(TrackChoice{tree.path(), name});
        };
        Find<QAction>(QStringLiteral("mnuSelectTrack"))->trigger();
    }
    // The pointer moves through the window, which finds the control under it, as on the screen.
    void Hover(QWidget *widget, QPoint at = QPoint(10, 10))
    {
        QTest::mouseMove(window.windowHandle(), widget->mapTo(&window, at + QPoint(1, 1)));
        QTest::mouseMove(window.windowHandle(), widget->mapTo(&window, at));
    }
    void HoverBackground() { Hover(window.centralWidget(), QPoint(3, window.centralWidget()->height() - 4)); }
    void Click(QWidget *widget, QPoint at = QPoint(20, 20)) { test::Click(widget, at); }

    TempTree tree;
    BoxPlatform platform{Prepare(tree)};
    MainWindow window{platform};

private:
    // Everything the window reads as it is made; returns the program folder.
    static QString Prepare(const TempTree &tree)
    {
        InitResources();
        // A settings file per user is looked for, and written, inside the temporary folder only.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tree.file(QStringLiteral(".config"))));
        QDir(tree.path()).mkdir(QStringLiteral("program"));
        tree.write(QStringLiteral("track.ini"), TrackText());
        return tree.file(QStringLiteral("program"));
    }
};

} // namespace korsa::test
