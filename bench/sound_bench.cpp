// How long the window takes from the pointer entering a section picture (announcer on) until the
// sound server plays the announcement's first sample, against a bare sound output that was opened
// beforehand and is handed the same samples at once.
//
// The server's side is heard on the monitor of its null sink, recorded by parec with a latency of
// 2 ms; the announcement's leading silence (read from its WAVE data) is taken off, so both figures
// are "first sample played". Needs a PulseAudio daemon with a null sink as default
// (tests/support/pulseaudio.sh) and an X server:
//   tests/support/pulseaudio.sh && tests/support/with-xvfb.sh 1280x1024 build/bench/bench_sound_bench [ROUNDS]

#include "KorsaResources.h"
#include "Median.h"
#include "TrainerWithTrack.h"

#include <QAction>
#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QFile>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

double NowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

constexpr int Loud = 200; // a sample above this is sound, not silence or rounding

// Records the null sink's monitor and notes when sound first follows silence.
class Monitor
{
public:
    bool Start()
    {
        pipe_ = popen(
            "exec parec -d null.monitor --raw --format=s16le --channels=1 --rate=22050 --latency-msec=2 2>/dev/null",
            "r");
        if (!pipe_)
            return false;
        reader_ = std::thread([this] {
            qint16 block[64];
            for (;;) {
                const std::size_t n = fread(block, sizeof(qint16), 64, pipe_);
                if (n == 0)
                    return;
                const double now = NowMs();
                bool loud = false;
                for (std::size_t k = 0; k < n; ++k)
                    loud = loud || std::abs(block[k]) > Loud;
                if (loud) {
                    lastLoud_ = now;
                    double expected = 0;
                    firstLoud_.compare_exchange_strong(expected, now);
                }
            }
        });
        // It reads until the process ends.
        reader_.detach();
        return true;
    }
    // Waits until nothing has sounded for `quietMs`, then listens afresh.
    bool WaitQuiet(double quietMs, double timeoutMs)
    {
        const double deadline = NowMs() + timeoutMs;
        while (NowMs() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (NowMs() - lastLoud_.load() > quietMs) {
                firstLoud_ = 0;
                return true;
            }
        }
        return false;
    }
    // The moment sound was first heard since WaitQuiet, or 0 after the timeout.
    double WaitLoud(double timeoutMs)
    {
        const double deadline = NowMs() + timeoutMs;
        while (firstLoud_.load() == 0 && NowMs() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        return firstLoud_.load();
    }

private:
    FILE *pipe_ = nullptr;
    std::thread reader_;
    std::atomic<double> firstLoud_{0};
    std::atomic<double> lastLoud_{0};
};

struct Wave {
    QAudioFormat format;
    QByteArray samples;
    double leadingSilenceMs = 0;
};

// The embedded announcement: its samples, and how long it is silent before its first loud one.
Wave EmbeddedWave(int section)
{
    QFile file(QStringLiteral(":/SOUND/%1.wav").arg(300 + section));
    Wave wave;
    if (!file.open(QIODevice::ReadOnly))
        return wave;
    const QByteArray bytes = file.readAll();
    const int data = bytes.indexOf("data");
    if (data < 0)
        return wave;
    const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + data + 4);
    wave.samples = bytes.mid(data + 8, size);
    wave.format.setSampleFormat(QAudioFormat::Int16);
    wave.format.setChannelCount(1);
    wave.format.setSampleRate(22050);
    const auto *s = reinterpret_cast<const qint16 *>(wave.samples.constData());
    for (qsizetype k = 0; k < wave.samples.size() / 2; ++k)
        if (std::abs(qFromLittleEndian(s[k])) > Loud) {
            wave.leadingSilenceMs = 1000.0 * static_cast<double>(k) / 22050.0;
            break;
        }
    return wave;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    korsa::InitResources();
    const int rounds = std::max(15, argc > 1 ? std::atoi(argv[1]) : 15);
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        std::fprintf(stderr, "no sound output: run tests/support/pulseaudio.sh first\n");
        return 1;
    }
    Monitor monitor;
    if (!monitor.Start() || !monitor.WaitQuiet(300, 5000)) {
        std::fprintf(stderr, "cannot record the null sink's monitor (parec)\n");
        return 1;
    }

    TrainerWithTrack opened;
    if (!opened.Open())
        return 1;
    korsa::MainWindow &window = *opened.window;
    QWindow *handle = window.windowHandle();
    QWidget *client = window.centralWidget();
    const QPoint background = client->mapTo(&window, QPoint(3, client->height() - 3));
    window.findChild<QAction *>(QStringLiteral("mnuTrackAnnouncer"))->trigger();

    // A null sink with nothing connected renders up to two seconds ahead, and the first stream to
    // connect waits that out, whoever plays it: one sound on a bare output first, not counted.
    {
        const Wave wave = EmbeddedWave(8);
        QAudioSink sink(QMediaDevices::defaultAudioOutput(), wave.format);
        QIODevice *out = sink.start();
        if (!out)
            return 1;
        out->write(wave.samples);
        if (monitor.WaitLoud(5000) == 0) {
            std::fprintf(stderr, "the null sink's monitor hears nothing\n");
            return 1;
        }
        sink.stop();
    }

    std::vector<double> trainer, bare;
    for (int k = 0; k < rounds; ++k) {
        const int section = k % 9;
        const Wave wave = EmbeddedWave(section);
        // The trainer: the pointer enters the picture.
        QTest::mouseMove(handle, background);
        if (!monitor.WaitQuiet(150, 5000))
            return 1;
        auto *picture = window.findChild<QWidget *>(QStringLiteral("GEMPic1_%1").arg(section));
        const QPoint at = picture->mapTo(&window, QPoint(20, 20));
        const double entered = NowMs();
        QTest::mouseMove(handle, at);
        const double handled = NowMs();
        const double heard = monitor.WaitLoud(3000);
        if (std::getenv("KORSA_BENCH_VERBOSE"))
            std::printf("  hover handled after %.2f ms\n", handled - entered);
        if (heard == 0) {
            std::fprintf(stderr, "round %d: the announcement was not heard\n", k + 1);
            return 1;
        }
        trainer.push_back(heard - entered - wave.leadingSilenceMs);
        QTest::mouseMove(handle, background);

        // The baseline: an output opened beforehand, handed the same samples at once.
        QAudioSink sink(QMediaDevices::defaultAudioOutput(), wave.format);
        sink.setBufferSize(wave.samples.size());
        QIODevice *out = sink.start();
        if (!out || !monitor.WaitQuiet(150, 5000))
            return 1;
        const double started = NowMs();
        out->write(wave.samples);
        const double baseHeard = monitor.WaitLoud(3000);
        if (baseHeard == 0) {
            std::fprintf(stderr, "round %d: the bare output was not heard\n", k + 1);
            return 1;
        }
        bare.push_back(baseHeard - started - wave.leadingSilenceMs);
        sink.stop();
        std::printf("round %2d (section %d): trainer %6.2f ms   bare output %6.2f ms\n", k + 1, section, trainer.back(),
                    bare.back());
    }
    const auto [tMin, tMax] = std::minmax_element(trainer.begin(), trainer.end());
    const auto [bMin, bMax] = std::minmax_element(bare.begin(), bare.end());
    std::printf("\npointer enters a picture -> first announcement sample played by the server, %d rounds:\n", rounds);
    std::printf("  trainer      median %6.2f ms (%.2f..%.2f)   goal <= 30 ms every round: %s\n", Median(trainer), *tMin,
                *tMax, *tMax <= 30.0 ? "met" : "NOT met");
    std::printf(
        "  bare output  median %6.2f ms (%.2f..%.2f)   (opened beforehand; the floor of server and recording)\n",
        Median(bare), *bMin, *bMax);
    std::fflush(stdout);
    std::_Exit(0); // parec and its reader thread end with the process
}
