#include "finder/TrackFinderDialog.h"

#include "finder/DriveList.h"
#include "finder/FileList.h"
#include "finder/FinderPaths.h"
#include "finder/FolderList.h"
#include "finder/Places.h"
#include "finder/TrackSearch.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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

TrackFinderDialog::TrackFinderDialog(const QString &startFolder, const QString &fileInUse, const QString &programFolder,
                                     const finder::TrackSearch *search, QWidget *parent)
    : QDialog(parent), startFolder_(startFolder), fileInUse_(fileInUse), programFolder_(programFolder), search_(search)
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

    pathField_ = new QLineEdit(listPanel_);
    pathField_->setObjectName(QStringLiteral("txtPath"));
    pathField_->setGeometry(driveList_->geometry());
    pathField_->hide();
    pathField_->installEventFilter(this);
    // The note stands on the folder list's top edge, just under the field.
    pathNote_ = new QLabel(listPanel_);
    pathNote_->setObjectName(QStringLiteral("lblPathNote"));
    pathNote_->setGeometry(driveList_->x(), driveList_->geometry().bottom() + 1, fileList_->x() - driveList_->x(),
                           driveList_->height());
    pathNote_->setAutoFillBackground(true);
    pathNote_->setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette notePalette = pathNote_->palette();
    notePalette.setColor(QPalette::Window, QColor(255, 255, 225));
    notePalette.setColor(QPalette::WindowText, QColor(0, 0, 0));
    pathNote_->setPalette(notePalette);
    pathNote_->hide();
    connect(pathField_, &QLineEdit::textEdited, this, [this] { ShowPathNote(QString()); });
    auto *typePath = new QAction(this);
    typePath->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    addAction(typePath);
    connect(typePath, &QAction::triggered, this, &TrackFinderDialog::ShowPathField);

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
    // Start in the folder of the track file last chosen. With none (an installed program's own
    // folder never holds a track file: remembering it is remembering nothing), or when it is gone or
    // cannot be shown (such as a path that names a file), at the track file the search found; else
    // where a first run starts, else at home, and only then in the program's folder.
    const bool remembered = finder::RemembersFolder(startFolder_, programFolder_);
    bool shown = remembered && ShowFolder(startFolder_);
    const bool found =
        !shown && search_ && !search_->Found().isEmpty() && ShowFolder(QFileInfo(search_->Found()).absolutePath());
    const QStringList fallbacks{finder::FirstRunFolder(programFolder_, QDir::homePath()), QDir::homePath(),
                                programFolder_};
    for (const QString &folder : fallbacks) {
        if (shown || found)
            break;
        shown = ShowFolder(folder);
    }
    fileList_->SetPattern(TrackFilePattern);
    selectButton_->setEnabled(false);
    openedAt_ = folderList_->Path();
    // The file in use, selected with the keyboard in the file list, so Enter takes it again.
    if (shown && remembered && !fileInUse_.isEmpty() && fileList_->SelectFile(fileInUse_))
        fileList_->setFocus();
    else if (found)
        ShowFoundTrack();
    else if (!remembered && search_ && !search_->Finished())
        connect(search_, &finder::TrackSearch::Done, this, &TrackFinderDialog::SearchEnded);
}

bool TrackFinderDialog::ShowFolder(const QString &folder)
{
    driveList_->SetDriveFromPath(folder);
    return folderList_->SetPath(folder);
}

bool TrackFinderDialog::ShowFoundTrack()
{
    const QFileInfo track(search_->Found());
    if (search_->Found().isEmpty() || !ShowFolder(track.absolutePath()) || !fileList_->SelectFile(track.fileName()))
        return false;
    // Enter now chooses it.
    fileList_->setFocus();
    return true;
}

void TrackFinderDialog::SearchEnded()
{
    if (folderList_->Path() == openedAt_ && fileList_->FileName().isEmpty() && !pathField_->isVisible())
        ShowFoundTrack();
}

void TrackFinderDialog::DriveChosen()
{
    const QString drive = driveList_->OpeningFolder();
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
    emit Chosen(TrackChoice{fileList_->Path(), fileName});
    close();
}

void TrackFinderDialog::Cancel() { close(); }

void TrackFinderDialog::ShowPathField()
{
    if (!pathField_->isVisible())
        focusBeforePath_ = QApplication::focusWidget();
    pathField_->setText(folderList_->Path());
    pathField_->selectAll();
    pathField_->show();
    pathField_->raise();
    pathField_->setFocus(Qt::ShortcutFocusReason);
}

void TrackFinderDialog::HidePathField()
{
    if (!pathField_->isVisible())
        return;
    const bool hadFocus = pathField_->hasFocus();
    pathField_->hide();
    ShowPathNote(QString());
    if (hadFocus)
        (focusBeforePath_ ? focusBeforePath_.data() : folderList_)->setFocus();
}

void TrackFinderDialog::GoToTypedPath()
{
    const QFileInfo target(finder::TypedPath(pathField_->text(), folderList_->Path(), QDir::homePath()));
    if (target.isDir() && ShowFolder(target.filePath())) {
        HidePathField();
    } else if (target.isFile()) {
        // Chosen as Select chooses a file; reading it tells whether it is the track's.
        emit Chosen(TrackChoice{finder::CleanFolder(target.absolutePath()), target.fileName()});
        close();
    } else {
        QApplication::beep();
        ShowPathNote(target.isDir()    ? QStringLiteral("This folder cannot be opened.")
                     : target.exists() ? QStringLiteral("This is neither a folder nor a file.")
                                       : QStringLiteral("There is no folder or file at this path."));
        pathField_->selectAll();
    }
}

void TrackFinderDialog::ShowPathNote(const QString &text)
{
    pathNote_->setText(QLatin1Char(' ') + text);
    pathNote_->setVisible(!text.isEmpty());
    pathNote_->raise();
}

bool TrackFinderDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == pathField_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            GoToTypedPath();
            return true;
        }
        if (key == Qt::Key_Escape) {
            HidePathField();
            return true;
        }
    } else if (watched == pathField_ && event->type() == QEvent::FocusOut &&
               static_cast<QFocusEvent *>(event)->reason() != Qt::ActiveWindowFocusReason &&
               static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
        pathField_->hide();
        ShowPathNote(QString());
    }
    return QDialog::eventFilter(watched, event);
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

std::optional<TrackChoice> ShowTrackFinder(const QString &startFolder, const QString &fileInUse,
                                           const QString &programFolder, const finder::TrackSearch *search,
                                           QWidget *parent)
{
    // exec() deletes the dialog before it returns (it deletes itself on close).
    auto *finder = new TrackFinderDialog(startFolder, fileInUse, programFolder, search, parent);
    std::optional<TrackChoice> choice;
    QObject::connect(finder, &TrackFinderDialog::Chosen, finder, [&choice](const TrackChoice &c) { choice = c; });
    finder->setWindowModality(Qt::ApplicationModal);
    finder->exec();
    return choice;
}

} // namespace korsa
