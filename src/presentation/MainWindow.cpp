#include "presentation/MainWindow.h"

#include "finder/FinderPaths.h"
#include "finder/Places.h"
#include "finder/TrackFinderDialog.h"
#include "presentation/MenuScale.h"
#include "presentation/StartPositionDialog.h"
#include "presentation/TrackMapPictures.h"
#include "presentation/WindowScale.h"
#include "session/Captions.h"
#include "session/Numbers.h"
#include "track_file/UserMessages.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <map>

namespace korsa {

namespace {

// The design client area, in twips.
constexpr float DesignClientWidth = 14256.0f;
constexpr float DesignClientHeight = 9612.0f;

// The window's own font size; the section captions have their own.
constexpr double DesignFontPoints = 9.0;

const QString SaveQuestion =
    QStringLiteral("The start position has changed.  Save it to the Track.ini file before closing?");

// The search's test of a file: read and told apart as a file picked in the finder is.
bool IsSorvenaTrackFile(const QString &path)
{
    const QFileInfo file(path);
    SessionState state;
    state.TrackFolder = QDir::toNativeSeparators(file.absolutePath());
    state.TrackFileName = file.fileName();
    return ReadSorvenaTrackFile(state) == TrackFileOutcome::Ok;
}

// The window's own background: pointer movement over it (and over disabled section pictures)
// stops an announcement.
class ClientArea : public QWidget
{
public:
    using QWidget::QWidget;
    std::function<void()> onMouseMove;

protected:
    void mouseMoveEvent(QMouseEvent *event) override
    {
        event->accept();
        if (onMouseMove)
            onMouseMove();
    }
};

// Controls over which the pointer changes nothing: the frame with everything in it, and the labels.
void KeepPointerToItself(QWidget *widget) { widget->setAttribute(Qt::WA_NoMousePropagation); }

QFont DesignFont(bool bold, double points)
{
    // The design face: the window switches every face to "Arial" at start-up, so it starts there
    // too rather than making the font system hunt for a face this platform lacks.
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

// The fine-tuning bar, also from the keyboard: Left/Up and Right/Down move one small step (10),
// Page Up/Down one large step (50), Home and End go to the ends; one wheel notch is one small
// step. Each acts as a user's move, reported once through valueChanged.
class FineTuningBar : public QScrollBar
{
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QScrollBar::paintEvent(event);
        if (ShowsFocusMark(this)) {
            QPainter painter(this);
            DrawFocusMark(painter, QRectF(rect()).adjusted(1, 1, -1, -1), 2);
        }
    }
    void focusInEvent(QFocusEvent *event) override
    {
        NoteFocusIn(this, event);
        QScrollBar::focusInEvent(event);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        static const std::map<int, SliderAction> actions = {
            {Qt::Key_Left, SliderSingleStepSub},  {Qt::Key_Up, SliderSingleStepSub},
            {Qt::Key_Right, SliderSingleStepAdd}, {Qt::Key_Down, SliderSingleStepAdd},
            {Qt::Key_PageUp, SliderPageStepSub},  {Qt::Key_PageDown, SliderPageStepAdd},
            {Qt::Key_Home, SliderToMinimum},      {Qt::Key_End, SliderToMaximum}};
        const auto action = actions.find(event->key());
        if (action == actions.end() || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return QScrollBar::keyPressEvent(event);
        triggerAction(action->second);
        event->accept();
    }
    void wheelEvent(QWheelEvent *event) override
    {
        const QPoint delta = event->angleDelta();
        wheelTurn_ += delta.y() != 0 ? delta.y() : delta.x();
        // Turning the wheel towards the user moves right, as on a page.
        for (; wheelTurn_ >= QWheelEvent::DefaultDeltasPerStep; wheelTurn_ -= QWheelEvent::DefaultDeltasPerStep)
            triggerAction(SliderSingleStepSub);
        for (; wheelTurn_ <= -QWheelEvent::DefaultDeltasPerStep; wheelTurn_ += QWheelEvent::DefaultDeltasPerStep)
            triggerAction(SliderSingleStepAdd);
        event->accept();
    }

private:
    int wheelTurn_ = 0;
};

} // namespace

MainWindow::MainWindow(Platform &platform, QWidget *parent)
    : QMainWindow(parent), platform_(platform), settings_(platform.ProgramFolder()),
      session_(state_, *this, &settings_), announcer_(platform.ProgramFolder()), trackSearch_(IsSorvenaTrackFile)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(captions::ProgramTitle);
    // The window's icon in the small sizes title bars and task switchers show; the desktop takes
    // larger ones from the installed icon theme. PNG is built into Qt: naming the format spares
    // probing every image plugin.
    QIcon icon;
    for (const int size : {16, 32, 64})
        icon.addPixmap(QPixmap(QStringLiteral(":/icon/korsa-%1.png").arg(size), "PNG"));
    setWindowIcon(icon);
    showFinder = [this](const QString &startFolder, const QString &fileInUse) {
        return ShowTrackFinder(startFolder, fileInUse, platform_.ProgramFolder(), &trackSearch_, this);
    };
    BuildDesign();
    BuildStartMarkers();
    // Switching the announcer on gets the sound output ready, so the first announcement is not
    // kept waiting for the sound server.
    connect(announcerAction_, &QAction::toggled, this, [this](bool on) {
        if (on)
            announcer_.PrepareOutput();
    });
}

MainWindow::~MainWindow() = default;

ControlEntry &MainWindow::AddControl(const QString &name, ControlKind kind, QWidget *widget, float left, float top,
                                     float width, float height, bool hasFont)
{
    widget->setObjectName(name);
    ControlEntry entry;
    entry.name = name;
    entry.kind = kind;
    entry.widget = widget;
    entry.hasFont = hasFont;
    entry.left = left;
    entry.top = top;
    entry.width = width;
    entry.height = height;
    // Every control with a font holds its own, so scaling the frame's font does not reach the
    // controls inside it a second time.
    if (hasFont && !widget->testAttribute(Qt::WA_SetFont))
        widget->setFont(DesignFont(false, DesignFontPoints));
    if (hasFont)
        entry.designPoints = widget->font().pointSizeF();
    controls_.push_back(entry);
    ApplyEntry(controls_.back());
    return controls_.back();
}

void MainWindow::AddLine(const QString &name, QWidget *container, float x1, float y1, float x2, float y2)
{
    auto *line = new ShapeControl(ShapeControl::Form::Line, palette().windowText().color(), container);
    line->setObjectName(name);
    ControlEntry entry;
    entry.name = name;
    entry.kind = ControlKind::Line;
    entry.widget = line;
    entry.x1 = x1;
    entry.y1 = y1;
    entry.x2 = x2;
    entry.y2 = y2;
    entry.borderWidth = 1;
    controls_.push_back(entry);
    ApplyEntry(controls_.back());
}

void MainWindow::AddMenuItem(QAction *action)
{
    ControlEntry entry;
    entry.name = action->objectName();
    entry.kind = ControlKind::MenuItem;
    entry.action = action;
    controls_.push_back(entry);
}

void MainWindow::BuildDesign()
{
    const QFont windowFont = DesignFont(false, DesignFontPoints);
    client_ = new ClientArea(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setMouseTracking(true);
    client_->setFont(windowFont);
    static_cast<ClientArea *>(client_)->onMouseMove = [this] { PointerOnBackground(); };
    setCentralWidget(client_);

    // The controls in design order: this order is the window's control collection.
    statusFrame_ = new QGroupBox(client_);
    KeepPointerToItself(statusFrame_);
    AddControl(QStringLiteral("Frame1"), ControlKind::Other, statusFrame_, 120, 120, 13932, 1692, true);
    revertButton_ = new QPushButton(QStringLiteral("Revert"), statusFrame_);
    AddControl(QStringLiteral("cmdRevert"), ControlKind::Other, revertButton_, 12480, 1140, 972, 372, true);
    saveButton_ = new QPushButton(QStringLiteral("Save"), statusFrame_);
    AddControl(QStringLiteral("cmdSave"), ControlKind::Other, saveButton_, 480, 1140, 972, 372, true);
    startPositionBar_ = new FineTuningBar(Qt::Horizontal, statusFrame_);
    startPositionBar_->setFocusPolicy(Qt::StrongFocus);
    startPositionBar_->setRange(0, ScrollMaximum);
    startPositionBar_->setSingleStep(10);
    startPositionBar_->setPageStep(50);
    // A drag reports once, at its end.
    startPositionBar_->setTracking(false);
    AddControl(QStringLiteral("HScroll1"), ControlKind::Other, startPositionBar_, 1800, 1200, 10332, 252, false);
    AddLine(QStringLiteral("Line3"), statusFrame_, 0, 960, 13920, 960);
    trackLengthCaption_ = new QLabel(QStringLiteral("Label1"), statusFrame_);
    AddControl(QStringLiteral("Label1"), ControlKind::Other, trackLengthCaption_, 120, 240, 8892, 252, true);
    startPositionCaption_ = new QLabel(QStringLiteral("Label2"), statusFrame_);
    AddControl(QStringLiteral("Label2"), ControlKind::Other, startPositionCaption_, 120, 600, 8892, 252, true);

    for (int i = SectionCount - 1; i >= 0; --i) {
        const float left = 120.0f + 3120.0f * static_cast<float>(i % 3);
        const float top = 2280.0f + 2520.0f * static_cast<float>(i / 3);
        sectionPictures_[i] = new PictureBox(client_);
        sectionPictures_[i]->setFont(windowFont);
        sectionPictures_[i]->onMouseMove = [this, i] { PointerOnSectionPicture(i); };
        sectionPictures_[i]->onDisabledMove = [this] { PointerOnBackground(); };
        sectionPictures_[i]->onClick = [this, i] { SectionPictureClicked(i); };
        AddControl(QStringLiteral("GEMPic1_%1").arg(i), ControlKind::Other, sectionPictures_[i], left, top, 3000, 2000,
                   true);
        sectionFrames_[i] = new ShapeControl(ShapeControl::Form::Rectangle, FrameGrey, sectionPictures_[i]);
        AddControl(QStringLiteral("Shape1_%1").arg(i), ControlKind::Shape, sectionFrames_[i], 0, 0, 3000, 2004, false)
            .borderWidth = 8;
        ApplyEntry(controls_.back());
    }

    trackMap_ = new ImageControl(client_);
    trackMap_->onMouseMove = [this] { PointerOnMap(); };
    AddControl(QStringLiteral("TrackMap"), ControlKind::Other, trackMap_, 9480, 2280, 4572, 7032, false);

    for (int i = SectionCount - 1; i >= 0; --i) {
        const float left = i == 7 ? 3360.0f : 120.0f + 3120.0f * static_cast<float>(i % 3);
        const float top = 2040.0f + 2520.0f * static_cast<float>(i / 3);
        sectionCaptions_[i] = new QLabel(QStringLiteral("Picture Name"), client_);
        sectionCaptions_[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        sectionCaptions_[i]->setFont(DesignFont(true, 7.8));
        KeepPointerToItself(sectionCaptions_[i]);
        AddControl(QStringLiteral("lblPictureName_%1").arg(i), ControlKind::Other, sectionCaptions_[i], left, top, 2892,
                   252, true);
    }
    AddLine(QStringLiteral("Line1"), client_, 0, 0, 14280, 0);
    BuildMenus();

    // Tab order: the section pictures, then the scroll bar and the buttons.
    for (int i = 0; i + 1 < SectionCount; ++i)
        setTabOrder(sectionPictures_[i], sectionPictures_[i + 1]);
    setTabOrder(sectionPictures_[SectionCount - 1], startPositionBar_);
    setTabOrder(startPositionBar_, saveButton_);
    setTabOrder(saveButton_, revertButton_);

    connect(startPositionBar_, &QScrollBar::valueChanged, this, [this] { StartPositionBarChanged(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { SaveStartPosition(); });
    connect(revertButton_, &QPushButton::clicked, this, [this] { RevertStartPosition(); });

    // The design size: the client area below the menu bar.
    clientPixels_ = QSize(TwipsToPixels(DesignClientWidth), TwipsToPixels(DesignClientHeight));
    setFixedSize(clientPixels_.width(), clientPixels_.height() + menuBar()->sizeHint().height());
}

void MainWindow::BuildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("menuBar"));
    KeepPointerToItself(bar);
    const auto item = [this](QMenu *menu, const QString &name, const QString &caption) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(name);
        AddMenuItem(action);
        return action;
    };
    const auto separator = [this](QMenu *menu, const QString &name) {
        QAction *action = menu->addSeparator();
        action->setObjectName(name);
        AddMenuItem(action);
    };

    // Alt and the underlined letter open a menu; the desktop's style decides when the line shows.
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFileMenu"));
    file->menuAction()->setObjectName(QStringLiteral("mnuFile"));
    AddMenuItem(file->menuAction());
    selectTrackAction_ = item(file, QStringLiteral("mnuSelectTrack"), QStringLiteral("Select Sorvena track.ini..."));
    separator(file, QStringLiteral("Line2"));
    saveAction_ = item(file, QStringLiteral("mnuSave"), QStringLiteral("Save Start Position"));
    revertAction_ = item(file, QStringLiteral("mnuRevert"), QStringLiteral("Revert To Original Start Position"));
    separator(file, QStringLiteral("mnuLine1"));
    exitAction_ = item(file, QStringLiteral("mnuExit"), QStringLiteral("Exit"));
    // The menu shows each key beside its caption.
    selectTrackAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    exitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu *options = bar->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("mnuOptionsMenu"));
    options->menuAction()->setObjectName(QStringLiteral("mnuOptions"));
    AddMenuItem(options->menuAction());
    announcerAction_ = item(options, QStringLiteral("mnuTrackAnnouncer"), QStringLiteral("Track Announcer"));
    announcerAction_->setCheckable(true);
    announcerAction_->setChecked(false);
    separator(options, QStringLiteral("mnuLine2"));
    setStartAction_ = item(options, QStringLiteral("mnuSetStart"), QStringLiteral("Set Start Position..."));
    setStartAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));

    options->addSeparator();
    largerAction_ = item(options, QStringLiteral("mnuLargerWindow"), QStringLiteral("Larger Window"));
    smallerAction_ = item(options, QStringLiteral("mnuSmallerWindow"), QStringLiteral("Smaller Window"));
    fitAction_ = item(options, QStringLiteral("mnuFitToScreen"), QStringLiteral("Fit to Screen"));
    // Ctrl++ too, for keyboards where "+" is the key beside "=".
    largerAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    smallerAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    fitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));

    aboutAction_ = bar->addAction(QStringLiteral("&About"));
    aboutAction_->setObjectName(QStringLiteral("mnuAbout"));
    AddMenuItem(aboutAction_);

    // The check mark is the announcer's state; a checkable item turns it over on each click, and a
    // playing announcement goes on to its end.
    connect(selectTrackAction_, &QAction::triggered, this, [this] { SelectTrack(); });
    connect(saveAction_, &QAction::triggered, this, [this] { SaveStartPosition(); });
    connect(revertAction_, &QAction::triggered, this, [this] { RevertStartPosition(); });
    connect(exitAction_, &QAction::triggered, this, [this] { Exit(); });
    connect(aboutAction_, &QAction::triggered, this, [this] { ShowAbout(); });
    connect(setStartAction_, &QAction::triggered, this, [this] { SetStartPosition(); });

    // Keys of the window's own, in no menu: the typed start's dialog names them.
    for (const float metres : {-10.0f, 10.0f}) {
        QAction *nudge = nudgeActions_[metres > 0] = new QAction(this);
        nudge->setObjectName(metres > 0 ? QStringLiteral("nudgeStartOn") : QStringLiteral("nudgeStartBack"));
        nudge->setShortcut(QKeySequence(Qt::ALT | (metres > 0 ? Qt::Key_Right : Qt::Key_Left)));
        addAction(nudge);
        connect(nudge, &QAction::triggered, this, [this, metres] { NudgeStart(metres); });
    }

    connect(largerAction_, &QAction::triggered, this,
            [this] { ChooseWindowSize(LargerWindow(windowSize_, restScale_, FittingScale())); });
    connect(smallerAction_, &QAction::triggered, this,
            [this] { ChooseWindowSize(SmallerWindow(windowSize_, restScale_, FittingScale())); });
    connect(fitAction_, &QAction::triggered, this, [this] { ChooseWindowSize(WindowSizeChoice{true, 1.0}); });

    // F10 opens the first menu, as desktops do.
    auto *toMenuBar = new QAction(this);
    toMenuBar->setShortcut(QKeySequence(Qt::Key_F10));
    addAction(toMenuBar);
    connect(toMenuBar, &QAction::triggered, this, [bar, file] { bar->setActiveAction(file->menuAction()); });
}

void MainWindow::Load()
{
    // Qt always repaints from the widgets, so there is no retained drawing to switch off.
    RecordControlGeometry();

    // The check counts the screen's own lines. The window is then sized in the desktop's scaled
    // pixels: on a scaled desktop its text is never smaller than the desktop asks for.
    const auto screenHeight = static_cast<std::int16_t>(platform_.ScreenHeightPixels());
    if (screenHeight < SmallestScreenHeight) {
        platform_.ShowMessage(captions::ScreenTooSmallText, captions::ProgramTitle);
        platform_.Terminate(exit_status::ScreenTooSmall);
    }
    const RememberedSettings remembered = settings_.Read();
    designOuter_ = size();
    menuAtOne_ = menuBar()->sizeHint().height();
    restScale_ = PhysicalWindowScale(screenHeight, devicePixelRatioF(), AvailableArea(), QSizeF(designOuter_));
    screenScale_ = static_cast<double>(screenHeight) / DesignScreenHeight;
    windowSize_ = remembered.windowSize;
    ApplyWindowScale();
    CentreWindow();

    state_.TrackFolder = remembered.trackFolder;
    trackLengthCaption_->setText(captions::WelcomeLine1);
    startPositionCaption_->setText(captions::WelcomeLine2);
    for (int i = 0; i < SectionCount; ++i)
        LoadSectionPicture(i);
    for (int i = 0; i < SectionCount; ++i)
        sectionCaptions_[i]->setText(session_.Sections().SectionNames[i]);
    ShowMap(PlainMapPicture);

    startPositionBar_->setEnabled(false);
    saveAction_->setEnabled(false);
    revertAction_->setEnabled(false);
    for (QAction *action : {setStartAction_, nudgeActions_[0], nudgeActions_[1]})
        action->setEnabled(false);
    saveButton_->setEnabled(false);
    revertButton_->setEnabled(false);
    for (PictureBox *picture : sectionPictures_)
        picture->setEnabled(false);
    lastHoverSection_ = -1;
    StartFromRemembered(remembered);
}

void MainWindow::StartFromRemembered(const RememberedSettings &remembered)
{
    {
        // The sound output is got ready once the window shows, not before.
        const QSignalBlocker quiet(announcerAction_);
        announcerAction_->setChecked(remembered.trackAnnouncer);
    }
    if (remembered.trackAnnouncer)
        QTimer::singleShot(0, this, [this] { announcer_.PrepareOutput(); });
    connect(announcerAction_, &QAction::toggled, this, [this](bool on) { settings_.RememberTrackAnnouncer(on); });

    if (!remembered.trackFileName.isEmpty()) {
        state_.TrackFileName = remembered.trackFileName;
        // One that has gone, or is no longer the Sorvena track's, is passed over without a word; an
        // interrupted save undone is told once the window is up.
        const TrackFileResult reopened = session_.AcceptChosenTrack();
        if (reopened != TrackFileOutcome::Ok)
            state_.TrackFileName.clear();
        if (!reopened.notice.isEmpty())
            QTimer::singleShot(
                0, this, [this, notice = reopened.notice] { platform_.ShowMessage(notice, captions::ProgramTitle); });
    }
    if (!session_.HasAcceptedTrack() && !finder::RemembersFolder(state_.TrackFolder, platform_.ProgramFolder()))
        QTimer::singleShot(0, this, [this] { trackSearch_.Start(QDir::homePath()); });
}

QSizeF MainWindow::AvailableArea() const { return screen() ? QSizeF(screen()->availableGeometry().size()) : QSizeF(); }

double MainWindow::FittingScale() const
{
    return FittingWindowScale(devicePixelRatioF(), AvailableArea(), QSizeF(designOuter_));
}

void MainWindow::ApplyWindowScale()
{
    const double deviceRatio = devicePixelRatioF();
    const bool chosen = !windowSize_.IsLayoutSize();
    const double scale = chosen ? ChosenWindowScale(windowSize_, restScale_, FittingScale()) : restScale_;
    // The menu bar grows with the window, and is never drawn smaller than at a desktop scale of 1.
    // On a scaled desktop at rest, the window, its text and its menu bar are sized in the screen's
    // pixels, so a higher desktop scale never loses them a pixel to rounding.
    const bool atRestScaled = deviceRatio > 1.0 && !chosen;
    const double menuRatio = deviceRatio > 1.0 || chosen ? std::max(scale, 1.0) / deviceRatio : 1.0;
    if (menuRatio != 1.0 || menusScaled_ || atRestScaled)
        ScaleMenus(menuBar(), menuRatio,
                   atRestScaled ? RestMenuHeight(deviceRatio, screenScale_, FittingScale(), menuAtOne_) : 0);
    menusScaled_ = menusScaled_ || menuRatio != 1.0 || atRestScaled;
    const float factor = static_cast<float>(scale / deviceRatio);
    const QSize outer =
        atRestScaled ? RestWindowSize(deviceRatio, screenScale_, FittingScale(), AvailableArea(), QSizeF(designOuter_))
                     : QSize(TwipsToPixels(static_cast<float>(designOuter_.width()) * TwipsPerPixel * factor),
                             TwipsToPixels(static_cast<float>(designOuter_.height()) * TwipsPerPixel * factor));
    ScaleControls(factor, outer);
    // Text takes whole desktop pixels: each font is sized for the screen's pixels, not from the
    // client area's rounded height.
    if (atRestScaled)
        for (const ControlEntry &entry : controls_) {
            constexpr double pointsPerInch = 72.0;
            const double dpi = logicalDpiY();
            const int pixels =
                RestFontPixels(deviceRatio, screenScale_, FittingScale(), DesignPoints(entry) * dpi / pointsPerInch);
            SetFontPoints(entry, pixels * pointsPerInch / dpi);
        }
    largerAction_->setEnabled(LargerWindow(windowSize_, restScale_, FittingScale()).has_value());
    smallerAction_->setEnabled(SmallerWindow(windowSize_, restScale_, FittingScale()).has_value());
    fitAction_->setEnabled(!windowSize_.fitToScreen);
}

void MainWindow::ChooseWindowSize(const std::optional<WindowSizeChoice> &choice)
{
    if (!choice || *choice == windowSize_)
        return;
    windowSize_ = *choice;
    settings_.RememberWindowSize(windowSize_);
    ApplyWindowScale();
    CentreWindow();
    // The pictures are made again for their new sizes.
    for (int i = 0; i < SectionCount; ++i)
        LoadSectionPicture(i);
    ShowMap(PlainMapPicture);
    lastHoverSection_ = -1;
    if (session_.HasAcceptedTrack())
        mapPictures_.PrepareHighlighted(MapPixels(), devicePixelRatioF());
    ShowStartMarks();
}

float MainWindow::ClientWidthTwips() const { return static_cast<float>(clientPixels_.width()) * TwipsPerPixel; }

float MainWindow::ClientHeightTwips() const { return static_cast<float>(clientPixels_.height()) * TwipsPerPixel; }

void MainWindow::RecordControlGeometry()
{
    // The design is recorded against the design client area itself, not its pixel rounding.
    controlGeometries_.assign(controls_.size(), ControlGeometry{});
    for (std::size_t k = 0; k < controls_.size(); ++k)
        controlGeometries_[k] = RecordGeometry(controls_[k], DesignClientWidth, DesignClientHeight);
    designScaleHeight_ = DesignClientHeight;
}

void MainWindow::ScaleControls(float factor, QSize outer)
{
    // The window's outer size (menu bar included) moves in one operation; the menu bar keeps its
    // height, so the client area changes by a slightly different proportion.
    const int menuHeight = menuBar()->sizeHint().height();
    const QPoint newPos(TwipsToPixels(static_cast<float>(x()) * TwipsPerPixel * factor),
                        TwipsToPixels(static_cast<float>(y()) * TwipsPerPixel * factor));
    setFixedSize(outer);
    move(newPos);
    clientPixels_ = QSize(outer.width(), outer.height() - menuHeight);
    client_->resize(clientPixels_);

    const float clientWidth = ClientWidthTwips();
    const float clientHeight = ClientHeightTwips();
    for (std::size_t k = 0; k < controls_.size(); ++k)
        ScaleEntry(controls_[k], controlGeometries_[k], clientWidth, clientHeight);
    const double fontRatio = static_cast<double>(clientHeight) / static_cast<double>(designScaleHeight_);
    for (const ControlEntry &entry : controls_)
        ScaleFont(entry, fontRatio);
}

void MainWindow::CentreWindow()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    // On a scaled desktop, or at a size chosen, the window and its frame are centred in the room the
    // panels leave.
    const bool scaled = devicePixelRatioF() > 1.0 || !windowSize_.IsLayoutSize();
    const QRect area = scaled ? screen->availableGeometry() : screen->geometry();
    const QSize framed = frameGeometry().size().grownBy(scaled ? WindowFrameAllowance : QMargins());
    const float left = static_cast<float>(area.width()) * TwipsPerPixel / 2.0f -
                       static_cast<float>(framed.width()) * TwipsPerPixel / 2.0f;
    const float top = static_cast<float>(area.height()) * TwipsPerPixel / 2.0f -
                      static_cast<float>(framed.height()) * TwipsPerPixel / 2.0f;
    move(area.topLeft() + QPoint(TwipsToPixels(left), TwipsToPixels(top)));
}

void MainWindow::LoadSectionPicture(int index)
{
    // The photograph is fitted to its box in the screen's own pixels, so it stays crisp on a scaled
    // desktop. No full-size pixels are kept.
    const qreal scale = devicePixelRatioF();
    const QSize box = (QSizeF(sectionPictures_[index]->size()) * scale).toSize();
    ShownPhotograph shown =
        FittedSectionPhotograph(index, platform_.ProgramFolder(), session_.Sections().SectionNames[index], box);
    shown.fitted.cut.setDevicePixelRatio(scale);
    sectionPictures_[index]->SetImage(shown.fitted.cut);
}

QSize MainWindow::MapPixels() const { return (QSizeF(trackMap_->size()) * devicePixelRatioF()).toSize(); }

void MainWindow::ShowMap(int id)
{
    const TrackMapPictures::Shown map = mapPictures_.Map(id, MapPixels(), devicePixelRatioF());
    trackMap_->SetStretchedPicture(map.plain, map.patch, map.at, [id] { return LoadResourcePicture(id); });
}

void MainWindow::BuildStartMarkers()
{
    startMarkers_ = new StartMarkerOverlay(trackMap_);
    // The bar reports a drag once, at its end, but the marker follows the thumb all along.
    connect(startPositionBar_, &QScrollBar::sliderMoved, this, [this] { ShowStartMarks(); });
    connect(startPositionBar_, &QScrollBar::sliderReleased, this, [this] { ShowStartMarks(); });
}

void MainWindow::ShowStartMarks()
{
    // A thumb dragged back onto the bar's value brings no change at its release: the start is then
    // the session's again.
    const int position = startPositionBar_->sliderPosition();
    const bool dragged = startPositionBar_->isSliderDown() && position != startPositionBar_->value();
    const StartMarks marks = StartMarksOf(session_, dragged ? std::optional(position) : std::nullopt);
    startMarkers_->ShowMarks(marks);
    // The caption reads meanwhile as it will once the thumb is let go.
    startPositionCaption_->setText(dragged ? session_.BarCaption(position) : sessionStartCaption_);
    // The photograph of the section the start lies in is framed in the marker's blue.
    const std::optional<int> current =
        marks.start ? SectionAt(session_.Sections(), *marks.start, session_.TrackLengthMetres()) : std::nullopt;
    for (int i = 0; i < SectionCount; ++i)
        sectionFrames_[i]->SetColour(current == i ? StartBlue : FrameGrey);
}

void MainWindow::SectionPictureClicked(int index) { session_.SectionClick(index); }

void MainWindow::PointerOnSectionPicture(int index)
{
    if (index == lastHoverSection_)
        return;
    ShowMap(FirstHighlightedMapPicture + index);
    if (announcerAction_->isChecked())
        announcer_.PlaySectionSound(index);
    lastHoverSection_ = static_cast<std::int16_t>(index);
}

void MainWindow::PointerOnMap() { announcer_.StopSound(); }

void MainWindow::PointerOnBackground() { announcer_.StopSound(); }

void MainWindow::StartPositionBarChanged() { session_.ScrollChange(startPositionBar_->value()); }

void MainWindow::SelectTrack()
{
    if (const auto choice =
            showFinder(state_.TrackFolder, session_.HasAcceptedTrack() ? state_.TrackFileName : QString()))
        TrackChosen(*choice);
}

void MainWindow::OpenTrackPath(const QString &path)
{
    const QFileInfo chosen(path);
    TrackChosen(TrackChoice{finder::CleanFolder(chosen.absolutePath()), chosen.fileName()});
}

void MainWindow::TrackChosen(const TrackChoice &choice)
{
    const TrackChoice inUse{state_.TrackFolder, state_.TrackFileName};
    state_.TrackFolder = choice.folder;
    state_.TrackFileName = choice.fileName;
    const TrackFileResult result = session_.AcceptChosenTrack();
    // A file refused leaves the one in use in use, and the finder opens on it again.
    if (result != TrackFileOutcome::Ok && session_.HasAcceptedTrack()) {
        state_.TrackFolder = inUse.folder;
        state_.TrackFileName = inUse.fileName;
    }
    ShowFailure(result);
}

void MainWindow::SaveStartPosition() { ShowFailure(session_.Save()); }

void MainWindow::RevertStartPosition() { ShowFailure(session_.Revert()); }

void MainWindow::SetStartPosition()
{
    if (!session_.HasAcceptedTrack())
        return;
    // The field starts where the marker stands: a start beyond the lap (Revert keeps one) taken
    // round it.
    const float lap = session_.TrackLengthMetres();
    if (const auto metres = AskStartPosition(session_.Sections(), lap,
                                             ReduceBeyondTrack(session_.AcceptedTrack().StartPosition, lap), this))
        session_.StartAtMetres(*metres);
}

void MainWindow::NudgeStart(float metres)
{
    if (!session_.HasAcceptedTrack())
        return;
    // From where the marker stands.
    const float lap = session_.TrackLengthMetres();
    const float start = ReduceBeyondTrack(session_.AcceptedTrack().StartPosition, lap);
    session_.StartAtMetres(std::clamp(start + metres, 0.0f, lap));
}

void MainWindow::ShowFailure(const TrackFileResult &result)
{
    // The window stays as the failed command found it; the user can mend the cause and try again.
    if (const auto message = MessageFor(result))
        platform_.ShowMessage(message->Body(), message->caption);
    // A save ended by force that was undone is told once, in the program's own message box.
    if (!result.notice.isEmpty())
        platform_.ShowMessage(result.notice, captions::ProgramTitle);
}

void MainWindow::Exit()
{
    if (MayEnd())
        platform_.Terminate(exit_status::Ok);
}

bool MainWindow::MayEnd()
{
    // A second close request while the question is open waits for its answer.
    if (askingToSave_)
        return false;
    if (!session_.HasUnsavedStart())
        return true;
    askingToSave_ = true;
    const SaveAnswer answer = platform_.AskToSave(SaveQuestion, captions::ProgramTitle);
    askingToSave_ = false;
    if (answer != SaveAnswer::Save)
        return answer == SaveAnswer::Discard;
    // A save that fails shows its message, its cause under it, and the window stays, the start
    // still unsaved.
    const TrackFileResult saved = session_.Save();
    ShowFailure(saved);
    return saved.outcome == TrackFileOutcome::Ok;
}

void MainWindow::ShowAbout() { platform_.ShowMessage(captions::AboutText(), captions::ProgramTitle); }

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!MayEnd()) {
        event->ignore();
        return;
    }
    event->accept();
    platform_.Terminate(exit_status::Ok);
}

void MainWindow::ShowTrackLengthCaption(const QString &caption) { trackLengthCaption_->setText(caption); }

void MainWindow::ShowStartPositionCaption(const QString &caption)
{
    sessionStartCaption_ = caption;
    startPositionCaption_->setText(caption);
}

void MainWindow::SetStartPositionBar(int value) { startPositionBar_->setValue(value); }

void MainWindow::ShowPlainMap() { ShowMap(PlainMapPicture); }

void MainWindow::ShowUnsavedStart(bool unsaved)
{
    // The mark desktop editors put before the title of a window holding unsaved changes.
    setWindowTitle(unsaved ? QStringLiteral("*") + captions::ProgramTitle : captions::ProgramTitle);
    // The session tells this after every change of the start or of the file's own, so the markers
    // follow from here.
    ShowStartMarks();
}

void MainWindow::EnableTrackCommands()
{
    saveAction_->setEnabled(true);
    revertAction_->setEnabled(true);
    saveButton_->setEnabled(true);
    revertButton_->setEnabled(true);
    startPositionBar_->setEnabled(true);
    for (PictureBox *picture : sectionPictures_)
        picture->setEnabled(true);
    for (QAction *action : {setStartAction_, nudgeActions_[0], nudgeActions_[1]})
        action->setEnabled(true);
    // From now on the pointer highlights sections: their maps are made ready at the map's size. For a
    // track taken up at start that waits until the window has been painted, so it does not hold up
    // the window's first showing; a pointer there sooner has its map made on the spot.
    const auto prepare = [this] { mapPictures_.PrepareHighlighted(MapPixels(), devicePixelRatioF()); };
    if (trackMap_->HasBeenPainted())
        prepare();
    else
        trackMap_->onFirstPaint = [this, prepare] { QTimer::singleShot(0, this, prepare); };
}

} // namespace korsa
