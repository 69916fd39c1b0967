#pragma once

#include "announcer/Announcer.h"
#include "platform/Platform.h"
#include "presentation/Controls.h"
#include "presentation/Layout.h"
#include "presentation/ResourcePictures.h"
#include "session/SettingsFile.h"
#include "session/StartPositionSession.h"
#include "track_file/SessionState.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollBar>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace korsa {

// The trainer's main window: the design, start-up, and the handlers of its events. What the
// handlers decide lives in StartPositionSession; this class shows it and forwards the events.
class Form1 : public QMainWindow, private SessionView
{
    Q_OBJECT

public:
    explicit Form1(Platform &platform, QWidget *parent = nullptr);
    ~Form1() override;

    // The load handler: scales the window to the screen (or ends the program on a screen too
    // small), reads the settings file and leaves the window in its no-track state.
    void Form_Load();

    // A track file named on the command line, taken as if it had been picked in the finder.
    void OpenTrackPath(const QString &path);

    // Shows the finder and leaves its choice in the state; tests put their own in its place.
    std::function<void(SessionState &)> showFinder;

    // Event handlers.
    void GEMPic1_Click(int index);
    void GEMPic1_MouseMove(int index);
    void TrackMap_MouseMove();
    void Form_MouseMove();
    void HScroll1_Change();
    void mnuSelectTrack_Click();
    void mnuSave_Click();
    void mnuRevert_Click();
    void cmdSave_Click();
    void cmdRevert_Click();
    void mnuExit_Click();
    void mnuAbout_Click();
    void mnuTrackAnnouncer_Click();

    // What tests look at.
    SessionState &State() { return state_; }
    const std::vector<ControlEntry> &Controls() const { return controls_; }
    int LastHoverSection() const { return lastHoverSection_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // SessionView
    void SetLabel1(const QString &caption) override;
    void SetLabel2(const QString &caption) override;
    void SetScrollValue(int value) override;
    void ShowPlainMap() override;
    void EnableTrackCommands() override;

    // Everything after the finder has closed and left its choice in the state.
    void TrackChosen();
    void ShowFailure(TrackFileOutcome outcome);
    void BuildDesign();
    void BuildMenus();
    ControlEntry &AddControl(const QString &name, ControlKind kind, QWidget *widget, float left, float top, float width,
                             float height, bool hasFont);
    void AddLine(const QString &name, QWidget *container, float x1, float y1, float x2, float y2);
    void AddMenuItem(QAction *action);

    void RecordControlGeometry();
    void ScaleControls(float factor);
    void CentreWindow();
    // Decodes the section photographs, fitted to their boxes, and the plain map at once, side by
    // side; LoadSectionPicture then puts each photograph in place.
    void DecodeStartPictures();
    void LoadSectionPicture(int index);
    // The maps, decoded once at the map control's size: the plain one whole, the highlighted
    // ones as the part that differs from it.
    struct HoverMap {
        PicturePatch patch;
        bool missing = false;
        QSize madeFor;
    };
    // The map control's size in the screen's own pixels.
    QSize MapPixels() const;
    const QImage &ReadyPlainMap();
    static HoverMap MakeHoverMap(int id, QSize pixels, const QImage &plain, qreal scale);
    const HoverMap &ReadyHoverMap(int index);
    void PrepareHoverMaps();
    void ShowMap(int id);
    float ClientWidthTwips() const;
    float ClientHeightTwips() const;

    Platform &platform_;
    SessionState state_;
    SettingsFile settings_;
    StartPositionSession session_;
    Announcer announcer_;

    QWidget *client_ = nullptr;
    QGroupBox *Frame1 = nullptr;
    QPushButton *cmdRevert = nullptr;
    QPushButton *cmdSave = nullptr;
    QScrollBar *HScroll1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    std::array<PictureBox *, SectionCount> GEMPic1{};
    std::array<ShapeControl *, SectionCount> Shape1{};
    std::array<QLabel *, SectionCount> lblPictureName{};
    PictureBox *Picture2 = nullptr;
    PictureBox *Picture3 = nullptr;
    ImageControl *TrackMap = nullptr;
    QAction *mnuSelectTrack = nullptr;
    QAction *mnuSave = nullptr;
    QAction *mnuRevert = nullptr;
    QAction *mnuExit = nullptr;
    QAction *mnuTrackAnnouncer = nullptr;
    QAction *mnuAbout = nullptr;

    // The plain map and the nine highlighted ones, ready at the map control's size, so that
    // entering a picture only changes what the map paints.
    QImage plainMap_;
    std::array<HoverMap, SectionCount> hoverMaps_;
    // The photographs between their decoding and LoadSectionPicture; empty after start-up.
    std::array<ShownPhotograph, SectionCount> startPhotographs_;
    std::vector<ControlEntry> controls_;
    std::vector<ControlGeometry> controlGeometries_;
    float designScaleHeight_ = 0;
    // The client area's size in pixels as the window is laid out.
    QSize clientPixels_;
    std::int16_t lastHoverSection_ = -1;
};

} // namespace korsa
