#pragma once

// The interface language and the lookup of every user-visible text.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <utility>

// Marks an English text key so that the string-table check finds it in the sources.
#define LZ(text) QStringLiteral(text)

enum class AppLanguage {
    system,
    english,
    simplifiedChinese,
};

namespace AppLanguages {

inline constexpr AppLanguage allCases[] = {AppLanguage::system, AppLanguage::english,
                                           AppLanguage::simplifiedChinese};

// The settings key the language is stored under.
QString storageKey();

QString rawValue(AppLanguage language);
// Exactly the three raw values, case-sensitive; nothing for any other text.
std::optional<AppLanguage> fromRawValue(const QString& raw);

// The language stored in the settings; `system` when missing or not a raw value.
AppLanguage stored();

// english or simplifiedChinese; `system` follows the first of the user's interface languages.
AppLanguage resolved(AppLanguage language);
// Resolution of `system` against a given list of preferred languages (first entry only).
AppLanguage resolvedFromPreferred(const QStringList& preferredLanguages);

// "zh-Hans" or "en".
QString code(AppLanguage language);
QLocale locale(AppLanguage language);
// A count as the language's locale writes it ("40,024"), the same wherever counts are shown.
QString formattedCount(qint64 count, AppLanguage language);

} // namespace AppLanguages

// The text of key in the language; the key itself when the table has no entry. Safe from any
// thread. Interpolated values are Qt's %1, %2, ... so a translation can reorder them.
QString localizedString(const QString& key, AppLanguage language);

template <typename... Args>
QString localizedString(const QString& key, AppLanguage language, Args&&... args) {
    return localizedString(key, language).arg(std::forward<Args>(args)...);
}

// A key with %n (such as "%n tracks"): the plural form the language's table gives for count,
// with %n as formattedCount writes it. Keys without an entry come back as themselves.
QString localizedCount(const QString& key, AppLanguage language, qint64 count);

template <typename... Args>
QString localizedCount(const QString& key, AppLanguage language, qint64 count, Args&&... args) {
    return localizedCount(key, language, count).arg(std::forward<Args>(args)...);
}
