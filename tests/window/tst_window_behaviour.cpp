// The main window as a user meets it on a real X server: the messages in real message boxes,
// the section pictures, the scroll bar, the Save and Revert buttons and the map under the pointer.

#include "KorsaResources.h"
#include "platform/QtPlatform.h"
#include "presentation/Form1.h"
#include "presentation/ResourcePictures.h"
#include "support/TempTree.h"
#include "support/TrackText.h"

#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

using namespace korsa;
using korsa::test::TempTree;
using korsa::test::TrackText;

namespace {

// Thrown by BoxPlatform::Terminate so a test sees that the program would have ended.
struct Terminated {
    int status;
};

// Real message boxes; termination is reported to the test instead of ending it.
class BoxPlatform final : public Platform
{
public:
    void ShowMessage(const QString &text, const QString &caption) override { real.ShowMessage(text, caption); }
    [[noreturn]] void Terminate(int status) override { throw Terminated{status}; }
    int ScreenHeightPixels() const override { return screenHeight > 0 ? screenHeight : real.ScreenHeightPixels(); }
    QString ProgramFolder() const override { return folder; }

    QtPlatform real;
    int screenHeight = 0;
    QString folder;
};

struct SeenBox {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

// Waits for the next message box, notes what it shows and closes it with Enter, as a user would.
void CloseNextBox(SeenBox *seen)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        seen->text = box->text();
        seen->title = box->windowTitle();
        seen->icon = box->icon();
        seen->buttons = static_cast<int>(box->buttons().size());
        QTest::keyClick(box, Qt::Key_Return);
        timer->deleteLater();
        timer->stop();
    });
    timer->start();
}

const QByteArray Track = TrackText();

} // namespace

class WindowBehaviourTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TempTree> tree_;
    BoxPlatform platform_;
    std::unique_ptr<Form1> window_;

    template <typename T> T *Find(const QString &name) const { return window_->findChild<T *>(name); }
    PictureBox *Picture(int i) const { return Find<PictureBox>(QStringLiteral("GEMPic1_%1").arg(i)); }
    QString Label2() const { return Find<QLabel>(QStringLiteral("Label2"))->text(); }
    QImage Map() const { return Find<ImageControl>(QStringLiteral("TrackMap"))->Picture(); }
    QScrollBar *Bar() const { return Find<QScrollBar>(QStringLiteral("HScroll1")); }

    void SelectTrack(const QString &name)
    {
        window_->showFinder = [this, name](SessionState &state) {
            state.TrackFolder = tree_->path();
            state.TrackFileName = name;
        };
        window_->mnuSelectTrack_Click();
    }
    // The pointer arrives at the point from one pixel away, so every call is a real movement. The
    // movement goes through the window, which finds the control under the pointer itself.
    void Hover(QWidget *widget, QPoint at = QPoint(10, 10))
    {
        QWindow *window = window_->windowHandle();
        QTest::mouseMove(window, widget->mapTo(window_.get(), at + QPoint(1, 1)));
        QTest::mouseMove(window, widget->mapTo(window_.get(), at));
    }
    void HoverBackground() { Hover(window_->centralWidget(), QPoint(3, window_->centralWidget()->height() - 3)); }

private slots:
    void init()
    {
        InitResources();
        tree_ = std::make_unique<TempTree>();
        QDir(tree_->path()).mkdir(QStringLiteral("program"));
        platform_.folder = tree_->file(QStringLiteral("program"));
        platform_.screenHeight = 0;
        tree_->write(QStringLiteral("track.ini"), Track);
        window_ = std::make_unique<Form1>(platform_);
        window_->Form_Load();
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void cleanup()
    {
        window_.reset();
        tree_.reset();
    }

    void aboutShowsVersionAndMaker()
    {
        for (int round = 0; round < 2; ++round) {
            SeenBox seen;
            CloseNextBox(&seen);
            QMenuBar *bar = window_->menuBar();
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(Find<QAction>(QStringLiteral("mnuAbout"))).center());
            QTRY_COMPARE(seen.text, QStringLiteral("v1.0.0 by Penhallow"));
            QCOMPARE(seen.title, QStringLiteral("Korsa Sorvena Trainer"));
            QCOMPARE(seen.icon, QMessageBox::Information);
            QCOMPARE(seen.buttons, 1);
            SelectTrack(QStringLiteral("track.ini")); // and again once a track is chosen
        }
    }

    void screenTooSmallEndsTheProgram_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("refused");
        QTest::newRow("480") << 480 << true;
        QTest::newRow("599") << 599 << true;
        QTest::newRow("600") << 600 << false;
    }
    void screenTooSmallEndsTheProgram()
    {
        QFETCH(int, height);
        QFETCH(bool, refused);
        BoxPlatform small;
        small.screenHeight = height;
        small.folder = tree_->path();
        Form1 window(small);
        SeenBox seen;
        if (refused)
            CloseNextBox(&seen);
        int status = -1;
        try {
            window.Form_Load();
        } catch (const Terminated &t) {
            status = t.status;
        }
        if (!refused) {
            QCOMPARE(status, -1);
            // The menu bar keeps its height, so the client area shrinks a little more than the window.
            const int menu = window.menuBar()->sizeHint().height();
            QVERIFY(std::abs(window.height() - (640.8 + menu) * 0.5859375) <= 1.0);
            QCOMPARE(window.centralWidget()->height(), window.height() - menu);
            return;
        }
        QCOMPARE(status, 1);
        QCOMPARE(seen.text, QStringLiteral("Korsa Sorvena Trainer does not support screen resolutions less than "
                                           "800x600.  You should increase your screen resolution if possible."));
        QCOMPARE(seen.title, QStringLiteral("Korsa Sorvena Trainer"));
        QCOMPARE(seen.icon, QMessageBox::Information);
        QCOMPARE(seen.buttons, 1);
        QVERIFY(!window.isVisible());
    }

    void selectionEnablesTheTrackCommands()
    {
        SelectTrack(QStringLiteral("track.ini"));
        QCOMPARE(Find<QLabel>(QStringLiteral("Label1"))->text(), QStringLiteral("The Sorvena Track Length Is  71989 Meters Long."));
        QCOMPARE(Label2(), QStringLiteral("The Start Position Is  1500 Meters Or  2.1 Percent Beyond The Start Line."));
        QCOMPARE(Bar()->value(), 21);
        QList<QWidget *> controls = {Find<QWidget>("cmdSave"), Find<QWidget>("cmdRevert"), Bar()};
        for (int i = 0; i < 9; ++i)
            controls << Picture(i);
        for (QWidget *control : controls)
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
        QVERIFY(Find<QAction>(QStringLiteral("mnuSave"))->isEnabled() && Find<QAction>(QStringLiteral("mnuRevert"))->isEnabled());
        QCOMPARE(tree_->read(QStringLiteral("program/Korsa Gridwell.ini")), QFile::encodeName(tree_->path()) + "\r\n");
    }

    void everySectionOnTheRealWindow_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("scroll");
        const char *rows[][4] = {{"Varnola", "6050", "8.4", "84"},           {"Dunes", "12200", "16.9", "169"},
                                 {"SR 47 Bridge", "17200", "23.9", "239"},    {"Montaspro Bridge", "27100", "37.6", "376"},
                                 {"Bivio Carrano", "37685", "52.3", "523"},   {"Vallerosa Curves", "46700", "64.9", "649"},
                                 {"SP 6 KM 4", "52850", "73.4", "734"},       {"Pietraforno Curves", "58630", "81.4", "814"},
                                 {"Lidoscuro", "66270", "92.1", "921"}};
        for (int i = 0; i < 9; ++i)
            QTest::newRow(rows[i][0]) << i
                                      << QStringLiteral("The %1 Start Position Is  %2 Meters Or  %3 Percent Beyond The Start Line.")
                                             .arg(QLatin1String(rows[i][0]), QLatin1String(rows[i][1]), QLatin1String(rows[i][2]))
                                      << QByteArray(rows[i][3]).toInt();
    }
    void everySectionOnTheRealWindow()
    {
        QFETCH(int, index);
        SelectTrack(QStringLiteral("track.ini"));
        QTest::mouseClick(Picture(index), Qt::LeftButton, {}, QPoint(30, 30));
        QTEST(Label2(), "caption");
        QTEST(Bar()->value(), "scroll");
    }

    void movingTheBar_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QByteArray>("saved"); // whole metres Save writes: the fraction is dropped
        QTest::newRow("500") << 500 << "This Start Position Is  35995 Meters Or  50 Percent Beyond The Start Line."
                             << QByteArray("35994");
        QTest::newRow("left end") << 0 << "This Start Position Is  0 Meters Or  0 Percent Beyond The Start Line."
                                  << QByteArray("0");
        QTest::newRow("right end") << 1000 << "This Start Position Is  71989 Meters Or  100 Percent Beyond The Start Line."
                                   << QByteArray("71989");
        QTest::newRow("5") << 5 << "This Start Position Is  360 Meters Or  .5 Percent Beyond The Start Line."
                           << QByteArray("359");
    }
    void movingTheBar()
    {
        QFETCH(int, value);
        QFETCH(QByteArray, saved);
        SelectTrack(QStringLiteral("track.ini"));
        // The bar reports a move once, when its value changes, as at the end of a drag.
        Bar()->setValue(value);
        QTEST(Label2(), "caption");
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdSave")), Qt::LeftButton);
        QVERIFY(tree_->read(QStringLiteral("track.ini")).contains("stall_0 = " + saved + " 0.0\t\t; Modified by Korsa Gridwell\r\n"));
    }

    void theBarsArrowAndAClickThatLeavesThePicture()
    {
        SelectTrack(QStringLiteral("track.ini"));
        QScrollBar *bar = Bar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 4, bar->height() / 2));
        QTRY_COMPARE(bar->value(), 31);
        QCOMPARE(Label2(), QStringLiteral("This Start Position Is  2232 Meters Or  3.1 Percent Beyond The Start Line."));
        // A press that is released outside the picture is no click.
        QTest::mousePress(Picture(8), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(Picture(8), Qt::LeftButton, {}, QPoint(Picture(8)->width() + 40, 5));
        QVERIFY(Label2().startsWith(QStringLiteral("This Start Position")));
    }

    void saveAndRevertButtonsWriteTheFile()
    {
        SelectTrack(QStringLiteral("track.ini"));
        QTest::mouseClick(Picture(8), Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdSave")), Qt::LeftButton);
        QCOMPARE(tree_->read(QStringLiteral("track.ini")),
                 QByteArray(Track).replace("stall_0 = 1500 0.0", "stall_0 = 66270 0.0\t\t; Modified by Korsa Gridwell") +
                     "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n");
        QCOMPARE(tree_->read(QStringLiteral("track.ini.bak")), Track);

        Hover(Picture(5));
        QCOMPARE(Map(), LoadResourcePicture(205));
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdRevert")), Qt::LeftButton);
        QCOMPARE(Label2(), QStringLiteral("The Original Start Position Is  1500 Meters Or  2.1 Percent Beyond The Start Line"));
        QCOMPARE(Bar()->value(), 21);
        QCOMPARE(Map(), LoadResourcePicture(210));
        QCOMPARE(tree_->read(QStringLiteral("track.ini")), Track + "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n");
    }

    // A failed command shows its box, and once the box is closed the window is exactly as before;
    // a good choice and a successful Save work afterwards.
    void failedCommandsKeepTheWindow_data()
    {
        QTest::addColumn<QString>("pick");     // the file chosen; empty: Save is pressed instead
        QTest::addColumn<QByteArray>("bytes"); // what the chosen file holds; null: it vanished
        QTest::addColumn<bool>("acceptedBefore");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        const QString readError = QStringLiteral("File Read Error");
        const QString unknown = QStringLiteral("There is an unknown error in the Track.ini file probably caused by a nonstandard format.");
        const QByteArray surface = "[ SURFACE ]\r\ngrip = 1.0\r\n";
        QTest::newRow("pattern-matching file, no track yet") << "track_surface.ini" << surface << false << readError << unknown;
        QTest::newRow("pattern-matching file") << "track_surface.ini" << surface << true << readError << unknown;
        QTest::newRow("another track") << "other.ini" << TrackText("5", "3.2") << true << readError
                                       << QStringLiteral("This is not a Sorvena track.ini file.  Please try again.");
        QTest::newRow("vanished pick") << "gone.ini" << QByteArray() << true << QStringLiteral("File Location Error")
                                       << QStringLiteral("Could not find the Track.ini File");
        QTest::newRow("Save on a read-only file") << QString() << QByteArray() << true << QStringLiteral("File Save Error")
                                                  << QStringLiteral("There was an error while attempting to save the Track.ini file.  "
                                                                    "Check that the file is not marked Read Only.");
    }
    void failedCommandsKeepTheWindow()
    {
        QFETCH(QString, pick);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, acceptedBefore);
        const QString track = tree_->file(QStringLiteral("track.ini"));
        if (acceptedBefore) {
            SelectTrack(QStringLiteral("track.ini"));
            QTest::mouseClick(Picture(6), Qt::LeftButton, {}, QPoint(20, 20));
        }
        const QList<QWidget *> controls = {Find<QWidget>("cmdSave"), Bar(), Picture(0), Picture(8)};
        const auto shown = [&] {
            QStringList state = {Find<QLabel>(QStringLiteral("Label1"))->text(), Label2(), QString::number(Bar()->value())};
            for (QWidget *control : controls)
                state << QString::number(control->isEnabled());
            return state;
        };
        const QStringList before = shown();
        if (!bytes.isNull())
            tree_->write(pick, bytes);

        SeenBox seen;
        CloseNextBox(&seen);
        if (pick.isEmpty()) {
            QVERIFY(QFile::setPermissions(track, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdSave")), Qt::LeftButton);
        } else {
            SelectTrack(pick);
        }
        QTRY_VERIFY(!seen.text.isEmpty());
        QTEST(seen.title, "caption");
        QTEST(seen.text, "text");
        QCOMPARE(seen.icon, QMessageBox::Information);
        QVERIFY(window_->isVisible());
        QCOMPARE(shown(), before);
        QCOMPARE(tree_->read(QStringLiteral("track.ini")), TrackText());

        QVERIFY(QFile::setPermissions(track, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        SelectTrack(QStringLiteral("track.ini"));
        QCOMPARE(Bar()->value(), 21);
        QTest::mouseClick(Picture(8), Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("cmdSave")), Qt::LeftButton);
        QVERIFY(tree_->read(QStringLiteral("track.ini")).contains("stall_0 = 66270 0.0\t\t; Modified by Korsa Gridwell\r\n"));
    }

    // The bar takes focus between the pictures and Save, and the keys and the wheel move it as a
    // user's move does.
    void theBarFromTheKeyboard_data()
    {
        QTest::addColumn<int>("key"); // 0: one wheel notch instead
        QTest::addColumn<int>("wheel");
        QTest::addColumn<int>("value");
        QTest::newRow("Right") << int(Qt::Key_Right) << 0 << 510;
        QTest::newRow("Left") << int(Qt::Key_Left) << 0 << 490;
        QTest::newRow("Down") << int(Qt::Key_Down) << 0 << 510;
        QTest::newRow("Up") << int(Qt::Key_Up) << 0 << 490;
        QTest::newRow("Page Down") << int(Qt::Key_PageDown) << 0 << 550;
        QTest::newRow("Page Up") << int(Qt::Key_PageUp) << 0 << 450;
        QTest::newRow("Home") << int(Qt::Key_Home) << 0 << 0;
        QTest::newRow("End") << int(Qt::Key_End) << 0 << 1000;
        QTest::newRow("wheel towards the user") << 0 << -120 << 510;
        QTest::newRow("wheel away") << 0 << 120 << 490;
    }
    void theBarFromTheKeyboard()
    {
        QFETCH(int, key);
        QFETCH(int, wheel);
        QFETCH(int, value);
        SelectTrack(QStringLiteral("track.ini"));
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        auto *save = Find<QPushButton>(QStringLiteral("cmdSave"));
        save->setFocus();
        QTest::keyClick(save, Qt::Key_Backtab);
        QTRY_COMPARE(QApplication::focusWidget(), Bar());
        QCOMPARE(Bar()->nextInFocusChain(), save);
        Bar()->setValue(500);
        if (key)
            QTest::keyClick(Bar(), Qt::Key(key));
        else {
            const QPoint at = Bar()->rect().center();
            QWheelEvent notch(at, Bar()->mapToGlobal(at), {}, {0, wheel}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(Bar(), &notch);
        }
        QCOMPARE(Bar()->value(), value);
        QVERIFY(Label2().startsWith(QStringLiteral("This Start Position Is ")));
        QVERIFY(Label2().endsWith(QStringLiteral(" Meters Or  %1 Percent Beyond The Start Line.").arg(value / 10)));
    }

    void hoverHighlightsTheSectionOnTheMap()
    {
        const QImage plain = LoadResourcePicture(210);
        QCOMPARE(Map(), plain);
        // Before a track is accepted the pictures are disabled: the plain map stays.
        Hover(Picture(3));
        QCOMPARE(Map(), plain);
        QCOMPARE(window_->LastHoverSection(), -1);

        SelectTrack(QStringLiteral("track.ini"));
        Hover(Picture(3));
        QCOMPARE(Map(), LoadResourcePicture(203));
        QCOMPARE(window_->LastHoverSection(), 3);
        Hover(Picture(3), QPoint(30, 30));
        HoverBackground();
        QCOMPARE(Map(), LoadResourcePicture(203));
        Hover(Find<ImageControl>(QStringLiteral("TrackMap")));
        QCOMPARE(Map(), LoadResourcePicture(203));
        Hover(Picture(4));
        QCOMPARE(Map(), LoadResourcePicture(204));

        // A click changes neither the map nor the last hovered section.
        QTest::mouseClick(Picture(4), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(Map(), LoadResourcePicture(204));

        // After a selection has put the plain map back, the last hovered picture does not
        // highlight again; any other does.
        SelectTrack(QStringLiteral("track.ini"));
        QCOMPARE(Map(), plain);
        Hover(Picture(4));
        QCOMPARE(Map(), plain);
        Hover(Picture(0));
        QCOMPARE(Map(), LoadResourcePicture(200));
    }
};

QTEST_MAIN(WindowBehaviourTest)
#include "tst_window_behaviour.moc"
