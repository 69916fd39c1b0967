#include "finder/TrackFinderDialog.h"

#include "finder/DriveList.h"
#include "finder/FileList.h"
#include "finder/FinderPaths.h"
#include "finder/FolderList.h"
#include "finder/Places.h"
#include "track_file/FileExists.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace korsa {

namespace {

const QString TrackFilePattern = QStringLiteral("track*.ini");

QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(TrackFinderDialog::Twips(left), TrackFinderDialog::Twips(top), TrackFinderDialog::Twips(width),
                 TrackFinderDialog::Twips(height));
}

} // namespace

TrackFinderDialog::TrackFinderDialog(SessionState &state, const QString &programFolder, QWidget *parent)
    : QDialog(parent), state_(state), programFolder_(programFolder)
{
    setObjectName(QStringLiteral("FrmFileManager2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Track.ini File Finder"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Twips(6420), Twips(5460));
    setSizeGripEnabled(false);

    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    grey.setColor(QPalette::Button, QColor(192, 192, 192));
    grey.setColor(QPalette::Highlight, QColor(0, 0, 128));
    grey.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    setPalette(grey);
    setAutoFillBackground(true);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    CreateControls();
    StartInRememberedFolder();
}

void TrackFinderDialog::CreateControls()
{
    selectButton_ = new QPushButton(QStringLiteral("Select"), this);
    selectButton_->setObjectName(QStringLiteral("cmdSelect"));
    selectButton_->setGeometry(TwipsRect(1500, 4680, 1200, 480));
    selectButton_->setEnabled(false);

    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cmdCancel"));
    cancelButton_->setGeometry(TwipsRect(3540, 4680, 1200, 480));

    // Neither button is pressed by Enter: the user picks with the mouse or the Select button.
    for (QPushButton *button : {selectButton_, cancelButton_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    listPanel_ = new QFrame(this);
    listPanel_->setObjectName(QStringLiteral("Picture1"));
    listPanel_->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    listPanel_->setGeometry(TwipsRect(120, 120, 6192, 4335));
    listPanel_->setFocusPolicy(Qt::NoFocus);

    // Places inside the panel count from inside its border.
    const QPoint inside(listPanel_->frameWidth(), listPanel_->frameWidth());

    driveList_ = new DriveList(listPanel_);
    driveList_->setGeometry(TwipsRect(120, 120, 3615, 315).translated(inside));

    folderList_ = new FolderList(listPanel_);
    folderList_->setGeometry(TwipsRect(120, 600, 3615, 3465).translated(inside));

    fileList_ = new FileList(listPanel_);
    fileList_->setGeometry(TwipsRect(4080, 120, 1932, 3912).translated(inside));
    fileList_->SetPattern(QStringLiteral("*.exe"));

    setTabOrder(selectButton_, cancelButton_);
    setTabOrder(cancelButton_, driveList_);
    setTabOrder(driveList_, folderList_);
    setTabOrder(folderList_, fileList_);

    connect(driveList_, &DriveList::DriveChanged, this, &TrackFinderDialog::DriveChosen);
    connect(folderList_, &FolderList::PathChanged, this, &TrackFinderDialog::FolderChanged);
    connect(folderList_, &FolderList::LostFocus, this, &TrackFinderDialog::FolderListLeft);
    connect(fileList_, &FileList::FileClicked, this, &TrackFinderDialog::FileSelected);
    connect(fileList_, &FileList::FileDoubleClicked, this, &TrackFinderDialog::ChooseDoubleClickedFile);
    connect(selectButton_, &QPushButton::clicked, this, &TrackFinderDialog::Select);
    connect(cancelButton_, &QPushButton::clicked, this, &TrackFinderDialog::Cancel);
}

void TrackFinderDialog::StartInRememberedFolder()
{
    // Start in the folder of the track file last chosen; when that is gone (or cannot be shown,
    // such as a path that names a file) start where a first run starts. An installed program's
    // own folder never holds a track file: remembering it is remembering nothing.
    bool shown = false;
    if (FileExists(state_.TrackFolder) &&
        finder::CleanFolder(state_.TrackFolder) != finder::CleanFolder(programFolder_)) {
        driveList_->SetDriveFromPath(state_.TrackFolder);
        shown = folderList_->SetPath(state_.TrackFolder);
    }
    const QStringList fallbacks =
        shown ? QStringList() : QStringList{finder::FirstRunFolder(programFolder_, QDir::homePath()), programFolder_};
    for (const QString &folder : fallbacks) {
        if (shown)
            break;
        driveList_->SetDriveFromPath(folder);
        shown = folderList_->SetPath(folder);
    }
    fileList_->SetPattern(TrackFilePattern);
    selectButton_->setEnabled(false);
}

void TrackFinderDialog::DriveChosen()
{
    const QString drive = driveList_->Drive();
    selectButton_->setEnabled(false);
    if (!drive.isEmpty() && finder::CanListFolder(drive) && folderList_->SetPath(drive))
        return;
    // The drive is not ready: go back to the drive of the folder shown. Doing so raises this
    // handler once more, for that drive; if that one fails too, stop there.
    if (restoringDrive_ || folderList_->Path().isEmpty())
        return;
    restoringDrive_ = true;
    driveList_->SetDriveFromPath(folderList_->Path());
    restoringDrive_ = false;
}

void TrackFinderDialog::FolderChanged()
{
    fileList_->SetPath(folderList_->Path());
    selectButton_->setEnabled(false);
}

void TrackFinderDialog::FolderListLeft()
{
    const QString before = folderList_->Path();
    folderList_->SetPath(folderList_->HighlightedPath());
    // When a click on the file list took the focus, the list has just changed under the pointer:
    // that click must not pick whatever file now lies there.
    if (folderList_->Path() != before && QApplication::focusWidget() == fileList_ &&
        folderList_->LastFocusOutReason() == Qt::MouseFocusReason)
        fileList_->IgnorePendingPress();
}

void TrackFinderDialog::FileSelected() { selectButton_->setEnabled(true); }

void TrackFinderDialog::ChooseDoubleClickedFile() { Select(); }

void TrackFinderDialog::Select()
{
    const QString fileName = fileList_->FileName();
    // Nothing is chosen without a file (a ctrl-click can clear the selection).
    if (fileName.isEmpty() || fileList_->Path().isEmpty()) {
        selectButton_->setEnabled(false);
        return;
    }
    state_.TrackFolder = fileList_->Path();
    state_.TrackFileName = fileName;
    close();
}

void TrackFinderDialog::Cancel()
{
    state_.TrackFileName.clear();
    close();
}

void TrackFinderDialog::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        // Centred on the screen, whatever window it belongs to.
        const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame(QPoint(), size());
            frame.moveCenter(screen->geometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::setVisible(visible);
}

void TrackFinderDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Cancel();
        return;
    }
    // Enter chooses the selected file, as Select does; with no file selected it does nothing.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && selectButton_->isEnabled()) {
        Select();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowTrackFinder(SessionState &state, const QString &programFolder, QWidget *parent)
{
    // exec() deletes the dialog before it returns (it deletes itself on close).
    auto *finder = new TrackFinderDialog(state, programFolder, parent);
    finder->setWindowModality(Qt::ApplicationModal);
    finder->exec();
}

} // namespace korsa
