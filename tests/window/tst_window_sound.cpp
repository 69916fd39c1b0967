// The announcer as the window drives it, heard on a real sound server (a PulseAudio null sink):
// the option, entering pictures, and the map and background silencing it.

#include "KorsaResources.h"
#include "presentation/Form1.h"
#include "support/TempTree.h"
#include "support/TestPlatform.h"

#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QtTest>

using namespace korsa;

namespace {

// The sample formats of this process's uncorked streams on the sound server.
QStringList OurPlayingStreams()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
    if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0)
        qFatal("pactl list sink-inputs failed");
    const QString pid = QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid());
    QStringList formats;
    for (const QString &block : QString::fromLocal8Bit(pactl.readAllStandardOutput()).split(QStringLiteral("Sink Input #"))) {
        if (!block.contains(pid) || block.contains(QStringLiteral("Corked: yes")))
            continue;
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("Sample Spec\\w*: (\\S+ \\d+ch \\d+Hz)")).match(block);
        formats << (m.hasMatch() ? m.captured(1) : QStringLiteral("?"));
    }
    return formats;
}

const QStringList OneAnnouncement = {QStringLiteral("s16le 1ch 22050Hz")};

} // namespace

class WindowSoundTest : public QObject
{
    Q_OBJECT

private:
    test::TempTree tree_;
    test::TestPlatform platform_;
    std::unique_ptr<Form1> window_;

    QWidget *Find(const QString &name) const { return window_->findChild<QWidget *>(name); }
    void Hover(QWidget *widget, QPoint at = QPoint(12, 12))
    {
        QWindow *window = window_->windowHandle();
        QTest::mouseMove(window, widget->mapTo(window_.get(), at + QPoint(1, 1)));
        QTest::mouseMove(window, widget->mapTo(window_.get(), at));
    }
    QAction *Option() const { return window_->findChild<QAction *>(QStringLiteral("mnuTrackAnnouncer")); }

private slots:
    void initTestCase()
    {
        QProcess info;
        info.start(QStringLiteral("pactl"), {QStringLiteral("info")});
        const bool server = info.waitForFinished(5000) && info.exitCode() == 0;
        if (!server && qEnvironmentVariableIsSet("KORSA_REQUIRE_SOUND"))
            QFAIL("no PulseAudio server answers (run it under tests/support/pulseaudio.sh)");
        if (!server)
            QSKIP("no PulseAudio server answers");
        InitResources();
        tree_.write(QStringLiteral("track.ini"),
                    "track_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\nstall_0 = 1500\r\n");
        platform_.screenHeight = 1024;
        platform_.programFolder = tree_.path();
        window_ = std::make_unique<Form1>(platform_);
        window_->Form_Load();
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->showFinder = [this](SessionState &state) {
            state.TrackFolder = tree_.path();
            state.TrackFileName = QStringLiteral("track.ini");
        };
    }
    void init()
    {
        Hover(window_->centralWidget(), QPoint(3, window_->centralWidget()->height() - 4));
        QTRY_VERIFY_WITH_TIMEOUT(OurPlayingStreams().isEmpty(), 5000);
    }

    void nothingPlaysBeforeATrackIsChosen()
    {
        Option()->trigger();
        QVERIFY(Option()->isChecked());
        Hover(Find(QStringLiteral("GEMPic1_2")));
        QTest::qWait(800);
        QVERIFY(OurPlayingStreams().isEmpty());
        Option()->trigger();
        window_->mnuSelectTrack_Click();
    }

    void withTheOptionOffNothingPlays()
    {
        QVERIFY(!Option()->isChecked());
        Hover(Find(QStringLiteral("GEMPic1_0")));
        Hover(Find(QStringLiteral("GEMPic1_1")));
        QCOMPARE(window_->LastHoverSection(), 1);
        QTest::qWait(800);
        QVERIFY(OurPlayingStreams().isEmpty());
    }

    void enteringAPicturePlaysAndTheMapOrBackgroundStopsIt_data()
    {
        QTest::addColumn<QString>("stopOver");
        QTest::addColumn<bool>("stops");
        QTest::newRow("map") << "TrackMap" << true;
        QTest::newRow("background") << "client" << true;
        QTest::newRow("section caption") << "lblPictureName_4" << false;
        QTest::newRow("status frame") << "Frame1" << false;
    }
    void enteringAPicturePlaysAndTheMapOrBackgroundStopsIt()
    {
        QFETCH(QString, stopOver);
        QFETCH(bool, stops);
        Option()->setChecked(true);
        Hover(Find(QStringLiteral("GEMPic1_3")));
        Hover(Find(QStringLiteral("GEMPic1_4")));
        QTRY_COMPARE_WITH_TIMEOUT(OurPlayingStreams(), OneAnnouncement, 5000);
        // Over the frame drawn on the picture the pointer is still over the picture: no restart.
        Hover(Find(QStringLiteral("Shape1_4")), QPoint(2, 2));
        QCOMPARE(window_->LastHoverSection(), 4);
        Hover(Find(stopOver), stopOver == QStringLiteral("client") ? QPoint(3, Find(stopOver)->height() - 4)
                                                                   : QPoint(5, 5));
        if (stops) {
            QTRY_VERIFY_WITH_TIMEOUT(OurPlayingStreams().isEmpty(), 3000);
        } else {
            QTest::qWait(300);
            QCOMPARE(OurPlayingStreams(), OneAnnouncement);
        }
        Option()->setChecked(false);
    }

    void switchingTheOptionOffLetsTheAnnouncementFinish()
    {
        Option()->setChecked(true);
        Hover(Find(QStringLiteral("GEMPic1_6")));
        QTRY_COMPARE_WITH_TIMEOUT(OurPlayingStreams(), OneAnnouncement, 5000);
        Option()->trigger();
        QVERIFY(!Option()->isChecked());
        QTest::qWait(300);
        QCOMPARE(OurPlayingStreams(), OneAnnouncement);
        // Entering another picture with the option off plays nothing new; the last one runs out.
        Hover(Find(QStringLiteral("GEMPic1_7")));
        QTRY_VERIFY_WITH_TIMEOUT(OurPlayingStreams().isEmpty(), 4000);
    }
};

QTEST_MAIN(WindowSoundTest)
#include "tst_window_sound.moc"
