#pragma once

#include "track_file/SessionState.h"

#include <QDialog>
#include <QString>

class QFrame;
class QPushButton;

namespace korsa {

class DriveList;
class FileList;
class FolderList;

// The dialog through which the user picks a track.ini. It only writes the outcome into the
// session state: Select sets TrackFolder and TrackFileName, Cancel empties TrackFileName, the
// close box leaves both. The dialog deletes itself when it closes.
class TrackFinderDialog : public QDialog
{
    Q_OBJECT

public:
    TrackFinderDialog(SessionState &state, const QString &programFolder, QWidget *parent = nullptr);

    // The controls' sizes and places are given in twips; the dialog has 15 twips to a pixel.
    static constexpr int Twips(int twips) { return (twips + 7) / 15; }

public slots:
    void StartInRememberedFolder();
    void DriveChosen();
    void FolderChanged();
    void FolderListLeft();
    void FileSelected();
    void ChooseDoubleClickedFile();
    void Select();
    void Cancel();

public:
    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void CreateControls();

    SessionState &state_;
    QString programFolder_;
    bool restoringDrive_ = false;

    QPushButton *selectButton_ = nullptr;
    QPushButton *cancelButton_ = nullptr;
    QFrame *listPanel_ = nullptr;
    DriveList *driveList_ = nullptr;
    FolderList *folderList_ = nullptr;
    FileList *fileList_ = nullptr;
};

// Shows the finder modally and returns when it has closed; the outcome is only in
// state.TrackFolder / state.TrackFileName.
void ShowTrackFinder(SessionState &state, const QString &programFolder, QWidget *parent);

} // namespace korsa
