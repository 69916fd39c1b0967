#pragma once

#include "track_file/SessionState.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class QFrame;
class QLineEdit;
class QPushButton;

namespace korsa {

namespace finder {
class TrackSearch;
}
class DriveList;
class FileList;
class FolderList;

// The dialog through which the user picks a track.ini. It only writes the outcome into the
// session state: Select sets TrackFolder and TrackFileName, Cancel empties TrackFileName, the
// close box leaves both. The dialog deletes itself when it closes. With no folder remembered it
// opens where the search (if given) found the track file, with that file selected.
class TrackFinderDialog : public QDialog
{
    Q_OBJECT

public:
    TrackFinderDialog(SessionState &state, const QString &programFolder, const finder::TrackSearch *search = nullptr,
                      QWidget *parent = nullptr);

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
    // Ctrl+L: a field over the drive list takes a typed or pasted path; Enter goes there.
    void ShowPathField();
    void GoToTypedPath();

public:
    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateControls();
    // Makes the folder's drive current and opens the folder; false when it cannot be shown.
    bool ShowFolder(const QString &folder);
    // Opens the found track file's folder with the file selected; false when there is none.
    bool ShowFoundTrack();
    // A search that ends while the finder still stands as it opened, untouched, shows its find.
    void SearchEnded();
    void HidePathField();

    SessionState &state_;
    QString programFolder_;
    const finder::TrackSearch *search_;
    QString openedAt_;
    bool restoringDrive_ = false;

    QPushButton *selectButton_ = nullptr;
    QPushButton *cancelButton_ = nullptr;
    QFrame *listPanel_ = nullptr;
    DriveList *driveList_ = nullptr;
    FolderList *folderList_ = nullptr;
    FileList *fileList_ = nullptr;
    QLineEdit *pathField_ = nullptr;
    // Where the keyboard was before the path field took it, and goes back to when it is left.
    QPointer<QWidget> focusBeforePath_;
};

// Shows the finder modally and returns when it has closed; the outcome is only in
// state.TrackFolder / state.TrackFileName.
void ShowTrackFinder(SessionState &state, const QString &programFolder, const finder::TrackSearch *search,
                     QWidget *parent);

} // namespace korsa
