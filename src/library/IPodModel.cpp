#include "library/IPodModel.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {

struct IconRow {
    const char* iconName;
    QStringList codes;
};
using IconTable = QList<IconRow>;

QStringList codes(const char* spaced) {
    return QString::fromLatin1(spaced).split(u' ', Qt::SkipEmptyParts);
}

const IconTable& shuffle2Table() {
    static const IconTable table{
        {"iPod130-Silver", codes("VTE VTF YX6 YXG 1ZH A546 B225 B518")},
        {"iPod130-Pink", codes("XQS XQU A947")},
        {"iPod130-Blue", codes("XQV XQX A949")},
        {"iPod130-Green", codes("XQY XR0 A951")},
        {"iPod130-Orange", codes("XR1 XR3 A953")},
        {"iPod130C-Blue", codes("YX7 YXH 1ZK B227 B228 B520")},
        {"iPod130C-Green", codes("YX8 YXJ 1ZM B229 B522")},
        {"iPod130C-Red", codes("YX9 YXK 1ZP B231 B524")},
        {"iPod130C-Purple", codes("YXA YXL 1ZR B233 B526")},
        {"iPod130F-Pink", codes("436 3FK")},
        {"iPod130F-Blue", codes("437 3FL")},
        {"iPod130F-Green", codes("438 3FM")},
        {"iPod130F-Red", codes("439 3W6")},
        {"iPod130F-Gold", codes("8CQ C167")},
    };
    return table;
}

const IconTable& shuffle3Table() {
    static const IconTable table{
        {"iPod132-Silver", codes("0NJ 4NZ 6FB 6FP A1S C306 B867")},
        {"iPod132-DarkGray", codes("890 891 6FC 6FQ A78 C323 C164")},
        {"iPod132-Green", codes("ALB A1U C381 C307")},
        {"iPod132-Blue", codes("ALD A7B C384 C328")},
        {"iPod132-Pink", codes("ALG A7D C387 C331")},
        {"iPod132B-Silver", codes("A1L C303")},
    };
    return table;
}

const IconTable& shuffle4Table() {
    static const IconTable table{
        {"iPod133-Silver", codes("DCMJ CMJ C584")},
        {"iPod133-Pink", codes("DCMK CMK C585")},
        {"iPod133-Orange", codes("DFDM FDM C749")},
        {"iPod133-Green", codes("DFDN FDN C750")},
        {"iPod133-Blue", codes("DFDP FDP C751")},
        {"iPod133B-Pink", codes("F4RT")},
        {"iPod133B-Yellow", codes("F4RV")},
        {"iPod133B-Blue", codes("F4RW")},
        {"iPod133B-Green", codes("F4RY")},
        {"iPod133B-Purple", codes("F4T0")},
        {"iPod133B-Silver", codes("F4T1")},
        {"iPod133B-DarkGray", codes("F4VF")},
        {"iPod133B-Red", codes("F4VG")},
        {"iPod133B-SpaceGray", codes("FJDH")},
        {"iPod133D-Pink", codes("GK67")},
        {"iPod133D-Gold", codes("GK68")},
        {"iPod133D-Blue", codes("GK69")},
        {"iPod133D-Silver", codes("GK6C")},
        {"iPod133D-SpaceGray", codes("GK6D")},
        {"iPod133D-Red", codes("GK6F")},
    };
    return table;
}

// libgpod's Itdb_IpodModel values of the nano colours.
const QHash<int, QString>& libgpodModelColours() {
    static const QHash<int, QString> table{
        {12, QStringLiteral("White")},  {13, QStringLiteral("Black")},
        {18, QStringLiteral("Silver")}, {19, QStringLiteral("Blue")},
        {20, QStringLiteral("Green")},  {21, QStringLiteral("Pink")},
        {22, QStringLiteral("Red")},    {23, QStringLiteral("Yellow")},
        {24, QStringLiteral("Purple")}, {25, QStringLiteral("Orange")},
    };
    return table;
}

QHash<QString, QString>
suffixTable(std::initializer_list<std::pair<const char*, const char*>> rows) {
    QHash<QString, QString> table;
    for (const auto& [colour, spaced] : rows) {
        for (const QString& code : codes(spaced))
            table.insert(code, QString::fromLatin1(colour));
    }
    return table;
}

const QHash<QString, QString>& classicSuffixes() {
    static const QHash<QString, QString> table =
        suffixTable({{"Black", "YMV YMX 2C7 9ZU"}, {"Silver", "Y5N YMU 2C5 9ZS"}});
    return table;
}

const QHash<QString, QString>& nano1Suffixes() {
    static const QHash<QString, QString> table = suffixTable(
        {{"White", "UNA UNB SZB SZV SZW SZC SZT"}, {"Black", "UPR UPS TJT TJU TK2 TK3"}});
    return table;
}

const QHash<QString, QString>& nano5Codes() {
    static const QHash<QString, QString> table = suffixTable({
        {"Silver", "71V 72Q"},
        {"Black", "71Y 72R"},
        {"Purple", "721 72S"},
        {"Blue", "726 72X"},
        {"Green", "72A 734"},
        {"Yellow", "738"},
        {"Orange", "72F 739"},
        {"Red", "72K 73A"},
        {"Pink", "72L 73B"},
    });
    return table;
}

std::optional<QString> iconFromTable(const IconTable& table, const QStringList& candidates) {
    for (const QString& candidate : candidates) {
        for (const IconRow& row : table) {
            if (row.codes.contains(candidate))
                return QString::fromLatin1(row.iconName);
        }
    }
    return std::nullopt;
}

IPodModel shuffle(int generationNumber, const IconTable* table, const char* defaultIcon,
                  const QStringList& candidates) {
    std::optional<QString> icon;
    if (table)
        icon = iconFromTable(*table, candidates);
    return IPodModel{IPodModel::Family::shuffle, generationNumber, std::nullopt,
                     icon.value_or(QString::fromLatin1(defaultIcon))};
}

enum class NanoSerialSource { none, nano1, nano5 };

IPodModel nano(int generationNumber, const char* defaultIcon, NanoSerialSource serialSource,
               const std::optional<QString>& suffix, const QStringList& candidates,
               std::optional<std::int32_t> model) {
    std::optional<QString> colour;
    if (model) {
        const auto found = libgpodModelColours().constFind(*model);
        if (found != libgpodModelColours().constEnd())
            colour = *found;
    }
    if (!colour && serialSource == NanoSerialSource::nano1 && suffix) {
        const auto found = nano1Suffixes().constFind(*suffix);
        if (found != nano1Suffixes().constEnd())
            colour = *found;
    }
    if (!colour && serialSource == NanoSerialSource::nano5) {
        for (const QString& candidate : candidates) {
            const auto found = nano5Codes().constFind(candidate);
            if (found != nano5Codes().constEnd()) {
                colour = *found;
                break;
            }
        }
    }
    const QString defaultName = QString::fromLatin1(defaultIcon);
    if (!colour)
        return IPodModel{IPodModel::Family::nano, generationNumber, std::nullopt, defaultName};
    if (generationNumber == 6 && *colour == QLatin1String("Black"))
        colour = QStringLiteral("DarkGray");
    const QString icon = defaultName.section(u'-', 0, 0) + u'-' + *colour;
    const QString shown =
        *colour == QLatin1String("DarkGray") ? QStringLiteral("Dark Gray") : *colour;
    return IPodModel{IPodModel::Family::nano, generationNumber, shown, icon};
}

} // namespace

QString IPodModel::familyRawValue(Family family) {
    switch (family) {
    case Family::classic:
        return QStringLiteral("classic");
    case Family::shuffle:
        return QStringLiteral("shuffle");
    case Family::nano:
        return QStringLiteral("nano");
    }
    return {};
}

std::optional<IPodModel::Family> IPodModel::familyFromRawValue(const QString& raw) {
    for (Family family : {Family::classic, Family::shuffle, Family::nano}) {
        if (familyRawValue(family) == raw)
            return family;
    }
    return std::nullopt;
}

std::optional<IPodModel> IPodModel::fromProductID(int productID,
                                                  const std::optional<QString>& serialNumber) {
    if (productID == 0x1267)
        return IPodModel{Family::nano, 7, std::nullopt, QStringLiteral("iPod18-Silver")};
    static const QHash<int, int> generations{
        {0x120A, 12}, {0x1260, 13}, {0x1261, 18}, {0x1262, 14}, {0x1263, 15}, {0x1265, 27},
        {0x1266, 32}, {0x1300, 9},  {0x1301, 10}, {0x1302, 11}, {0x1303, 22},
    };
    const auto found = generations.constFind(productID);
    if (found == generations.constEnd())
        return std::nullopt;
    return fromGeneration(*found, serialNumber, std::nullopt, std::nullopt);
}

std::optional<IPodModel> IPodModel::fromGeneration(std::int32_t generation,
                                                   const std::optional<QString>& serialNumber,
                                                   const std::optional<QString>& modelNumber,
                                                   std::optional<std::int32_t> model) {
    std::optional<QString> suffix;
    if (serialNumber) {
        const QString upper = serialNumber->toUpper();
        if (upper.size() == 11 || upper.size() == 12)
            suffix = upper.mid(8);
    }
    QStringList candidates;
    if (suffix)
        candidates.append(*suffix);
    if (modelNumber)
        candidates.append(*modelNumber);

    switch (generation) {
    case 9:
        return shuffle(1, nullptr, "iPod128", candidates);
    case 10:
        return shuffle(2, &shuffle2Table(), "iPod130-Silver", candidates);
    case 11:
        return shuffle(3, &shuffle3Table(), "iPod132-Silver", candidates);
    case 22:
        return shuffle(4, &shuffle4Table(), "iPod133-Silver", candidates);
    case 12:
        return nano(1, "iPod7-White", NanoSerialSource::nano1, suffix, candidates, model);
    case 13:
        return nano(2, "iPod9-Silver", NanoSerialSource::none, suffix, candidates, model);
    case 14:
        return nano(3, "iPod12-Silver", NanoSerialSource::none, suffix, candidates, model);
    case 15:
        return nano(4, "iPod15-Silver", NanoSerialSource::none, suffix, candidates, model);
    case 27:
        return nano(5, "iPod16-Silver", NanoSerialSource::nano5, suffix, candidates, model);
    case 32:
        return nano(6, "iPod17-Silver", NanoSerialSource::none, suffix, candidates, model);
    case 18:
    case 19:
    case 26: {
        std::optional<QString> colour;
        if (model == 34) {
            colour = QStringLiteral("Silver");
        } else if (model == 35) {
            colour = QStringLiteral("Black");
        } else if (suffix) {
            const auto found = classicSuffixes().constFind(*suffix);
            if (found != classicSuffixes().constEnd())
                colour = *found;
        }
        return IPodModel{Family::classic, 6, colour,
                         QStringLiteral("iPod11-") + colour.value_or(QStringLiteral("Silver"))};
    }
    default:
        return std::nullopt;
    }
}

QString IPodModel::generationName(AppLanguage language) const {
    static const QString names[] = {
        LZ("1st generation"), LZ("2nd generation"), LZ("3rd generation"), LZ("4th generation"),
        LZ("5th generation"), LZ("6th generation"), LZ("7th generation"),
    };
    // Outside 1...7 the nearest ordinal is used rather than reading past the list.
    const int index = std::clamp(generationNumber, 1, 7) - 1;
    return localizedString(names[index], language);
}

QString IPodModel::displayName(AppLanguage language) const {
    if (family == Family::classic)
        return localizedString(LZ("iPod classic"), language);
    return localizedString(LZ("iPod %1 (%2)"), language, familyRawValue(family),
                           generationName(language));
}

bool isIPodUSBProductID(int productID) {
    if (productID >= 0x1201 && productID <= 0x1209 && productID != 0x1205)
        return true;
    return IPodModel::fromProductID(productID, std::nullopt).has_value();
}
