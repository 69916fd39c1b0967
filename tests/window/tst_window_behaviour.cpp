// The main window as a user meets it on a real X server: the events reach the session and the
// window shows what comes back, in captions, the scroll bar, the map, real message boxes and the
// file on disk.

#include "presentation/ResourcePictures.h"
#include "support/AboutText.h"
#include "support/TrainerWindow.h"

#include <QLineEdit>

using namespace korsa;
using korsa::test::TrackText;

namespace {

const QString Track = QStringLiteral("track.ini");
const QString Title = QStringLiteral("Korsa Sorvena Trainer");
const QByteArray Marker = "\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n";
QByteArray SavedAt(const QByteArray &metres)
{
    return TrackText(metres + " 0.0\t\t; Modified by Korsa Gridwell") + Marker;
}

constexpr double Lap = 71989.171875;

const QString SaveError = "File Save Error | There was an error while attempting to save the Track.ini file.  Check "
                          "that the file is not marked Read Only.\n";

} // namespace

class WindowBehaviourTest : public QObject
{
    Q_OBJECT

    std::optional<test::TrainerWindow> w_;

    // The sections whose photographs the screen shows framed in the start's blue.
    QList<int> MarkedSections()
    {
        QList<int> marked;
        for (int i = 0; i < 9; ++i)
            if (const QRgb frame = w_->Shown(w_->Picture(i)).pixel(2, 2); qBlue(frame) > 200 && qRed(frame) < 60)
                marked << i;
        return marked;
    }

private slots:
    void init() { w_.emplace(); }
    void cleanup() { w_.reset(); }

    // A screen lower than 600 lines is refused with this message before any window shows, and the
    // program ends with status 1.
    void screenTooSmallIsRefused()
    {
        w_->platform.screenHeight = 599;
        MainWindow window(w_->platform);
        int status = 0;
        try {
            window.Load();
        } catch (const test::BoxPlatform::Ended &ended) {
            status = ended.status;
        }
        QCOMPARE(status, 1);
        QCOMPARE(w_->platform.boxes, QStringList{Title + " | Korsa Sorvena Trainer does not support screen resolutions "
                                                         "less than 800x600.  You should increase your screen "
                                                         "resolution if possible."});
    }

    // The whole job with the mouse: pick, a section, Save, another section, Revert, Exit; the title
    // marks a start not saved yet. Also run under locales with a decimal comma and with digits of
    // their own: the same captions and bytes.
    void pickSectionSaveRevert()
    {
        w_->Select(Track);
        QCOMPARE(w_->window.windowTitle(), Title);
        QCOMPARE(w_->Label(1), QStringLiteral("The Sorvena Track Length Is  71989 Meters Long."));
        QCOMPARE(w_->Label(2),
                 QStringLiteral("The Start Position Is  1500 Meters Or  2.1 Percent Beyond The Start Line."));
        QCOMPARE(w_->Bar()->value(), 21);
        // A press released outside the picture is no click.
        QTest::mousePress(w_->Picture(8), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(w_->Picture(8), Qt::LeftButton, {}, QPoint(w_->Picture(8)->width() + 40, 5));
        QVERIFY(w_->Label(2).startsWith(QStringLiteral("The Start Position Is  1500")));
        w_->Click(w_->Picture(8));
        QCOMPARE(
            w_->Label(2),
            QStringLiteral("The Lidoscuro Start Position Is  66270 Meters Or  92.1 Percent Beyond The Start Line."));
        QCOMPARE(w_->Bar()->value(), 921);
        QCOMPARE(w_->window.windowTitle(), "*" + Title);

        w_->Click(w_->Find(QStringLiteral("cmdSave")));
        QCOMPARE(w_->tree.read(Track), SavedAt("66270"));
        QCOMPARE(w_->window.windowTitle(), Title);

        w_->Click(w_->Picture(5));
        w_->Click(w_->Find(QStringLiteral("cmdRevert")));
        QCOMPARE(w_->Label(2),
                 QStringLiteral("The Original Start Position Is  1500 Meters Or  2.1 Percent Beyond The Start Line"));
        QCOMPARE(w_->Bar()->value(), 21);
        QCOMPARE(w_->tree.read(Track), TrackText() + Marker);
        QCOMPARE(w_->window.windowTitle(), Title);
        QVERIFY_THROWS_EXCEPTION(test::BoxPlatform::Ended, w_->window.Exit());
        QVERIFY(w_->platform.boxes.isEmpty());
    }

    // With a start not saved, Exit asks first: Discard ends without it, a Save that fails keeps the
    // window and the mark (answered with Enter and Escape: the trainer's process test).
    void exitAsksFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("Save fails") << int(QMessageBox::Save);
        QTest::newRow("Discard") << int(QMessageBox::Discard);
    }
    void exitAsksFirst()
    {
        QFETCH(int, answer);
        w_->Select(Track);
        w_->Click(w_->Picture(8));
        QVERIFY(QFile::setPermissions(w_->tree.file(Track), QFile::ReadOwner));
        w_->platform.answer = QMessageBox::StandardButton(answer);
        if (answer == QMessageBox::Discard)
            QVERIFY_THROWS_EXCEPTION(test::BoxPlatform::Ended, w_->window.Exit());
        else
            w_->window.Exit();
        QCOMPARE(w_->platform.boxes.value(0), Title + " | The start position has changed.  Save it to the Track.ini "
                                                      "file before closing?");
        QCOMPARE(w_->platform.boxes.size(), answer == QMessageBox::Save ? 2 : 1); // and the failure's message
        if (answer == QMessageBox::Save)
            QCOMPARE(w_->platform.boxes[1], SaveError + "The file is marked read-only.");
        QCOMPARE(w_->window.windowTitle(), "*" + Title);
        QCOMPARE(w_->tree.read(Track), TrackText());
    }

    // At start-up the remembered file is taken as if picked; one that has gone or is another track's
    // now is passed over without a word, and the window starts as on a first run.
    void startsWithTheRememberedFile_data()
    {
        QTest::addColumn<QByteArray>("track");  // null: gone
        QTest::addColumn<QStringList>("shown"); // first status line, the file name in the state
        QTest::newRow("there") << TrackText()
                               << QStringList{"The Sorvena Track Length Is  71989 Meters Long.", "r.ini"};
        QTest::newRow("gone") << QByteArray() << QStringList{"Welcome to Korsa Sorvena Trainer.", ""};
        QTest::newRow("another track's") << TrackText("1500 0.0", "3.2")
                                         << QStringList{"Welcome to Korsa Sorvena Trainer.", ""};
    }
    void startsWithTheRememberedFile()
    {
        QFETCH(QByteArray, track);
        w_->tree.write("program/Korsa Gridwell.ini", QFile::encodeName(w_->tree.path()) + "\r\nfile=r.ini\r\n");
        if (!track.isNull())
            w_->tree.write("r.ini", track);
        MainWindow next(w_->platform);
        next.Load();
        QTEST((QStringList{next.findChild<QLabel *>("Label1")->text(), next.State().TrackFileName}), "shown");
        QVERIFY(w_->platform.boxes.isEmpty());
    }

    // A failed command shows its box; once it is closed the window is exactly as before, and a
    // good pick and a successful Save work afterwards.
    void failedCommandsKeepTheWindow_data()
    {
        QTest::addColumn<QString>("pick");     // the file chosen, or "removed": Save on track.ini removed
        QTest::addColumn<QByteArray>("bytes"); // what the chosen file holds; null: it vanished
        QTest::addColumn<bool>("acceptedBefore");
        QTest::addColumn<QString>("box");
        QTest::newRow("pattern-matching file, no track yet")
            << "track_surface.ini" << QByteArray("[ SURFACE ]\r\ngrip = 1.0\r\n") << false
            << "File Read Error | There is an unknown error in the Track.ini file probably caused by a "
               "nonstandard format.";
        QTest::newRow("vanished pick") << "gone.ini" << QByteArray() << true
                                       << "File Location Error | Could not find the Track.ini File";
        QTest::newRow("Save over a file that has gone")
            << "removed" << QByteArray() << true << SaveError + "The file no longer exists.";
    }
    void failedCommandsKeepTheWindow()
    {
        QFETCH(QString, pick);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, acceptedBefore);
        if (acceptedBefore) {
            w_->Select(Track);
            w_->Click(w_->Picture(6));
        }
        const auto shown = [this] {
            return QStringList{w_->Label(1), w_->Label(2), QString::number(w_->Bar()->value()),
                               QString::number(w_->Find(QStringLiteral("cmdSave"))->isEnabled())};
        };
        const QStringList before = shown();
        if (!bytes.isNull())
            w_->tree.write(pick, bytes);
        if (pick == "removed" && QFile::remove(w_->tree.file(Track)))
            w_->Click(w_->Find(QStringLiteral("cmdSave")));
        else
            w_->Select(pick);
        QFETCH(QString, box);
        QCOMPARE(w_->platform.boxes, QStringList(box));
        QCOMPARE(shown(), before);
        QCOMPARE(w_->tree.read(Track), pick == "removed" ? QByteArray() : TrackText());
        // The finder opens again on the file in use, selected.
        QStringList opened;
        w_->window.showFinder = [&opened](const QString &folder, const QString &inUse) {
            opened = QStringList{folder, inUse};
            return std::optional<TrackChoice>();
        };
        w_->Find<QAction>(QStringLiteral("mnuSelectTrack"))->trigger();
        QCOMPARE(opened, QStringList({w_->tree.path(), acceptedBefore ? Track : QString()}));

        w_->tree.write(Track, TrackText());
        w_->Select(Track);
        w_->Click(w_->Picture(8));
        w_->Click(w_->Find(QStringLiteral("cmdSave")));
        QCOMPARE(w_->tree.read(Track), SavedAt("66270"));
    }

    // The bar takes focus, and shows it, between the pictures and Save; keys and the wheel move it as
    // a user's move does, and the caption and the start marker follow.
    void movingTheBar_data()
    {
        QTest::addColumn<int>("key");   // 0: none, the wheel turns instead
        QTest::addColumn<int>("wheel"); // the wheel's turn
        QTest::addColumn<int>("value");
        QTest::newRow("Right") << int(Qt::Key_Right) << 0 << 510;
        QTest::newRow("Page Down") << int(Qt::Key_PageDown) << 0 << 550;
        QTest::newRow("Home") << int(Qt::Key_Home) << 0 << 0;
        QTest::newRow("End") << int(Qt::Key_End) << 0 << 1000;
        QTest::newRow("wheel towards the user") << 0 << -120 << 510;
    }
    void movingTheBar()
    {
        QFETCH(int, key);
        QFETCH(int, wheel);
        QFETCH(int, value);
        w_->Select(Track);
        QScrollBar *bar = w_->Bar();
        w_->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w_->window));
        auto *save = w_->Find(QStringLiteral("cmdSave"));
        save->setFocus();
        QTRY_COMPARE(w_->Shown(bar), bar->grab().toImage().convertToFormat(QImage::Format_RGB32));
        const QImage unfocused = w_->Shown(bar);
        QTest::keyClick(save, Qt::Key_Backtab);
        QTRY_COMPARE(QApplication::focusWidget(), bar);
        QTRY_VERIFY(w_->Shown(bar) != unfocused); // the bar shows it has the keyboard
        bar->setValue(500);
        const QPoint at = bar->rect().center();
        QWheelEvent notch(at, bar->mapToGlobal(at), {}, {0, wheel}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        if (key)
            QTest::keyClick(bar, Qt::Key(key));
        else
            QApplication::sendEvent(bar, &notch);
        QTRY_COMPARE(bar->value(), value);
        QCOMPARE(w_->Label(2).section("  ", 2), QString::number(value / 10) + " Percent Beyond The Start Line.");
        QVERIFY(w_->MarkShown(false, Lap * value / 1000)); // End: at the start line again
    }

    // The marker shows where the car will start after the other kinds of move (the bar's keys are
    // above), drawn over the map and a hovered red stretch, with a quieter one at the file's own
    // start, and the photograph of the section the start lies in is framed in blue; neither before a
    // file is accepted. A dragged thumb takes the marker, the frame and the caption along, the caption
    // reading as it will at the release; one let go where it was taken changes nothing.
    void startMarkerFollowsEveryMove_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("move");
        QTest::addColumn<double>("start"); // metres; negative: no marker
        QTest::addColumn<double>("original");
        QTest::addColumn<int>("section"); // framed; -1: none, -2: where the thumb was let go
        const QByteArray plain = TrackText();
        QTest::newRow("none before a file") << plain << "" << -1.0 << -1.0 << -1;
        QTest::newRow("none after a refused file") << TrackText("1500 0.0", "44.7") << "pick" << -1.0 << -1.0 << -1;
        QTest::newRow("accepted") << plain << "pick" << 1500.0 << 1500.0 << 8;
        QTest::newRow("original start in the marker section")
            << TrackText("0 0.0") + "\r\n[ GRIDWELL ]\r\nstall_0 = 30000.0 0.0\r\n"
            << "pick" << 0.0 << 30000.0 << 8;
        QTest::newRow("original start beyond the lap")
            << TrackText("20000 0.0") + "\r\n[ GRIDWELL ]\r\nstall_0 = 73000 0.0\r\n"
            << "pick" << 20000.0 << 73000 - Lap << 2;
        QTest::newRow("section click, hovered") << plain << "pick hover3 click3" << 27100.0 << 1500.0 << 3;
        QTest::newRow("drag") << plain << "pick drag drop" << -2.0 << 1500.0 << -2;
        QTest::newRow("drag back where it was taken") << plain << "pick drag back drop" << 1500.0 << 1500.0 << 8;
        QTest::newRow("Save after another program's change")
            << plain << "pick click3 edit Save" << 27100.0 << 5000.0 << 3;
        QTest::newRow("Revert") << plain << "pick click3 Save Revert" << 1500.0 << 1500.0 << 8;
    }
    void startMarkerFollowsEveryMove()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, move);
        QFETCH(double, start);
        QFETCH(double, original);
        QFETCH(int, section);
        w_->tree.write(Track, file);
        QScrollBar *bar = w_->Bar();
        QPoint at;
        QStringList before, dragged; // caption and title
        const auto shown = [this] { return QStringList{w_->Label(2), w_->window.windowTitle()}; };
        for (const QString &step : move.split(' ', Qt::SkipEmptyParts)) {
            if (step == "pick")
                w_->Select(Track);
            else if (step.startsWith("hover"))
                w_->Hover(w_->Picture(step.right(1).toInt()));
            else if (step.startsWith("click"))
                w_->Click(w_->Picture(step.right(1).toInt()));
            else if (step == "edit")
                w_->tree.write(Track, TrackText("5000 0.0"));
            else if (step == "Save" || step == "Revert")
                w_->Click(w_->Find("cmd" + step));
            else if (step == "drag") {
                before = shown();
                at = test::ThumbCentre(bar);
                QTest::mousePress(bar, Qt::LeftButton, {}, at);
                QTest::mouseMove(bar, at += QPoint(bar->width() / 3, 0));
                const int value = bar->sliderPosition();
                QVERIFY(value > bar->value() + 200);
                QVERIFY(w_->MarkShown(false, Lap * value / 1000));
                SectionTable table;
                FillSectionNames(table);
                const int under = SectionAt(table, float(Lap * value / 1000), float(Lap)).value_or(-1);
                QTRY_COMPARE(MarkedSections(), QList<int>{under});
                section = section == -2 ? under : section;
                dragged = shown();
                QVERIFY(dragged[0] != before[0] && dragged[0].startsWith("This Start Position Is"));
                QCOMPARE(dragged[1], before[1]); // nothing unsaved until the release
            } else if (step == "back") {
                const QPoint taken = at - QPoint(bar->width() / 3, 0);
                for (int dx = -3; dx <= 3 && (dx == -3 || bar->sliderPosition() != bar->value()); ++dx)
                    QTest::mouseMove(bar, at = taken + QPoint(dx, 0));
                QCOMPARE(bar->sliderPosition(), bar->value());
                dragged = before;
                QCOMPARE(shown(), before);
            } else if (step == "drop") {
                QTest::mouseRelease(bar, Qt::LeftButton, {}, at);
                // The caption reads as it did while dragged; the title marks what is unsaved now.
                QCOMPARE(w_->Label(2), dragged[0]);
                QCOMPARE(w_->window.windowTitle(), dragged == before ? before[1] : "*" + Title);
            }
        }
        if (start == -2.0)
            start = Lap * bar->value() / 1000;
        QTRY_COMPARE(MarkedSections(), section < 0 ? QList<int>() : QList<int>{section});
        if (start < 0) {
            QVERIFY(!w_->MarkShown(false) && !w_->MarkShown(true));
            return;
        }
        QVERIFY(w_->MarkShown(false, start));
        // Beneath the start marker the quieter one is hidden.
        if (std::abs(start - original) > 1000)
            QVERIFY(w_->MarkShown(true, original));
    }

    // Options > Set Start Position... (Ctrl+G): the dialog shows the section and the line Save would
    // write for the text typed, or why it refuses it, and stays open on a refused text; OK sets the
    // start as a click does. Alt+Left and Alt+Right then move it 10 m, within the lap.
    void typedStart_data()
    {
        // Typed; after OK "<" Alt+Left, ">" Alt+Right; then the section, the line Save writes and the
        // problem as the dialog shows them; the metres in the caption then (none: refused).
        QTest::addColumn<QStringList>("row");
        QTest::newRow("fraction: cut by Save, rounded in the caption")
            << QStringList{"66270.8 m", "", "Lidoscuro", "stall_0 = 66270 0.0", "", "66271"};
        QTest::newRow("decimal comma") << QStringList{
            "12,345", "", "", "", "That is not a number (\".\" is the decimal point).", ""};
        QTest::newRow("nudged back to the line, then on")
            << QStringList{"5", "<>", "Lidoscuro", "stall_0 = 5 0.0", "", "10"};
        QTest::newRow("nudged on at the lap's end")
            << QStringList{"100 %", ">", "Lidoscuro", "stall_0 = 71989 0.0", "", "71989"};
    }
    void typedStart()
    {
        QFETCH(QStringList, row);
        w_->Select(Track);
        w_->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w_->window));
        const QStringList before{w_->Label(2), w_->window.windowTitle()};
        QStringList shown = row.mid(0, 2);
        QTimer::singleShot(0, &w_->window, [&] {
            QDialog *dialog = nullptr;
            if (!QTest::qWaitFor([&] { return dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()); }))
                qFatal("the dialog did not show");
            auto *field = dialog->findChild<QLineEdit *>("txtStartPosition");
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, row[0]);
            for (const char *name : {"lblStartSection", "lblSavedLine", "lblStartProblem"})
                shown << dialog->findChild<QLabel *>(name)->text();
            QTest::keyClick(field, Qt::Key_Return);
            shown << (dialog->isVisible() ? "" : row[5]); // a refused text keeps the dialog open
            if (dialog->isVisible())
                QTest::keyClick(field, Qt::Key_Escape);
        });
        QTest::keyClick(&w_->window, Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(shown, row);
        w_->Bar()->setFocus(); // whose own keys the nudges are not
        for (const QChar nudge : row[1])
            QTest::keyClick(w_->Bar(), nudge == '<' ? Qt::Key_Left : Qt::Key_Right, Qt::AltModifier);
        if (row[5].isEmpty()) {
            QCOMPARE((QStringList{w_->Label(2), w_->window.windowTitle()}), before);
            return;
        }
        QCOMPARE(w_->Label(2).left(w_->Label(2).indexOf(" Meters")), "This Start Position Is  " + row[5]);
        QCOMPARE(w_->window.windowTitle(), "*" + Title);
        QVERIFY(w_->MarkShown(false, row[5].toDouble()));
        w_->Click(w_->Find(QStringLiteral("cmdSave")));
        if (row[1].isEmpty())
            QCOMPARE(w_->tree.read(Track), SavedAt(row[3].section(' ', 2, 2).toLatin1()));
    }

    // The About box leaves room for its caption as window managers set it, in a bold face of about
    // 11 points beside an icon and buttons; its text is its own.
    void aboutBoxFitsItsCaption()
    {
        w_->Find<QAction>(QStringLiteral("mnuAbout"))->trigger();
        QCOMPARE(w_->platform.boxes, QStringList("Korsa Sorvena Trainer | " + test::AboutText()));
        const QFont face(QApplication::font().family(), 11, QFont::Bold);
        QVERIFY(w_->platform.widths.value(0) >= QFontMetrics(face).horizontalAdvance("Korsa Sorvena Trainer") + 96);
    }

    // Tab brings the keyboard to a section picture, whose frame then shows it with a dotted line, and
    // Space picks the section as a click does. A click gives the picture the focus without the line.
    void keyboardPicksASection_data()
    {
        QTest::addColumn<bool>("byKeyboard");
        QTest::newRow("Tab, Space") << true;
        QTest::newRow("click") << false;
    }
    void keyboardPicksASection()
    {
        QFETCH(bool, byKeyboard);
        w_->Select(Track);
        w_->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w_->window));
        QWidget *picture = w_->Picture(4);
        // White dots along the middle of the frame's top edge.
        const int middle = w_->Find<ShapeControl>(QStringLiteral("Shape1_4"))->BorderWidth() / 2;
        const auto marked = [&] {
            const QImage shown = w_->Shown(picture);
            int white = 0;
            for (int x = 0; x < shown.width(); ++x)
                white += shown.pixel(x, middle) == qRgb(255, 255, 255);
            return white > shown.width() / 8;
        };
        const auto settled = [&] {
            return w_->Shown(picture) == picture->grab().toImage().convertToFormat(QImage::Format_RGB32);
        };
        QTRY_VERIFY(settled());
        QVERIFY(!marked());
        if (byKeyboard) {
            picture->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(marked());
            QTest::keyClick(picture, Qt::Key_Space);
        } else {
            w_->Click(picture);
            QTRY_COMPARE(QApplication::focusWidget(), picture);
            QTRY_VERIFY(settled());
            QVERIFY(!marked());
        }
        QVERIFY(w_->Label(2).startsWith(QStringLiteral("The Bivio Carrano Start Position Is")));
    }

    // Alt and a menu's letter open it, F10 the first; Alt+A is About.
    void menusFromTheKeyboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("opened"); // the menu shown, or the message
        QTest::newRow("Alt+F") << int(Qt::Key_F) << int(Qt::AltModifier) << "mnuFileMenu";
        QTest::newRow("Alt+O") << int(Qt::Key_O) << int(Qt::AltModifier) << "mnuOptionsMenu";
        QTest::newRow("F10") << int(Qt::Key_F10) << int(Qt::NoModifier) << "mnuFileMenu";
        QTest::newRow("Alt+A") << int(Qt::Key_A) << int(Qt::AltModifier)
                               << "Korsa Sorvena Trainer | " + test::AboutText();
    }
    void menusFromTheKeyboard()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, opened);
        w_->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w_->window));
        QTest::keyClick(&w_->window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        if (opened.contains('|')) {
            QCOMPARE(w_->platform.boxes, QStringList(opened));
            return;
        }
        QTRY_VERIFY(QApplication::activePopupWidget());
        QCOMPARE(QApplication::activePopupWidget()->objectName(), opened);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    }

    // Options > Larger Window, Smaller Window and Fit to Screen, on a 1280x1024 screen at scale 1: in
    // steps, up to the 1272 x 980 pixels the screen leaves around the frame allowance (8 x 44). The
    // layout follows the window and the next start takes the size again.
    void windowSizes_data()
    {
        QTest::addColumn<QList<int>>("keys"); // with Ctrl
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QString>("kept"); // as the next start reads it
        QTest::addColumn<bool>("larger");  // whether it can grow further
        QTest::newRow("Larger") << QList<int>{Qt::Key_Equal} << QSize(1045, 726) << "1.1" << true;
        QTest::newRow("Larger twice") << QList<int>{Qt::Key_Equal, Qt::Key_Equal} << QSize(1188, 825) << "1.25" << true;
        QTest::newRow("Larger thrice: fits the screen")
            << QList<int>{Qt::Key_Equal, Qt::Key_Equal, Qt::Key_Equal} << QSize(1272, 884) << "fit" << false;
        QTest::newRow("Smaller") << QList<int>{Qt::Key_Minus} << QSize(855, 594) << "0.9" << true;
        QTest::newRow("Fit to Screen, Smaller")
            << QList<int>{Qt::Key_0, Qt::Key_Minus} << QSize(1188, 825) << "1.25" << true;
        QTest::newRow("Larger, Smaller: the layout's own")
            << QList<int>{Qt::Key_Equal, Qt::Key_Minus} << QSize(950, 660) << "1" << true;
    }
    void windowSizes()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QSize, window);
        QFETCH(QString, kept);
        QFETCH(bool, larger);
        w_->Select(Track);
        w_->window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w_->window));
        for (const int key : keys)
            QTest::keyClick(&w_->window, Qt::Key(key), Qt::ControlModifier);
        const auto near = [&window](QSize got) {
            return std::abs(got.width() - window.width()) <= 1 && std::abs(got.height() - window.height()) <= 1;
        };
        QVERIFY2(near(w_->window.size()), qPrintable(QDebug::toString(w_->window.size())));
        QCOMPARE(w_->Find<QAction>(QStringLiteral("mnuLargerWindow"))->isEnabled(), larger);
        // The map keeps its place in the client area, and the captions' text grows with it.
        const QWidget *client = w_->window.centralWidget();
        const QRect map = w_->Find(QStringLiteral("TrackMap"))->geometry();
        QVERIFY(std::abs(map.x() + map.width() - client->width() * 14052.0 / 14256) <= 1);
        QVERIFY(std::abs(map.y() + map.height() - client->height() * 9312.0 / 9612) <= 1);
        const double points = w_->Find(QStringLiteral("Label1"))->font().pointSizeF();
        QVERIFY2(std::abs(points - 9.0 * client->height() * 15 / 9612) < 0.05, qPrintable(QString::number(points)));
        QCOMPARE(w_->Picture(4)->Image().size(), w_->Picture(4)->size());
        QVERIFY(w_->MarkShown(false, 1500));

        const RememberedSettings read = SettingsFile(w_->platform.ProgramFolder()).Read();
        QCOMPARE(read.windowSize.fitToScreen ? "fit" : QString::number(read.windowSize.factor), kept);
        MainWindow again(w_->platform);
        again.Load();
        QVERIFY2(near(again.size()), qPrintable(QDebug::toString(again.size())));
    }

    // The map shows the section under the pointer, once a track is accepted; the map, the
    // background and clicks keep it; after a new pick the last section is not shown again until
    // the pointer has been over another.
    void hoverHighlightsTheSectionOnTheMap()
    {
        const QImage plain = LoadResourcePicture(210);
        w_->Hover(w_->Picture(3));
        QCOMPARE(w_->Map(), plain);

        w_->Select(Track);
        w_->Hover(w_->Picture(3));
        QCOMPARE(w_->Map(), LoadResourcePicture(203));
        w_->HoverBackground();
        w_->Hover(w_->Find(QStringLiteral("TrackMap")));
        QCOMPARE(w_->Map(), LoadResourcePicture(203));
        w_->Hover(w_->Picture(4));
        QCOMPARE(w_->Map(), LoadResourcePicture(204));
        QTRY_COMPARE(w_->ShownMap(), w_->DrawnMap()); // section 3's stretch is painted over again

        w_->Select(Track);
        QCOMPARE(w_->Map(), plain);
        QTRY_COMPARE(w_->ShownMap(), w_->DrawnMap());
        w_->Hover(w_->Picture(4), QPoint(30, 30));
        QCOMPARE(w_->Map(), plain);
        w_->Hover(w_->Picture(0));
        QCOMPARE(w_->Map(), LoadResourcePicture(200));
    }
};

QTEST_MAIN(WindowBehaviourTest)
#include "tst_window_behaviour.moc"
