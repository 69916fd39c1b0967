// The main window on a real X server of the screen height this run was started with: its size,
// every control's place, fonts, centring, captions and what is enabled after start-up.

#include "KorsaResources.h"
#include "finder/FrmFileManager2.h"
#include "presentation/Form1.h"
#include "support/TempTree.h"
#include "support/TestPlatform.h"

#include <QFontInfo>
#include <QMenuBar>
#include <QScreen>
#include <QtTest>

#include <cmath>

using namespace korsa;

namespace {

struct Design {
    QString name;
    double left, top, width, height;
};

// The design in twips, written out here independently of the window's own table.
QList<Design> DesignTable()
{
    QList<Design> table = {{"Frame1", 120, 120, 13932, 1692},  {"cmdRevert", 12480, 1140, 972, 372},
                           {"cmdSave", 480, 1140, 972, 372},   {"HScroll1", 1800, 1200, 10332, 252},
                           {"Label1", 120, 240, 8892, 252},    {"Label2", 120, 600, 8892, 252},
                           {"TrackMap", 9480, 2280, 4572, 7032}};
    for (int i = 0; i < 9; ++i) {
        const double left = 120 + 3120 * (i % 3), top = 2280 + 2520 * (i / 3);
        const QString n = QString::number(i);
        table += {{"GEMPic1_" + n, left, top, 3000, 2000},
                  {"Shape1_" + n, 0, 0, 3000, 2004},
                  {"lblPictureName_" + n, i == 7 ? 3360.0 : left, top - 240, 2892, 252}};
    }
    return table;
}

} // namespace

class WindowLayoutTest : public QObject
{
    Q_OBJECT

private:
    test::TempTree program_;
    test::TestPlatform platform_;
    std::unique_ptr<Form1> window_;
    int screenHeight_ = 0;
    double clientWidth_ = 0;  // pixels
    double clientHeight_ = 0; // pixels

private slots:
    void initTestCase()
    {
        InitResources();
        // The window is laid out in the desktop's scaled pixels; the screen check counts lines.
        const QScreen *screen = QGuiApplication::primaryScreen();
        screenHeight_ = screen->geometry().height();
        platform_.screenHeight = qRound(screenHeight_ * screen->devicePixelRatio());
        platform_.programFolder = program_.path();
        window_ = std::make_unique<Form1>(platform_);
        window_->Form_Load();
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        clientWidth_ = window_->centralWidget()->width();
        clientHeight_ = window_->centralWidget()->height();
    }

    void windowIsScaledToTheScreen()
    {
        const double factor = screenHeight_ / 1024.0;
        const int menu = window_->menuBar()->height();
        QVERIFY(menu > 10);
        // The outer size (menu bar and client area) is the design's times the factor.
        QVERIFY(std::abs(window_->width() - 950.4 * factor) <= 1.0);
        QVERIFY(std::abs(window_->height() - (640.8 + menu) * factor) <= 1.0);
        QCOMPARE(window_->centralWidget()->geometry().top(), menu);
        QCOMPARE(clientHeight_, static_cast<double>(window_->height() - menu));
        QCOMPARE(window_->minimumSize(), window_->maximumSize());
        // Centred on the screen.
        const QPoint offset = window_->frameGeometry().center() - QGuiApplication::primaryScreen()->geometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        if (screenHeight_ == 1024) {
            QVERIFY(std::abs(clientWidth_ - 950.4) <= 1.0);
            QVERIFY(std::abs(clientHeight_ - 640.8) <= 1.0);
        }
    }

    void controlsKeepTheirPlace_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRectF>("design");
        for (const Design &d : DesignTable())
            QTest::newRow(qPrintable(d.name)) << d.name << QRectF(d.left, d.top, d.width, d.height);
    }
    void controlsKeepTheirPlace()
    {
        QFETCH(QString, name);
        QFETCH(QRectF, design);
        auto *control = window_->findChild<QWidget *>(name);
        QVERIFY(control);
        // Fractions of the design client area (14256 x 9612 twips) applied to the real one.
        const double sx = clientWidth_ / 14256.0, sy = clientHeight_ / 9612.0;
        const QRectF want(design.x() * sx, design.y() * sy, design.width() * sx, design.height() * sy);
        const QRect got = control->geometry();
        QVERIFY2(std::abs(got.x() - want.x()) <= 1 && std::abs(got.y() - want.y()) <= 1 &&
                     std::abs(got.width() - want.width()) <= 1 && std::abs(got.height() - want.height()) <= 1,
                 qPrintable(QDebug::toString(got) + " want " + QDebug::toString(want)));
    }

    void framesAndLinesFollowTheClientHeight()
    {
        const double sy = clientHeight_ / 9612.0;
        const int frameWidth = static_cast<int>(std::nearbyint(8.0 * 15.0 * sy));
        for (int i = 0; i < 9; ++i) {
            auto *shape = window_->findChild<ShapeControl *>(QStringLiteral("Shape1_%1").arg(i));
            QVERIFY(shape);
            QCOMPARE(shape->BorderWidth(), frameWidth);
            QCOMPARE(shape->parentWidget()->objectName(), QStringLiteral("GEMPic1_%1").arg(i));
            QVERIFY(shape->geometry().contains(shape->parentWidget()->rect()));
        }
        // One pixel wide lines would scale to nothing: they keep their width.
        auto *rule = window_->findChild<ShapeControl *>(QStringLiteral("Line3"));
        QVERIFY(rule);
        QCOMPARE(rule->BorderWidth(), 1);
        QVERIFY2(std::abs(rule->geometry().center().y() - 960.0 * sy) <= 1.5,
                 qPrintable(QStringLiteral("rule at %1").arg(rule->geometry().center().y())));
        QCOMPARE(rule->parentWidget()->objectName(), QStringLiteral("Frame1"));
    }

    void fontsAreArialScaledWithTheClientHeight_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("designPoints");
        QTest::addColumn<bool>("bold");
        for (const char *name : {"Frame1", "cmdSave", "cmdRevert", "Label1", "Label2", "Picture2", "Picture3"})
            QTest::newRow(name) << QString::fromLatin1(name) << 9.0 << false;
        for (int i = 0; i < 9; ++i) {
            QTest::addRow("lblPictureName_%d", i) << QStringLiteral("lblPictureName_%1").arg(i) << 7.8 << true;
            QTest::addRow("GEMPic1_%d", i) << QStringLiteral("GEMPic1_%1").arg(i) << 9.0 << false;
        }
    }
    void fontsAreArialScaledWithTheClientHeight()
    {
        QFETCH(QString, name);
        QFETCH(double, designPoints);
        QFETCH(bool, bold);
        auto *control = window_->findChild<QWidget *>(name);
        QVERIFY(control);
        const QFont font = control->font();
        QCOMPARE(font.family(), QStringLiteral("Arial"));
        QVERIFY(QFontInfo(font).family() == QStringLiteral("Arial") ||
                QFontInfo(font).family() == QStringLiteral("Liberation Sans"));
        QCOMPARE(font.bold(), bold);
        const double expected = designPoints * (clientHeight_ * 15.0 / 9612.0);
        QVERIFY2(std::abs(font.pointSizeF() - expected) < 0.05,
                 qPrintable(QStringLiteral("%1 pt, want %2").arg(font.pointSizeF()).arg(expected)));
    }

    void captionsAfterStartUp()
    {
        QCOMPARE(window_->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Welcome to Korsa Sorvena Trainer."));
        QCOMPARE(window_->findChild<QLabel *>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("Please select your Sorvena track.ini file."));
        const QStringList names = {"Varnola",       "Dunes",           "SR 47 Bridge",       "Montaspro Bridge", "Bivio Carrano",
                                   "Vallerosa Curves", "SP 6 KM 4", "Pietraforno Curves", "Lidoscuro"};
        for (int i = 0; i < 9; ++i)
            QCOMPARE(window_->findChild<QLabel *>(QStringLiteral("lblPictureName_%1").arg(i))->text(), names[i]);
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korsa Sorvena Trainer"));
        QVERIFY(!window_->windowIcon().isNull());
        QCOMPARE(window_->State().TrackFolder, program_.path());
    }

    void onlyCommandsWithoutATrackAreEnabled_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        for (const char *name : {"HScroll1", "cmdSave", "cmdRevert"})
            QTest::newRow(name) << QString::fromLatin1(name) << false;
        for (int i = 0; i < 9; ++i)
            QTest::addRow("GEMPic1_%d", i) << QStringLiteral("GEMPic1_%1").arg(i) << false;
        QTest::newRow("TrackMap") << "TrackMap" << true;
    }
    void onlyCommandsWithoutATrackAreEnabled()
    {
        QFETCH(QString, name);
        auto *control = window_->findChild<QWidget *>(name);
        QVERIFY(control);
        QTEST(control->isEnabled(), "enabled");
    }

    void menusInOrder()
    {
        QStringList names, captions, keys;
        for (const ControlEntry &entry : window_->Controls())
            if (entry.kind == ControlKind::MenuItem) {
                names << entry.name;
                captions << entry.action->text();
                keys << entry.action->shortcut().toString(QKeySequence::PortableText);
                QVERIFY(!entry.action->text().contains(QLatin1Char('&')));
            }
        QCOMPARE(names, QStringList({"mnuFile", "mnuSelectTrack", "Line2", "mnuSave", "mnuRevert", "mnuLine1",
                                     "mnuExit", "mnuOptions", "mnuTrackAnnouncer", "mnuAbout"}));
        QCOMPARE(captions, QStringList({"File", "Select Sorvena track.ini...", "", "Save Start Position",
                                        "Revert To Original Start Position", "", "Exit", "Options",
                                        "Track Announcer", "About"}));
        QCOMPARE(keys, QStringList({"", "Ctrl+O", "", "Ctrl+S", "", "", "Ctrl+Q", "", "", ""}));
        const auto enabled = [&](const char *name) {
            return window_->findChild<QAction *>(QString::fromLatin1(name))->isEnabled();
        };
        QVERIFY(enabled("mnuSelectTrack") && enabled("mnuExit") && enabled("mnuTrackAnnouncer") && enabled("mnuAbout"));
        QVERIFY(!enabled("mnuSave") && !enabled("mnuRevert"));
        auto *announcer = window_->findChild<QAction *>(QStringLiteral("mnuTrackAnnouncer"));
        QVERIFY(announcer->isCheckable() && !announcer->isChecked());
        // About stands on the menu bar itself.
        QVERIFY(window_->menuBar()->actions().contains(window_->findChild<QAction *>(QStringLiteral("mnuAbout"))));
    }

    void photographsFillTheirBoxes()
    {
        for (int i = 0; i < 9; ++i) {
            auto *box = window_->findChild<PictureBox *>(QStringLiteral("GEMPic1_%1").arg(i));
            QCOMPARE(box->Image().deviceIndependentSize().toSize(), box->size());
            QCOMPARE(box->Image().devicePixelRatio(), window_->devicePixelRatioF());
        }
    }

    // On a scaled desktop the window takes the share of the screen it takes unscaled, while the
    // menu bar and the finder are drawn at the desktop's scale. The unscaled run leaves its
    // figures in KORSA_UNSCALED_FIGURES for the scaled runs (KORSA_SCALE) to compare with.
    void followsTheDesktopScale()
    {
        const qreal scale = window_->devicePixelRatioF();
        QCOMPARE(scale, qEnvironmentVariable("KORSA_SCALE", QStringLiteral("1")).toDouble());
        SessionState state;
        auto *finder = new FrmFileManager2(state, program_.path());
        finder->show();
        QVERIFY(QTest::qWaitForWindowExposed(finder));
        const QList<double> figures = {window_->menuBar()->height() * scale, finder->height() * scale};
        finder->close();

        QFile file(qEnvironmentVariable("KORSA_UNSCALED_FIGURES"));
        if (scale == 1.0) {
            if (!file.fileName().isEmpty())
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(figures[0]) + ' ' +
                                                                      QByteArray::number(figures[1])) > 0);
            return;
        }
        if (!file.open(QIODevice::ReadOnly))
            QSKIP("no figures of an unscaled run to compare with (run tst_window_layout_1024 first)");
        const QList<QByteArray> unscaled = file.readAll().split(' ');
        QCOMPARE(unscaled.size(), 2);
        for (int i = 0; i < 2; ++i)
            QVERIFY2(
                std::abs(figures[i] / (scale * unscaled[i].toDouble()) - 1.0) < 0.04,
                qPrintable(QStringLiteral("%1 device pixels, unscaled %2").arg(figures[i]).arg(unscaled[i])));
        // The window's outer size in the screen's own pixels, as an unscaled desktop would have it.
        const double lines = screenHeight_ * scale;
        const QSizeF want(950.4 * lines / 1024.0, (640.8 + unscaled[0].toDouble()) * lines / 1024.0);
        const QSizeF got = QSizeF(window_->size()) * scale;
        QVERIFY2(std::abs(got.width() / want.width() - 1.0) < 0.04 &&
                     std::abs(got.height() / want.height() - 1.0) < 0.04,
                 qPrintable(QDebug::toString(got) + " want " + QDebug::toString(want)));
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "tst_window_layout.moc"
