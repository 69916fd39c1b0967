#include "finder/DriveList.h"
#include "finder/FileList.h"
#include "finder/FinderPaths.h"
#include "finder/FolderList.h"
#include "finder/Places.h"
#include "finder/TrackFinderDialog.h"
#include "finder/TrackSearch.h"
#include "support/Pointer.h"
#include "support/TempTree.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace korsa;

namespace {

const QStringList TrackFiles = {"track.ini", "TRACK_old.INI", "track_old.ini"};
const int Later = QTest::mouseDoubleClickInterval + 100; // a click that makes no double-click
const QString Root = QDir::toNativeSeparators(QDir::rootPath());

// Puts entries below the root: "a/b/" a folder, "a/f=text" a file with the text ("@" in it standing
// for the root), "a/l -> target" a link; "-a/b" removes what is there.
void Build(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        if (entry.startsWith('-') && QDir(root + '/' + entry.mid(1)).removeRecursively())
            continue;
        const QString name = entry.section(QRegularExpression(" -> |="), 0, 0), path = root + '/' + name;
        const QString rest = entry.mid(name.size()).replace('@', root);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!(name.endsWith('/')        ? QDir().mkpath(path)
              : rest.startsWith(" -> ") ? QFile::link(rest.mid(4), path)
                                        : file.open(QIODevice::WriteOnly) && file.write(rest.mid(1).toUtf8()) >= 0))
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

// The search's stand-in test of a file: its text says whether it is the one looked for.
bool IsSorvena(const QString &path) { return korsa::test::ReadFile(path) == "sorvena"; }

// One showing of the finder, with its controls.
struct Finder {
    Finder(const QString &start, const QString &inUse, const QString &programFolder, const finder::TrackSearch *search)
        : dialog(new TrackFinderDialog(start, inUse, programFolder, search))
    {
        QObject::connect(dialog, &TrackFinderDialog::Chosen, [this](const TrackChoice &c) {
            chosen = {c.folder, c.fileName};
        });
    }
    ~Finder() { delete dialog; }
    bool Show() { return dialog->show(), dialog->activateWindow(), QTest::qWaitForWindowActive(dialog); }
    // The folder listed, the files' folder, the file picked and whether Select is enabled.
    QStringList Seen() const
    {
        return {folders->Path(), files->Path(), files->FileName(), select->isEnabled() ? "enabled" : "disabled"};
    }
    // The middle of the row whose role holds the value; -1,-1 for none.
    static QPoint At(QListWidget *list, const QString &value, int role = Qt::DisplayRole)
    {
        const auto found = list->model()->match(list->model()->index(0, 0), role, value, 1, Qt::MatchExactly);
        return found.isEmpty() ? QPoint(-1, -1) : list->visualRect(found.first()).center();
    }
    QPoint FolderAt(const QString &folder) const
    {
        return At(folders, finder::CleanFolder(folder), FolderList::PathRole);
    }
    static bool Click(QListWidget *list, QPoint at, int clicks = 1, int delay = -1, Qt::KeyboardModifiers keys = {})
    {
        return at.x() >= 0 && (korsa::test::Click(list->viewport(), at, clicks, keys, delay), true);
    }
    [[nodiscard]] bool OpenFolder(const QString &folder) { return Click(folders, FolderAt(folder), 2); }

    QPointer<TrackFinderDialog> dialog;
    DriveList *drives = dialog->findChild<DriveList *>("drvList");
    FolderList *folders = dialog->findChild<FolderList *>("dirList");
    FileList *files = dialog->findChild<FileList *>("filList");
    QPushButton *select = dialog->findChild<QPushButton *>("cmdSelect");
    QPushButton *cancel = dialog->findChild<QPushButton *>("cmdCancel");
    QLineEdit *path = dialog->findChild<QLineEdit *>("txtPath");
    QLabel *note = dialog->findChild<QLabel *>("lblPathNote");
    QStringList chosen; // the folder and file handed back
};

using Step = std::function<void(Finder &)>;

} // namespace

Q_DECLARE_METATYPE(Step)

class TestFinder : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;

    QString path(const QString &relative = {}) const { return QDir::cleanPath(dir_->filePath(relative)); }
    // The finder on a start folder, with the file in use (earlier.ini unless given) in it.
    std::unique_ptr<Finder> Open(const QString &folder, const finder::TrackSearch *search = nullptr,
                                 const QString &inUse = "earlier.ini")
    {
        return std::make_unique<Finder>(folder, inUse, path("program"), search);
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
        qputenv("HOME", QFile::encodeName(path("home")));
    }

    // The default Steam library, if there, and those a libraryfolders.vdf names (@: the root) that are there.
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
        QTest::newRow("byte-order mark; Flatpak Steam without steamapps")
            << QStringList{vdf + QChar(0xFEFF) + "\"libraryfolders\" { \"1\" { \"path\" \"@/Lib\" } }", "Lib/",
                           "home/.var/app/com.valvesoftware.Steam/.local/share/Steam/"}
            << QStringList{steam, "Lib"};
        QTest::newRow("10 MB of noise") << QStringList{vdf + noise} << QStringList{steam};
        const QString flatpak = "home/.var/app/com.valvesoftware.Steam/.local/share/Steam";
        QTest::newRow("Flatpak too, older form with escapes")
            << QStringList{flatpak + "/steamapps/libraryfolders.vdf=\"LibraryFolders\" { \"1\" \"@/Old \\\"Lib\\\"\" }",
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

    // Places from home and a mount table, each once, no pseudo or missing ones; a path's drive is the longest.
    void drivePlaces()
    {
        Build(path(),
              {"Games Drive/SteamLibrary/", "run/media/racer/Games/", "media/usb/", "mnt/data/", "mnt/My Disk/",
               "mnt/ram/", "run/user/doc/", "hosts=",
               "home/.local/share/Steam/steamapps/libraryfolders.vdf="
               "\"libraryfolders\" { \"1\" { \"path\" \"@/Games Drive/SteamLibrary\" } }",
               "mounts=" + QStringList{"/dev/sda2 / ext4 rw 0 0", "proc /proc proc rw 0 0",
                                       "/dev/sdb1 @/run/media/racer/Games ext4 rw,nosuid 0 0",
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
                                               {"Steam library", path("home/.local/share/Steam"),
                                                path("home/.local/share/Steam/steamapps/common")},
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
        QCOMPARE(drives.DriveOf(path("Games Drive/SteamLibrary/steamapps")), path("Games Drive/SteamLibrary"));
        QCOMPARE(drives.DriveOf(path("Games Drive/Other")), path("Games Drive"));
        QCOMPARE(drives.DriveOf(path("mnt/database")), Root); // whole names only
    }

    // The finder opens in the remembered folder; else at the file the search found, selected, also when the
    // search ends after it opened; else in the program's own folder or, when that is read-only, the first Steam
    // library's games, else home. It lists the track files there, whatever their case.
    void startFolder_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("installed"); // its folder read-only
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("search"); // 0: none, 1: ended before the finder opened, 2: after
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("file"); // selected
        const QString steam = "home/.local/share/Steam/steamapps", found = "Lib/steamapps/common/Sim/a/tracks/sorvena";
        const QString vdf = steam + "/libraryfolders.vdf=\"libraryfolders\" { \"1\" { \"path\" \"@/Lib\" } }";
        const QStringList library{steam + "/common/Other/track.ini=other", found + "/track.ini=sorvena", vdf};
        QTest::newRow("remembered folder") << "tracks" << false << library << 1 << "tracks"
                                           << "";
        QTest::newRow("installed, found") << "program" << true << library << 1 << found << "track.ini";
        QTest::newRow("first run, found later") << "" << false << library << 2 << found << "track.ini";
        QTest::newRow("remembered, with the file in use") << "tracks" << false << QStringList() << 0 << "tracks"
                                                          << "track_old.ini";
        QTest::newRow("first run") << "" << false << QStringList() << 1 << "program"
                                   << "";
        QTest::newRow("installed, first run") << "program" << true << QStringList() << 0 << steam + "/common"
                                              << "";
        QTest::newRow("installed, remembered folder gone")
            << "tracks/gone" << true << QStringList() << 0 << steam + "/common"
            << "";
        QTest::newRow("installed, no Steam games folder")
            << "program" << true << QStringList{"-" + steam + "/common"} << 0 << "home"
            << "";
        QTest::newRow("installed, first library without its games")
            << "program" << true << QStringList{"-" + steam + "/common", "Lib/steamapps/common/", vdf} << 0
            << "Lib/steamapps/common"
            << "";
    }
    void startFolder()
    {
        QFETCH(QString, start);
        QFETCH(bool, installed);
        QFETCH(QStringList, entries);
        QFETCH(int, search);
        QFETCH(QString, shown);
        QFETCH(QString, file);
        Build(path(), entries);
        start = start.isEmpty() ? start : path(start);
        shown = path(shown);
        const auto giveBack = qScopeGuard([&] { QFile::setPermissions(path("program"), QFile::Permissions(0x7755)); });
        QVERIFY(QFile::setPermissions(path("program"), QFile::Permissions(installed ? 0x5555 : 0x7755)));
        finder::TrackSearch found(IsSorvena);
        QSignalSpy done(&found, &finder::TrackSearch::Done);
        if (search == 1)
            found.Start(path("home"));
        QVERIFY(search != 1 || done.wait());
        auto finder = Open(start, &found, search ? "earlier.ini" : file);
        if (search == 2)
            found.Start(path("home"));
        QVERIFY(search != 2 || done.wait());
        QCOMPARE(finder->Seen(), QStringList({shown, shown, file, file.isEmpty() ? "disabled" : "enabled"}));
        QCOMPARE(finder->drives->Drive(), finder->drives->DriveOf(shown));
        const QMap<QString, QStringList> files{{shown, file.isEmpty() ? QStringList() : QStringList{file}},
                                               {path("tracks"), TrackFiles},
                                               {path("program"), {"track_program.ini"}}};
        QCOMPARE(Entries(finder->files), files.value(shown));
        if (!search && !file.isEmpty()) { // the file in use: Enter takes it again
            QTest::keyClick(finder->files, Qt::Key_Return);
            QCOMPARE(finder->chosen, QStringList({shown, file}));
        } else if (!file.isEmpty()) { // and the library's entry opens at its games
            finder->drives->setCurrentIndex(0);
            finder->drives->setCurrentIndex(finder->drives->findData(path("Lib")));
            QCOMPARE(finder->folders->Path(), path("Lib/steamapps/common"));
        }
    }

    // The first file that passes the test, level by level, within the depth and the time given.
    void findTrackFile_data()
    {
        QTest::addColumn<QStringList>("entries"); // below a/ and b/, the folders searched in turn
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<QString>("found");
        QTest::newRow("decoy, then 4 levels down in the second")
            << QStringList{"a/Other/track.ini=other", "b/A/B/C/D/Track_1.INI=sorvena", "b/A/B/C/D/track.ini=sorvena",
                           "b/A/B/C/E/track.ini=sorvena"}
            << 2000 << "b/A/B/C/D/Track_1.INI";
        QTest::newRow("level 6 is searched, level 7 not")
            << QStringList{"a/1/2/3/4/5/6/7/track.ini=sorvena", "a/1/2/3/4/5/s/track.ini=sorvena"} << 2000
            << "a/1/2/3/4/5/s/track.ini";
        QTest::newRow("links: one round a loop, one to elsewhere")
            << QStringList{"a/loop -> @/a", "a/z -> @/elsewhere", "elsewhere/track.ini=sorvena"} << 2000
            << "a/z/track.ini";
        QTest::newRow("no time") << QStringList{"a/track.ini=sorvena"} << 0 << "";
    }
    void findTrackFile()
    {
        QFETCH(QStringList, entries);
        QFETCH(int, milliseconds);
        QFETCH(QString, found);
        Build(path(), entries);
        const finder::SearchLimits limits{6, std::chrono::milliseconds(milliseconds)};
        const std::atomic<bool> stop = false;
        QCOMPARE(finder::FindTrackFile({path("a"), path("b")}, IsSorvena, limits, stop),
                 found.isEmpty() ? found : path(found));
    }

    // Ctrl+L, a path typed and Enter: a folder opens, a file is chosen as by Select; what is not there
    // keeps the field; Escape leaves it.
    void typedPath_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("seen"); // the finder's, or with "chosen" what it handed back
        QTest::newRow("home, quoted, blanks round") << " '~/../tracks/Gamma' " << int(Qt::Key_Return)
                                                    << QStringList{"tracks/Gamma", "tracks/Gamma", "", "disabled"};
        QTest::newRow("relative") << "Alpha" << int(Qt::Key_Enter)
                                  << QStringList{"tracks/Alpha", "tracks/Alpha", "", "disabled"};
        QTest::newRow("file address") << "file://@/tracks/other.ini" << int(Qt::Key_Return)
                                      << QStringList{"chosen", "tracks", "other.ini"};
        QTest::newRow("not there") << "nowhere" << int(Qt::Key_Return)
                                   << QStringList{"tracks",   "tracks", "",
                                                  "disabled", "field",  "There is no folder or file at this path."};
        QTest::newRow("device") << "/dev/null" << int(Qt::Key_Return)
                                << QStringList{"tracks",   "tracks", "",
                                               "disabled", "field",  "This is neither a folder nor a file."};
        QTest::newRow("Escape") << "Alpha" << int(Qt::Key_Escape) << QStringList{"tracks", "tracks", "", "disabled"};
    }
    void typedPath()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QStringList, seen);
        auto finder = Open(path("tracks"));
        QVERIFY(finder->Show());
        QTest::keyClick(finder->dialog, Qt::Key_L, Qt::ControlModifier);
        QTRY_VERIFY(finder->path->hasFocus());
        QCOMPARE(finder->path->selectedText(), path("tracks"));
        QTest::keyClicks(finder->path, typed.replace('@', path()));
        QTest::keyClick(finder->path, Qt::Key(key));
        if (seen.first() == "chosen") {
            QTRY_VERIFY(finder->dialog.isNull());
            QCOMPARE(finder->chosen, QStringList({path(seen[1]), seen[2]}));
            return;
        }
        for (int k = 0; k < 2; ++k)
            seen[k] = path(seen[k]);
        QVERIFY(finder->dialog->isVisible());
        QCOMPARE(finder->Seen() + (finder->path->isVisible() ? QStringList("field") : QStringList()) +
                     (finder->note->isVisible() ? QStringList(finder->note->text().trimmed()) : QStringList()),
                 seen);
    }

    // From the program folder to tracks/, track.ini clicked, then: what is chosen, and whether the finder closed.
    void choosing_data()
    {
        QTest::addColumn<Step>("then");
        QTest::addColumn<QStringList>("chosen"); // folder and file name handed back
        QTest::addColumn<bool>("closed");
        const QStringList picked{"tracks", "track.ini"}, none;
        const auto press = [](QPushButton *Finder::*b) {
            return Step([b](Finder &f) { QTest::mouseClick(f.*b, Qt::LeftButton); });
        };
        QTest::newRow("Select") << press(&Finder::select) << picked << true;
        QTest::newRow("Cancel") << press(&Finder::cancel) << none << true;
        QTest::newRow("close box") << Step([](Finder &f) { f.dialog->close(); }) << none << true;
        QTest::newRow("ctrl-click, Select") << Step([](Finder &f) {
            Finder::Click(f.files, Finder::At(f.files, "track.ini"), 1, Later, Qt::ControlModifier);
            QTest::mouseClick(f.select, Qt::LeftButton);
        }) << none << false;
    }
    void choosing()
    {
        QFETCH(Step, then);
        QFETCH(QStringList, chosen);
        QFETCH(bool, closed);
        auto finder = Open(path("program"));
        QVERIFY(finder->Show());
        QVERIFY(finder->OpenFolder(path()) && finder->OpenFolder(path("tracks")));
        QVERIFY(Finder::Click(finder->files, Finder::At(finder->files, "track.ini")));
        QCOMPARE(finder->Seen(), QStringList({path("tracks"), path("tracks"), "track.ini", "enabled"}));
        then(*finder);
        QTRY_COMPARE(finder->dialog.isNull(), closed);
        QCOMPARE(finder->chosen, chosen.isEmpty() ? chosen : QStringList({path(chosen[0]), chosen[1]}));
    }

    // Leaving the folder list, or Enter in it, opens the folder highlighted there. A file-list click that took the
    // focus landed on a listing that changed under the pointer: it picks no file; a later click there does.
    void leavingOpensHighlighted_data()
    {
        QTest::addColumn<QString>("highlight"); // and opened
        QTest::addColumn<Step>("leave");
        QTest::addColumn<QString>("firstFile"); // of the folder opened
        const auto key = [](Qt::Key k) { return Step([k](Finder &f) { QTest::keyClick(f.folders, k); }); };
        QTest::newRow("click, file double-clicked") << "tracks/Gamma" << Step([](Finder &f) {
            Finder::Click(f.files, Finder::At(f.files, TrackFiles.first()), 2);
        }) << "TRACK.INI";
        QTest::newRow("hidden folder, Enter") << "tracks/.hidden" << key(Qt::Key_Return) << "";
    }
    void leavingOpensHighlighted()
    {
        QFETCH(QString, highlight);
        QFETCH(Step, leave);
        QFETCH(QString, firstFile);
        auto finder = Open(path("tracks"));
        QVERIFY(finder->Show());
        const QPoint firstRow = Finder::At(finder->files, TrackFiles.first());
        QSignalSpy changed(finder->folders, &FolderList::PathChanged);
        finder->folders->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(finder->folders->hasFocus());
        QVERIFY(Finder::Click(finder->folders, finder->FolderAt(path(highlight))));
        QCOMPARE(finder->folders->Path(), path("tracks")); // highlighting alone opens nothing
        leave(*finder);
        QTRY_COMPARE(finder->files->Path(), path(highlight));
        QCOMPARE(finder->Seen(), QStringList({path(highlight), path(highlight), "", "disabled"}));
        QCOMPARE(changed.count(), 1);
        QVERIFY(finder->chosen.isEmpty());
        korsa::test::Click(finder->files->viewport(), firstRow, 1, {}, Later);
        QCOMPARE(finder->Seen().mid(2), QStringList({firstFile, firstFile.isEmpty() ? "disabled" : "enabled"}));
    }
};

QTEST_MAIN(TestFinder)
#include "tst_finder.moc"
