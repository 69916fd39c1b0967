// How long the window takes from the scroll bar's thumb being dragged one step to the start marker
// painted in its new place, against the same drag with the markers hidden (the bar alone); how
// much of the map such a step repaints; and a drag paced at 60 steps a second, whose every step
// should be on the screen before the next one comes. Run it on a real X server:
//   tests/support/with-xvfb.sh 1280x1024 build/bench/bench_marker_bench

#include "KorsaResources.h"
#include "Median.h"
#include "TrainerWithTrack.h"
#include "support/Pointer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Counts the paints of the widget it watches and the area they cover.
class PaintWatch : public QObject
{
public:
    int count = 0;
    double area = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++count;
            for (const QRect &rect : static_cast<QPaintEvent *>(event)->region())
                area += static_cast<double>(rect.width()) * rect.height();
        }
        return QObject::eventFilter(watched, event);
    }
};

// Milliseconds from `act` until the watched widget has been painted, as the window's event loop
// paints and shows it in one go; negative when it never is.
double UntilPainted(const PaintWatch &watch, const std::function<void()> &act)
{
    QElapsedTimer timer;
    timer.start();
    const int before = watch.count;
    act();
    while (watch.count == before && timer.elapsed() < 1000)
        QCoreApplication::processEvents();
    return watch.count == before ? -1.0 : static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void Report(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("  %-20s median %.3f ms   90th %.3f   99th %.3f   max %.3f\n", what, Median(ms), ms[ms.size() * 9 / 10],
                ms[ms.size() * 99 / 100], ms.back());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    korsa::InitResources();
    TrainerWithTrack trainer;
    if (!trainer.Open())
        return 1;
    korsa::MainWindow &window = *trainer.window;
    auto *bar = window.findChild<QScrollBar *>(QStringLiteral("HScroll1"));
    auto *map = window.findChild<QWidget *>(QStringLiteral("TrackMap"));
    auto *markers = window.findChild<QWidget *>(QStringLiteral("startMarkers"));
    if (!bar || !map || !markers)
        return 1;
    PaintWatch mapPaints, markerPaints, barPaints;
    map->installEventFilter(&mapPaints);
    markers->installEventFilter(&markerPaints);
    bar->installEventFilter(&barPaints);
    QWindow *handle = window.windowHandle();

    // The thumb taken as a user takes it, then moved 3 pixels a step, which always moves the start,
    // to and fro along a third of the bar.
    const QPoint grip = bar->mapTo(&window, korsa::test::ThumbCentre(bar));
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    const int reach = bar->width() / 9;
    const auto stepTo = [&](int k) {
        const int phase = k % (2 * reach);
        return grip + QPoint(3 * (phase < reach ? phase + 1 : 2 * reach - phase - 1), 0);
    };
    const auto step = [&](int k, const PaintWatch &watch) {
        return UntilPainted(watch, [&] { QTest::mouseMove(handle, stepTo(k)); });
    };

    // In turns of 25 steps with the markers shown and hidden; the first step of a turn, which also
    // paints what showing or hiding them changed, is not counted.
    const int rounds = 300, turn = 25;
    std::vector<double> moved, barAlone;
    double repainted = 0;
    for (int k = 0; k < 2 * rounds; ++k) {
        const bool shown = k / turn % 2 == 0;
        if (k % turn == 0) {
            markers->setVisible(shown);
            step(k, barPaints);
            continue;
        }
        const double area = mapPaints.area;
        const double ms = step(k, shown ? markerPaints : barPaints);
        if (ms < 0) {
            std::fprintf(stderr, "step %d was never painted\n", k);
            return 1;
        }
        (shown ? moved : barAlone).push_back(ms);
        if (shown)
            repainted += mapPaints.area - area;
    }
    markers->show();

    // Paced at 60 steps a second: each step should be on the screen before the next is due.
    const double frame = 1000.0 / 60;
    const int pacedSteps = 240;
    std::vector<double> paced;
    int late = 0;
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < pacedSteps; ++k) {
        while (static_cast<double>(clock.nsecsElapsed()) / 1e6 < k * frame) {
            QCoreApplication::processEvents();
            QThread::usleep(200);
        }
        paced.push_back(step(2 * rounds + k, markerPaints));
        late += paced.back() < 0 || paced.back() > frame;
    }
    QTest::mouseRelease(handle, Qt::LeftButton, {}, stepTo(2 * rounds + pacedSteps - 1));

    std::printf("thumb dragged one step -> start marker painted, %zu steps (map %dx%d):\n", moved.size(), map->width(),
                map->height());
    const double m = Median(moved), b = Median(barAlone);
    Report("marker step", moved);
    Report("bar alone", barAlone);
    std::printf("  goal median <= 2 ms: %s;  ratio of medians %.2fx\n", m <= 2.0 ? "met" : "NOT met", m / b);
    const double perStep = repainted / static_cast<double>(moved.size());
    std::printf("  map area repainted per step: %.0f of %d px (%.2f %%)\n", perStep, map->width() * map->height(),
                100 * perStep / (map->width() * map->height()));
    std::printf("drag paced at 60 steps a second, %d steps:\n", pacedSteps);
    Report("marker step", paced);
    std::printf("  steps not on the screen within the %.1f ms frame: %d (goal 0: %s)\n", frame, late,
                late == 0 ? "met" : "NOT met");
    return 0;
}
