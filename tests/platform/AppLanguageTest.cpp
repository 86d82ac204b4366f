#include "platform/AppLanguage.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QThread>

#include <atomic>
#include <vector>

namespace {

class AppLanguageTest : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() {
        QSettings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel")).clear();
    }
    static void store(const QString& raw) {
        QSettings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel"))
            .setValue(QStringLiteral("app.language"), raw);
    }
};

} // namespace

TEST_F(AppLanguageTest, RawValuesAreExactAndCaseSensitive) {
    EXPECT_EQ(AppLanguages::storageKey(), QStringLiteral("app.language"));
    EXPECT_EQ(AppLanguages::rawValue(AppLanguage::system), QStringLiteral("system"));
    EXPECT_EQ(AppLanguages::rawValue(AppLanguage::english), QStringLiteral("en"));
    EXPECT_EQ(AppLanguages::rawValue(AppLanguage::simplifiedChinese), QStringLiteral("zh-Hans"));
    EXPECT_EQ(AppLanguages::fromRawValue(QStringLiteral("zh-Hans")),
              AppLanguage::simplifiedChinese);
    EXPECT_EQ(AppLanguages::fromRawValue(QStringLiteral("zh-hans")), std::nullopt);
    EXPECT_EQ(AppLanguages::fromRawValue(QStringLiteral("EN")), std::nullopt);
    EXPECT_EQ(AppLanguages::fromRawValue(QString()), std::nullopt);
}

TEST_F(AppLanguageTest, StoredValueFallsBackToSystem) {
    EXPECT_EQ(AppLanguages::stored(), AppLanguage::system);
    store(QStringLiteral("system"));
    EXPECT_EQ(AppLanguages::stored(), AppLanguage::system);
    store(QStringLiteral("fr"));
    EXPECT_EQ(AppLanguages::stored(), AppLanguage::system);
    store(QStringLiteral("en"));
    EXPECT_EQ(AppLanguages::stored(), AppLanguage::english);
    store(QStringLiteral("zh-Hans"));
    EXPECT_EQ(AppLanguages::stored(), AppLanguage::simplifiedChinese);
    EXPECT_EQ(AppLanguages::resolved(AppLanguages::stored()), AppLanguage::simplifiedChinese);
}

TEST_F(AppLanguageTest, SystemFollowsOnlyTheFirstPreferredLanguage) {
    auto resolve = [](QStringList list) { return AppLanguages::resolvedFromPreferred(list); };
    const AppLanguage zh = AppLanguage::simplifiedChinese;
    const AppLanguage en = AppLanguage::english;
    EXPECT_EQ(resolve({QStringLiteral("zh-Hans-CN"), QStringLiteral("en")}), zh);
    EXPECT_EQ(resolve({QStringLiteral("zh")}), zh);
    EXPECT_EQ(resolve({QStringLiteral("zh-CN")}), zh);
    EXPECT_EQ(resolve({QStringLiteral("zh_CN")}), zh);
    EXPECT_EQ(resolve({QStringLiteral("zh-Hans")}), zh);
    EXPECT_EQ(resolve({QStringLiteral("zh-SG")}), zh);
    EXPECT_EQ(resolve({QStringLiteral("zh-TW")}), en);
    EXPECT_EQ(resolve({QStringLiteral("zh-Hant-TW")}), en);
    EXPECT_EQ(resolve({QStringLiteral("zh-Hant-CN")}), en);
    EXPECT_EQ(resolve({QStringLiteral("zh-HK")}), en);
    EXPECT_EQ(resolve({QStringLiteral("en"), QStringLiteral("zh-Hans")}), en);
    EXPECT_EQ(resolve({QStringLiteral("fr-FR"), QStringLiteral("zh")}), en);
    EXPECT_EQ(resolve({QStringLiteral("C")}), en);
    EXPECT_EQ(resolve({}), en);
}

TEST_F(AppLanguageTest, ExplicitChoicesResolveToThemselves) {
    EXPECT_EQ(AppLanguages::resolved(AppLanguage::english), AppLanguage::english);
    EXPECT_EQ(AppLanguages::resolved(AppLanguage::simplifiedChinese),
              AppLanguage::simplifiedChinese);
    EXPECT_EQ(AppLanguages::code(AppLanguage::simplifiedChinese), QStringLiteral("zh-Hans"));
    EXPECT_EQ(AppLanguages::code(AppLanguage::english), QStringLiteral("en"));
    EXPECT_EQ(AppLanguages::locale(AppLanguage::simplifiedChinese).script(),
              QLocale::SimplifiedHanScript);
    EXPECT_EQ(AppLanguages::locale(AppLanguage::english).language(), QLocale::English);
}

TEST_F(AppLanguageTest, LookupUsesTheTableOfTheGivenLanguage) {
    EXPECT_EQ(localizedString(LZ("Settings"), AppLanguage::english), QStringLiteral("Settings"));
    EXPECT_EQ(localizedString(LZ("Settings"), AppLanguage::simplifiedChinese),
              QStringLiteral("设置"));
    // A key the table lacks comes back as itself.
    const QString missing = QStringLiteral("A text no table has %1");
    EXPECT_EQ(localizedString(missing, AppLanguage::simplifiedChinese), missing);
    EXPECT_EQ(localizedString(missing, AppLanguage::simplifiedChinese, 7),
              QStringLiteral("A text no table has 7"));
}

TEST_F(AppLanguageTest, CountsTakeTheLanguagesPluralFormAndGrouping) {
    const auto en = AppLanguage::english;
    const auto zh = AppLanguage::simplifiedChinese;
    EXPECT_EQ(localizedCount(LZ("%n tracks"), en, 0), QStringLiteral("0 tracks"));
    EXPECT_EQ(localizedCount(LZ("%n tracks"), en, 1), QStringLiteral("1 track"));
    EXPECT_EQ(localizedCount(LZ("%n tracks"), en, 2), QStringLiteral("2 tracks"));
    EXPECT_EQ(localizedCount(LZ("%n tracks"), en, 40024), QStringLiteral("40,024 tracks"));
    EXPECT_EQ(localizedCount(LZ("%n tracks · %1"), en, 1, QStringLiteral("01:05")),
              QStringLiteral("1 track · 01:05"));
    EXPECT_EQ(localizedCount(LZ("%n tracks"), zh, 1), QStringLiteral("1 首曲目"));
    EXPECT_EQ(localizedCount(LZ("%n tracks"), zh, 40024), QStringLiteral("40,024 首曲目"));
    EXPECT_EQ(AppLanguages::formattedCount(40024, en), QStringLiteral("40,024"));
    // Past the range of the plural rules the form is still the plural one.
    EXPECT_EQ(localizedCount(LZ("%n tracks"), en, 5'000'000'000),
              QStringLiteral("5,000,000,000 tracks"));
    // A key without an entry comes back with its count filled in.
    EXPECT_EQ(localizedCount(QStringLiteral("%n things"), en, 3), QStringLiteral("3 things"));
}

TEST_F(AppLanguageTest, LookupIsSafeFromManyThreadsAtOnce) {
    std::atomic<int> mismatches{0};
    std::vector<QThread*> threads;
    for (int t = 0; t < 8; ++t) {
        threads.push_back(QThread::create([&mismatches] {
            for (int i = 0; i < 2000; ++i) {
                if (localizedString(LZ("Settings"), AppLanguage::simplifiedChinese) !=
                    QStringLiteral("设置"))
                    ++mismatches;
            }
        }));
        threads.back()->start();
    }
    for (QThread* thread : threads) {
        thread->wait();
        delete thread;
    }
    EXPECT_EQ(mismatches.load(), 0);
}
