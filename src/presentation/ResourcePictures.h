#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

#include <optional>

namespace korsa {

// The embedded picture ":/JPEG/<id>.jpg", decoded afresh at every call. A null image when there
// is no such picture or its bytes do not decode.
QImage LoadResourcePicture(int id);

// The embedded picture `id` at `size`, decoded whole and scaled in one averaging step. A null
// image as for LoadResourcePicture, or for an empty size.
QImage LoadResourcePictureAt(int id, QSize size);

// The part of `picture` that differs from `base`: the smallest rectangle holding every differing
// pixel, and where it lies. Pictures of another size or format differ as a whole; an identical
// picture leaves a null patch.
struct PicturePatch {
    QImage patch;
    QPoint at;
};
PicturePatch DifferenceFrom(const QImage &base, const QImage &picture);

// Where a section's own photograph may be put: <programFolder>/<sectionName>.jpg, always joined
// with a forward slash.
QString SectionPhotographPath(const QString &programFolder, const QString &sectionName);

// How a photograph covers a box: scaled by the larger of the box-to-photo width and height ratios,
// so it covers the box, with the box cut out of its middle (an odd surplus rounds half to even).
struct CoverFit {
    QSize scaled;
    QPoint cut;
};
// Nothing for an empty photograph or box.
std::optional<CoverFit> FitGeometry(QSize photo, QSize box);

struct FittedPicture {
    QImage scaled; // the photograph scaled so that it covers the box, aspect kept
    QImage cut;    // the box-sized middle of `scaled`; what lies outside is dropped
};

// Fits a decoded photograph to the box as FitGeometry says, with an averaging scale. A null
// photograph or an empty box gives null images.
FittedPicture FitPictureToBox(const QImage &photo, QSize box);

struct ShownPhotograph {
    QSize photoSize; // the photograph's own size
    FittedPicture fitted;
};

// Section i's photograph (0..8), fitted to the box as FitPictureToBox fits it: the file at
// SectionPhotographPath when there is one, decoded by its content whatever its name says;
// otherwise, and also when that file cannot be decoded or fitted, the embedded photograph 100 + i.
// The full-size photograph is not kept.
ShownPhotograph FittedSectionPhotograph(int i, const QString &programFolder, const QString &sectionName, QSize box);

} // namespace korsa
