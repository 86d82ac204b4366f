#pragma once

// One generation of an iPod series in the model catalogue: its years, sales, capacities, artwork
// scale and the finishes (case colours) it came in.

#include <QColor>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <variant>
#include <vector>

struct StartupModel {
    // The eleven case colours, in display order.
    class Finish {
    public:
        enum Value {
            white,
            silver,
            darkGray,
            black,
            blue,
            green,
            orange,
            yellow,
            pink,
            purple,
            red
        };

        constexpr Finish(Value value)
            : value_(value) {}
        constexpr operator Value() const { return value_; }

        static const std::array<Finish, 11>& allCases();
        // Exactly the eleven raw values, case-sensitive ("DarkGray" without a blank).
        static std::optional<Finish> fromRawValue(const QString& raw);

        QString rawValue() const;
        // A localized key.
        QString displayName() const;
        QColor swatchColor() const;

    private:
        Value value_;
    };

    // A sales figure: an estimated unit count or a sentence about a milestone (a localized key).
    class Sales {
    public:
        static Sales estimate(qint64 units) { return Sales(units); }
        static Sales milestone(const QString& key) { return Sales(key); }

        bool isEstimate() const { return std::holds_alternative<qint64>(value_); }
        // Only meaningful for the matching kind; the other kind gives 0 or an empty text.
        qint64 estimatedUnits() const;
        QString milestoneKey() const;

        bool operator==(const Sales&) const = default;

    private:
        explicit Sales(qint64 units)
            : value_(units) {}
        explicit Sales(const QString& key)
            : value_(key) {}
        std::variant<qint64, QString> value_;
    };

    struct Years {
        int first;
        int last;
        int count() const { return last - first + 1; }
        bool contains(int year) const { return year >= first && year <= last; }
    };

    std::optional<QString> asset;
    int year;
    int discontinuedYear;
    std::optional<Sales> sales;
    QString capacity;
    double scale;
    std::vector<Finish> finishes;

    Years years() const { return {year, discontinuedYear}; }
    // The capacity text as separate choices, each with its unit ("5 / 10 GB" gives 5 GB, 10 GB).
    QStringList capacityOptions() const;
    // The name of the platform's device picture for a finish, or nothing without an asset.
    std::optional<QString> imageName(Finish finish) const;
};

// "1st generation" ... "7th generation" (localized keys); entry i labels generation index i.
const QStringList& generationOrdinalLabels();
