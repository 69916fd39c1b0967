#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korsa {

namespace finder {
class TrackSearch;
}
class DriveList;
class FileList;
class FolderList;

// A track file picked in the finder: its folder as the file list reports it, and its name.
struct TrackChoice {
    QString folder;
    QString fileName;
};

// The dialog through which the user picks a track.ini. It only reports the file picked, through
// Chosen; Cancel and the close box report nothing. The dialog deletes itself when it closes. It
// opens in `startFolder` with `fileInUse` (a name in it, empty for none) selected, so Enter takes
// it again; with no folder remembered, where the search (if given) found the track file, with that
// file selected.
class TrackFinderDialog : public QDialog
{
    Q_OBJECT

public:
    TrackFinderDialog(const QString &startFolder, const QString &fileInUse, const QString &programFolder,
                      const finder::TrackSearch *search = nullptr, QWidget *parent = nullptr);

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

signals:
    void Chosen(const korsa::TrackChoice &choice);

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
    // A line under the path field saying why Enter went nowhere; an empty text takes it away.
    void ShowPathNote(const QString &text);

    QString startFolder_;
    QString fileInUse_;
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
    QLabel *pathNote_ = nullptr;
    // Where the keyboard was before the path field took it, and goes back to when it is left.
    QPointer<QWidget> focusBeforePath_;
};

// Shows the finder modally and returns, once it has closed, the file picked; nothing when the
// user cancelled or closed it.
std::optional<TrackChoice> ShowTrackFinder(const QString &startFolder, const QString &fileInUse,
                                           const QString &programFolder, const finder::TrackSearch *search,
                                           QWidget *parent);

} // namespace korsa
