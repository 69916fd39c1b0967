// What the picture generators share: the JPEG settings the program's decoder expects and the
// one text face, so a rerun paints the same pixels.
#pragma once

#include <QtCore/QDir>
#include <QtCore/QString>
#include <QtGui/QFont>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QImageWriter>

#include <cmath>
#include <cstdio>

#ifndef KORSA_RESOURCES_DIR
#define KORSA_RESOURCES_DIR "resources"
#endif

namespace korsa {

inline constexpr double Pi = 3.14159265358979323846;
inline constexpr int JpegQuality = 85;

inline bool SaveJpeg(const QImage &image, const QString &path)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(JpegQuality);
    writer.setProgressiveScanWrite(false); // the player's decoder wants baseline JPEG
    writer.setOptimizedWrite(true);
    if (!writer.write(image.convertToFormat(QImage::Format_RGB32))) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
        return false;
    }
    return true;
}

inline QFont Font(double pixelSize, int weight = QFont::Normal, const char *family = "DejaVu Sans")
{
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(static_cast<int>(std::lround(pixelSize)));
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// The folder `sub` of the resources folder named on the command line (or the source tree's),
// made if missing. Painting text needs a platform plugin; no window is ever shown.
inline QDir OutputFolder(int argc, char **argv, const QString &sub)
{
    const QString top = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KORSA_RESOURCES_DIR);
    QDir dir(top);
    if (!dir.mkpath(sub))
        std::fprintf(stderr, "cannot create %s under %s\n", qPrintable(sub), qPrintable(top));
    return QDir(dir.filePath(sub));
}

// A generator's whole run: offscreen unless told otherwise, writing into OutputFolder's `sub`.
inline int RunGenerator(int argc, char **argv, const QString &sub, int (*run)(const QDir &))
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return run(OutputFolder(argc, argv, sub));
}

} // namespace korsa
