#include "finder/FrmFileManager2.h"

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
    return QRect(FrmFileManager2::Twips(left), FrmFileManager2::Twips(top), FrmFileManager2::Twips(width),
                 FrmFileManager2::Twips(height));
}

} // namespace

FrmFileManager2::FrmFileManager2(SessionState &state, const QString &programFolder, QWidget *parent)
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
    Form_Load();
}

void FrmFileManager2::CreateControls()
{
    cmdSelect = new QPushButton(QStringLiteral("Select"), this);
    cmdSelect->setObjectName(QStringLiteral("cmdSelect"));
    cmdSelect->setGeometry(TwipsRect(1500, 4680, 1200, 480));
    cmdSelect->setEnabled(false);

    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(TwipsRect(3540, 4680, 1200, 480));

    // Neither button is pressed by Enter: the user picks with the mouse or the Select button.
    for (QPushButton *button : {cmdSelect, cmdCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    Picture1 = new QFrame(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    Picture1->setGeometry(TwipsRect(120, 120, 6192, 4335));
    Picture1->setFocusPolicy(Qt::NoFocus);

    // Places inside the panel count from inside its border.
    const QPoint inside(Picture1->frameWidth(), Picture1->frameWidth());

    drvList = new DriveList(Picture1);
    drvList->setGeometry(TwipsRect(120, 120, 3615, 315).translated(inside));

    dirList = new FolderList(Picture1);
    dirList->setGeometry(TwipsRect(120, 600, 3615, 3465).translated(inside));

    filList = new FileList(Picture1);
    filList->setGeometry(TwipsRect(4080, 120, 1932, 3912).translated(inside));
    filList->SetPattern(QStringLiteral("*.exe"));

    setTabOrder(cmdSelect, cmdCancel);
    setTabOrder(cmdCancel, drvList);
    setTabOrder(drvList, dirList);
    setTabOrder(dirList, filList);

    connect(drvList, &DriveList::DriveChanged, this, &FrmFileManager2::drvList_Change);
    connect(dirList, &FolderList::PathChanged, this, &FrmFileManager2::dirList_Change);
    connect(dirList, &FolderList::LostFocus, this, &FrmFileManager2::dirList_LostFocus);
    connect(filList, &FileList::FileClicked, this, &FrmFileManager2::filList_Click);
    connect(filList, &FileList::FileDoubleClicked, this, &FrmFileManager2::filList_DblClick);
    connect(cmdSelect, &QPushButton::clicked, this, &FrmFileManager2::cmdSelect_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmFileManager2::cmdCancel_Click);
}

void FrmFileManager2::Form_Load()
{
    // Start in the folder of the track file last chosen; when that is gone (or cannot be shown,
    // such as a path that names a file) start where a first run starts. An installed program's
    // own folder never holds a track file: remembering it is remembering nothing.
    bool shown = false;
    if (FileExists(state_.TrackFolder) &&
        finder::CleanFolder(state_.TrackFolder) != finder::CleanFolder(programFolder_)) {
        drvList->SetDriveFromPath(state_.TrackFolder);
        shown = dirList->SetPath(state_.TrackFolder);
    }
    const QStringList fallbacks =
        shown ? QStringList() : QStringList{finder::FirstRunFolder(programFolder_, QDir::homePath()), programFolder_};
    for (const QString &folder : fallbacks) {
        if (shown)
            break;
        drvList->SetDriveFromPath(folder);
        shown = dirList->SetPath(folder);
    }
    filList->SetPattern(TrackFilePattern);
    cmdSelect->setEnabled(false);
}

void FrmFileManager2::drvList_Change()
{
    const QString drive = drvList->Drive();
    cmdSelect->setEnabled(false);
    if (!drive.isEmpty() && finder::CanListFolder(drive) && dirList->SetPath(drive))
        return;
    // The drive is not ready: go back to the drive of the folder shown. Doing so raises this
    // handler once more, for that drive; if that one fails too, stop there.
    if (restoringDrive_ || dirList->Path().isEmpty())
        return;
    restoringDrive_ = true;
    drvList->SetDriveFromPath(dirList->Path());
    restoringDrive_ = false;
}

void FrmFileManager2::dirList_Change()
{
    filList->SetPath(dirList->Path());
    cmdSelect->setEnabled(false);
}

void FrmFileManager2::dirList_LostFocus()
{
    const QString before = dirList->Path();
    dirList->SetPath(dirList->HighlightedPath());
    // When a click on the file list took the focus, the list has just changed under the pointer:
    // that click must not pick whatever file now lies there.
    if (dirList->Path() != before && QApplication::focusWidget() == filList &&
        dirList->LastFocusOutReason() == Qt::MouseFocusReason)
        filList->IgnorePendingPress();
}

void FrmFileManager2::filList_Click() { cmdSelect->setEnabled(true); }

void FrmFileManager2::filList_DblClick() { cmdSelect_Click(); }

void FrmFileManager2::cmdSelect_Click()
{
    const QString fileName = filList->FileName();
    // Nothing is chosen without a file (a ctrl-click can clear the selection).
    if (fileName.isEmpty() || filList->Path().isEmpty()) {
        cmdSelect->setEnabled(false);
        return;
    }
    state_.TrackFolder = filList->Path();
    state_.TrackFileName = fileName;
    close();
}

void FrmFileManager2::cmdCancel_Click()
{
    state_.TrackFileName.clear();
    close();
}

void FrmFileManager2::setVisible(bool visible)
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

void FrmFileManager2::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCancel_Click();
        return;
    }
    // Enter chooses the selected file, as Select does; with no file selected it does nothing.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && cmdSelect->isEnabled()) {
        cmdSelect_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowTrackFinder(SessionState &state, const QString &programFolder, QWidget *parent)
{
    // exec() deletes the dialog before it returns (it deletes itself on close).
    auto *finder = new FrmFileManager2(state, programFolder, parent);
    finder->setWindowModality(Qt::ApplicationModal);
    finder->exec();
}

} // namespace korsa
