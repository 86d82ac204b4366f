#pragma once

// Reference renders: a rendered image is compared with the reviewed picture kept in the source
// tree, tolerating the noise of another font rasteriser but not a changed drawing. With
// LORVANEL_BLESS_GOLDEN=1 the references are written instead, for review before committing.

#include <QImage>
#include <QString>

namespace TestSupport {

struct GoldenDifference {
    double badShare = 0;       // pixels off by more than 16 in any channel
    double meanDifference = 0; // per channel, over all pixels
    QImage diff;               // bad pixels in red
    bool isSame() const { return badShare <= 0.002 && meanDifference <= 0.75; }
};

GoldenDifference compareImages(const QImage& actual, const QImage& expected);

bool isBlessingGoldens();

// Compares with the reference `name` in goldenDir (or writes it when blessing). On a difference
// the actual, expected and diff pictures land in failureDir. Returns an empty text when the
// image matches, else what went wrong.
QString checkGolden(const QImage& actual, const QString& goldenDir, const QString& name,
                    const QString& failureDir);

} // namespace TestSupport
