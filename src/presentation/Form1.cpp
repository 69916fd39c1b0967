#include "presentation/Form1.h"

#include "finder/FinderPaths.h"
#include "finder/FrmFileManager2.h"
#include "presentation/SideBySide.h"
#include "session/Captions.h"
#include "session/Numbers.h"
#include "track_file/UserMessages.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <map>

namespace korsa {

namespace {

// The design client area, in twips.
constexpr float DesignClientWidth = 14256.0f;
constexpr float DesignClientHeight = 9612.0f;
constexpr int PlainMap = 210;
constexpr int FirstHighlightedMap = 200;

const QColor FrameGrey(64, 64, 64);
// The window's own font size; the section captions have their own.
constexpr double DesignFontPoints = 9.0;

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

Form1::Form1(Platform &platform, QWidget *parent)
    : QMainWindow(parent), platform_(platform), settings_(platform.ProgramFolder()),
      session_(state_, *this, &settings_), announcer_(platform.ProgramFolder())
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
    showFinder = [this](SessionState &state) { ShowTrackFinder(state, platform_.ProgramFolder(), this); };
    BuildDesign();
    // Switching the announcer on gets the sound output ready, so the first announcement is not
    // kept waiting for the sound server.
    connect(mnuTrackAnnouncer, &QAction::toggled, this, [this](bool on) {
        if (on)
            announcer_.PrepareOutput();
    });
}

Form1::~Form1() = default;

ControlEntry &Form1::AddControl(const QString &name, ControlKind kind, QWidget *widget, float left, float top,
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
    controls_.push_back(entry);
    ApplyEntry(controls_.back());
    return controls_.back();
}

void Form1::AddLine(const QString &name, QWidget *container, float x1, float y1, float x2, float y2)
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

void Form1::AddMenuItem(QAction *action)
{
    ControlEntry entry;
    entry.name = action->objectName();
    entry.kind = ControlKind::MenuItem;
    entry.action = action;
    controls_.push_back(entry);
}

void Form1::BuildDesign()
{
    const QFont windowFont = DesignFont(false, DesignFontPoints);
    client_ = new ClientArea(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setMouseTracking(true);
    client_->setFont(windowFont);
    static_cast<ClientArea *>(client_)->onMouseMove = [this] { Form_MouseMove(); };
    setCentralWidget(client_);

    // The controls in design order: this order is the window's control collection.
    Frame1 = new QGroupBox(client_);
    KeepPointerToItself(Frame1);
    AddControl(QStringLiteral("Frame1"), ControlKind::Other, Frame1, 120, 120, 13932, 1692, true);
    cmdRevert = new QPushButton(QStringLiteral("Revert"), Frame1);
    AddControl(QStringLiteral("cmdRevert"), ControlKind::Other, cmdRevert, 12480, 1140, 972, 372, true);
    cmdSave = new QPushButton(QStringLiteral("Save"), Frame1);
    AddControl(QStringLiteral("cmdSave"), ControlKind::Other, cmdSave, 480, 1140, 972, 372, true);
    HScroll1 = new FineTuningBar(Qt::Horizontal, Frame1);
    HScroll1->setFocusPolicy(Qt::StrongFocus);
    HScroll1->setRange(0, ScrollMaximum);
    HScroll1->setSingleStep(10);
    HScroll1->setPageStep(50);
    // A drag reports once, at its end.
    HScroll1->setTracking(false);
    AddControl(QStringLiteral("HScroll1"), ControlKind::Other, HScroll1, 1800, 1200, 10332, 252, false);
    AddLine(QStringLiteral("Line3"), Frame1, 0, 960, 13920, 960);
    Label1 = new QLabel(QStringLiteral("Label1"), Frame1);
    AddControl(QStringLiteral("Label1"), ControlKind::Other, Label1, 120, 240, 8892, 252, true);
    Label2 = new QLabel(QStringLiteral("Label2"), Frame1);
    AddControl(QStringLiteral("Label2"), ControlKind::Other, Label2, 120, 600, 8892, 252, true);

    for (int i = SectionCount - 1; i >= 0; --i) {
        const float left = 120.0f + 3120.0f * static_cast<float>(i % 3);
        const float top = 2280.0f + 2520.0f * static_cast<float>(i / 3);
        GEMPic1[i] = new PictureBox(client_);
        GEMPic1[i]->setFont(windowFont);
        GEMPic1[i]->onMouseMove = [this, i] { GEMPic1_MouseMove(i); };
        GEMPic1[i]->onDisabledMove = [this] { Form_MouseMove(); };
        GEMPic1[i]->onClick = [this, i] { GEMPic1_Click(i); };
        AddControl(QStringLiteral("GEMPic1_%1").arg(i), ControlKind::Other, GEMPic1[i], left, top, 3000, 2000, true);
        Shape1[i] = new ShapeControl(ShapeControl::Form::Rectangle, FrameGrey, GEMPic1[i]);
        AddControl(QStringLiteral("Shape1_%1").arg(i), ControlKind::Shape, Shape1[i], 0, 0, 3000, 2004, false)
            .borderWidth = 8;
        ApplyEntry(controls_.back());
    }

    // Work surfaces for preparing the photographs; never shown.
    Picture3 = new PictureBox(client_);
    AddControl(QStringLiteral("Picture3"), ControlKind::Other, Picture3, 11280, 480, 735, 1215, true);
    Picture2 = new PictureBox(client_);
    AddControl(QStringLiteral("Picture2"), ControlKind::Other, Picture2, 9840, 480, 825, 1320, true);
    Picture2->hide();
    Picture3->hide();
    TrackMap = new ImageControl(client_);
    TrackMap->onMouseMove = [this] { TrackMap_MouseMove(); };
    AddControl(QStringLiteral("TrackMap"), ControlKind::Other, TrackMap, 9480, 2280, 4572, 7032, false);

    for (int i = SectionCount - 1; i >= 0; --i) {
        const float left = i == 7 ? 3360.0f : 120.0f + 3120.0f * static_cast<float>(i % 3);
        const float top = 2040.0f + 2520.0f * static_cast<float>(i / 3);
        lblPictureName[i] = new QLabel(QStringLiteral("Picture Name"), client_);
        lblPictureName[i]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lblPictureName[i]->setFont(DesignFont(true, 7.8));
        KeepPointerToItself(lblPictureName[i]);
        AddControl(QStringLiteral("lblPictureName_%1").arg(i), ControlKind::Other, lblPictureName[i], left, top, 2892,
                   252, true);
    }
    AddLine(QStringLiteral("Line1"), client_, 0, 0, 14280, 0);
    BuildMenus();

    // Tab order: the section pictures, then the scroll bar and the buttons.
    for (int i = 0; i + 1 < SectionCount; ++i)
        setTabOrder(GEMPic1[i], GEMPic1[i + 1]);
    setTabOrder(GEMPic1[SectionCount - 1], HScroll1);
    setTabOrder(HScroll1, cmdSave);
    setTabOrder(cmdSave, cmdRevert);

    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdRevert, &QPushButton::clicked, this, [this] { cmdRevert_Click(); });

    // The design size: the client area below the menu bar.
    clientPixels_ = QSize(TwipsToPixels(DesignClientWidth), TwipsToPixels(DesignClientHeight));
    setFixedSize(clientPixels_.width(), clientPixels_.height() + menuBar()->sizeHint().height());
}

void Form1::BuildMenus()
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

    QMenu *file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("mnuFileMenu"));
    file->menuAction()->setObjectName(QStringLiteral("mnuFile"));
    AddMenuItem(file->menuAction());
    mnuSelectTrack = item(file, QStringLiteral("mnuSelectTrack"), QStringLiteral("Select Sorvena track.ini..."));
    separator(file, QStringLiteral("Line2"));
    mnuSave = item(file, QStringLiteral("mnuSave"), QStringLiteral("Save Start Position"));
    mnuRevert = item(file, QStringLiteral("mnuRevert"), QStringLiteral("Revert To Original Start Position"));
    separator(file, QStringLiteral("mnuLine1"));
    mnuExit = item(file, QStringLiteral("mnuExit"), QStringLiteral("Exit"));
    // The menu shows each key beside its caption.
    mnuSelectTrack->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu *options = bar->addMenu(QStringLiteral("Options"));
    options->setObjectName(QStringLiteral("mnuOptionsMenu"));
    options->menuAction()->setObjectName(QStringLiteral("mnuOptions"));
    AddMenuItem(options->menuAction());
    mnuTrackAnnouncer = item(options, QStringLiteral("mnuTrackAnnouncer"), QStringLiteral("Track Announcer"));
    mnuTrackAnnouncer->setCheckable(true);
    mnuTrackAnnouncer->setChecked(false);

    mnuAbout = bar->addAction(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    AddMenuItem(mnuAbout);

    // The check mark is the announcer's state; a checkable item turns it over on each click.
    connect(mnuTrackAnnouncer, &QAction::triggered, this, [this] { mnuTrackAnnouncer_Click(); });
    connect(mnuSelectTrack, &QAction::triggered, this, [this] { mnuSelectTrack_Click(); });
    connect(mnuSave, &QAction::triggered, this, [this] { mnuSave_Click(); });
    connect(mnuRevert, &QAction::triggered, this, [this] { mnuRevert_Click(); });
    connect(mnuExit, &QAction::triggered, this, [this] { mnuExit_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
}

void Form1::Form_Load()
{
    // Qt always repaints from the widgets, so there is no retained drawing to switch off.
    RecordControlGeometry();

    // The check counts the screen's own lines; the window is then sized in the desktop's scaled
    // pixels, so at any scale it takes the share of the screen it takes unscaled.
    const auto screenHeight = static_cast<std::int16_t>(platform_.ScreenHeightPixels());
    if (screenHeight < SmallestScreenHeight) {
        platform_.ShowMessage(captions::ScreenTooSmallText, captions::ProgramTitle);
        platform_.Terminate(exit_status::ScreenTooSmall);
    }
    const auto factor =
        static_cast<float>(static_cast<double>(screenHeight) / DesignScreenHeight / devicePixelRatioF());
    ScaleControls(factor);
    CentreWindow();

    state_.TrackFolder = settings_.ReadTrackFolder();
    Label1->setText(captions::WelcomeLine1);
    Label2->setText(captions::WelcomeLine2);
    DecodeStartPictures();
    for (int i = 0; i < SectionCount; ++i)
        LoadSectionPicture(i);
    for (int i = 0; i < SectionCount; ++i)
        lblPictureName[i]->setText(session_.Sections().SectionNames[i]);
    ShowMap(PlainMap);
#ifdef __GLIBC__
    // Decoding leaves freed buffers behind that the allocator would otherwise keep. They go back
    // once the window is up, so that handing them back does not hold up its showing.
    QTimer::singleShot(0, this, [] { malloc_trim(0); });
#endif

    HScroll1->setEnabled(false);
    mnuSave->setEnabled(false);
    mnuRevert->setEnabled(false);
    cmdSave->setEnabled(false);
    cmdRevert->setEnabled(false);
    for (PictureBox *picture : GEMPic1)
        picture->setEnabled(false);
    lastHoverSection_ = -1;
}

float Form1::ClientWidthTwips() const { return static_cast<float>(clientPixels_.width()) * TwipsPerPixel; }

float Form1::ClientHeightTwips() const { return static_cast<float>(clientPixels_.height()) * TwipsPerPixel; }

void Form1::RecordControlGeometry()
{
    // The design is recorded against the design client area itself, not its pixel rounding.
    controlGeometries_.assign(controls_.size(), ControlGeometry{});
    for (std::size_t k = 0; k < controls_.size(); ++k)
        controlGeometries_[k] = RecordGeometry(controls_[k], DesignClientWidth, DesignClientHeight);
    designScaleHeight_ = DesignClientHeight;
}

void Form1::ScaleControls(float factor)
{
    // The window's outer size (menu bar included) moves in one operation; the menu bar keeps its
    // height, so the client area changes by a slightly different proportion.
    const int menuHeight = menuBar()->sizeHint().height();
    const float outerWidth = static_cast<float>(width()) * TwipsPerPixel * factor;
    const float outerHeight = static_cast<float>(height()) * TwipsPerPixel * factor;
    const QPoint newPos(TwipsToPixels(static_cast<float>(x()) * TwipsPerPixel * factor),
                        TwipsToPixels(static_cast<float>(y()) * TwipsPerPixel * factor));
    const QSize outer(TwipsToPixels(outerWidth), TwipsToPixels(outerHeight));
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

void Form1::CentreWindow()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QSize screenSize = screen->geometry().size();
    const float left = static_cast<float>(screenSize.width()) * TwipsPerPixel / 2.0f -
                       static_cast<float>(frameGeometry().width()) * TwipsPerPixel / 2.0f;
    const float top = static_cast<float>(screenSize.height()) * TwipsPerPixel / 2.0f -
                      static_cast<float>(frameGeometry().height()) * TwipsPerPixel / 2.0f;
    move(screen->geometry().topLeft() + QPoint(TwipsToPixels(left), TwipsToPixels(top)));
}

void Form1::DecodeStartPictures()
{
    // The photograph is decoded straight at the size that covers its box: the loading surface
    // takes the photograph's size, but there are no full-size pixels to keep in it.
    // On a scaled desktop the box is filled in the screen's own pixels, so photographs stay crisp.
    // Everything a decode needs is read from the widgets first; the decodes touch only their slot.
    const qreal scale = devicePixelRatioF();
    std::array<QSize, SectionCount> boxes;
    for (int i = 0; i < SectionCount; ++i)
        boxes[static_cast<std::size_t>(i)] = (QSizeF(GEMPic1[i]->size()) * scale).toSize();
    const QString folder = platform_.ProgramFolder();
    const std::array<QString, SectionCount> names = session_.Sections().SectionNames;
    const QSize mapPixels = MapPixels();
    QImage plainMap;
    // The map, the largest, goes first.
    RunSideBySide(SectionCount + 1, [&](int k) {
        const auto at = static_cast<std::size_t>(k);
        if (k == 0)
            plainMap = LoadResourcePictureAt(PlainMap, mapPixels);
        else
            startPhotographs_[at - 1] = FittedSectionPhotograph(k - 1, folder, names[at - 1], boxes[at - 1]);
    });
    // Marked for the screen's pixels once, here: the map control then draws it as it is, without
    // a copy at every hover.
    plainMap.setDevicePixelRatio(scale);
    plainMap_ = plainMap;
}

void Form1::LoadSectionPicture(int index)
{
    ShownPhotograph shown = std::exchange(startPhotographs_[static_cast<std::size_t>(index)], {});
    const qreal scale = devicePixelRatioF();
    shown.fitted.scaled.setDevicePixelRatio(scale);
    shown.fitted.cut.setDevicePixelRatio(scale);
    Picture2->resize(shown.photoSize);
    Picture3->resize(shown.fitted.scaled.deviceIndependentSize().toSize());
    Picture3->SetImage(shown.fitted.scaled);
    GEMPic1[index]->SetImage(shown.fitted.cut);
}

QSize Form1::MapPixels() const { return (QSizeF(TrackMap->size()) * devicePixelRatioF()).toSize(); }

const QImage &Form1::ReadyPlainMap()
{
    if (plainMap_.size() != MapPixels()) {
        plainMap_ = LoadResourcePictureAt(PlainMap, MapPixels());
        plainMap_.setDevicePixelRatio(devicePixelRatioF());
    }
    return plainMap_;
}

// A highlighted map is the plain one with a small stretch of road in red: only the part that
// differs is kept, and it is drawn over the plain map.
Form1::HoverMap Form1::MakeHoverMap(int id, QSize pixels, const QImage &plain, qreal scale)
{
    HoverMap ready;
    const QImage map = LoadResourcePictureAt(id, pixels);
    ready.missing = map.isNull();
    ready.patch = ready.missing ? PicturePatch{} : DifferenceFrom(plain, map);
    ready.patch.patch.setDevicePixelRatio(scale);
    ready.madeFor = pixels;
    return ready;
}

const Form1::HoverMap &Form1::ReadyHoverMap(int index)
{
    HoverMap &ready = hoverMaps_[static_cast<std::size_t>(index)];
    if (ready.madeFor != MapPixels())
        ready = MakeHoverMap(FirstHighlightedMap + index, MapPixels(), ReadyPlainMap(), devicePixelRatioF());
    return ready;
}

void Form1::PrepareHoverMaps()
{
    // Decoded side by side: accepting a track is not kept waiting for nine decodes in a row.
    const QSize pixels = MapPixels();
    const qreal scale = devicePixelRatioF();
    const QImage &plain = ReadyPlainMap();
    RunSideBySide(SectionCount, [&](int i) {
        HoverMap &ready = hoverMaps_[static_cast<std::size_t>(i)];
        if (ready.madeFor != pixels)
            ready = MakeHoverMap(FirstHighlightedMap + i, pixels, plain, scale);
    });
}

void Form1::ShowMap(int id)
{
    const auto picture = [id] { return LoadResourcePicture(id); };
    if (id == PlainMap) {
        TrackMap->SetStretchedPicture(ReadyPlainMap(), QImage(), QPoint(), picture);
        return;
    }
    const HoverMap &map = ReadyHoverMap(id - FirstHighlightedMap);
    if (map.missing)
        TrackMap->SetStretchedPicture(QImage(), QImage(), QPoint(), picture);
    else
        TrackMap->SetStretchedPicture(ReadyPlainMap(), map.patch.patch, map.patch.at, picture);
}

void Form1::GEMPic1_Click(int index) { session_.SectionClick(index); }

void Form1::GEMPic1_MouseMove(int index)
{
    if (index == lastHoverSection_)
        return;
    ShowMap(FirstHighlightedMap + index);
    if (mnuTrackAnnouncer->isChecked())
        announcer_.PlaySectionSound(index);
    lastHoverSection_ = static_cast<std::int16_t>(index);
}

void Form1::TrackMap_MouseMove() { announcer_.StopSound(); }

void Form1::Form_MouseMove() { announcer_.StopSound(); }

void Form1::HScroll1_Change() { session_.ScrollChange(HScroll1->value()); }

void Form1::mnuSelectTrack_Click()
{
    showFinder(state_);
    TrackChosen();
}

void Form1::OpenTrackPath(const QString &path)
{
    const QFileInfo chosen(path);
    state_.TrackFolder = finder::CleanFolder(chosen.absolutePath());
    state_.TrackFileName = chosen.fileName();
    TrackChosen();
}

void Form1::TrackChosen() { ShowFailure(session_.AcceptChosenTrack()); }

void Form1::mnuSave_Click() { ShowFailure(session_.Save()); }

void Form1::mnuRevert_Click() { ShowFailure(session_.Revert()); }

void Form1::ShowFailure(TrackFileOutcome outcome)
{
    // The window stays as the failed command found it; the user can mend the cause and try again.
    if (const auto message = MessageFor(outcome))
        platform_.ShowMessage(message->text, message->caption);
}

void Form1::cmdSave_Click() { mnuSave_Click(); }

void Form1::cmdRevert_Click() { mnuRevert_Click(); }

void Form1::mnuExit_Click() { platform_.Terminate(exit_status::Ok); }

void Form1::mnuAbout_Click() { platform_.ShowMessage(captions::AboutText(), captions::ProgramTitle); }

void Form1::mnuTrackAnnouncer_Click()
{
    // Toggling changes only the check mark: a playing announcement goes on to its end.
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    platform_.Terminate(exit_status::Ok);
}

void Form1::SetLabel1(const QString &caption) { Label1->setText(caption); }

void Form1::SetLabel2(const QString &caption) { Label2->setText(caption); }

void Form1::SetScrollValue(int value) { HScroll1->setValue(value); }

void Form1::ShowPlainMap() { ShowMap(PlainMap); }

void Form1::EnableTrackCommands()
{
    mnuSave->setEnabled(true);
    mnuRevert->setEnabled(true);
    cmdSave->setEnabled(true);
    cmdRevert->setEnabled(true);
    HScroll1->setEnabled(true);
    for (PictureBox *picture : GEMPic1)
        picture->setEnabled(true);
    // From now on the pointer highlights sections: their maps wait ready at the map's size.
    PrepareHoverMaps();
}

} // namespace korsa
