// Writes the program icon in the sizes of the freedesktop icon theme: for each size N given,
// OUTDIR/NxN/apps/NAME.png, scaled down smoothly from the one large icon.
// Usage: icon_sizes SOURCE.png OUTDIR NAME N...

#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 5) {
        std::fputs("usage: icon_sizes SOURCE.png OUTDIR NAME N...\n", stderr);
        return 64;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "icon_sizes: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 4; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, QString::fromLocal8Bit(argv[3]));
        const QImage icon = source.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (size <= 0 || !QDir().mkpath(folder) || !icon.save(file, "PNG")) {
            std::fprintf(stderr, "icon_sizes: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
