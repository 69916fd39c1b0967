#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace korsa {

// The embedded picture ":/JPEG/<id>.jpg", decoded afresh at every call. A null image when there
// is no such picture or its bytes do not decode.
QImage LoadResourcePicture(int id);

// Where a section's own photograph may be put: <programFolder>/<sectionName>.jpg, always joined
// with a forward slash.
QString SectionPhotographPath(const QString &programFolder, const QString &sectionName);

// The photograph of section i (0..8): the file at SectionPhotographPath when there is one, decoded
// by its content whatever its name says; otherwise, and also when that file cannot be decoded or
// holds an empty picture, the embedded photograph 100 + i.
QImage SectionPhotograph(int i, const QString &programFolder, const QString &sectionName);

struct FittedPicture {
    QImage scaled; // the photograph scaled so that it covers the box, aspect kept
    QImage cut;    // the box-sized middle of `scaled`; what lies outside is dropped
};

// Scales the photograph by the larger of the box-to-photo width and height ratios, so it covers
// the box, and cuts the box out of its middle (an odd surplus rounds half to even). A null
// photograph or an empty box gives null images.
FittedPicture FitPictureToBox(const QImage &photo, QSize box);

} // namespace korsa
