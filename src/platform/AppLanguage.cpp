#include "platform/AppLanguage.h"

#include "platform/Settings.h"

#include <QTranslator>

#include <mutex>

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

} // namespace AppLanguages

namespace {

// The one string context of the table.
constexpr char translationContext[] = "Lorvanel";

// Loaded once, then only read: QTranslator::translate on a loaded table is safe from any thread.
const QTranslator* chineseTable() {
    static QTranslator* table = [] {
        auto* t = new QTranslator;
        if (!t->load(QStringLiteral(":/i18n/lorvanel_zh_CN.qm"))) {
            delete t;
            return static_cast<QTranslator*>(nullptr);
        }
        return t;
    }();
    return table;
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
