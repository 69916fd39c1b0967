#include "finder/DriveList.h"
#include "finder/FileList.h"
#include "finder/FinderPaths.h"
#include "finder/FolderList.h"
#include "finder/FrmFileManager2.h"
#include "finder/Places.h"
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

// Puts entries below the root: "a/b/" a folder, "a/f=text" a file with the text ("@" in it standing
// for the root), "a/l -> target" a link.
void Build(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QString name = entry.section(QRegularExpression(" -> |="), 0, 0), path = root + '/' + name;
        const QString rest = entry.mid(name.size()).replace('@', root);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        const bool made = name.endsWith('/') ? QDir().mkpath(path)
                          : rest.startsWith(" -> ")
                              ? QFile::link(rest.mid(4), path)
                              : file.open(QIODevice::WriteOnly) && file.write(rest.mid(1).toUtf8()) >= 0;
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
        const QModelIndexList found =
            list->model()->match(list->model()->index(0, 0), role, value, 1, Qt::MatchExactly);
        return found.isEmpty() ? QPoint(-1, -1) : list->visualRect(found.first()).center();
    }
    QPoint FolderAt(const QString &folder) const
    {
        return At(folders, finder::CleanFolder(folder), FolderList::PathRole);
    }
    // A click (two: a double-click) on the list's row; false when there is no row there.
    static bool Click(QListWidget *list, QPoint at, int clicks = 1, int delay = -1, Qt::KeyboardModifiers keys = {})
    {
        if (at.x() >= 0)
            korsa::test::Click(list->viewport(), at, clicks, keys, delay);
        return at.x() >= 0;
    }
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
                       "tracks/Gamma/TRACK.INI=", "tracks/track.ini=", "tracks/TRACK_old.INI=", "tracks/track_old.ini=",
                       "tracks/other.ini=", "tracks/track.ini.bak=", "tracks/mytrack.ini=",
                       "program/track_program.ini=", "afile.txt=", "home/.local/share/Steam/steamapps/common/",
                       "home/.steam/steam -> ../.local/share/Steam"});
        QFile::setPermissions(dir_->path(), QFile::Permissions(0x7755)); // readable without root's rights too
        qputenv("HOME", QFile::encodeName(path("home")));
    }

    // The Steam libraries of the home folder: the default one, if there, and those a
    // libraryfolders.vdf names (@ stands for the tree's root) whose folder is there.
    void steamLibraries_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("libraries");
        const QString vdf = "home/.local/share/Steam/steamapps/libraryfolders.vdf=", steam = "home/.local/share/Steam";
        QString noise(10 << 20, ' '); // of the characters that matter most, and some that are no text
        const QString alphabet = QStringLiteral("\"{}\\/ \n\tpath01libraryfolders\u00e9") + QChar(0);
        for (QChar &c : noise)
            c = alphabet[QRandomGenerator::global()->bounded(int(alphabet.size()))];
        QTest::newRow("second library, one missing")
            << QStringList{vdf + R"("libraryfolders" { "0" { "path" "@/home/.local/share/Steam" "apps" { "228" "1" } })"
                                 R"("1" { "label" "" "path" "@/Games Drive/SteamLibrary" })"
                                 "\n\"2\" { \"path\" \"@/unplugged\" } // a drive not there\n}",
                           "Games Drive/SteamLibrary/"}
            << QStringList{steam, "Games Drive/SteamLibrary"};
        QTest::newRow("malformed") << QStringList{vdf + "}}}\"libraryfolders\" \"{\" {{ \"path\"", "Games Drive/"}
                                   << QStringList{steam};
        QTest::newRow("empty") << QStringList{vdf} << QStringList{steam};
        QTest::newRow("10 MB of noise") << QStringList{vdf + noise} << QStringList{steam};
        const QString flatpak = "home/.var/app/com.valvesoftware.Steam/.local/share/Steam";
        QTest::newRow("Flatpak too, older form with escapes")
            << QStringList{flatpak + "/steamapps/libraryfolders.vdf=\"LibraryFolders\" { \"1\" \"@/Old "
                                     "\\\"Lib\\\"\" }",
                           "Old \"Lib\"/"}
            << QStringList{steam, flatpak, "Old \"Lib\""};
    }
    void steamLibraries()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, libraries);
        Build(path(), entries);
        for (QString &library : libraries)
            library = path(library);
        QCOMPARE(finder::SteamLibraries(path("home")), libraries);
    }

    // The drive list's places from the home folder and a mount table, each once, pseudo file systems
    // and missing folders left out; a path's drive is the longest place that holds it.
    void drivePlaces()
    {
        Build(
            path(),
            {"Games Drive/SteamLibrary/", "run/media/racer/Games/", "media/usb/", "mnt/data/", "mnt/My Disk/",
             "mnt/ram/", "run/user/doc/", "hosts=",
             "home/.local/share/Steam/steamapps/libraryfolders.vdf="
             "\"libraryfolders\" { \"1\" { \"path\" \"@/Games Drive/SteamLibrary\" } }",
             "mounts=" + QStringList{"/dev/sda2 / ext4 rw 0 0", "proc /proc proc rw 0 0", "sysfs /sys sysfs rw 0 0",
                                     "tmpfs /run tmpfs rw 0 0", "/dev/sdb1 @/run/media/racer/Games ext4 rw,nosuid 0 0",
                                     "/dev/sdc1 @/media/usb vfat rw 0 0", "/dev/sdd1 @/mnt/data ntfs3 rw 0 0",
                                     "/dev/sdd1 @/mnt/data ntfs3 rw 0 0", "/dev/sde1 @/mnt/My\\040Disk ext4 rw 0 0",
                                     "/dev/sdf1 @/mnt/unplugged ext4 rw 0 0", "tmpfs @/mnt/ram tmpfs rw 0 0",
                                     "portal @/run/user/doc fuse.portal rw 0 0", "/dev/sda2 @/hosts ext4 rw 0 0",
                                     "/dev/sdg1 @/Games\\040Drive ext4 rw 0 0",
                                     "/dev/sdg1 @/Games\\040Drive/SteamLibrary ext4 rw 0 0", "garbage"}
                             .join('\n')});
        const QList<finder::Place> places = finder::DrivePlaces(path("home"), path("mounts"));
        QCOMPARE(places, QList<finder::Place>({{Root, Root},
                                               {"Home", path("home")},
                                               {"Steam library", path("home/.local/share/Steam")},
                                               {"Steam library", path("Games Drive/SteamLibrary")},
                                               {"Games Drive", path("Games Drive")},
                                               {"usb", path("media/usb")},
                                               {"My Disk", path("mnt/My Disk")},
                                               {"data", path("mnt/data")},
                                               {"Games", path("run/media/racer/Games")}}));
        DriveList drives;
        drives.clear();
        for (const finder::Place &place : places)
            drives.AddDrive(place.path);
        const QList<std::pair<QString, QString>> drivesOf{
            {"Games Drive/SteamLibrary/steamapps", "Games Drive/SteamLibrary"},
            {"Games Drive/Other", "Games Drive"},
            {"mnt/database", ""}}; // whole names only: "/"
        for (const auto &[inside, drive] : drivesOf)
            QCOMPARE(drives.DriveOf(path(inside)), drive.isEmpty() ? Root : path(drive));
    }

    // Where the finder opens: the remembered folder, else where a first run does (the program's own
    // folder; for an installed program, whose folder cannot be written, Steam's or the home folder).
    // It lists the track files of that folder, whatever their case (none when it cannot read it), and
    // chooses nothing.
    void startFolder_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("steam");
        QTest::addColumn<bool>("unreadable"); // the start folder, without root's rights
        QTest::addColumn<QString>("shown");
        QTest::newRow("remembered folder") << "tracks" << false << true << false << "tracks";
        QTest::newRow("remembered folder unreadable") << "tracks/Gamma" << false << true << true << "tracks/Gamma";
        QTest::newRow("first run") << "" << false << true << false << "program";
        QTest::newRow("remembered path is a file") << "afile.txt" << false << true << false << "program";
        QTest::newRow("installed, first run")
            << "program" << true << true << false << "home/.local/share/Steam/steamapps/common";
        QTest::newRow("installed, remembered folder gone, no Steam")
            << "tracks/gone" << true << false << false << "home";
    }
    void startFolder()
    {
        QFETCH(QString, start);
        QFETCH(bool, installed);
        QFETCH(bool, steam);
        QFETCH(bool, unreadable);
        QFETCH(QString, shown);
        QVERIFY(steam || QDir(path("home/.local")).removeRecursively());
        start = start.isEmpty() ? start : path(start);
        shown = path(shown);
        const bool root = ::geteuid() == 0;
        const auto giveBack = qScopeGuard([&] {
            if ((root && (::seteuid(0) != 0 || ::setegid(0) != 0)) ||
                !QFile::setPermissions(path("program"), QFile::Permissions(0x7755)) ||
                !QFile::setPermissions(shown, QFile::Permissions(0x7755)))
                qFatal("cannot take back the rights");
        });
        QVERIFY(QFile::setPermissions(path("program"), QFile::Permissions(installed ? 0x5555 : 0x7755)));
        if (unreadable &&
            (!QFile::setPermissions(shown, {}) || (root && (::setegid(65534) != 0 || ::seteuid(65534) != 0))))
            QSKIP("cannot give up root's rights to read every folder");
        auto finder = Open(start);
        QCOMPARE(finder->Seen(), QStringList({shown, shown, "", "disabled"}));
        QCOMPARE(finder->drives->Drive(), finder->drives->DriveOf(shown));
        const QMap<QString, QStringList> files{{path("tracks"), TrackFiles}, {path("program"), {"track_program.ini"}}};
        QCOMPARE(Entries(finder->files), files.value(shown));
        QCOMPARE(state_.TrackFolder, start);
        QCOMPARE(state_.TrackFileName, "earlier.ini");
    }

    // Walked from the program folder to tracks/, track.ini clicked, then: what is chosen, and whether
    // the finder closed (once closed it is gone, so the next showing starts afresh).
    void choosing_data()
    {
        QTest::addColumn<Step>("then");
        QTest::addColumn<QStringList>("state"); // folder and file name afterwards
        QTest::addColumn<bool>("closed");
        const QStringList picked{"tracks", "track.ini"}, unchanged{"program", "earlier.ini"};
        const auto click = [](QPushButton *Finder::*button) {
            return Step([button](Finder &f) { QTest::mouseClick(f.*button, Qt::LeftButton); });
        };
        QTest::newRow("Select") << click(&Finder::select) << picked << true;
        QTest::newRow("Cancel") << click(&Finder::cancel) << QStringList{"program", ""} << true;
        QTest::newRow("close box") << Step([](Finder &f) { f.dialog->close(); }) << unchanged << true;
        // Ctrl-click deselects while Select may still be enabled: Select then chooses nothing.
        QTest::newRow("ctrl-click, Select") << Step([](Finder &f) {
            Finder::Click(f.files, Finder::At(f.files, "track.ini"), 1, Later, Qt::ControlModifier);
            QTest::mouseClick(f.select, Qt::LeftButton);
        }) << unchanged << false;
        QTest::newRow("subfolder opened, Select") << Step([](Finder &f) {
            QVERIFY(f.OpenFolder(f.files->Path() + "/Gamma"));
            QTest::mouseClick(f.select, Qt::LeftButton);
        }) << unchanged << false;
        // A drive that cannot be shown: back to the drive of the folder shown, at its root.
        QTest::newRow("drive not ready, Select") << Step([](Finder &f) {
            const QString drive = f.drives->Drive();
            f.drives->AddDrive(f.files->Path() + "/missing");
            f.drives->setCurrentIndex(f.drives->count() - 1);
            QCOMPARE(f.Seen(), QStringList({drive, drive, "", "disabled"}));
            QTest::mouseClick(f.select, Qt::LeftButton);
        }) << unchanged << false;
    }
    void choosing()
    {
        QFETCH(Step, then);
        QFETCH(QStringList, state);
        QFETCH(bool, closed);
        auto finder = Open(path("program"));
        QVERIFY(finder->Show());
        QVERIFY(finder->OpenFolder(path()) && finder->OpenFolder(path("tracks")));
        QVERIFY(Finder::Click(finder->files, Finder::At(finder->files, "track.ini")));
        QCOMPARE(finder->Seen(), QStringList({path("tracks"), path("tracks"), "track.ini", "enabled"}));
        then(*finder);
        if (closed)
            QTRY_VERIFY(finder->dialog.isNull());
        QCOMPARE(finder->dialog.isNull(), closed);
        QCOMPARE(QStringList({state_.TrackFolder, state_.TrackFileName}), QStringList({path(state[0]), state[1]}));
    }

    // Leaving the folder list, or Enter in it, opens the folder highlighted there; hidden folders are
    // listed in order. A file-list click that took the focus landed on a listing that changed under
    // the pointer: it must not pick (or choose) a file; a later click there picks as usual.
    void leavingOpensHighlighted_data()
    {
        QTest::addColumn<QString>("highlight"); // and opened
        QTest::addColumn<int>("downs");         // arrow keys from the current folder; -1: a click on it
        QTest::addColumn<Step>("leave");
        QTest::addColumn<QString>("firstFile"); // of the folder opened
        const auto key = [](Qt::Key k) { return Step([k](Finder &f) { QTest::keyClick(f.folders, k); }); };
        QTest::newRow("arrow keys past a hidden folder, Tab") << "tracks/beta" << 3 << key(Qt::Key_Tab) << "";
        QTest::newRow("click, file double-clicked") << "tracks/Gamma" << -1 << Step([](Finder &f) {
            Finder::Click(f.files, Finder::At(f.files, TrackFiles.first()), 2);
        }) << "TRACK.INI";
        QTest::newRow("hidden folder, Enter") << "tracks/.hidden" << 1 << key(Qt::Key_Return) << "";
    }
    void leavingOpensHighlighted()
    {
        QFETCH(QString, highlight);
        QFETCH(int, downs);
        QFETCH(Step, leave);
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
        QCOMPARE(changed.count(), 1);
        QCOMPARE(state_.TrackFileName, "earlier.ini");
        korsa::test::Click(finder->files->viewport(), firstRow, 1, {}, Later);
        QCOMPARE(finder->Seen().mid(2), QStringList({firstFile, firstFile.isEmpty() ? "disabled" : "enabled"}));
    }

    // A folder removed while shown: opening a subfolder that went with it changes nothing and the
    // list drops it; its parent still opens, without it.
    void vanishedFolderIsHarmless()
    {
        const QString gone = path("tracks/gone");
        QVERIFY(QDir().mkpath(gone + "/inner"));
        auto finder = Open(gone);
        QVERIFY(finder->Show());
        const QPoint inner = finder->FolderAt(gone + "/inner");
        QVERIFY(QDir(gone).removeRecursively());
        QVERIFY(Finder::Click(finder->folders, inner, 2));
        QCOMPARE(finder->folders->Path(), gone);
        QCOMPARE(finder->FolderAt(gone + "/inner"), QPoint(-1, -1));
        QVERIFY(finder->OpenFolder(path("tracks")));
        QCOMPARE(finder->FolderAt(gone), QPoint(-1, -1));
        QCOMPARE(Entries(finder->files), TrackFiles);
    }
};

QTEST_MAIN(TestFinder)
#include "tst_finder.moc"
