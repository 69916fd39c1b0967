#pragma once

#include "announcer/Announcer.h"
#include "finder/TrackFinderDialog.h"
#include "finder/TrackSearch.h"
#include "platform/Platform.h"
#include "presentation/Controls.h"
#include "presentation/Layout.h"
#include "presentation/StartMarkerOverlay.h"
#include "presentation/TrackMapPictures.h"
#include "presentation/WindowScale.h"
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
#include <optional>
#include <vector>

namespace korsa {

// The trainer's main window: the design, start-up, and the handlers of its events. What the
// handlers decide lives in StartPositionSession; this class shows it and forwards the events.
class MainWindow : public QMainWindow, private SessionView
{
    Q_OBJECT

public:
    explicit MainWindow(Platform &platform, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The load handler: scales the window to the screen (or ends the program on a screen too
    // small), reads the settings file and leaves the window in its no-track state, or with the
    // remembered track file accepted.
    void Load();

    // A track file named on the command line, taken as if it had been picked in the finder.
    void OpenTrackPath(const QString &path);

    // Shows the finder opened in a folder with the file in use (empty for none) selected, and
    // returns the file picked; tests put their own in its place.
    std::function<std::optional<TrackChoice>(const QString &startFolder, const QString &fileInUse)> showFinder;

    // Event handlers.
    void SectionPictureClicked(int index);
    void PointerOnSectionPicture(int index);
    void PointerOnMap();
    void PointerOnBackground();
    void StartPositionBarChanged();
    void SelectTrack();
    void SaveStartPosition();
    void RevertStartPosition();
    // Options > Set Start Position...; Alt+Left and Alt+Right move the start by `metres`.
    void SetStartPosition();
    void NudgeStart(float metres);
    void Exit();
    void ShowAbout();

    // What tests look at.
    SessionState &State() { return state_; }
    const std::vector<ControlEntry> &Controls() const { return controls_; }
    const finder::TrackSearch &Search() const { return trackSearch_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // SessionView
    void ShowTrackLengthCaption(const QString &caption) override;
    void ShowStartPositionCaption(const QString &caption) override;
    void SetStartPositionBar(int value) override;
    void ShowPlainMap() override;
    void EnableTrackCommands() override;
    void ShowUnsavedStart(bool unsaved) override;

    // The remembered announcer setting and track file taken up again; with no track file and no
    // folder to go back to, the search for the track file starts once the window shows.
    void StartFromRemembered(const RememberedSettings &remembered);
    // With a start position the file does not hold, asks whether to save it first: true when the
    // program may end now.
    bool MayEnd();
    // A track file picked in the finder or named on the command line, read and, if it is the Sorvena
    // track's, taken.
    void TrackChosen(const TrackChoice &choice);
    void ShowFailure(const TrackFileResult &result);
    void BuildDesign();
    void BuildMenus();
    ControlEntry &AddControl(const QString &name, ControlKind kind, QWidget *widget, float left, float top, float width,
                             float height, bool hasFont);
    void AddLine(const QString &name, QWidget *container, float x1, float y1, float x2, float y2);
    void AddMenuItem(QAction *action);

    // The window's size: the available area of its screen in window pixels, the scale against the
    // design (in the screen's own pixels) at which it fits there, the layout put at the size chosen,
    // and a new size chosen in Options.
    QSizeF AvailableArea() const;
    double FittingScale() const;
    void ApplyWindowScale();
    void ChooseWindowSize(const std::optional<WindowSizeChoice> &choice);

    void RecordControlGeometry();
    // Sets the window to `outer` and lays the controls out for it, their fonts following the client
    // area's height; `factor` moves its place.
    void ScaleControls(float factor, QSize outer);
    void CentreWindow();
    void LoadSectionPicture(int index);
    // The map control's size in the screen's own pixels.
    QSize MapPixels() const;
    void ShowMap(int id);
    // The start markers on the map, and their following the scroll bar's thumb while it is dragged.
    void BuildStartMarkers();
    void ShowStartMarks();
    float ClientWidthTwips() const;
    float ClientHeightTwips() const;

    Platform &platform_;
    SessionState state_;
    SettingsFile settings_;
    StartPositionSession session_;
    Announcer announcer_;
    finder::TrackSearch trackSearch_;
    bool askingToSave_ = false;

    QWidget *client_ = nullptr;
    QGroupBox *statusFrame_ = nullptr;
    QPushButton *revertButton_ = nullptr;
    QPushButton *saveButton_ = nullptr;
    QScrollBar *startPositionBar_ = nullptr;
    QLabel *trackLengthCaption_ = nullptr;
    QLabel *startPositionCaption_ = nullptr;
    std::array<PictureBox *, SectionCount> sectionPictures_{};
    std::array<ShapeControl *, SectionCount> sectionFrames_{};
    std::array<QLabel *, SectionCount> sectionCaptions_{};
    ImageControl *trackMap_ = nullptr;
    StartMarkerOverlay *startMarkers_ = nullptr;
    QAction *selectTrackAction_ = nullptr;
    QAction *saveAction_ = nullptr;
    QAction *revertAction_ = nullptr;
    QAction *exitAction_ = nullptr;
    QAction *announcerAction_ = nullptr;
    QAction *aboutAction_ = nullptr;
    QAction *setStartAction_ = nullptr;
    std::array<QAction *, 2> nudgeActions_{};
    // The second status line as the session last showed it; a dragged thumb shows its own meanwhile.
    QString sessionStartCaption_;
    QAction *largerAction_ = nullptr;
    QAction *smallerAction_ = nullptr;
    QAction *fitAction_ = nullptr;

    TrackMapPictures mapPictures_;
    std::vector<ControlEntry> controls_;
    std::vector<ControlGeometry> controlGeometries_;
    float designScaleHeight_ = 0;
    // The window's outer size at the design, its scale with nothing chosen, and the size chosen.
    QSize designOuter_;
    double restScale_ = 1.0;
    double screenScale_ = 1.0; // the screen's lines / 1024
    int menuAtOne_ = 0;        // the menu bar's own height
    WindowSizeChoice windowSize_;
    bool menusScaled_ = false;
    // The client area's size in pixels as the window is laid out.
    QSize clientPixels_;
    std::int16_t lastHoverSection_ = -1;
};

} // namespace korsa
