// Every English text key in the sources must have its Simplified Chinese entry, and every entry
// must keep the placeholders of its key.

#include "platform/AppLanguage.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>
#include <QXmlStreamReader>

namespace {

QString sourceDir() {
    return qEnvironmentVariable("LORVANEL_SOURCE_DIR", QStringLiteral(LORVANEL_SOURCE_DIR));
}

// The C++ escapes that keys use.
QString unescape(const QString& literal) {
    QString out;
    for (qsizetype i = 0; i < literal.size(); ++i) {
        QChar c = literal[i];
        if (c == u'\\' && i + 1 < literal.size()) {
            QChar n = literal[++i];
            if (n == u'n')
                out += u'\n';
            else if (n == u't')
                out += u'\t';
            else
                out += n;
        } else {
            out += c;
        }
    }
    return out;
}

QSet<QString> keysInSources() {
    QSet<QString> keys;
    // A key may be split into adjacent literals when a line is too long.
    static const QRegularExpression marker(
        QStringLiteral(R"re(\bLZ\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\))re"));
    static const QRegularExpression piece(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QDirIterator it(sourceDir() + QStringLiteral("/src"),
                    {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        auto matches = marker.globalMatch(text);
        while (matches.hasNext()) {
            QString key;
            auto pieces = piece.globalMatch(matches.next().captured(1));
            while (pieces.hasNext())
                key += unescape(pieces.next().captured(1));
            keys.insert(key);
        }
    }
    return keys;
}

struct Entry {
    QString source;
    // One text, or one per plural form.
    QStringList translations;
};

std::vector<Entry> tableEntries(const QString& name = QStringLiteral("lorvanel_zh_CN.ts")) {
    std::vector<Entry> entries;
    QFile file(sourceDir() + QStringLiteral("/resources/i18n/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    QXmlStreamReader xml(&file);
    Entry current;
    bool numerus = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("message")) {
            numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
        } else if (xml.isStartElement() && xml.name() == QLatin1String("source")) {
            current.source = xml.readElementText();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("translation") && !numerus) {
            current.translations << xml.readElementText();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("numerusform")) {
            current.translations << xml.readElementText();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            entries.push_back(current);
            current = {};
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return entries;
}

QStringList placeholders(const QString& text) {
    static const QRegularExpression arg(QStringLiteral("%L?(?:[0-9]+|n)"));
    QStringList found;
    auto matches = arg.globalMatch(text);
    while (matches.hasNext())
        found << matches.next().captured(0).remove(u'L');
    found.sort();
    return found;
}

} // namespace

TEST(StringTable, EveryKeyInTheSourcesHasAChineseEntry) {
    const QSet<QString> keys = keysInSources();
    ASSERT_FALSE(keys.isEmpty()) << "no LZ(...) keys found below " << sourceDir().toStdString();
    QTranslator table;
    ASSERT_TRUE(table.load(QStringLiteral(":/i18n/lorvanel_zh_CN.qm")));
    QStringList missing;
    for (const QString& key : keys) {
        if (table.translate("Lorvanel", key.toUtf8().constData()).isEmpty())
            missing << key;
    }
    missing.sort();
    EXPECT_TRUE(missing.isEmpty()) << "texts without a Chinese entry:\n"
                                   << missing.join(QStringLiteral("\n")).toStdString();
}

TEST(StringTable, EntriesAreCompleteAndKeepTheirPlaceholders) {
    const auto entries = tableEntries();
    ASSERT_FALSE(entries.empty());
    QSet<QString> seen;
    for (const Entry& e : entries) {
        EXPECT_FALSE(e.translations.isEmpty()) << e.source.toStdString();
        for (const QString& translation : e.translations) {
            EXPECT_FALSE(translation.isEmpty()) << e.source.toStdString();
            EXPECT_EQ(placeholders(e.source), placeholders(translation)) << e.source.toStdString();
        }
        EXPECT_FALSE(seen.contains(e.source)) << "duplicate entry: " << e.source.toStdString();
        seen.insert(e.source);
    }
}

TEST(StringTable, EveryCountedKeyHasItsEnglishPluralForms) {
    QTranslator english;
    ASSERT_TRUE(english.load(QStringLiteral(":/i18n/lorvanel_en.qm")));
    QStringList missing;
    for (const QString& key : keysInSources()) {
        if (!key.contains(QLatin1String("%n")))
            continue;
        const QByteArray source = key.toUtf8();
        const QString one = english.translate("Lorvanel", source.constData(), nullptr, 1);
        const QString many = english.translate("Lorvanel", source.constData(), nullptr, 2);
        if (one.isEmpty() || many.isEmpty() || one == many)
            missing << key;
    }
    EXPECT_TRUE(missing.isEmpty()) << "counted texts without English plural forms:\n"
                                   << missing.join(QStringLiteral("\n")).toStdString();
    for (const Entry& e : tableEntries(QStringLiteral("lorvanel_en.ts"))) {
        for (const QString& translation : e.translations)
            EXPECT_EQ(placeholders(e.source), placeholders(translation)) << e.source.toStdString();
    }
}
