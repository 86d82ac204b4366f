#include "appmodel/StartupModel.h"

#include "platform/AppLanguage.h"

namespace {

// The platform's standard colours in their dark-appearance values, pinned here once so that
// every swatch, body and clip drawn from them is the same on every machine.
namespace StandardColors {
const QColor white = QColor::fromRgb(255, 255, 255);
const QColor blue = QColor::fromRgb(10, 132, 255);
const QColor green = QColor::fromRgb(48, 209, 88);
const QColor orange = QColor::fromRgb(255, 159, 10);
const QColor yellow = QColor::fromRgb(255, 214, 10);
const QColor pink = QColor::fromRgb(255, 55, 95);
const QColor red = QColor::fromRgb(255, 69, 58);
} // namespace StandardColors

QColor grey(double level) {
    return QColor::fromRgbF(float(level), float(level), float(level));
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QString trimmedBlanks(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isBlank(text[start]))
        ++start;
    while (end > start && isBlank(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

} // namespace

const std::array<StartupModel::Finish, 11>& StartupModel::Finish::allCases() {
    static const std::array<Finish, 11> cases = {white,  silver, darkGray, black,  blue, green,
                                                 orange, yellow, pink,     purple, red};
    return cases;
}

std::optional<StartupModel::Finish> StartupModel::Finish::fromRawValue(const QString& raw) {
    for (Finish finish : allCases())
        if (finish.rawValue() == raw)
            return finish;
    return std::nullopt;
}

QString StartupModel::Finish::rawValue() const {
    switch (value_) {
    case white:
        return QStringLiteral("White");
    case silver:
        return QStringLiteral("Silver");
    case darkGray:
        return QStringLiteral("DarkGray");
    case black:
        return QStringLiteral("Black");
    case blue:
        return QStringLiteral("Blue");
    case green:
        return QStringLiteral("Green");
    case orange:
        return QStringLiteral("Orange");
    case yellow:
        return QStringLiteral("Yellow");
    case pink:
        return QStringLiteral("Pink");
    case purple:
        return QStringLiteral("Purple");
    case red:
        return QStringLiteral("Red");
    }
    return {};
}

QString StartupModel::Finish::displayName() const {
    switch (value_) {
    case white:
        return LZ("White");
    case silver:
        return LZ("Silver");
    case darkGray:
        return LZ("Dark Gray");
    case black:
        return LZ("Black");
    case blue:
        return LZ("Blue");
    case green:
        return LZ("Green");
    case orange:
        return LZ("Orange");
    case yellow:
        return LZ("Yellow");
    case pink:
        return LZ("Pink");
    case purple:
        return LZ("Purple");
    case red:
        return LZ("Red");
    }
    return {};
}

QColor StartupModel::Finish::swatchColor() const {
    switch (value_) {
    case white:
        return StandardColors::white;
    case silver:
        return grey(0.75);
    case darkGray:
        return grey(0.36);
    case black:
        return grey(0.16);
    case blue:
        return StandardColors::blue;
    case green:
        return StandardColors::green;
    case orange:
        return StandardColors::orange;
    case yellow:
        return StandardColors::yellow;
    case pink:
        return StandardColors::pink;
    case purple:
        return QColor::fromRgbF(0.54f, 0.20f, 0.93f);
    case red:
        return StandardColors::red;
    }
    return StandardColors::white;
}

qint64 StartupModel::Sales::estimatedUnits() const {
    const qint64* units = std::get_if<qint64>(&value_);
    return units ? *units : 0;
}

QString StartupModel::Sales::milestoneKey() const {
    const QString* key = std::get_if<QString>(&value_);
    return key ? *key : QString();
}

QStringList StartupModel::capacityOptions() const {
    const QStringList words = capacity.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    const QString& unit = words.last();
    QStringList options;
    for (const QString& piece : capacity.split(u'/', Qt::SkipEmptyParts)) {
        QString option = trimmedBlanks(piece);
        if (!option.contains(u' ') && !option.contains(u'\t'))
            option += u' ' + unit;
        options.append(option);
    }
    return options;
}

std::optional<QString> StartupModel::imageName(Finish finish) const {
    if (!asset)
        return std::nullopt;
    if (finishes.size() == 1)
        return asset;
    return *asset + u'-' + finish.rawValue();
}

const QStringList& generationOrdinalLabels() {
    static const QStringList labels = {
        LZ("1st generation"), LZ("2nd generation"), LZ("3rd generation"), LZ("4th generation"),
        LZ("5th generation"), LZ("6th generation"), LZ("7th generation"),
    };
    return labels;
}
