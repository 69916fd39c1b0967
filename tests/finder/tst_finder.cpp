#include "finder/DriveList.h"
#include "finder/FileList.h"
#include "finder/FinderPaths.h"
#include "finder/FolderList.h"
#include "finder/FrmFileManager2.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QFileInfo>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace korsa;

namespace {

void Touch(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(path));
}

QStringList Entries(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    return texts;
}

// Runs the rest of a test without root's right to read any folder; does nothing for other users.
class WithoutRootRights
{
public:
    WithoutRootRights()
    {
        if (::geteuid() != 0) {
            ok_ = true;
            return;
        }
        dropped_ = true;
        ok_ = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
        if (!ok_)
            Restore();
    }
    ~WithoutRootRights() { Restore(); }
    bool ok() const { return ok_; }

private:
    void Restore()
    {
        if (!dropped_)
            return;
        if (::seteuid(0) != 0 || ::setegid(0) != 0)
            qFatal("cannot take back root rights");
        dropped_ = false;
    }
    bool ok_ = false;
    bool dropped_ = false;
};

// A folder tree for the finder to show:
//   tracks/  track.ini TRACK_old.INI track_old.ini track.ini.bak other.ini mytrack.ini
//            track_dir.ini/ (a folder)  Alpha/ (track.ini)  beta/  Gamma/ (TRACK.INI)
//   program/ track_program.ini
//   afile.txt
class Tree
{
public:
    Tree()
    {
        QDir base(dir_.path());
        for (const char *folder : {"tracks/track_dir.ini", "tracks/Alpha", "tracks/beta", "tracks/Gamma", "program"})
            base.mkpath(QString::fromLatin1(folder));
        for (const char *file : {"tracks/track.ini", "tracks/TRACK_old.INI", "tracks/track_old.ini",
                                 "tracks/track.ini.bak", "tracks/other.ini", "tracks/mytrack.ini",
                                 "tracks/Alpha/track.ini", "tracks/Gamma/TRACK.INI", "program/track_program.ini",
                                 "afile.txt"})
            Touch(base.filePath(QString::fromLatin1(file)));
        // Others may pass through, so the tree can be read without root's rights too.
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    }

    QString path(const QString &relative = QString()) const
    {
        return QDir::toNativeSeparators(relative.isEmpty() ? dir_.path() : dir_.filePath(relative));
    }
    QString tracks() const { return path(QStringLiteral("tracks")); }
    QString program() const { return path(QStringLiteral("program")); }

private:
    QTemporaryDir dir_;
};

// One showing of the finder, with its controls.
struct Finder {
    Finder(SessionState &state, const QString &programFolder)
        : dialog(new FrmFileManager2(state, programFolder)), drives(dialog->findChild<DriveList *>("drvList")),
          folders(dialog->findChild<FolderList *>("dirList")), files(dialog->findChild<FileList *>("filList")),
          select(dialog->findChild<QPushButton *>("cmdSelect")), cancel(dialog->findChild<QPushButton *>("cmdCancel"))
    {
    }
    ~Finder() { delete dialog; }

    bool Show()
    {
        dialog->show();
        dialog->activateWindow();
        return QTest::qWaitForWindowActive(dialog);
    }

    QPoint FolderPoint(const QString &folder) const
    {
        for (int row = 0; row < folders->count(); ++row) {
            if (folders->item(row)->data(FolderList::PathRole).toString() == finder::CleanFolder(folder))
                return folders->visualItemRect(folders->item(row)).center();
        }
        return QPoint(-1, -1);
    }

    QPoint FilePoint(const QString &name) const
    {
        const QList<QListWidgetItem *> found = files->findItems(name, Qt::MatchExactly);
        return found.isEmpty() ? QPoint(-1, -1) : files->visualItemRect(found.first()).center();
    }

    // A click followed by the second click of a double-click, as the mouse gives them.
    static void DoubleClick(QWidget *widget, QPoint at)
    {
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
        QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    }

    // Each is false, doing nothing, when the entry is not listed.
    [[nodiscard]] bool ClickFile(const QString &name)
    {
        const QPoint at = FilePoint(name);
        if (at.x() < 0)
            return false;
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, at);
        return true;
    }
    [[nodiscard]] bool ClickFolder(const QString &folder)
    {
        const QPoint at = FolderPoint(folder);
        if (at.x() < 0)
            return false;
        QTest::mouseClick(folders->viewport(), Qt::LeftButton, {}, at);
        return true;
    }
    [[nodiscard]] bool OpenFolder(const QString &folder)
    {
        const QPoint at = FolderPoint(folder);
        if (at.x() < 0)
            return false;
        DoubleClick(folders->viewport(), at);
        return true;
    }

    QPointer<FrmFileManager2> dialog;
    DriveList *drives;
    FolderList *folders;
    FileList *files;
    QPushButton *select;
    QPushButton *cancel;
};

} // namespace

class TestFinder : public QObject
{
    Q_OBJECT

private slots:
    void startFolder_data();
    void startFolder();
    void folderEntries();
    void pattern_data();
    void pattern();
    void driveOfPath_data();
    void driveOfPath();
    void selectEnabledOnlyWithFile_data();
    void selectEnabledOnlyWithFile();
    void focusLossOpensHighlighted_data();
    void focusLossOpensHighlighted();
    void clickThatMovesFocusPicksNoFile_data();
    void clickThatMovesFocusPicksNoFile();
    void closing_data();
    void closing();
    void doubleClickOnFileChooses();
    void selectWithoutFileChoosesNothing();
    void rootFolderKeepsSeparator();
    void failedDriveChangeGoesBack_data();
    void failedDriveChangeGoesBack();
    void unreadableFolderListsNothing();
    void vanishedFolderIsHarmless();
    void modalSelect();
    void modalEscape();
    void frame();
};

void TestFinder::startFolder_data()
{
    QTest::addColumn<QString>("trackFolder"); // relative to the tree; "<...>" for special forms
    QTest::addColumn<bool>("startsThere");

    QTest::newRow("existing folder") << "tracks" << true;
    QTest::newRow("existing subfolder") << "tracks/Alpha" << true;
    QTest::newRow("empty") << "<empty>" << false;
    QTest::newRow("missing folder") << "tracks/nothing" << false;
    QTest::newRow("path to a file") << "afile.txt" << false;
    QTest::newRow("root") << "<root>" << false;
    QTest::newRow("trailing separator") << "tracks/" << false;
}

void TestFinder::startFolder()
{
    QFETCH(QString, trackFolder);
    QFETCH(bool, startsThere);
    Tree tree;
    SessionState state;
    if (trackFolder == "<empty>")
        state.TrackFolder.clear();
    else if (trackFolder == "<root>")
        state.TrackFolder = QDir::toNativeSeparators(QDir::rootPath());
    else
        state.TrackFolder = tree.path(trackFolder);
    state.TrackFileName = "kept.ini";
    const SessionState before = state;

    Finder finder(state, tree.program());
    const QString expected = startsThere ? state.TrackFolder : tree.program();
    QCOMPARE(finder.folders->Path(), expected);
    QCOMPARE(finder.files->Path(), expected);
    QCOMPARE(finder.drives->Drive(), finder.drives->DriveOf(expected));
    QCOMPARE(finder.files->Pattern(), QString("track*.ini"));
    const QStringList expectedFiles = trackFolder == "tracks/Alpha" ? QStringList{"track.ini"}
                                      : startsThere ? QStringList{"track.ini", "TRACK_old.INI", "track_old.ini"}
                                                    : QStringList{"track_program.ini"};
    QCOMPARE(Entries(finder.files), expectedFiles);
    QVERIFY(!finder.select->isEnabled());
    // Opening the finder chooses nothing.
    QCOMPARE(state.TrackFolder, before.TrackFolder);
    QCOMPARE(state.TrackFileName, before.TrackFileName);
}

void TestFinder::folderEntries()
{
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.tracks();
    Finder finder(state, tree.program());

    // Parents from the root down, open; then the subfolders, sorted without regard to case.
    QStringList paths;
    QList<int> levels;
    for (int row = 0; row < finder.folders->count(); ++row) {
        paths.append(finder.folders->item(row)->data(FolderList::PathRole).toString());
        levels.append(finder.folders->item(row)->data(FolderList::LevelRole).toInt());
    }
    QStringList expected = finder::FolderChain(tree.tracks());
    QCOMPARE(expected.first(), QDir::toNativeSeparators(QDir::rootPath()));
    QCOMPARE(expected.last(), tree.tracks());
    const int depth = int(expected.size());
    for (const char *sub : {"Alpha", "beta", "Gamma", "track_dir.ini"})
        expected.append(tree.path(QStringLiteral("tracks/") + QString::fromLatin1(sub)));
    QCOMPARE(paths, expected);
    for (int row = 0; row < levels.size(); ++row)
        QCOMPARE(levels.at(row), qMin(row, depth));
    QCOMPARE(finder.folders->item(depth - 1)->text(), QString("tracks"));
    QCOMPARE(finder.folders->HighlightedPath(), tree.tracks());
}

void TestFinder::pattern_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("track files") << "track*.ini" << QStringList{"track.ini", "TRACK_old.INI", "track_old.ini"};
    QTest::newRow("upper-case pattern") << "TRACK*.INI" << QStringList{"track.ini", "TRACK_old.INI", "track_old.ini"};
    QTest::newRow("every ini, no folders")
        << "*.ini" << QStringList{"mytrack.ini", "other.ini", "track.ini", "TRACK_old.INI", "track_old.ini"};
    QTest::newRow("single wildcard") << "track?ini" << QStringList{"track.ini"};
    QTest::newRow("backup") << "*.BAK" << QStringList{"track.ini.bak"};
    QTest::newRow("nothing") << "*.exe" << QStringList{};
}

void TestFinder::pattern()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, expected);
    Tree tree;
    FileList files;
    files.SetPath(tree.tracks());
    files.SetPattern(pattern);
    QCOMPARE(Entries(&files), expected);

    // A new folder or pattern lists anew and loses the selection.
    if (!expected.isEmpty()) {
        QVERIFY(files.SelectFile(expected.first()));
        QCOMPARE(files.FileName(), expected.first());
        files.SetPath(tree.tracks());
        QCOMPARE(files.FileName(), QString());
        QVERIFY(files.SelectFile(expected.first()));
        files.SetPattern(pattern);
        QCOMPARE(files.FileName(), QString());
    }
}

void TestFinder::driveOfPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("drive");

    QTest::newRow("below a drive") << "/korsa-mnt/a/x/y" << "/korsa-mnt/a";
    QTest::newRow("the longer drive") << "/korsa-mnt/ab/x" << "/korsa-mnt/ab";
    QTest::newRow("drive root itself") << "/korsa-mnt/ab" << "/korsa-mnt/ab";
    QTest::newRow("name only starts alike") << "/korsa-mnt/abc/x" << "/";
    QTest::newRow("root") << "/" << "/";
}

void TestFinder::driveOfPath()
{
#ifdef Q_OS_WIN
    QSKIP("drive roots are letters here");
#endif
    QFETCH(QString, path);
    QFETCH(QString, drive);
    DriveList drives;
    drives.AddDrive("/korsa-mnt/a");
    drives.AddDrive("/korsa-mnt/ab");
    QCOMPARE(drives.DriveOf(path), drive);

    QSignalSpy changed(&drives, &DriveList::DriveChanged);
    drives.SetDriveFromPath(path);
    QCOMPARE(drives.Drive(), drive);
    QCOMPARE(changed.count(), 1);
    // The same drive again is no change.
    drives.SetDriveFromPath(path);
    QCOMPARE(changed.count(), 1);
}

void TestFinder::selectEnabledOnlyWithFile_data()
{
    QTest::addColumn<QString>("then");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("file clicked") << "nothing" << true;
    QTest::newRow("other file by keyboard") << "down key" << true;
    QTest::newRow("subfolder opened") << "open subfolder" << false;
    QTest::newRow("parent opened") << "open parent" << false;
    QTest::newRow("drive changed") << "change drive" << false;
}

void TestFinder::selectEnabledOnlyWithFile()
{
    QFETCH(QString, then);
    QFETCH(bool, enabled);
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.tracks();
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());
    QVERIFY(!finder.select->isEnabled());

    // Moving through the file list without choosing a file enables nothing.
    finder.files->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(finder.files->hasFocus());
    QVERIFY(!finder.select->isEnabled());

    QVERIFY(finder.ClickFile("track.ini"));
    QCOMPARE(finder.files->FileName(), QString("track.ini"));
    QVERIFY(finder.select->isEnabled());

    if (then == "down key") {
        QTest::keyClick(finder.files, Qt::Key_Down);
        QCOMPARE(finder.files->FileName(), QString("TRACK_old.INI"));
    } else if (then == "open subfolder") {
        QVERIFY(finder.OpenFolder(tree.path("tracks/Gamma")));
        QCOMPARE(finder.files->Path(), tree.path("tracks/Gamma"));
        QCOMPARE(Entries(finder.files), QStringList{"TRACK.INI"});
    } else if (then == "open parent") {
        QVERIFY(finder.OpenFolder(tree.path()));
        QCOMPARE(finder.files->Path(), tree.path());
    } else if (then == "change drive") {
        // The tree's folder stands in for a second drive.
        finder.drives->AddDrive(tree.path());
        finder.drives->setCurrentIndex(finder.drives->findData(tree.path()));
        QCOMPARE(finder.folders->Path(), tree.path());
        QCOMPARE(finder.files->Path(), tree.path());
    }
    QCOMPARE(finder.select->isEnabled(), enabled);
    QCOMPARE(finder.files->FileName().isEmpty(), !enabled);
}

void TestFinder::focusLossOpensHighlighted_data()
{
    QTest::addColumn<QString>("highlight");
    QTest::addColumn<QString>("by");
    QTest::addColumn<QString>("focusTo");
    QTest::addColumn<QString>("opened");

    QTest::newRow("click, tab") << "tracks/Alpha" << "click" << "tab" << "tracks/Alpha";
    QTest::newRow("arrow keys, tab") << "tracks/beta" << "keys" << "tab" << "tracks/beta";
    QTest::newRow("click, file list clicked") << "tracks/Gamma" << "click" << "file list" << "tracks/Gamma";
    QTest::newRow("click, cancel focused") << "tracks/Alpha" << "click" << "cancel" << "tracks/Alpha";
    QTest::newRow("parent, tab") << "" << "click" << "tab" << "";
    QTest::newRow("current folder, tab") << "tracks" << "click" << "tab" << "tracks";
}

void TestFinder::focusLossOpensHighlighted()
{
    QFETCH(QString, highlight);
    QFETCH(QString, by);
    QFETCH(QString, focusTo);
    QFETCH(QString, opened);
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.tracks();
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());
    QSignalSpy changed(finder.folders, &FolderList::PathChanged);

    finder.folders->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(finder.folders->hasFocus());
    if (by == "click") {
        QVERIFY(finder.ClickFolder(tree.path(highlight)));
    } else {
        // From the current folder down to the second subfolder.
        QTest::keyClick(finder.folders, Qt::Key_Down);
        QTest::keyClick(finder.folders, Qt::Key_Down);
    }
    QCOMPARE(finder.folders->HighlightedPath(), tree.path(highlight));
    // Highlighting alone opens nothing.
    QCOMPARE(finder.folders->Path(), tree.tracks());
    QCOMPARE(changed.count(), 0);

    if (focusTo == "tab")
        QTest::keyClick(finder.folders, Qt::Key_Tab);
    else if (focusTo == "file list")
        QTest::mouseClick(finder.files->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
    else
        finder.cancel->setFocus(Qt::TabFocusReason);

    QTRY_COMPARE(finder.files->Path(), tree.path(opened));
    QCOMPARE(finder.folders->Path(), tree.path(opened));
    QCOMPARE(changed.count(), opened == "tracks" ? 0 : 1);
    QVERIFY(!finder.select->isEnabled());
    QVERIFY(finder.dialog); // the cancel button only took the focus
}

void TestFinder::clickThatMovesFocusPicksNoFile_data()
{
    QTest::addColumn<bool>("doubleClick");

    QTest::newRow("click") << false;
    QTest::newRow("double-click") << true;
}

void TestFinder::clickThatMovesFocusPicksNoFile()
{
    // The user highlights a folder and then clicks a file of the listing still shown. The focus
    // leaving the folder list opens the folder, so the listing changes under the pointer; the
    // click must not pick (or, double-clicked, choose) the file that now lies there.
    QFETCH(bool, doubleClick);
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.tracks();
    state.TrackFileName = "earlier.ini";
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());
    const QPoint onTrackIni = finder.FilePoint("track.ini");

    finder.folders->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(finder.folders->hasFocus());
    QVERIFY(finder.ClickFolder(tree.path("tracks/Alpha")));
    if (doubleClick)
        Finder::DoubleClick(finder.files->viewport(), onTrackIni);
    else
        QTest::mouseClick(finder.files->viewport(), Qt::LeftButton, {}, onTrackIni);

    QVERIFY(finder.dialog);
    QCOMPARE(finder.files->Path(), tree.path("tracks/Alpha"));
    QCOMPARE(Entries(finder.files), QStringList{"track.ini"});
    QCOMPARE(finder.files->FileName(), QString());
    QVERIFY(!finder.select->isEnabled());
    QCOMPARE(state.TrackFileName, QString("earlier.ini"));

    // A later click picks as usual.
    QTest::mouseClick(finder.files->viewport(), Qt::LeftButton, {}, onTrackIni,
                      QTest::mouseDoubleClickInterval + 100);
    QCOMPARE(finder.files->FileName(), QString("track.ini"));
    QVERIFY(finder.select->isEnabled());
}

void TestFinder::closing_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("newFolder");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("select") << "select" << true << "TRACK_old.INI";
    QTest::newRow("cancel") << "cancel" << false << "";
    QTest::newRow("escape") << "escape" << false << "";
    QTest::newRow("close box") << "close box" << false << "earlier.ini";
}

void TestFinder::closing()
{
    QFETCH(QString, how);
    QFETCH(bool, newFolder);
    QFETCH(QString, fileName);
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.program();
    state.TrackFileName = "earlier.ini";
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());

    // Wander off and pick a file before leaving.
    QVERIFY(finder.OpenFolder(tree.path()));
    QVERIFY(finder.OpenFolder(tree.tracks()));
    QVERIFY(finder.ClickFile("TRACK_old.INI"));
    QVERIFY(finder.select->isEnabled());

    if (how == "select")
        QTest::mouseClick(finder.select, Qt::LeftButton);
    else if (how == "cancel")
        QTest::mouseClick(finder.cancel, Qt::LeftButton);
    else if (how == "escape")
        QTest::keyClick(finder.files, Qt::Key_Escape);
    else
        finder.dialog->close();

    // Closed and gone: the next showing starts afresh.
    QTRY_VERIFY(finder.dialog.isNull());
    QCOMPARE(state.TrackFolder, newFolder ? tree.tracks() : tree.program());
    QCOMPARE(state.TrackFileName, fileName);
}

void TestFinder::doubleClickOnFileChooses()
{
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.tracks();
    state.TrackFileName = "earlier.ini";
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());

    QVERIFY(finder.OpenFolder(tree.path("tracks/Gamma")));
    QCOMPARE(Entries(finder.files), QStringList{"TRACK.INI"});
    Finder::DoubleClick(finder.files->viewport(), finder.FilePoint("TRACK.INI"));

    QTRY_VERIFY(finder.dialog.isNull());
    QCOMPARE(state.TrackFolder, tree.path("tracks/Gamma"));
    QCOMPARE(state.TrackFileName, QString("TRACK.INI"));
}

void TestFinder::selectWithoutFileChoosesNothing()
{
    // A ctrl-click takes the selection away again while Select is still enabled.
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.program();
    state.TrackFileName = "earlier.ini";
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());
    QVERIFY(finder.OpenFolder(tree.path()));
    QVERIFY(finder.OpenFolder(tree.tracks()));
    QVERIFY(finder.ClickFile("track.ini"));
    QVERIFY(finder.select->isEnabled());
    QTest::mouseClick(finder.files->viewport(), Qt::LeftButton, Qt::ControlModifier, finder.FilePoint("track.ini"),
                      QTest::mouseDoubleClickInterval + 100);
    QCOMPARE(finder.files->FileName(), QString());

    if (finder.select->isEnabled())
        QTest::mouseClick(finder.select, Qt::LeftButton);
    QVERIFY(finder.dialog);
    QVERIFY(!finder.select->isEnabled());
    QCOMPARE(state.TrackFolder, tree.program());
    QCOMPARE(state.TrackFileName, QString("earlier.ini"));
}

void TestFinder::rootFolderKeepsSeparator()
{
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    // A track file in the root folder: made for the test where allowed, else any file there.
    const QString made = QDir(QDir::rootPath()).filePath(QString("track_korsa_finder_%1.ini").arg(::getpid()));
    const bool haveOwn = QFile(made).open(QIODevice::WriteOnly);
    const auto removeOwn = qScopeGuard([&] {
        if (haveOwn)
            QFile::remove(made);
    });
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.tracks();
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());

    QVERIFY(finder.OpenFolder(root));
    QCOMPARE(finder.folders->Path(), root);
    QCOMPARE(finder.files->Path(), root);
    if (!haveOwn)
        finder.files->SetPattern("*");
    if (finder.files->count() == 0)
        QSKIP("no file in the root folder to choose");
    const QString name = haveOwn ? QFileInfo(made).fileName() : finder.files->item(0)->text();
    QVERIFY(finder.ClickFile(name));
    QTest::mouseClick(finder.select, Qt::LeftButton);

    QTRY_VERIFY(finder.dialog.isNull());
    QCOMPARE(state.TrackFolder, root);
    QCOMPARE(state.TrackFileName, name);
    QVERIFY(QFileInfo::exists(state.TrackFilePath()));
}

void TestFinder::failedDriveChangeGoesBack_data()
{
    QTest::addColumn<QString>("drive");

    QTest::newRow("missing drive") << "missing";
    QTest::newRow("unreadable drive") << "unreadable";
    QTest::newRow("a file, not a folder") << "file";
}

void TestFinder::failedDriveChangeGoesBack()
{
    QFETCH(QString, drive);
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.tracks();
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());
    const QString shownDrive = finder.drives->Drive();
    QCOMPARE(shownDrive, finder.drives->DriveOf(tree.tracks()));

    QString fake = tree.path("missing");
    if (drive == "unreadable") {
        fake = tree.path("locked");
        QVERIFY(QDir().mkdir(fake));
        QVERIFY(QFile::setPermissions(fake, {}));
    } else if (drive == "file") {
        fake = tree.path("afile.txt");
    }
    const auto unlock = qScopeGuard([&] {
        if (drive == "unreadable")
            QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    WithoutRootRights unprivileged;
    if (!unprivileged.ok())
        QSKIP("cannot give up root's rights to read every folder");

    QVERIFY(finder.ClickFile("track.ini"));
    QVERIFY(finder.select->isEnabled());
    finder.drives->AddDrive(fake);
    QSignalSpy driveChanged(finder.drives, &DriveList::DriveChanged);
    finder.drives->setCurrentIndex(finder.drives->findData(fake));

    // Back on the drive of the folder shown, and that drive's root is shown.
    QCOMPARE(finder.drives->Drive(), shownDrive);
    QCOMPARE(driveChanged.count(), 2);
    QCOMPARE(finder.folders->Path(), shownDrive);
    QCOMPARE(finder.files->Path(), shownDrive);
    QVERIFY(!finder.select->isEnabled());
}

void TestFinder::unreadableFolderListsNothing()
{
    Tree tree;
    const QString locked = tree.path("tracks/locked");
    QVERIFY(QDir().mkpath(locked + "/inner"));
    Touch(locked + "/track.ini");
    QVERIFY(QFile::setPermissions(locked, {}));
    const auto unlock = qScopeGuard(
        [&] { QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    WithoutRootRights unprivileged;
    if (!unprivileged.ok())
        QSKIP("cannot give up root's rights to read every folder");

    // As the start folder and when opened from its parent: shown, but with nothing in it.
    for (bool start : {true, false}) {
        SessionState state;
        state.TrackFolder = start ? locked : tree.tracks();
        Finder finder(state, tree.program());
        QVERIFY(finder.Show());
        if (!start)
            QVERIFY(finder.OpenFolder(locked));
        QCOMPARE(finder.folders->Path(), locked);
        QCOMPARE(finder.folders->count(), int(finder::FolderChain(locked).size()));
        QCOMPARE(finder.files->Path(), locked);
        QCOMPARE(finder.files->count(), 0);
        QVERIFY(!finder.select->isEnabled());
    }
}

void TestFinder::vanishedFolderIsHarmless()
{
    Tree tree;
    const QString gone = tree.path("tracks/gone");
    QVERIFY(QDir().mkpath(gone + "/inner"));
    Touch(gone + "/track.ini");
    SessionState state;
    state.TrackFolder = gone;
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());
    QCOMPARE(Entries(finder.files), QStringList{"track.ini"});
    const QPoint inner = finder.FolderPoint(gone + "/inner");

    QVERIFY(QDir(gone).removeRecursively());

    // Opening a subfolder that went with it changes nothing, and the list drops it.
    Finder::DoubleClick(finder.folders->viewport(), inner);
    QCOMPARE(finder.folders->Path(), gone);
    QCOMPARE(finder.FolderPoint(gone + "/inner"), QPoint(-1, -1));
    // Its parent still opens, without it.
    QVERIFY(finder.OpenFolder(tree.tracks()));
    QCOMPARE(finder.folders->Path(), tree.tracks());
    QCOMPARE(finder.FolderPoint(gone), QPoint(-1, -1));
    QCOMPARE(Entries(finder.files), (QStringList{"track.ini", "TRACK_old.INI", "track_old.ini"}));
}

namespace {

// Runs the action on the modal dialog once it is up (the caller's exec() is running then).
void WhenModal(std::function<void(QWidget *)> action)
{
    auto *poll = new QTimer;
    const QDeadlineTimer deadline(10000);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, deadline, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            poll->deleteLater();
            poll->stop();
            QPointer<QWidget> guard(modal);
            action(modal);
            // A failed check must not leave the caller waiting on the dialog.
            if (guard && guard->isVisible())
                guard->close();
        } else if (deadline.hasExpired()) {
            poll->deleteLater();
            poll->stop();
            QFAIL("the finder did not show");
        }
    });
    poll->start(10);
}

} // namespace

void TestFinder::modalSelect()
{
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.tracks();
    state.TrackFileName = "earlier.ini";
    QWidget owner;
    bool acted = false;
    WhenModal([&](QWidget *modal) {
        acted = true;
        auto *files = modal->findChild<FileList *>("filList");
        auto *select = modal->findChild<QPushButton *>("cmdSelect");
        QVERIFY(files && select);
        const QList<QListWidgetItem *> found = files->findItems("track_old.ini", Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(found.first()).center());
        QTest::mouseClick(select, Qt::LeftButton);
    });
    ShowTrackFinder(state, tree.program(), &owner);

    QVERIFY(acted);
    QCOMPARE(state.TrackFolder, tree.tracks());
    QCOMPARE(state.TrackFileName, QString("track_old.ini"));
    QVERIFY(owner.findChildren<FrmFileManager2 *>().isEmpty());
}

void TestFinder::modalEscape()
{
    Tree tree;
    SessionState state;
    state.TrackFolder = tree.path("nowhere");
    state.TrackFileName = "earlier.ini";
    QString shownFolder;
    WhenModal([&](QWidget *modal) {
        shownFolder = modal->findChild<FileList *>("filList")->Path();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    ShowTrackFinder(state, tree.program(), nullptr);

    QCOMPARE(shownFolder, tree.program());
    QCOMPARE(state.TrackFolder, tree.path("nowhere"));
    QCOMPARE(state.TrackFileName, QString());
    for (QWidget *widget : QApplication::allWidgets())
        QVERIFY(!qobject_cast<FrmFileManager2 *>(widget));
}

void TestFinder::frame()
{
    Tree tree;
    SessionState state;
    Finder finder(state, tree.program());
    QVERIFY(finder.Show());

    QCOMPARE(finder.dialog->windowTitle(), QString("Track.ini File Finder"));
    // A fixed frame: no resizing, no minimise or maximise, but a close box.
    QCOMPARE(finder.dialog->minimumSize(), finder.dialog->maximumSize());
    QCOMPARE(finder.dialog->size(), QSize(428, 364));
    const Qt::WindowFlags flags = finder.dialog->windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    // Centred on the screen.
    const QPoint screenCentre = finder.dialog->screen()->geometry().center();
    QVERIFY((finder.dialog->frameGeometry().center() - screenCentre).manhattanLength() <= 40);
    // Every control lies wholly inside its container.
    for (QWidget *control : finder.dialog->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!control->isWindow())
            QVERIFY2(finder.dialog->rect().contains(control->geometry()), qPrintable(control->objectName()));
    }
    QWidget *panel = finder.dialog->findChild<QWidget *>("Picture1");
    for (QWidget *control : QList<QWidget *>{finder.drives, finder.folders, finder.files})
        QVERIFY2(panel->contentsRect().contains(control->geometry()), qPrintable(control->objectName()));
}

QTEST_MAIN(TestFinder)
#include "tst_finder.moc"
