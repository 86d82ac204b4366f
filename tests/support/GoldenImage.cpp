#include "support/GoldenImage.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>

namespace TestSupport {

GoldenDifference compareImages(const QImage& actual, const QImage& expected) {
    GoldenDifference result;
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    result.diff = QImage(a.size(), QImage::Format_ARGB32);
    result.diff.fill(Qt::white);
    qint64 bad = 0;
    double total = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* pe = reinterpret_cast<const QRgb*>(e.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int d[] = {
                std::abs(qAlpha(pa[x]) - qAlpha(pe[x])), std::abs(qRed(pa[x]) - qRed(pe[x])),
                std::abs(qGreen(pa[x]) - qGreen(pe[x])), std::abs(qBlue(pa[x]) - qBlue(pe[x]))};
            const int worst = std::max({d[0], d[1], d[2], d[3]});
            total += (d[0] + d[1] + d[2] + d[3]) / 4.0;
            if (worst > 16) {
                ++bad;
                result.diff.setPixel(x, y, qRgb(255, 0, 0));
            }
        }
    }
    const double count = double(a.width()) * a.height();
    result.badShare = count > 0 ? bad / count : 0;
    result.meanDifference = count > 0 ? total / count : 0;
    return result;
}

bool isBlessingGoldens() {
    return qEnvironmentVariableIntValue("LORVANEL_BLESS_GOLDEN") == 1;
}

QString checkGolden(const QImage& actual, const QString& goldenDir, const QString& name,
                    const QString& failureDir) {
    const QString path = QDir(goldenDir).filePath(name);
    if (isBlessingGoldens())
        return actual.save(path, "PNG") ? QString() : QStringLiteral("cannot write ") + path;
    const QImage expected(path);
    if (expected.isNull())
        return QStringLiteral("missing reference %1 (render it with LORVANEL_BLESS_GOLDEN=1 and "
                              "review it)")
            .arg(path);
    if (actual.size() != expected.size())
        return QStringLiteral("%1: size %2×%3, reference %4×%5")
            .arg(name)
            .arg(actual.width())
            .arg(actual.height())
            .arg(expected.width())
            .arg(expected.height());
    const GoldenDifference d = compareImages(actual, expected);
    if (d.isSame())
        return {};
    const QDir failures(failureDir);
    failures.mkpath(QStringLiteral("."));
    const QString stem = QFileInfo(name).completeBaseName();
    actual.save(failures.filePath(stem + QStringLiteral("-actual.png")));
    expected.save(failures.filePath(stem + QStringLiteral("-expected.png")));
    d.diff.save(failures.filePath(stem + QStringLiteral("-diff.png")));
    return QStringLiteral("%1: %2% pixels differ, mean difference %3")
        .arg(name)
        .arg(d.badShare * 100)
        .arg(d.meanDifference);
}

} // namespace TestSupport
