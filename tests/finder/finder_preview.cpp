// Shows the track file finder on a small folder tree so its look can be checked by eye.
// Usage: finder_preview [folder]   (without a folder, a temporary tree is made)

#include "finder/FrmFileManager2.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir temp;
    QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path() + QStringLiteral("/Sorvena/tracks/Monza");
    if (argc <= 1) {
        QDir().mkpath(folder);
        for (const char *sub : {"Pit Lane", "backups", "Setups"})
            QDir(folder).mkpath(QString::fromLatin1(sub));
        for (const char *name : {"track.ini", "TRACK_old.INI", "track_2003.ini", "track.ini.bak", "other.ini"}) {
            QFile file(folder + QLatin1Char('/') + QString::fromLatin1(name));
            file.open(QIODevice::WriteOnly);
        }
    }
    korsa::SessionState state;
    state.TrackFolder = QDir::toNativeSeparators(folder);
    auto *finder = new korsa::FrmFileManager2(state, QDir::currentPath());
    finder->show();
    return app.exec();
}
