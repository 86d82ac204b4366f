#include "appmodel/StartupSeries.h"

#include "appmodel/LorvPalette.h"
#include "platform/AppLanguage.h"

namespace {

using Finish = StartupModel::Finish;
using Sales = StartupModel::Sales;

std::vector<StartupModel> classicModels() {
    return {
        {std::nullopt,
         2001,
         2003,
         Sales::milestone(LZ("About 241,000 units sold by June 2002")),
         QStringLiteral("5 / 10 GB"),
         1.0,
         {Finish::white}},
        {std::nullopt,
         2002,
         2003,
         std::nullopt,
         QStringLiteral("10 / 20 GB"),
         1.0,
         {Finish::white}},
        {std::nullopt,
         2003,
         2004,
         std::nullopt,
         QStringLiteral("10 / 15 / 20 / 30 / 40 GB"),
         0.98,
         {Finish::white}},
        {std::nullopt,
         2004,
         2005,
         std::nullopt,
         QStringLiteral("20 / 30 / 40 / 60 GB"),
         0.98,
         {Finish::white}},
        {std::nullopt,
         2005,
         2007,
         Sales::estimate(25'000'000),
         QStringLiteral("30 / 60 / 80 GB"),
         1.0,
         {Finish::white, Finish::black}},
        {std::nullopt,
         2007,
         2014,
         Sales::estimate(55'000'000),
         QStringLiteral("80 / 120 / 160 GB"),
         1.0,
         {Finish::silver, Finish::black}},
    };
}

std::vector<StartupModel> shuffleModels() {
    return {
        {std::nullopt,
         2005,
         2006,
         Sales::milestone(LZ("About 10 million units sold")),
         QStringLiteral("512 MB / 1 GB"),
         0.89,
         {Finish::white}},
        {QStringLiteral("iPod130"),
         2006,
         2009,
         Sales::estimate(11'000'000),
         QStringLiteral("1 / 2 GB"),
         0.34,
         {Finish::silver, Finish::orange, Finish::blue, Finish::green, Finish::pink}},
        {QStringLiteral("iPod132"),
         2009,
         2010,
         Sales::estimate(4'500'000),
         QStringLiteral("2 / 4 GB"),
         0.56,
         {Finish::silver, Finish::darkGray, Finish::blue, Finish::green, Finish::pink}},
        {QStringLiteral("iPod133"),
         2010,
         2017,
         Sales::estimate(5'500'000),
         QStringLiteral("2 GB"),
         0.46,
         {Finish::orange, Finish::silver, Finish::blue, Finish::green, Finish::pink}},
    };
}

std::vector<StartupModel> nanoModels() {
    return {
        {std::nullopt,
         2005,
         2006,
         Sales::estimate(22'000'000),
         QStringLiteral("1 / 2 / 4 GB"),
         1.0,
         {Finish::white, Finish::black}},
        {std::nullopt,
         2006,
         2007,
         Sales::estimate(28'000'000),
         QStringLiteral("2 / 4 / 8 GB"),
         1.0,
         {Finish::silver, Finish::blue, Finish::green, Finish::pink, Finish::red, Finish::black}},
        {std::nullopt,
         2007,
         2008,
         Sales::estimate(16'000'000),
         QStringLiteral("4 / 8 GB"),
         0.74,
         {Finish::silver, Finish::blue, Finish::green, Finish::pink, Finish::red, Finish::black}},
        {QStringLiteral("iPod15"),
         2008,
         2009,
         Sales::estimate(19'000'000),
         QStringLiteral("8 / 16 GB"),
         1.0,
         {Finish::purple, Finish::blue, Finish::orange, Finish::yellow, Finish::pink, Finish::green,
          Finish::red, Finish::silver, Finish::black}},
        {QStringLiteral("iPod16"),
         2009,
         2010,
         Sales::estimate(17'000'000),
         QStringLiteral("8 / 16 GB"),
         1.0,
         {Finish::orange, Finish::blue, Finish::purple, Finish::yellow, Finish::pink, Finish::green,
          Finish::red, Finish::silver, Finish::black}},
        {QStringLiteral("iPod17"),
         2010,
         2012,
         Sales::estimate(11'000'000),
         QStringLiteral("8 / 16 GB"),
         0.48,
         {Finish::silver, Finish::blue, Finish::green, Finish::orange, Finish::pink, Finish::red,
          Finish::darkGray}},
        {QStringLiteral("iPod18"),
         2012,
         2017,
         Sales::estimate(8'000'000),
         QStringLiteral("16 GB"),
         0.95,
         {Finish::blue, Finish::silver, Finish::purple, Finish::green, Finish::pink, Finish::yellow,
          Finish::red, Finish::darkGray}},
    };
}

} // namespace

const std::array<StartupSeries, 3>& StartupSeries::allCases() {
    static const std::array<StartupSeries, 3> cases = {classic, shuffle, nano};
    return cases;
}

std::optional<StartupSeries> StartupSeries::fromRawValue(const QString& raw) {
    for (StartupSeries series : allCases())
        if (series.rawValue() == raw)
            return series;
    return std::nullopt;
}

QString StartupSeries::rawValue() const {
    switch (value_) {
    case classic:
        return QStringLiteral("iPod classic");
    case shuffle:
        return QStringLiteral("iPod shuffle");
    case nano:
        return QStringLiteral("iPod nano");
    }
    return {};
}

QColor StartupSeries::accentColor() const {
    switch (value_) {
    case classic:
        return LorvPalette::fog();
    case shuffle:
        return LorvPalette::sky();
    case nano:
        return LorvPalette::lilac();
    }
    return LorvPalette::fog();
}

int StartupSeries::defaultGeneration() const {
    return value_ == classic ? 5 : 3;
}

QString StartupSeries::firstSoldLabel() const {
    switch (value_) {
    case classic:
        return LZ("Nov 2001");
    case shuffle:
        return LZ("Jan 2005");
    case nano:
        return LZ("Sep 2005");
    }
    return {};
}

QString StartupSeries::salesSummary() const {
    switch (value_) {
    case classic:
        return LZ("2007–2014 classic models: estimated sales of 50–60M");
    case shuffle:
        return LZ("Estimated sales: 28–34M");
    case nano:
        return LZ("Over 100M units known sold");
    }
    return {};
}

int StartupSeries::lastYear() const {
    return value_ == classic ? 2014 : 2017;
}

const std::vector<StartupModel>& StartupSeries::models() const {
    // Each list is made once, on first use (thread-safe static initialisation).
    static const std::vector<StartupModel> classicList = classicModels();
    static const std::vector<StartupModel> shuffleList = shuffleModels();
    static const std::vector<StartupModel> nanoList = nanoModels();
    switch (value_) {
    case classic:
        return classicList;
    case shuffle:
        return shuffleList;
    case nano:
        return nanoList;
    }
    return classicList;
}

const StartupModel* StartupSeries::model(int generation) const {
    const std::vector<StartupModel>& list = models();
    if (generation < 0 || std::size_t(generation) >= list.size())
        return nullptr;
    return &list[std::size_t(generation)];
}
