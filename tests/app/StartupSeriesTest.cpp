#include "appmodel/StartupSeries.h"
#include "appmodel/LorvPalette.h"
#include "platform/AppLanguage.h"

#include <gtest/gtest.h>

#include <QSet>

using Finish = StartupModel::Finish;

TEST(StartupSeries, ThreeSeriesWithTheirFacts) {
    const auto& all = StartupSeries::allCases();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], StartupSeries::classic);
    EXPECT_EQ(all[1], StartupSeries::shuffle);
    EXPECT_EQ(all[2], StartupSeries::nano);

    EXPECT_EQ(StartupSeries(StartupSeries::shuffle).displayName(), QStringLiteral("iPod shuffle"));
    for (StartupSeries s : all)
        EXPECT_EQ(StartupSeries::fromRawValue(s.rawValue()), s);
    EXPECT_FALSE(StartupSeries::fromRawValue(QStringLiteral("iPod Classic")));
    EXPECT_FALSE(StartupSeries::fromRawValue(QStringLiteral("classic")));

    const StartupSeries classic = StartupSeries::classic, shuffle = StartupSeries::shuffle,
                        nano = StartupSeries::nano;
    EXPECT_EQ(classic.accentColor(), LorvPalette::fog());
    EXPECT_EQ(shuffle.accentColor(), LorvPalette::sky());
    EXPECT_EQ(nano.accentColor(), LorvPalette::lilac());
    EXPECT_EQ(classic.defaultGeneration(), 5);
    EXPECT_EQ(shuffle.defaultGeneration(), 3);
    EXPECT_EQ(nano.defaultGeneration(), 3);
    EXPECT_EQ(classic.firstSoldLabel(), QStringLiteral("Nov 2001"));
    EXPECT_EQ(nano.firstSoldLabel(), QStringLiteral("Sep 2005"));
    EXPECT_EQ(classic.lastYear(), 2014);
    EXPECT_EQ(shuffle.lastYear(), 2017);
    // En dashes, not hyphens.
    EXPECT_EQ(classic.salesSummary(),
              QString::fromUtf8("2007\u20132014 classic models: estimated sales of 50\u201360M"));
    EXPECT_EQ(shuffle.salesSummary(), QString::fromUtf8("Estimated sales: 28\u201334M"));
    EXPECT_NE(localizedString(nano.salesSummary(), AppLanguage::simplifiedChinese),
              nano.salesSummary());
}

TEST(StartupSeries, CatalogueRows) {
    struct Row {
        StartupSeries series;
        int generation;
        const char* asset;
        int year;
        int last;
        qint64 estimate; // 0: milestone or none
        const char* capacity;
        double scale;
        std::vector<Finish> finishes;
    };
    const std::vector<Row> rows = {
        {StartupSeries::classic, 0, nullptr, 2001, 2003, 0, "5 / 10 GB", 1.0, {Finish::white}},
        {StartupSeries::classic,
         3,
         nullptr,
         2004,
         2005,
         0,
         "20 / 30 / 40 / 60 GB",
         0.98,
         {Finish::white}},
        {StartupSeries::classic,
         5,
         nullptr,
         2007,
         2014,
         55'000'000,
         "80 / 120 / 160 GB",
         1.0,
         {Finish::silver, Finish::black}},
        {StartupSeries::shuffle,
         1,
         "iPod130",
         2006,
         2009,
         11'000'000,
         "1 / 2 GB",
         0.34,
         {Finish::silver, Finish::orange, Finish::blue, Finish::green, Finish::pink}},
        {StartupSeries::shuffle,
         3,
         "iPod133",
         2010,
         2017,
         5'500'000,
         "2 GB",
         0.46,
         {Finish::orange, Finish::silver, Finish::blue, Finish::green, Finish::pink}},
        {StartupSeries::nano,
         2,
         nullptr,
         2007,
         2008,
         16'000'000,
         "4 / 8 GB",
         0.74,
         {Finish::silver, Finish::blue, Finish::green, Finish::pink, Finish::red, Finish::black}},
        {StartupSeries::nano,
         4,
         "iPod16",
         2009,
         2010,
         17'000'000,
         "8 / 16 GB",
         1.0,
         {Finish::orange, Finish::blue, Finish::purple, Finish::yellow, Finish::pink, Finish::green,
          Finish::red, Finish::silver, Finish::black}},
        {StartupSeries::nano,
         6,
         "iPod18",
         2012,
         2017,
         8'000'000,
         "16 GB",
         0.95,
         {Finish::blue, Finish::silver, Finish::purple, Finish::green, Finish::pink, Finish::yellow,
          Finish::red, Finish::darkGray}},
    };
    EXPECT_EQ(StartupSeries(StartupSeries::classic).models().size(), 6u);
    EXPECT_EQ(StartupSeries(StartupSeries::shuffle).models().size(), 4u);
    EXPECT_EQ(StartupSeries(StartupSeries::nano).models().size(), 7u);
    for (const Row& r : rows) {
        const StartupModel* m = r.series.model(r.generation);
        ASSERT_NE(m, nullptr);
        const std::string what = r.series.rawValue().toStdString() + std::to_string(r.generation);
        EXPECT_EQ(m->asset.has_value(), r.asset != nullptr) << what;
        if (r.asset) {
            EXPECT_EQ(*m->asset, QLatin1String(r.asset)) << what;
        }
        EXPECT_EQ(m->year, r.year) << what;
        EXPECT_EQ(m->discontinuedYear, r.last) << what;
        if (r.estimate) {
            ASSERT_TRUE(m->sales) << what;
            EXPECT_TRUE(m->sales->isEstimate()) << what;
            EXPECT_EQ(m->sales->estimatedUnits(), r.estimate) << what;
        }
        EXPECT_EQ(m->capacity, QLatin1String(r.capacity)) << what;
        EXPECT_DOUBLE_EQ(m->scale, r.scale) << what;
        EXPECT_EQ(m->finishes, r.finishes) << what;
    }
    const StartupModel& first = StartupSeries(StartupSeries::classic).models()[0];
    ASSERT_TRUE(first.sales);
    EXPECT_EQ(first.sales->milestoneKey(), QStringLiteral("About 241,000 units sold by June 2002"));
    for (int g = 1; g <= 3; ++g)
        EXPECT_FALSE(StartupSeries(StartupSeries::classic).model(g)->sales) << g;
    EXPECT_EQ(StartupSeries(StartupSeries::shuffle).model(0)->sales->milestoneKey(),
              QStringLiteral("About 10 million units sold"));
    EXPECT_EQ(StartupSeries(StartupSeries::nano).model(7), nullptr);
    EXPECT_EQ(StartupSeries(StartupSeries::nano).model(-1), nullptr);
    // Every model is sold for at least its first year and has a finish.
    for (StartupSeries s : StartupSeries::allCases())
        for (const StartupModel& m : s.models()) {
            EXPECT_GE(m.discontinuedYear, m.year);
            EXPECT_FALSE(m.finishes.empty());
            EXPECT_LE(m.scale, 1.0);
        }
    const StartupModel* lastNano = StartupSeries(StartupSeries::nano).model(6);
    EXPECT_EQ(lastNano->years().count(), 6);
    EXPECT_TRUE(lastNano->years().contains(2012));
    EXPECT_FALSE(lastNano->years().contains(2018));
}

TEST(StartupModel, FinishesByRawValueNameAndSwatch) {
    ASSERT_EQ(Finish::allCases().size(), 11u);
    for (Finish f : Finish::allCases())
        EXPECT_EQ(Finish::fromRawValue(f.rawValue()), f);
    EXPECT_EQ(Finish::fromRawValue(QStringLiteral("DarkGray")), Finish::darkGray);
    EXPECT_FALSE(Finish::fromRawValue(QStringLiteral("Dark Gray")));
    EXPECT_FALSE(Finish::fromRawValue(QStringLiteral("white")));
    EXPECT_EQ(Finish(Finish::darkGray).displayName(), QStringLiteral("Dark Gray"));
    EXPECT_EQ(localizedString(Finish(Finish::purple).displayName(), AppLanguage::simplifiedChinese),
              QStringLiteral("紫色"));

    EXPECT_EQ(Finish(Finish::silver).swatchColor(), QColor::fromRgbF(0.75f, 0.75f, 0.75f));
    EXPECT_EQ(Finish(Finish::darkGray).swatchColor(), QColor::fromRgbF(0.36f, 0.36f, 0.36f));
    EXPECT_EQ(Finish(Finish::black).swatchColor(), QColor::fromRgbF(0.16f, 0.16f, 0.16f));
    EXPECT_EQ(Finish(Finish::purple).swatchColor(), QColor::fromRgbF(0.54f, 0.20f, 0.93f));
    EXPECT_EQ(Finish(Finish::white).swatchColor(), QColor(Qt::white));
    // The standard colours are distinct and opaque.
    QSet<QRgb> seen;
    for (Finish f : Finish::allCases()) {
        EXPECT_EQ(f.swatchColor().alpha(), 255);
        seen.insert(f.swatchColor().rgb());
    }
    EXPECT_EQ(seen.size(), 11);
}

TEST(StartupModel, CapacityOptionsAndImageNames) {
    auto options = [](const char* capacity) {
        StartupModel m{std::nullopt,   2000, 2001, std::nullopt, QString::fromUtf8(capacity), 1.0,
                       {Finish::white}};
        return m.capacityOptions();
    };
    EXPECT_EQ(options("5 / 10 GB"), QStringList({QStringLiteral("5 GB"), QStringLiteral("10 GB")}));
    EXPECT_EQ(options("512 MB / 1 GB"),
              QStringList({QStringLiteral("512 MB"), QStringLiteral("1 GB")}));
    EXPECT_EQ(options("16 GB"), QStringList({QStringLiteral("16 GB")}));
    EXPECT_EQ(
        options("10 / 15 / 20 / 30 / 40 GB"),
        QStringList({QStringLiteral("10 GB"), QStringLiteral("15 GB"), QStringLiteral("20 GB"),
                     QStringLiteral("30 GB"), QStringLiteral("40 GB")}));
    EXPECT_TRUE(options("").isEmpty());
    EXPECT_TRUE(options("   ").isEmpty());
    EXPECT_EQ(options(" 2 /\t4 GB"), QStringList({QStringLiteral("2 GB"), QStringLiteral("4 GB")}));

    const StartupSeries nano = StartupSeries::nano, shuffle = StartupSeries::shuffle;
    EXPECT_EQ(nano.model(4)->imageName(Finish::silver), QStringLiteral("iPod16-Silver"));
    EXPECT_EQ(nano.model(3)->imageName(Finish::blue), QStringLiteral("iPod15-Blue"));
    EXPECT_FALSE(shuffle.model(0)->imageName(Finish::white));
    EXPECT_FALSE(nano.model(0)->imageName(Finish::black));
    StartupModel single{QStringLiteral("iPod99"), 2000, 2000,           std::nullopt,
                        QStringLiteral("1 GB"),   1.0,  {Finish::white}};
    EXPECT_EQ(single.imageName(Finish::red), QStringLiteral("iPod99"));

    const QStringList& labels = generationOrdinalLabels();
    ASSERT_EQ(labels.size(), 7);
    EXPECT_EQ(labels[0], QStringLiteral("1st generation"));
    EXPECT_EQ(labels[2], QStringLiteral("3rd generation"));
    EXPECT_EQ(labels[6], QStringLiteral("7th generation"));
}
