#pragma once

#include <QImage>

#include <cstdlib>

namespace korsa::test {

// The mean difference of two pictures of one size, per colour channel of each pixel (0 to 255): the
// same picture decoded or scaled another way is within a few steps, another picture far off.
inline double MeanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace korsa::test
