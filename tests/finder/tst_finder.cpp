#include "finder/DriveList.h"
#include "finder/FileList.h"
#include "finder/FinderPaths.h"
#include "finder/FolderList.h"
#include "finder/Places.h"
#include "finder/FrmFileManager2.h"
#include "support/Pointer.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <unistd.h>

using namespace korsa;

namespace {

const QStringList TrackFiles = {"track.ini", "TRACK_old.INI", "track_old.ini"};
const int Later = QTest::mouseDoubleClickInterval + 100; // a click that makes no double-click
const QString Root = QDir::toNativeSeparators(QDir::rootPath());

// Puts entries below the root: "a/b/" a folder, "a/f" an empty file, "a/f=text" a file with the text
// ("@" in it standing for the root), "a/l -> target" a link.
void Build(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QString name = entry.section(QRegularExpression(" -> |="), 0, 0), path = root + '/' + name;
        const QString rest = entry.mid(name.size()).replace('@', root);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        const bool made = name.endsWith('/')            ? QDir().mkpath(path)
                          : rest.startsWith(" -> ")     ? QFile::link(rest.mid(4), path)
                                                        : file.open(QIODevice::WriteOnly) &&
                                                          file.write(rest.mid(1).toUtf8()) >= 0;
        if (!made)
            qFatal("cannot make %s", qPrintable(path));
    }
}

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
    // A click (two: a double-click) on the list's row; false when there is no row there.
    static bool Click(QListWidget *list, QPoint at, int clicks = 1, int delay = -1, Qt::KeyboardModifiers keys = {})
    {
        if (at.x() >= 0)
            korsa::test::Click(list->viewport(), at, clicks, keys, delay);
        return at.x() >= 0;
    }
    [[nodiscard]] bool ClickFile(const QString &name) { return Click(files, At(files, name)); }
    [[nodiscard]] bool OpenFolder(const QString &folder) { return Click(folders, FolderAt(folder), 2); }

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
        Build(path(), {"tracks/track_dir.ini/", "tracks/.hidden/", "tracks/Alpha/", "tracks/beta/",
                       "tracks/Gamma/TRACK.INI", "tracks/track.ini", "tracks/TRACK_old.INI", "tracks/track_old.ini",
                       "tracks/other.ini", "tracks/track.ini.bak", "tracks/mytrack.ini", "program/track_program.ini",
                       "afile.txt",
                       "home/.local/share/Steam/steamapps/common/", "home/.steam/steam -> ../.local/share/Steam"});
        QFile::setPermissions(dir_->path(), QFile::Permissions(0x7755)); // readable without root's rights too
        qputenv("HOME", QFile::encodeName(path("home")));
    }

    // The Steam libraries of the home folder: the default one, if there, and those its
    // libraryfolders.vdf names (@ stands for the tree's root).
    void steamLibraries_data()
    {
        QTest::addColumn<bool>("defaultLibrary");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("libraries");
        const QString vdf = "home/.local/share/Steam/steamapps/libraryfolders.vdf=";
        const QString second = "Games Drive/SteamLibrary/";
        const QString listed = "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"@/home/.local/share/Steam\"\n"
                               "\t\t\"apps\" { \"228\" \"1\" }\n\t}\n"
                               "\t\"1\" { \"label\" \"\" \"path\" \"@/Games Drive/SteamLibrary\" }\n"
                               "\t\"2\" { \"path\" \"@/unplugged\" } // a drive not there\n}\n";
        const QStringList both{"home/.local/share/Steam", "Games Drive/SteamLibrary"}, steam = both.mid(0, 1);
        QTest::newRow("default and second") << true << QStringList{vdf + listed, second} << both;
        QTest::newRow("older form, escapes")
            << true << QStringList{vdf + "\"LibraryFolders\" { \"1\" \"@/Old \\\"Lib\\\"\" }", "Old \"Lib\"/"}
            << QStringList{steam.first(), "Old \"Lib\""};
        QTest::newRow("cut off") << true << QStringList{vdf + listed.left(listed.indexOf("\"2\"") + 10), second} << both;
        QTest::newRow("unbalanced") << true << QStringList{vdf + "}}}\"libraryfolders\" \"{\" {{ \"path\"", second} << steam;
        QTest::newRow("empty") << true << QStringList{vdf} << steam;
        QString noise(10 << 20, ' '); // of the characters that matter most, and some that are no text
        const QString alphabet = QStringLiteral("\"{}\\/ \n\tpath01libraryfolders\u00e9") + QChar(0);
        for (QChar &c : noise)
            c = alphabet[QRandomGenerator::global()->bounded(int(alphabet.size()))];
        QTest::newRow("10 MB of noise") << true << QStringList{vdf + noise} << steam;
        const QString flatpak = "home/.var/app/com.valvesoftware.Steam/.local/share/Steam";
        QTest::newRow("Flatpak") << false << QStringList{flatpak + "/steamapps/"} << QStringList{flatpak};
        QTest::newRow("no Steam") << false << QStringList{} << QStringList{};
    }
    void steamLibraries()
    {
        QFETCH(bool, defaultLibrary);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, libraries);
        QVERIFY(defaultLibrary || QDir(path("home/.local")).removeRecursively());
        Build(path(), entries);
        for (QString &library : libraries)
            library = path(library);
        QCOMPARE(finder::SteamLibraries(path("home")), libraries);
    }

    // The drive list's places from the home folder and a mount table; the longest that holds a path.
    void drivePlaces_data()
    {
        QTest::addColumn<QString>("inside");
        QTest::addColumn<QString>("drive");
        QTest::newRow("library") << "Games Drive/SteamLibrary/steamapps/common" << "Games Drive/SteamLibrary";
        QTest::newRow("mount holding it") << "Games Drive/Other" << "Games Drive";
        QTest::newRow("home") << "home/tracks" << "home";
        QTest::newRow("whole names only") << "mnt/database" << Root;
        QTest::newRow("mount") << "run/media/racer/Games/x" << "run/media/racer/Games";
    }
    void drivePlaces()
    {
        QFETCH(QString, inside);
        QFETCH(QString, drive);
        Build(path(), {"Games Drive/SteamLibrary/", "run/media/racer/Games/", "media/usb/", "mnt/data/", "mnt/My Disk/",
                       "mnt/ram/", "run/user/doc/", "hosts",
                       "home/.local/share/Steam/steamapps/libraryfolders.vdf="
                       "\"libraryfolders\" { \"1\" { \"path\" \"@/Games Drive/SteamLibrary\" } }",
                       "mounts=" + QStringList{
                           "/dev/sda2 / ext4 rw 0 0", "proc /proc proc rw 0 0", "sysfs /sys sysfs rw 0 0",
                           "tmpfs /run tmpfs rw 0 0", "/dev/sdb1 @/run/media/racer/Games ext4 rw,nosuid 0 0",
                           "/dev/sdc1 @/media/usb vfat rw 0 0", "/dev/sdd1 @/mnt/data ntfs3 rw 0 0",
                           "/dev/sdd1 @/mnt/data ntfs3 rw 0 0", "/dev/sde1 @/mnt/My\\040Disk ext4 rw 0 0",
                           "/dev/sdf1 @/mnt/unplugged ext4 rw 0 0", "tmpfs @/mnt/ram tmpfs rw 0 0",
                           "portal @/run/user/doc fuse.portal rw 0 0", "/dev/sda2 @/hosts ext4 rw 0 0",
                           "/dev/sdg1 @/Games\\040Drive ext4 rw 0 0",
                           "/dev/sdg1 @/Games\\040Drive/SteamLibrary ext4 rw 0 0", "garbage"}.join('\n')});
        const QList<finder::Place> places = finder::DrivePlaces(path("home"), path("mounts"));
        QCOMPARE(places, QList<finder::Place>({{Root, Root}, {"Home", path("home")},
                                               {"Steam library", path("home/.local/share/Steam")},
                                               {"Steam library", path("Games Drive/SteamLibrary")},
                                               {"Games Drive", path("Games Drive")}, {"usb", path("media/usb")},
                                               {"My Disk", path("mnt/My Disk")}, {"data", path("mnt/data")},
                                               {"Games", path("run/media/racer/Games")}}));
        DriveList drives;
        drives.clear();
        for (const finder::Place &place : places)
            drives.AddDrive(place.path);
        QCOMPARE(drives.DriveOf(path(inside)), drive == Root ? drive : path(drive));
    }

    // Where the finder opens: the remembered folder, else where a first run does (the program's own
    // folder; for an installed program, whose folder cannot be written, Steam's or the home folder).
    void startFolder_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("steam");
        QTest::addColumn<QString>("shown");
        const QString common = "home/.local/share/Steam/steamapps/common";
        QTest::newRow("existing folder") << "tracks" << false << true << "tracks";
        QTest::newRow("empty") << "" << false << true << "program";
        QTest::newRow("missing folder") << "tracks/nothing" << false << true << "program";
        QTest::newRow("path to a file") << "afile.txt" << false << true << "program";
        QTest::newRow("root") << Root << false << true << "program";
        QTest::newRow("trailing separator") << "tracks/" << false << true << "program";
        QTest::newRow("installed, first run") << "program" << true << true << common;
        QTest::newRow("installed, first run, no Steam") << "program" << true << false << "home";
        QTest::newRow("installed, remembered") << "tracks" << true << true << "tracks";
        QTest::newRow("installed, remembered folder gone") << "tracks/nothing" << true << true << common;
    }
    void startFolder()
    {
        QFETCH(QString, start);
        QFETCH(bool, installed);
        QFETCH(bool, steam);
        QFETCH(QString, shown);
        QVERIFY(steam || QDir(path("home/.local")).removeRecursively());
        start = start.isEmpty() || start == Root ? start : path(start);
        shown = path(shown);
        QVERIFY(QFile::setPermissions(path("program"), QFile::Permissions(installed ? 0x5555 : 0x7755)));
        const auto writable = qScopeGuard(
            [this] { QFile::setPermissions(path("program"), QFile::Permissions(0x7755)); });
        auto finder = Open(start);
        QCOMPARE(finder->Seen(), QStringList({shown, shown, "", "disabled"}));
        QCOMPARE(finder->drives->Drive(), finder->drives->DriveOf(shown));
        const QMap<QString, QStringList> files{{path("tracks"), TrackFiles}, {path("program"), {"track_program.ini"}}};
        QCOMPARE(Entries(finder->files), files.value(shown));
        QCOMPARE(State(), QStringList({start, "earlier.ini"})); // opening chooses nothing
    }

    // track.ini in tracks/ is clicked, then the user goes on in the finder.
    void afterPickingAFile_data()
    {
        QTest::addColumn<Step>("then");
        QTest::addColumn<QString>("folder"); // shown afterwards
        QTest::addColumn<QString>("picked");
        QTest::addColumn<bool>("selectEnabled");
        QTest::newRow("nothing more") << Step([](Finder &) {}) << "tracks" << "track.ini" << true;
        QTest::newRow("other file by keyboard") << Step([](Finder &f) { QTest::keyClick(f.files, Qt::Key_Down); })
                                                << "tracks" << "TRACK_old.INI" << true;
        QTest::newRow("subfolder opened") << Step([this](Finder &f) { (void)f.OpenFolder(path("tracks/Gamma")); })
                                          << "tracks/Gamma" << "" << false;
        QTest::newRow("drive changed") << Step([this](Finder &f) { // the tree's folder stands in for a drive
            f.drives->AddDrive(path());
            f.drives->setCurrentIndex(f.drives->findData(path()));
        }) << "" << "" << false;
        // Ctrl-click deselects while Select may still be enabled: Select then chooses nothing.
        QTest::newRow("ctrl-click, Select") << Step([](Finder &f) {
            Finder::Click(f.files, Finder::At(f.files, "track.ini"), 1, Later, Qt::ControlModifier);
            QTest::mouseClick(f.select, Qt::LeftButton);
        }) << "tracks" << "" << false;
    }
    void afterPickingAFile()
    {
        QFETCH(Step, then);
        QFETCH(QString, folder);
        QFETCH(QString, picked);
        QFETCH(bool, selectEnabled);
        auto finder = Open(path("program")); // wander there before picking
        QVERIFY(finder->Show());
        QVERIFY(finder->OpenFolder(path()) && finder->OpenFolder(path("tracks")));
        finder->files->setFocus(Qt::TabFocusReason); // entering the list without a file enables nothing
        QTRY_VERIFY(finder->files->hasFocus());
        QCOMPARE(finder->Seen(), QStringList({path("tracks"), path("tracks"), "", "disabled"}));
        QVERIFY(finder->ClickFile("track.ini"));
        then(*finder);
        QCOMPARE(finder->Seen(), QStringList({path(folder), path(folder), picked, selectEnabled ? "enabled" : "disabled"}));
        QCOMPARE(State(), QStringList({path("program"), "earlier.ini"})); // nothing chosen yet
    }

    // track.ini in tracks/ is clicked and the finder closed: what is chosen. Once closed it is gone,
    // so the next showing starts afresh.
    void closingChooses_data()
    {
        QTest::addColumn<Step>("close");
        QTest::addColumn<QStringList>("state"); // folder and file name afterwards
        const QStringList picked{"tracks", "track.ini"};
        QTest::newRow("Select") << Step([](Finder &f) { QTest::mouseClick(f.select, Qt::LeftButton); }) << picked;
        QTest::newRow("double-click") << Step([](Finder &f) { // the second click of it
            QTest::mouseDClick(f.files->viewport(), Qt::LeftButton, {}, Finder::At(f.files, "track.ini"));
        }) << picked;
        QTest::newRow("Enter") << Step([](Finder &f) { QTest::keyClick(f.files, Qt::Key_Return); }) << picked;
        QTest::newRow("Cancel") << Step([](Finder &f) { QTest::mouseClick(f.cancel, Qt::LeftButton); })
                                << QStringList{"program", ""};
        QTest::newRow("Escape") << Step([](Finder &f) { QTest::keyClick(f.files, Qt::Key_Escape); })
                                << QStringList{"program", ""};
        QTest::newRow("close box") << Step([](Finder &f) { f.dialog->close(); }) << QStringList{"program", "earlier.ini"};
    }
    void closingChooses()
    {
        QFETCH(Step, close);
        QFETCH(QStringList, state);
        auto finder = Open(path("program"));
        QVERIFY(finder->Show());
        QVERIFY(finder->OpenFolder(path()) && finder->OpenFolder(path("tracks")) && finder->ClickFile("track.ini"));
        close(*finder);
        QTRY_VERIFY(finder->dialog.isNull());
        QCOMPARE(State(), QStringList({path(state[0]), state[1]}));
    }

    // Leaving the folder list opens the folder highlighted there. A file-list click that took the
    // focus landed on a listing that changed under the pointer: it must not pick (or choose) a file;
    // a later click there picks as usual.
    void focusLossOpensHighlighted_data()
    {
        QTest::addColumn<QString>("highlight"); // and opened
        QTest::addColumn<int>("downs");         // arrow keys from the current folder; -1: a click on it
        QTest::addColumn<Step>("leave");
        QTest::addColumn<int>("opened");        // times a folder was opened
        QTest::addColumn<QString>("firstFile"); // of the folder opened
        const auto key = [](Qt::Key k) { return Step([k](Finder &f) { QTest::keyClick(f.folders, k); }); };
        const auto clickFile = [](int clicks) {
            return Step([clicks](Finder &f) { Finder::Click(f.files, Finder::At(f.files, TrackFiles.first()), clicks); });
        };
        QTest::newRow("click, tab") << "tracks/Alpha" << -1 << key(Qt::Key_Tab) << 1 << "";
        QTest::newRow("arrow keys past a hidden folder, tab") << "tracks/beta" << 3 << key(Qt::Key_Tab) << 1 << "";
        QTest::newRow("click, file clicked") << "tracks/Alpha" << -1 << clickFile(1) << 1 << "";
        QTest::newRow("click, file double-clicked") << "tracks/Gamma" << -1 << clickFile(2) << 1 << "TRACK.INI";
        QTest::newRow("current folder, tab") << "tracks" << -1 << key(Qt::Key_Tab) << 0 << TrackFiles.first();
        QTest::newRow("hidden folder, Enter (stays in the list)") << "tracks/.hidden" << 1 << key(Qt::Key_Return) << 1 << "";
        QTest::newRow("click, Enter") << "tracks/Gamma" << -1 << key(Qt::Key_Enter) << 1 << "TRACK.INI";
    }
    void focusLossOpensHighlighted()
    {
        QFETCH(QString, highlight);
        QFETCH(int, downs);
        QFETCH(Step, leave);
        QFETCH(int, opened);
        QFETCH(QString, firstFile);
        auto finder = Open(path("tracks"));
        QVERIFY(finder->Show());
        const QPoint firstRow = Finder::At(finder->files, TrackFiles.first());
        QSignalSpy changed(finder->folders, &FolderList::PathChanged);
        finder->folders->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(finder->folders->hasFocus());
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(finder->folders, Qt::Key_Down);
        QVERIFY(downs >= 0 || Finder::Click(finder->folders, finder->FolderAt(path(highlight))));
        QCOMPARE(finder->folders->Path(), path("tracks")); // highlighting alone opens nothing

        leave(*finder);
        QTRY_COMPARE(finder->files->Path(), path(highlight));
        QCOMPARE(finder->Seen(), QStringList({path(highlight), path(highlight), "", "disabled"}));
        QCOMPARE(changed.count(), opened);
        QCOMPARE(state_.TrackFileName, QString("earlier.ini"));
        korsa::test::Click(finder->files->viewport(), firstRow, 1, {}, Later);
        QCOMPARE(finder->Seen().mid(2), QStringList({firstFile, firstFile.isEmpty() ? "disabled" : "enabled"}));
    }

    // Without root's rights, a drive that cannot be shown: back to the drive of the folder shown, at
    // its root.
    void unreadableDrive_data()
    {
        QTest::addColumn<QString>("drive");
        QTest::newRow("missing drive") << "missing";
        QTest::newRow("unreadable drive") << "locked";
        QTest::newRow("drive is a file") << "afile.txt";
    }
    void unreadableDrive()
    {
        QFETCH(QString, drive);
        QVERIFY(QDir().mkpath(path("locked")));
        const Locked lock{path("locked")};
        if (!lock.ok)
            QSKIP("cannot give up root's rights to read every folder");
        auto finder = Open(path("tracks"));
        QVERIFY(finder->Show());
        const QString shownDrive = finder->drives->DriveOf(path("tracks"));
        QVERIFY(finder->ClickFile("track.ini"));
        finder->drives->AddDrive(path(drive));
        QSignalSpy driveChanged(finder->drives, &DriveList::DriveChanged);
        finder->drives->setCurrentIndex(finder->drives->findData(path(drive)));
        QCOMPARE(finder->drives->Drive(), shownDrive);
        QCOMPARE(driveChanged.count(), 2); // there and back
        QCOMPARE(finder->Seen(), QStringList({shownDrive, shownDrive, "", "disabled"}));
    }

    // Without root's rights, an unreadable folder, as start folder or opened: shown, with nothing in it.
    void unreadableFolder_data()
    {
        QTest::addColumn<bool>("asStart");
        QTest::newRow("start folder") << true;
        QTest::newRow("opened") << false;
    }
    void unreadableFolder()
    {
        QFETCH(bool, asStart);
        const QString bad = path("tracks/locked");
        Build(path(), {"tracks/locked/inner/", "tracks/locked/track.ini"});
        const Locked lock{bad};
        if (!lock.ok)
            QSKIP("cannot give up root's rights to read every folder");
        auto finder = Open(asStart ? bad : path("tracks"));
        QVERIFY(finder->Show());
        QVERIFY(asStart || finder->OpenFolder(bad));
        QCOMPARE(finder->Seen(), QStringList({bad, bad, "", "disabled"}));
        QCOMPARE(finder->folders->count(), int(finder::FolderChain(bad).size()));
        QCOMPARE(finder->files->count(), 0);
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
        QVERIFY(Finder::Click(finder->folders, inner, 2));
        QCOMPARE(finder->folders->Path(), gone);
        QCOMPARE(finder->FolderAt(gone + "/inner"), QPoint(-1, -1));
        QVERIFY(finder->OpenFolder(path("tracks"))); // its parent still opens, without it
        QCOMPARE(finder->FolderAt(gone), QPoint(-1, -1));
        QCOMPARE(Entries(finder->files), TrackFiles);
    }
};

QTEST_MAIN(TestFinder)
#include "tst_finder.moc"
