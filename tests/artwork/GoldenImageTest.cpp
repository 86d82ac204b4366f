// Reference renders of a reviewed set of drawings. They were made with Qt 6.4.2, FreeType 2.12
// and fonts-liberation2 2.1.5 (Debian 12); a font or FreeType upgrade is the expected reason to
// bless them again: run the suite with LORVANEL_BLESS_GOLDEN=1, look at every changed picture
// and commit them.

#include "support/GoldenImage.h"
#include "ArtworkTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

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

} // namespace

TEST(GoldenImages, ReviewedDrawingsMatchTheirReferences) {
    const std::vector<GoldenCase> cases = goldenCases();
    ASSERT_EQ(cases.size(), 46u);
    for (const GoldenCase& c : cases) {
        const QString failure = TestSupport::checkGolden(
            render(c.drawing, goldenHeight, 2.0), QStringLiteral(LORVANEL_GOLDEN_DIR), c.name,
            QStringLiteral(LORVANEL_GOLDEN_FAILURES_DIR));
        EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
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
    const TestSupport::GoldenDifference small = TestSupport::compareImages(noisy, base);
    EXPECT_LE(small.badShare, 0.002);
    EXPECT_LE(small.meanDifference, 0.75);
    const TestSupport::GoldenDifference finish = TestSupport::compareImages(
        render(Drawing(StartupSeries::nano, 4, Finish::blue), 120, 2.0), base);
    EXPECT_GT(finish.badShare, 0.002);
}
