// Reference renders of a reviewed set of drawings. They were made with Qt 6.4.2, FreeType 2.12
// and fonts-liberation2 2.1.5 (Debian 12); a font or FreeType upgrade is the expected reason to
// bless them again: run the suite with LORVANEL_BLESS_GOLDEN=1, look at every changed picture
// and commit them.

#include "ArtworkTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <cstdlib>

using namespace ArtworkTest;
using Finish = StartupModel::Finish;

namespace {

constexpr double goldenHeight = 200.0;

struct GoldenCase {
    Drawing drawing;
    QString name;
};

QString seriesName(StartupSeries s) {
    switch (s) {
    case StartupSeries::classic:
        return QStringLiteral("classic");
    case StartupSeries::shuffle:
        return QStringLiteral("shuffle");
    case StartupSeries::nano:
        return QStringLiteral("nano");
    }
    return {};
}

GoldenCase make(StartupSeries s, int g, Finish f, bool rear, std::optional<QString> capacity = {},
                std::optional<QString> engraving = {}) {
    QString name =
        QStringLiteral("%1-%2-%3-%4")
            .arg(seriesName(s))
            .arg(g)
            .arg(f.rawValue().toLower(), rear ? QStringLiteral("back") : QStringLiteral("front"));
    if (capacity)
        name += QStringLiteral("-cap");
    if (engraving)
        name += QStringLiteral("-eng");
    return {Drawing(s, g, f, rear, std::move(capacity), std::move(engraving)),
            name + QStringLiteral("@2x.png")};
}

std::vector<GoldenCase> goldenCases() {
    std::vector<GoldenCase> cases;
    const QString engraving = QStringLiteral("Made for music");
    for (StartupSeries s : StartupSeries::allCases()) {
        const auto& models = s.models();
        for (int g = 0; g < int(models.size()); ++g) {
            const StartupModel& m = models[std::size_t(g)];
            cases.push_back(make(s, g, m.finishes.front(), false));
            cases.push_back(
                make(s, g, m.finishes.front(), true, m.capacityOptions().front(), engraving));
        }
    }
    cases.push_back(make(StartupSeries::classic, 4, Finish::black, false));
    cases.push_back(make(StartupSeries::classic, 5, Finish::black, false));
    cases.push_back(
        make(StartupSeries::classic, 5, Finish::black, true, QStringLiteral("160 GB"), engraving));
    cases.push_back(make(StartupSeries::classic, 0, Finish::white, true, QStringLiteral("10 GB")));
    cases.push_back(make(StartupSeries::nano, 0, Finish::black, false));
    cases.push_back(make(StartupSeries::nano, 2, Finish::black, false));
    cases.push_back(make(StartupSeries::nano, 3, Finish::silver, true, QStringLiteral("8 GB")));
    cases.push_back(make(StartupSeries::nano, 5, Finish::silver, true));
    cases.push_back(make(StartupSeries::nano, 6, Finish::darkGray, true));
    cases.push_back(make(StartupSeries::shuffle, 0, Finish::white, true));
    cases.push_back(make(StartupSeries::shuffle, 1, Finish::silver, true));
    cases.push_back(make(StartupSeries::shuffle, 3, Finish::silver, true));
    return cases;
}

struct Difference {
    double badShare = 0;
    double meanDifference = 0;
    QImage diff;
};

Difference compare(const QImage& actual, const QImage& expected) {
    Difference result;
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

} // namespace

TEST(GoldenImages, ReviewedDrawingsMatchTheirReferences) {
    const bool bless = qEnvironmentVariableIntValue("LORVANEL_BLESS_GOLDEN") == 1;
    const QDir goldens(QStringLiteral(LORVANEL_GOLDEN_DIR));
    const QDir failures(QStringLiteral(LORVANEL_GOLDEN_FAILURES_DIR));
    const std::vector<GoldenCase> cases = goldenCases();
    ASSERT_EQ(cases.size(), 46u);
    for (const GoldenCase& c : cases) {
        const QImage actual = render(c.drawing, goldenHeight, 2.0);
        const QString path = goldens.filePath(c.name);
        if (bless) {
            ASSERT_TRUE(actual.save(path, "PNG")) << path.toStdString();
            continue;
        }
        const QImage expected(path);
        ASSERT_FALSE(expected.isNull())
            << "missing reference " << path.toStdString()
            << " (render it with LORVANEL_BLESS_GOLDEN=1 and review it)";
        ASSERT_EQ(actual.size(), expected.size()) << c.name.toStdString();
        const Difference d = compare(actual, expected);
        const bool same = d.badShare <= 0.002 && d.meanDifference <= 0.75;
        EXPECT_TRUE(same) << c.name.toStdString() << ": " << d.badShare * 100
                          << "% pixels differ, mean difference " << d.meanDifference;
        if (!same) {
            failures.mkpath(QStringLiteral("."));
            const QString stem = QFileInfo(c.name).completeBaseName();
            actual.save(failures.filePath(stem + QStringLiteral("-actual.png")));
            expected.save(failures.filePath(stem + QStringLiteral("-expected.png")));
            d.diff.save(failures.filePath(stem + QStringLiteral("-diff.png")));
        }
    }
}

TEST(GoldenImages, ComparisonToleratesNoiseButNotChanges) {
    const Drawing d(StartupSeries::nano, 4, Finish::orange);
    const QImage base = render(d, 120, 2.0);
    QImage noisy = base.copy();
    // A handful of pixels off by a few levels is noise.
    for (int i = 0; i < 20; ++i) {
        const QPoint p(i * 3 % noisy.width(), i * 7 % noisy.height());
        const QRgb c = noisy.pixel(p);
        noisy.setPixel(p, qRgba(std::min(255, qRed(c) + 4), qGreen(c), qBlue(c), qAlpha(c)));
    }
    const Difference small = compare(noisy, base);
    EXPECT_LE(small.badShare, 0.002);
    EXPECT_LE(small.meanDifference, 0.75);
    const Difference finish =
        compare(render(Drawing(StartupSeries::nano, 4, Finish::blue), 120, 2.0), base);
    EXPECT_GT(finish.badShare, 0.002);
}
