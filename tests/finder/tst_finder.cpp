#include "finder/DriveList.h"
#include "finder/FileList.h"
#include "finder/FinderPaths.h"
#include "finder/FolderList.h"
#include "finder/FrmFileManager2.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include <unistd.h>

using namespace korsa;

namespace {

const QStringList TrackFiles = {"track.ini", "TRACK_old.INI", "track_old.ini"};
const int Later = QTest::mouseDoubleClickInterval + 100; // a click that makes no double-click
const QString Root = QDir::toNativeSeparators(QDir::rootPath());

void Touch(const QString &path) { QFile(path).open(QIODevice::WriteOnly) || (qFatal("no %s", qPrintable(path)), 0); }

QStringList Entries(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    return texts;
}

// Takes every right to the folder away, and root's right to read it anyway, while it lives.
struct Locked {
    const QString folder;
    const bool root = ::geteuid() == 0;
    const bool ok = QFile::setPermissions(folder, {}) && (!root || (::setegid(65534) == 0 && ::seteuid(65534) == 0));
    ~Locked()
    {
        const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        if ((root && (::seteuid(0) != 0 || ::setegid(0) != 0)) || !QFile::setPermissions(folder, all))
            qFatal("cannot take back the rights");
    }
};

// One showing of the finder, with its controls.
struct Finder {
    Finder(SessionState &state, const QString &programFolder) : dialog(new FrmFileManager2(state, programFolder)) {}
    ~Finder() { delete dialog; }
    bool Show() { return dialog->show(), dialog->activateWindow(), QTest::qWaitForWindowActive(dialog); }
    // The folder listed, the files' folder, the file picked and whether Select is enabled.
    QStringList Seen() const
    {
        return {folders->Path(), files->Path(), files->FileName(), select->isEnabled() ? "enabled" : "disabled"};
    }
    // Where the row whose role holds the value is; -1,-1 for none.
    static QPoint At(QListWidget *list, const QString &value, int role = Qt::DisplayRole)
    {
        const QModelIndexList found = list->model()->match(list->model()->index(0, 0), role, value, 1, Qt::MatchExactly);
        return found.isEmpty() ? QPoint(-1, -1) : list->visualRect(found.first()).center();
    }
    QPoint FolderAt(const QString &folder) const { return At(folders, finder::CleanFolder(folder), FolderList::PathRole); }
    // A click and, twice, the second click of a double-click; false when there is nothing at the point.
    static bool Click(QListWidget *list, QPoint at, bool twice = false, int delay = -1, Qt::KeyboardModifiers keys = {})
    {
        if (at.x() >= 0)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, keys, at, delay);
        if (at.x() >= 0 && twice)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        return at.x() >= 0;
    }
    [[nodiscard]] bool ClickFile(const QString &name, bool twice = false) { return Click(files, At(files, name), twice); }
    [[nodiscard]] bool OpenFolder(const QString &folder) { return Click(folders, FolderAt(folder), true); }

    QPointer<FrmFileManager2> dialog;
    DriveList *drives = dialog->findChild<DriveList *>("drvList");
    FolderList *folders = dialog->findChild<FolderList *>("dirList");
    FileList *files = dialog->findChild<FileList *>("filList");
    QPushButton *select = dialog->findChild<QPushButton *>("cmdSelect");
    QPushButton *cancel = dialog->findChild<QPushButton *>("cmdCancel");
};

using Step = std::function<void(Finder &)>;

} // namespace

Q_DECLARE_METATYPE(Step)

class TestFinder : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    SessionState state_;

    QString path(const QString &relative = {}) const
    {
        return QDir::toNativeSeparators(relative.isEmpty() ? dir_->path() : dir_->filePath(relative));
    }
    QStringList State() const { return {state_.TrackFolder, state_.TrackFileName}; }
    // The finder on a start folder, earlier.ini being the file chosen before.
    std::unique_ptr<Finder> Open(const QString &folder)
    {
        state_ = SessionState();
        state_.TrackFolder = folder;
        state_.TrackFileName = "earlier.ini";
        return std::make_unique<Finder>(state_, path("program"));
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        for (const char *entry : {"tracks/track_dir.ini/", "tracks/Alpha/", "tracks/beta/", "tracks/Gamma/TRACK.INI",
                                  "tracks/track.ini", "tracks/TRACK_old.INI", "tracks/track_old.ini", "tracks/other.ini",
                                  "tracks/track.ini.bak", "tracks/mytrack.ini", "program/track_program.ini", "afile.txt"}) {
            QDir().mkpath(QFileInfo(path(entry)).path());
            if (!QString(entry).endsWith('/'))
                Touch(path(entry));
        }
        QFile::setPermissions(dir_->path(), QFile::Permissions(0x7755)); // readable without root's rights too
    }

    // The longest drive root the path (the row's name) lies in, matched by whole folder names.
    void driveOfPath_data()
    {
        QTest::addColumn<QString>("drive");
        QTest::newRow("/home/racer") << "/";
        QTest::newRow("/korsa-mnt/ab") << "/korsa-mnt/ab";
        QTest::newRow("/korsa-mnt/abc/tracks") << "/";
        QTest::newRow("/korsa-mnt/ab/deep/x") << "/korsa-mnt/ab/deep";
    }
    void driveOfPath()
    {
        DriveList drives;
        drives.AddDrive(QStringLiteral("/korsa-mnt/ab"));
        drives.AddDrive(QStringLiteral("/korsa-mnt/ab/deep"));
        QTEST(drives.DriveOf(QTest::currentDataTag()), "drive");
    }

    void startFolder_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("kept"); // else the program's folder is shown
        QTest::newRow("existing folder") << "tracks" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("missing folder") << "tracks/nothing" << false;
        QTest::newRow("path to a file") << "afile.txt" << false;
        QTest::newRow("root") << Root << false;
        QTest::newRow("trailing separator") << "tracks/" << false;
    }
    void startFolder()
    {
        QFETCH(QString, start);
        QFETCH(bool, kept);
        start = start.isEmpty() || start == Root ? start : path(start);
        auto finder = Open(start);
        const QString shown = kept ? start : path("program");
        QCOMPARE(finder->Seen(), QStringList({shown, shown, "", "disabled"}));
        QCOMPARE(finder->drives->Drive(), finder->drives->DriveOf(shown));
        QCOMPARE(Entries(finder->files), kept ? TrackFiles : QStringList{"track_program.ini"});
        QCOMPARE(State(), QStringList({start, "earlier.ini"})); // opening chooses nothing
    }

    // The pattern is the row's name.
    void pattern_data()
    {
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("track*.ini") << TrackFiles;
        QTest::newRow("TRACK*.INI") << TrackFiles;
        QTest::newRow("*.ini") << QStringList{"mytrack.ini", "other.ini"} + TrackFiles; // no folders
        QTest::newRow("track?ini") << QStringList{"track.ini"};
    }
    void pattern()
    {
        FileList files;
        files.SetPath(path("tracks"));
        files.SetPattern(QTest::currentDataTag());
        QTEST(Entries(&files), "expected");
    }

    // track.ini in tracks/ (a new file in the root folder) is clicked, or double-clicked, then the user goes on.
    void afterPickingAFile_data()
    {
        QTest::addColumn<Step>("then");
        QTest::addColumn<int>("outcome");      // 1: Select enabled, 0: disabled, -1: closed
        QTest::addColumn<QString>("fileName"); // in the state afterwards; "<new>": the file picked
        const auto key = [](Qt::Key k) { return Step([k](Finder &f) { QTest::keyClick(f.files, k); }); };
        const auto click = [](QPushButton *Finder::*button) {
            return Step([button](Finder &f) { QTest::mouseClick(f.*button, Qt::LeftButton); });
        };
        QTest::newRow("nothing more") << Step([](Finder &) {}) << 1 << "earlier.ini";
        QTest::newRow("other file by keyboard") << Step([](Finder &f) {
            QTest::keyClick(f.files, Qt::Key_Down);
            QCOMPARE(f.files->FileName(), QString("TRACK_old.INI"));
        }) << 1 << "earlier.ini";
        QTest::newRow("subfolder opened") << Step([this](Finder &f) {
            QVERIFY(f.OpenFolder(path("tracks/Gamma")));
            QCOMPARE(Entries(f.files), QStringList{"TRACK.INI"});
        }) << 0 << "earlier.ini";
        QTest::newRow("drive changed") << Step([this](Finder &f) { // the tree's folder stands in for a drive
            f.drives->AddDrive(path());
            f.drives->setCurrentIndex(f.drives->findData(path()));
            QCOMPARE(f.Seen().mid(0, 2), QStringList(2, path()));
        }) << 0 << "earlier.ini";
        // Ctrl-click deselects while Select may still be enabled: Select then chooses nothing.
        QTest::newRow("ctrl-click, Select") << Step([](Finder &f) {
            QVERIFY(Finder::Click(f.files, Finder::At(f.files, "track.ini"), false, Later, Qt::ControlModifier));
            QCOMPARE(f.files->FileName(), QString());
            if (f.select->isEnabled())
                QTest::mouseClick(f.select, Qt::LeftButton);
        }) << 0 << "earlier.ini";
        QTest::newRow("Select") << click(&Finder::select) << -1 << "<new>";
        QTest::newRow("Select in the root folder") << click(&Finder::select) << -1 << "<new>";
        QTest::newRow("double-click") << Step([](Finder &) {}) << -1 << "<new>";
        QTest::newRow("Cancel") << click(&Finder::cancel) << -1 << "";
        QTest::newRow("Escape") << key(Qt::Key_Escape) << -1 << "";
        QTest::newRow("Enter") << key(Qt::Key_Return) << -1 << "<new>";
        QTest::newRow("close box") << Step([](Finder &f) { f.dialog->close(); }) << -1 << "earlier.ini";
    }
    void afterPickingAFile()
    {
        QFETCH(Step, then);
        QFETCH(int, outcome);
        QFETCH(QString, fileName);
        const QString tag = QTest::currentDataTag();
        const bool inRoot = tag.contains("root");
        const QString folder = inRoot ? Root : path("tracks");
        const QString name = inRoot ? QString("track_korsa_finder_%1.ini").arg(::getpid()) : "track.ini";
        if (inRoot && !QFile(folder + name).open(QIODevice::WriteOnly))
            QSKIP("cannot make a track file in the root folder");
        const auto remove = qScopeGuard([&] { inRoot && QFile::remove(folder + name); });
        auto finder = Open(path("program")); // wander there before picking
        QVERIFY(finder->Show());
        QVERIFY(finder->OpenFolder(inRoot ? folder : path()));
        QVERIFY(inRoot || finder->OpenFolder(folder));
        finder->files->setFocus(Qt::TabFocusReason); // entering the list without a file enables nothing
        QTRY_VERIFY(finder->files->hasFocus());
        QCOMPARE(finder->Seen(), QStringList({folder, folder, "", "disabled"}));
        QVERIFY(finder->ClickFile(name, tag == "double-click"));
        then(*finder);
        if (outcome < 0) // closed and gone: the next showing starts afresh
            QTRY_VERIFY(finder->dialog.isNull());
        else
            QCOMPARE(finder->Seen().mid(2), QStringList({outcome ? finder->files->FileName() : "",
                                                         outcome ? "enabled" : "disabled"}));
        QVERIFY(outcome <= 0 || !finder->files->FileName().isEmpty());
        QCOMPARE(State(), fileName == "<new>" ? QStringList({folder, name}) : QStringList({path("program"), fileName}));
    }

    // Leaving the folder list opens the folder highlighted there. A file-list click that took the
    // focus landed on a listing that changed under the pointer: it must not pick (or choose) a file.
    void focusLossOpensHighlighted_data()
    {
        QTest::addColumn<QString>("highlight"); // and opened
        QTest::newRow("click, tab") << "tracks/Alpha";
        QTest::newRow("arrow keys, tab") << "tracks/beta";
        QTest::newRow("click, file clicked") << "tracks/Alpha";
        QTest::newRow("click, file double-clicked") << "tracks/Gamma";
        QTest::newRow("current folder, tab") << "tracks";
    }
    void focusLossOpensHighlighted()
    {
        QFETCH(QString, highlight);
        const QString tag = QTest::currentDataTag();
        auto finder = Open(path("tracks"));
        QVERIFY(finder->Show());
        const QPoint firstFile = Finder::At(finder->files, TrackFiles.first());
        QSignalSpy changed(finder->folders, &FolderList::PathChanged);
        finder->folders->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(finder->folders->hasFocus());
        if (tag.startsWith("arrow keys")) { // from the current folder down to the second subfolder
            QTest::keyClick(finder->folders, Qt::Key_Down);
            QTest::keyClick(finder->folders, Qt::Key_Down);
        } else {
            QVERIFY(Finder::Click(finder->folders, finder->FolderAt(path(highlight))));
        }
        QCOMPARE(finder->folders->Path(), path("tracks")); // highlighting alone opens nothing

        if (tag.endsWith("tab"))
            QTest::keyClick(finder->folders, Qt::Key_Tab);
        else
            QVERIFY(Finder::Click(finder->files, firstFile, tag.endsWith("double-clicked")));
        QTRY_COMPARE(finder->files->Path(), path(highlight));
        QCOMPARE(finder->Seen(), QStringList({path(highlight), path(highlight), "", "disabled"}));
        QCOMPARE(changed.count(), highlight == "tracks" ? 0 : 1);
        QCOMPARE(state_.TrackFileName, QString("earlier.ini"));
        if (finder->files->count() > 0) { // a later click picks as usual
            QVERIFY(Finder::Click(finder->files, firstFile, false, Later));
            QCOMPARE(finder->Seen().mid(2), QStringList({finder->files->item(0)->text(), "enabled"}));
        }
    }

    // Without root's rights. A drive that cannot be shown: back to the drive of the folder shown, at
    // its root. An unreadable folder, as start folder or opened: shown, with nothing in it.
    void unreadable_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing drive") << "missing";
        QTest::newRow("unreadable drive") << "locked";
        QTest::newRow("drive is a file") << "afile.txt";
        QTest::newRow("unreadable start folder") << "tracks/locked";
        QTest::newRow("unreadable folder opened") << "tracks/locked";
    }
    void unreadable()
    {
        QFETCH(QString, folder);
        const QString bad = path(folder), tag = QTest::currentDataTag();
        const bool start = tag.contains("start");
        QVERIFY(QDir().mkpath(path("locked")) && QDir().mkpath(path("tracks/locked/inner")));
        Touch(path("tracks/locked/track.ini"));
        const Locked lock{bad.endsWith("locked") ? bad : path("locked")};
        if (!lock.ok)
            QSKIP("cannot give up root's rights to read every folder");
        auto finder = Open(start ? bad : path("tracks"));
        QVERIFY(finder->Show());
        if (!tag.contains("drive")) {
            QVERIFY(start || finder->OpenFolder(bad));
            QCOMPARE(finder->Seen(), QStringList({bad, bad, "", "disabled"}));
            QCOMPARE(finder->folders->count(), int(finder::FolderChain(bad).size()));
            QCOMPARE(finder->files->count(), 0);
            return;
        }
        const QString shownDrive = finder->drives->DriveOf(path("tracks"));
        QVERIFY(finder->ClickFile("track.ini"));
        finder->drives->AddDrive(bad);
        QSignalSpy driveChanged(finder->drives, &DriveList::DriveChanged);
        finder->drives->setCurrentIndex(finder->drives->findData(bad));
        QCOMPARE(finder->drives->Drive(), shownDrive);
        QCOMPARE(driveChanged.count(), 2);
        QCOMPARE(finder->Seen(), QStringList({shownDrive, shownDrive, "", "disabled"}));
    }

    void vanishedFolderIsHarmless()
    {
        const QString gone = path("tracks/gone");
        QVERIFY(QDir().mkpath(gone + "/inner"));
        auto finder = Open(gone);
        QVERIFY(finder->Show());
        const QPoint inner = finder->FolderAt(gone + "/inner");
        QVERIFY(QDir(gone).removeRecursively());
        // Opening a subfolder that went with it changes nothing, and the list drops it.
        QVERIFY(Finder::Click(finder->folders, inner, true));
        QCOMPARE(finder->folders->Path(), gone);
        QCOMPARE(finder->FolderAt(gone + "/inner"), QPoint(-1, -1));
        QVERIFY(finder->OpenFolder(path("tracks"))); // its parent still opens, without it
        QCOMPARE(finder->FolderAt(gone), QPoint(-1, -1));
        QCOMPARE(Entries(finder->files), TrackFiles);
    }

    void showTrackFinderIsModal()
    {
        state_.TrackFolder = path("tracks");
        QWidget owner;
        bool modal = false;
        QTimer::singleShot(0, this, [&] { // inside ShowTrackFinder's exec(), once the dialog shows
            auto *dialog = owner.findChild<FrmFileManager2 *>();
            QVERIFY(dialog);
            modal = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
            auto *files = dialog->findChild<FileList *>("filList");
            Finder::Click(files, Finder::At(files, "track_old.ini"));
            QTest::mouseClick(dialog->findChild<QPushButton *>("cmdSelect"), Qt::LeftButton);
            dialog->close(); // should Select fail, the test must not hang on the dialog
        });
        ShowTrackFinder(state_, path("program"), &owner);
        QVERIFY(modal);
        QCOMPARE(State(), QStringList({path("tracks"), "track_old.ini"}));
        QVERIFY(owner.findChildren<FrmFileManager2 *>().isEmpty());
    }
};

QTEST_MAIN(TestFinder)
#include "tst_finder.moc"
