#include "finder/DriveList.h"
#include "finder/FileList.h"
#include "finder/FinderPaths.h"
#include "finder/FolderList.h"
#include "finder/FrmFileManager2.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

using namespace korsa;

namespace {

const QStringList TrackFiles = {"track.ini", "TRACK_old.INI", "track_old.ini"};

void Touch(const QString &path)
{
    if (!QFile(path).open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(path));
}

QStringList Entries(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    return texts;
}

// Gives up root's right to read any folder while it lives (nothing to do for other users).
class WithoutRootRights
{
public:
    WithoutRootRights() : dropped_(::geteuid() == 0), ok_(!dropped_ || (::setegid(65534) == 0 && ::seteuid(65534) == 0)) {}
    ~WithoutRootRights()
    {
        if (dropped_ && (::seteuid(0) != 0 || ::setegid(0) != 0))
            qFatal("cannot take back root rights");
    }
    const bool dropped_, ok_;
};

// Takes every right to the folder away while it lives; an empty path is left alone.
struct Locked {
    explicit Locked(QString path) : folder(std::move(path)) { folder.isEmpty() || QFile::setPermissions(folder, {}); }
    ~Locked() { folder.isEmpty() || QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); }
    const QString folder;
};

// tracks/: track.ini TRACK_old.INI track_old.ini track.ini.bak other.ini mytrack.ini, and the folders
// track_dir.ini/ Alpha/ (track.ini) beta/ Gamma/ (TRACK.INI); program/: track_program.ini; afile.txt.
class Tree
{
public:
    Tree()
    {
        for (const char *entry : {"tracks/track_dir.ini/", "tracks/Alpha/track.ini", "tracks/beta/", "tracks/Gamma/TRACK.INI",
                                  "tracks/track.ini", "tracks/TRACK_old.INI", "tracks/track_old.ini", "tracks/track.ini.bak",
                                  "tracks/other.ini", "tracks/mytrack.ini", "program/track_program.ini", "afile.txt"}) {
            const QString path = dir_.filePath(QString::fromLatin1(entry));
            QDir().mkpath(QFileInfo(path).path());
            if (!path.endsWith('/'))
                Touch(path);
        }
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0755); // readable without root's rights too
    }
    QString path(const QString &relative = QString()) const
    {
        return QDir::toNativeSeparators(relative.isEmpty() ? dir_.path() : dir_.filePath(relative));
    }
    QString tracks() const { return path("tracks"); }
    QString program() const { return path("program"); }

private:
    QTemporaryDir dir_;
};

// One showing of the finder, with its controls.
struct Finder {
    Finder(SessionState &state, const QString &programFolder) : dialog(new FrmFileManager2(state, programFolder)) {}
    ~Finder() { delete dialog; }

    bool Show()
    {
        dialog->show();
        dialog->activateWindow();
        return QTest::qWaitForWindowActive(dialog);
    }
    QPoint FolderPoint(const QString &folder) const
    {
        for (int row = 0; row < folders->count(); ++row)
            if (folders->item(row)->data(FolderList::PathRole).toString() == finder::CleanFolder(folder))
                return folders->visualItemRect(folders->item(row)).center();
        return {-1, -1};
    }
    QPoint FilePoint(const QString &name) const
    {
        const QList<QListWidgetItem *> found = files->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? QPoint(-1, -1) : files->visualItemRect(found.first()).center();
    }
    // A click and, twice, the second click of a double-click, as the mouse gives them; false when
    // there is nothing at the point.
    static bool Click(QListWidget *list, QPoint at, bool twice = false, int delay = -1)
    {
        if (at.x() < 0)
            return false;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at, delay);
        if (twice)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        return true;
    }
    [[nodiscard]] bool ClickFile(const QString &name, bool twice = false) { return Click(files, FilePoint(name), twice); }
    [[nodiscard]] bool OpenFolder(const QString &folder) { return Click(folders, FolderPoint(folder), true); }

    QPointer<FrmFileManager2> dialog;
    DriveList *drives = dialog->findChild<DriveList *>("drvList");
    FolderList *folders = dialog->findChild<FolderList *>("dirList");
    FileList *files = dialog->findChild<FileList *>("filList");
    QPushButton *select = dialog->findChild<QPushButton *>("cmdSelect");
    QPushButton *cancel = dialog->findChild<QPushButton *>("cmdCancel");
};

} // namespace

class TestFinder : public QObject
{
    Q_OBJECT

    std::unique_ptr<Tree> tree_;
    SessionState state_;

    // The finder on a start folder, earlier.ini being the file chosen before.
    std::unique_ptr<Finder> Open(const QString &folder)
    {
        state_.TrackFolder = folder;
        state_.TrackFileName = "earlier.ini";
        return std::make_unique<Finder>(state_, tree_->program());
    }

private slots:
    // The drive of a path is the longest drive root it lies in, matched by whole folder names.
    void driveOfPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("drive");
        QTest::newRow("root") << "/home/racer" << "/";
        QTest::newRow("mount itself") << "/korsa-mnt/ab" << "/korsa-mnt/ab";
        QTest::newRow("inside mount") << "/korsa-mnt/ab/tracks" << "/korsa-mnt/ab";
        QTest::newRow("name only begins alike") << "/korsa-mnt/abc/tracks" << "/";
        QTest::newRow("nested mount wins") << "/korsa-mnt/ab/deep/x" << "/korsa-mnt/ab/deep";
    }
    void driveOfPath()
    {
        DriveList drives;
        drives.AddDrive(QStringLiteral("/korsa-mnt/ab"));
        drives.AddDrive(QStringLiteral("/korsa-mnt/ab/deep"));
        QFETCH(QString, path);
        QTEST(drives.DriveOf(path), "drive");
    }

    void init()
    {
        tree_ = std::make_unique<Tree>();
        state_ = SessionState();
    }

    void startFolder_data()
    {
        QTest::addColumn<QString>("folder");    // in the tree, or "<root>"
        QTest::addColumn<QStringList>("files"); // listed there; none: the program's folder is shown
        QTest::newRow("existing folder") << "tracks" << TrackFiles;
        QTest::newRow("existing subfolder") << "tracks/Alpha" << QStringList{"track.ini"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("missing folder") << "tracks/nothing" << QStringList{};
        QTest::newRow("path to a file") << "afile.txt" << QStringList{};
        QTest::newRow("root") << "<root>" << QStringList{};
        QTest::newRow("trailing separator") << "tracks/" << QStringList{};
    }
    void startFolder()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, files);
        const QString start = folder == "<root>" ? QDir::toNativeSeparators(QDir::rootPath())
                              : folder.isEmpty() ? QString()
                                                 : tree_->path(folder);
        auto finder = Open(start);
        const QString shown = files.isEmpty() ? tree_->program() : start;
        QCOMPARE(finder->folders->Path(), shown);
        QCOMPARE(finder->files->Path(), shown);
        QCOMPARE(finder->drives->Drive(), finder->drives->DriveOf(shown));
        QCOMPARE(Entries(finder->files), files.isEmpty() ? QStringList{"track_program.ini"} : files);
        QVERIFY(!finder->select->isEnabled());
        // Opening the finder chooses nothing.
        QCOMPARE(state_.TrackFolder, start);
        QCOMPARE(state_.TrackFileName, QString("earlier.ini"));
    }

    void pattern_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("track files") << "track*.ini" << TrackFiles;
        QTest::newRow("upper-case pattern") << "TRACK*.INI" << TrackFiles;
        QTest::newRow("every ini, no folders") << "*.ini" << QStringList{"mytrack.ini", "other.ini"} + TrackFiles;
        QTest::newRow("single wildcard") << "track?ini" << QStringList{"track.ini"};
        QTest::newRow("backup") << "*.BAK" << QStringList{"track.ini.bak"};
        QTest::newRow("nothing") << "*.exe" << QStringList{};
    }
    void pattern()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, expected);
        FileList files;
        files.SetPath(tree_->tracks());
        files.SetPattern(pattern);
        QCOMPARE(Entries(&files), expected);
    }

    // A file of tracks/ is clicked (or double-clicked), then the user goes on.
    void afterPickingAFile_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("outcome"); // 1: Select enabled, 0: disabled, -1: closed
        QTest::addColumn<QString>("fileName"); // in the state afterwards
        QTest::newRow("nothing more") << "" << 1 << "earlier.ini";
        QTest::newRow("other file by keyboard") << "down key" << 1 << "earlier.ini";
        QTest::newRow("subfolder opened") << "open subfolder" << 0 << "earlier.ini";
        QTest::newRow("drive changed") << "change drive" << 0 << "earlier.ini";
        // A ctrl-click takes the selection away while Select is still enabled: Select then chooses nothing.
        QTest::newRow("ctrl-click, Select") << "ctrl-click" << 0 << "earlier.ini";
        QTest::newRow("Select") << "select" << -1 << "track.ini";
        QTest::newRow("double-click") << "double-click" << -1 << "track.ini";
        QTest::newRow("Cancel") << "cancel" << -1 << "";
        QTest::newRow("Escape") << "escape" << -1 << "";
        QTest::newRow("Enter") << "enter" << -1 << "track.ini";
        QTest::newRow("close box") << "close box" << -1 << "earlier.ini";
    }
    void afterPickingAFile()
    {
        QFETCH(QString, then);
        QFETCH(int, outcome);
        QFETCH(QString, fileName);
        // Start elsewhere and wander to tracks/ before picking.
        auto finder = Open(tree_->program());
        QVERIFY(finder->Show());
        QVERIFY(finder->OpenFolder(tree_->path()));
        QVERIFY(finder->OpenFolder(tree_->tracks()));
        // Moving into the file list without choosing a file enables nothing.
        finder->files->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(finder->files->hasFocus());
        QVERIFY(!finder->select->isEnabled());
        QVERIFY(finder->ClickFile("track.ini", then == "double-click"));

        if (then == "down key") {
            QTest::keyClick(finder->files, Qt::Key_Down);
            QCOMPARE(finder->files->FileName(), QString("TRACK_old.INI"));
        } else if (then == "open subfolder") {
            QVERIFY(finder->OpenFolder(tree_->path("tracks/Gamma")));
            QCOMPARE(Entries(finder->files), QStringList{"TRACK.INI"});
        } else if (then == "change drive") {
            // The tree's folder stands in for a second drive.
            finder->drives->AddDrive(tree_->path());
            finder->drives->setCurrentIndex(finder->drives->findData(tree_->path()));
            QCOMPARE(finder->folders->Path(), tree_->path());
            QCOMPARE(finder->files->Path(), tree_->path());
        } else if (then == "ctrl-click") {
            QTest::mouseClick(finder->files->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              finder->FilePoint("track.ini"), QTest::mouseDoubleClickInterval + 100);
            QCOMPARE(finder->files->FileName(), QString());
            if (finder->select->isEnabled())
                QTest::mouseClick(finder->select, Qt::LeftButton);
        } else if (then == "select" || then == "cancel") {
            QTest::mouseClick(then == "select" ? finder->select : finder->cancel, Qt::LeftButton);
        } else if (then == "escape") {
            QTest::keyClick(finder->files, Qt::Key_Escape);
        } else if (then == "enter") {
            QTest::keyClick(finder->files, Qt::Key_Return);
        } else if (then == "close box") {
            finder->dialog->close();
        }
        if (outcome < 0) { // closed and gone: the next showing starts afresh
            QTRY_VERIFY(finder->dialog.isNull());
        } else {
            QVERIFY(finder->dialog);
            QCOMPARE(finder->select->isEnabled(), outcome == 1);
            QCOMPARE(finder->files->FileName().isEmpty(), outcome == 0);
        }
        QCOMPARE(state_.TrackFolder, fileName == "track.ini" ? tree_->tracks() : tree_->program());
        QCOMPARE(state_.TrackFileName, fileName);
    }

    // Leaving the folder list opens the folder highlighted there. When a click on the file list took
    // the focus, the listing changed under the pointer: that click must not pick (or choose) a file.
    void focusLossOpensHighlighted_data()
    {
        QTest::addColumn<QString>("highlight"); // and opened
        QTest::addColumn<bool>("byKeys");
        QTest::addColumn<QString>("focusTo");
        QTest::newRow("click, tab") << "tracks/Alpha" << false << "tab";
        QTest::newRow("arrow keys, tab") << "tracks/beta" << true << "tab";
        QTest::newRow("click, file clicked") << "tracks/Alpha" << false << "file click";
        QTest::newRow("click, file double-clicked") << "tracks/Gamma" << false << "file double-click";
        QTest::newRow("click, cancel focused") << "tracks/Alpha" << false << "cancel";
        QTest::newRow("parent, tab") << "" << false << "tab";
        QTest::newRow("current folder, tab") << "tracks" << false << "tab";
    }
    void focusLossOpensHighlighted()
    {
        QFETCH(QString, highlight);
        QFETCH(bool, byKeys);
        QFETCH(QString, focusTo);
        auto finder = Open(tree_->tracks());
        QVERIFY(finder->Show());
        const QPoint firstFile = finder->FilePoint(TrackFiles.first());
        QSignalSpy changed(finder->folders, &FolderList::PathChanged);
        finder->folders->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(finder->folders->hasFocus());
        if (byKeys) { // from the current folder down to the second subfolder
            QTest::keyClick(finder->folders, Qt::Key_Down);
            QTest::keyClick(finder->folders, Qt::Key_Down);
        } else {
            QVERIFY(Finder::Click(finder->folders, finder->FolderPoint(tree_->path(highlight))));
        }
        QCOMPARE(finder->folders->HighlightedPath(), tree_->path(highlight));
        // Highlighting alone opens nothing.
        QCOMPARE(finder->folders->Path(), tree_->tracks());
        QCOMPARE(changed.count(), 0);

        if (focusTo == "tab")
            QTest::keyClick(finder->folders, Qt::Key_Tab);
        else if (focusTo == "cancel")
            finder->cancel->setFocus(Qt::TabFocusReason);
        else
            QVERIFY(Finder::Click(finder->files, firstFile, focusTo == "file double-click"));
        QTRY_COMPARE(finder->files->Path(), tree_->path(highlight));
        QCOMPARE(finder->folders->Path(), tree_->path(highlight));
        QCOMPARE(changed.count(), highlight == "tracks" ? 0 : 1);
        QVERIFY(finder->dialog);
        QCOMPARE(finder->files->FileName(), QString());
        QVERIFY(!finder->select->isEnabled());
        QCOMPARE(state_.TrackFileName, QString("earlier.ini"));
        // A later click picks as usual.
        if (finder->files->count() > 0) {
            QVERIFY(Finder::Click(finder->files, firstFile, false, QTest::mouseDoubleClickInterval + 100));
            QCOMPARE(finder->files->FileName(), finder->files->item(0)->text());
            QVERIFY(finder->select->isEnabled());
        }
    }

    void rootFolderKeepsSeparator()
    {
        const QString root = QDir::toNativeSeparators(QDir::rootPath());
        const QString name = QString("track_korsa_finder_%1.ini").arg(::getpid());
        if (!QFile(root + name).open(QIODevice::WriteOnly))
            QSKIP("cannot make a track file in the root folder");
        const auto remove = qScopeGuard([&] { QFile::remove(root + name); });
        auto finder = Open(tree_->tracks());
        QVERIFY(finder->Show());
        QVERIFY(finder->OpenFolder(root));
        QCOMPARE(finder->folders->Path(), root);
        QCOMPARE(finder->files->Path(), root);
        QVERIFY(finder->ClickFile(name));
        QTest::mouseClick(finder->select, Qt::LeftButton);
        QTRY_VERIFY(finder->dialog.isNull());
        QCOMPARE(state_.TrackFolder, root);
        QCOMPARE(state_.TrackFileName, name);
        QVERIFY(QFileInfo::exists(state_.TrackFilePath()));
    }

    void failedDriveChangeGoesBack_data()
    {
        QTest::addColumn<QString>("drive");
        QTest::newRow("missing drive") << "missing";
        QTest::newRow("unreadable drive") << "locked";
        QTest::newRow("a file, not a folder") << "afile.txt";
    }
    void failedDriveChangeGoesBack()
    {
        QFETCH(QString, drive);
        const QString fake = tree_->path(drive);
        QVERIFY(drive != "locked" || QDir().mkdir(fake));
        const Locked lock(drive == "locked" ? fake : QString());
        auto finder = Open(tree_->tracks());
        QVERIFY(finder->Show());
        const QString shownDrive = finder->drives->Drive();
        QCOMPARE(shownDrive, finder->drives->DriveOf(tree_->tracks()));
        const WithoutRootRights unprivileged;
        if (!unprivileged.ok_)
            QSKIP("cannot give up root's rights to read every folder");

        QVERIFY(finder->ClickFile("track.ini"));
        finder->drives->AddDrive(fake);
        QSignalSpy driveChanged(finder->drives, &DriveList::DriveChanged);
        finder->drives->setCurrentIndex(finder->drives->findData(fake));
        // Back on the drive of the folder shown, and that drive's root is shown.
        QCOMPARE(finder->drives->Drive(), shownDrive);
        QCOMPARE(driveChanged.count(), 2);
        QCOMPARE(finder->folders->Path(), shownDrive);
        QCOMPARE(finder->files->Path(), shownDrive);
        QVERIFY(!finder->select->isEnabled());
    }

    // Shown as the start folder or opened from its parent, but with nothing in it.
    void unreadableFolderListsNothing_data()
    {
        QTest::addColumn<bool>("start");
        QTest::newRow("start folder") << true;
        QTest::newRow("opened") << false;
    }
    void unreadableFolderListsNothing()
    {
        QFETCH(bool, start);
        const QString locked = tree_->path("tracks/locked");
        QVERIFY(QDir().mkpath(locked + "/inner"));
        Touch(locked + "/track.ini");
        const Locked lock(locked);
        const WithoutRootRights unprivileged;
        if (!unprivileged.ok_)
            QSKIP("cannot give up root's rights to read every folder");
        auto finder = Open(start ? locked : tree_->tracks());
        QVERIFY(finder->Show());
        QVERIFY(start || finder->OpenFolder(locked));
        QCOMPARE(finder->folders->Path(), locked);
        QCOMPARE(finder->folders->count(), int(finder::FolderChain(locked).size()));
        QCOMPARE(finder->files->Path(), locked);
        QCOMPARE(finder->files->count(), 0);
        QVERIFY(!finder->select->isEnabled());
    }

    void vanishedFolderIsHarmless()
    {
        const QString gone = tree_->path("tracks/gone");
        QVERIFY(QDir().mkpath(gone + "/inner"));
        Touch(gone + "/track.ini");
        auto finder = Open(gone);
        QVERIFY(finder->Show());
        QCOMPARE(Entries(finder->files), QStringList{"track.ini"});
        const QPoint inner = finder->FolderPoint(gone + "/inner");
        QVERIFY(QDir(gone).removeRecursively());
        // Opening a subfolder that went with it changes nothing, and the list drops it.
        QVERIFY(Finder::Click(finder->folders, inner, true));
        QCOMPARE(finder->folders->Path(), gone);
        QCOMPARE(finder->FolderPoint(gone + "/inner"), QPoint(-1, -1));
        // Its parent still opens, without it.
        QVERIFY(finder->OpenFolder(tree_->tracks()));
        QCOMPARE(finder->FolderPoint(gone), QPoint(-1, -1));
        QCOMPARE(Entries(finder->files), TrackFiles);
    }

    void showTrackFinderIsModal()
    {
        state_.TrackFolder = tree_->tracks();
        QWidget owner;
        bool modal = false;
        // Runs inside ShowTrackFinder's exec(), once the dialog shows.
        QTimer::singleShot(0, this, [&] {
            auto *finder = owner.findChild<FrmFileManager2 *>();
            QVERIFY(finder);
            modal = finder->isVisible() && QApplication::activeModalWidget() == finder;
            auto *files = finder->findChild<FileList *>("filList");
            const QList<QListWidgetItem *> found = files->findItems("track_old.ini", Qt::MatchExactly);
            if (!found.isEmpty())
                QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(found.first()).center());
            QTest::mouseClick(finder->findChild<QPushButton *>("cmdSelect"), Qt::LeftButton);
            finder->close(); // should Select fail, the test must not hang on the dialog
        });
        ShowTrackFinder(state_, tree_->program(), &owner);
        QVERIFY(modal);
        QCOMPARE(state_.TrackFolder, tree_->tracks());
        QCOMPARE(state_.TrackFileName, QString("track_old.ini"));
        QVERIFY(owner.findChildren<FrmFileManager2 *>().isEmpty());
    }
};

QTEST_MAIN(TestFinder)
#include "tst_finder.moc"
