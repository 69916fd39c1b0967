// The announcer as the window drives it, heard on a real sound server (a PulseAudio null sink):
// the option, entering pictures, and what the pointer passes over next.

#include "support/SoundServer.h"
#include "support/TrainerWindow.h"

using namespace korsa;
using test::OurStreams;

namespace {

const QStringList Playing = {QStringLiteral("s16le 1ch 22050Hz")};
// A sound starts or stops within this time; every announcement lasts more than twice as long.
constexpr int QuietMs = 500;

} // namespace

class WindowSoundTest : public QObject
{
    Q_OBJECT

    std::optional<test::TrainerWindow> w_;

    QAction *Option() { return w_->Find<QAction>(QStringLiteral("mnuTrackAnnouncer")); }

private slots:
    void initTestCase()
    {
        if (!test::Pactl({QStringLiteral("info")})) {
            if (qEnvironmentVariableIsSet("KORSA_REQUIRE_SOUND"))
                QFAIL("no PulseAudio server answers (run it under tests/support/pulseaudio.sh)");
            QSKIP("no PulseAudio server answers");
        }
    }
    void init()
    {
        QTRY_VERIFY_WITH_TIMEOUT(OurStreams(true).isEmpty(), 5000);
        w_.emplace();
    }
    void cleanup() { w_.reset(); }

    // The pointer enters a picture, then passes over another control: what plays afterwards.
    void enteringAPicturePlays_data()
    {
        QTest::addColumn<bool>("chosen"); // a track accepted
        QTest::addColumn<bool>("option");
        QTest::addColumn<QString>("over"); // empty: the pointer stays on the picture
        QTest::addColumn<bool>("playing");
        QTest::newRow("no track yet") << false << true << "" << false;
        QTest::newRow("option off") << true << false << "" << false;
        QTest::newRow("picture") << true << true << "" << true;
        QTest::newRow("then the frame on the picture") << true << true << "Shape1_6" << true;
        QTest::newRow("then a section caption") << true << true << "lblPictureName_6" << true;
        QTest::newRow("then the status frame") << true << true << "Frame1" << true;
        QTest::newRow("then the map") << true << true << "TrackMap" << false;
        QTest::newRow("then the background") << true << true << "client" << false;
    }
    void enteringAPicturePlays()
    {
        QFETCH(bool, chosen);
        QFETCH(bool, option);
        QFETCH(QString, over);
        QFETCH(bool, playing);
        if (chosen)
            w_->Select(QStringLiteral("track.ini"));
        if (option)
            Option()->trigger();
        w_->Hover(w_->Picture(6));
        if (!over.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(OurStreams(true), Playing, QuietMs);
            w_->Hover(w_->Find(over), QPoint(3, 12));
        }
        const QStringList after = playing ? Playing : QStringList();
        if (playing == !over.isEmpty()) { // nothing is to change: a change gets its time to show
            QTest::qWait(QuietMs);
            QCOMPARE(OurStreams(true), after);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(OurStreams(true), after, QuietMs);
        }
    }

    // Switching the option off leaves the announcement playing to its end.
    void switchingTheOptionOffLetsTheAnnouncementFinish()
    {
        w_->Select(QStringLiteral("track.ini"));
        Option()->trigger();
        w_->Hover(w_->Picture(6));
        QTRY_COMPARE_WITH_TIMEOUT(OurStreams(true), Playing, QuietMs);
        Option()->trigger();
        QVERIFY(!Option()->isChecked());
        QTest::qWait(QuietMs);
        QCOMPARE(OurStreams(true), Playing);
        QTRY_VERIFY_WITH_TIMEOUT(OurStreams(true).isEmpty(), 4000);
    }
};

QTEST_MAIN(WindowSoundTest)
#include "tst_window_sound.moc"
