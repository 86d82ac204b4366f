#pragma once

// The three iPod series of the model catalogue, each with its generations in launch order.

#include "appmodel/StartupModel.h"

#include <QColor>
#include <QString>

#include <array>
#include <optional>
#include <vector>

class StartupSeries {
public:
    enum Value { classic, shuffle, nano };

    constexpr StartupSeries(Value value)
        : value_(value) {}
    constexpr operator Value() const { return value_; }

    // classic, shuffle, nano, in this order.
    static const std::array<StartupSeries, 3>& allCases();
    // Exactly the three raw values.
    static std::optional<StartupSeries> fromRawValue(const QString& raw);

    QString rawValue() const;
    // The raw value, shown as it is (not a localized key).
    QString displayName() const { return rawValue(); }
    QColor accentColor() const;
    int defaultGeneration() const;
    // Localized keys.
    QString firstSoldLabel() const;
    QString salesSummary() const;
    int lastYear() const;

    // The generations, index 0 first; built once and shared.
    const std::vector<StartupModel>& models() const;
    // The model at a generation index, or nothing when the index is outside the catalogue.
    const StartupModel* model(int generation) const;

private:
    Value value_;
};
