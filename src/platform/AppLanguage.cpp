#include "platform/AppLanguage.h"

#include "platform/Settings.h"

#include <QTranslator>

#include <algorithm>
#include <limits>

namespace AppLanguages {

QString storageKey() {
    return Settings::Keys::appLanguage;
}

QString rawValue(AppLanguage language) {
    switch (language) {
    case AppLanguage::english:
        return QStringLiteral("en");
    case AppLanguage::simplifiedChinese:
        return QStringLiteral("zh-Hans");
    case AppLanguage::system:
        break;
    }
    return QStringLiteral("system");
}

std::optional<AppLanguage> fromRawValue(const QString& raw) {
    for (AppLanguage language : allCases)
        if (raw == rawValue(language))
            return language;
    return std::nullopt;
}

AppLanguage stored() {
    return fromRawValue(Settings::readString(Settings::Keys::appLanguage))
        .value_or(AppLanguage::system);
}

AppLanguage resolvedFromPreferred(const QStringList& preferredLanguages) {
    if (preferredLanguages.isEmpty())
        return AppLanguage::english;
    // QLocale fills in the likely script and region, as a maximal identifier would: "zh" and
    // "zh-CN" are Simplified Chinese, "zh-TW" and "zh-HK" Traditional.
    const QLocale first(preferredLanguages.first());
    if (first.language() == QLocale::Chinese && first.script() == QLocale::SimplifiedHanScript)
        return AppLanguage::simplifiedChinese;
    return AppLanguage::english;
}

AppLanguage resolved(AppLanguage language) {
    if (language != AppLanguage::system)
        return language;
    return resolvedFromPreferred(QLocale::system().uiLanguages());
}

QString code(AppLanguage language) {
    return resolved(language) == AppLanguage::simplifiedChinese ? QStringLiteral("zh-Hans")
                                                                : QStringLiteral("en");
}

QLocale locale(AppLanguage language) {
    if (resolved(language) == AppLanguage::simplifiedChinese)
        return QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China);
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

QString formattedCount(qint64 count, AppLanguage language) {
    return locale(language).toString(count);
}

} // namespace AppLanguages

namespace {

// The one string context of the table.
constexpr char translationContext[] = "Lorvanel";

// Loaded once, then only read: QTranslator::translate on a loaded table is safe from any thread.
const QTranslator* loadedTable(const QString& path) {
    auto* t = new QTranslator;
    if (!t->load(path)) {
        delete t;
        return nullptr;
    }
    return t;
}

const QTranslator* chineseTable() {
    static const QTranslator* table = loadedTable(QStringLiteral(":/i18n/lorvanel_zh_CN.qm"));
    return table;
}

// English needs a table only for the plural forms of the %n keys.
const QTranslator* englishTable() {
    static const QTranslator* table = loadedTable(QStringLiteral(":/i18n/lorvanel_en.qm"));
    return table;
}

const QTranslator* tableFor(AppLanguage language) {
    return AppLanguages::resolved(language) == AppLanguage::simplifiedChinese ? chineseTable()
                                                                              : englishTable();
}

} // namespace

QString localizedString(const QString& key, AppLanguage language) {
    if (AppLanguages::resolved(language) != AppLanguage::simplifiedChinese)
        return key;
    const QTranslator* table = chineseTable();
    if (!table)
        return key;
    const QString text = table->translate(translationContext, key.toUtf8().constData());
    return text.isEmpty() ? key : text;
}

QString localizedCount(const QString& key, AppLanguage language, qint64 count) {
    QString text;
    if (const QTranslator* table = tableFor(language)) {
        // The plural rules only need to tell small counts apart; huge ones all read "many".
        const int n = int(std::clamp<qint64>(count, 0, std::numeric_limits<int>::max()));
        text = table->translate(translationContext, key.toUtf8().constData(), nullptr, n);
    }
    if (text.isEmpty())
        text = key;
    const QString number = AppLanguages::formattedCount(count, language);
    return text.replace(QLatin1String("%Ln"), number).replace(QLatin1String("%n"), number);
}
