#include "browser/LibrarySearch.h"

#include <array>
#include <memory>
#include <mutex>

namespace LibrarySearch {

namespace {

// What each UTF-16 unit folds to, built per block of 256 units the first time one of them is
// met: the whole table would cost tens of milliseconds up front, a block a fraction of one.
class FoldTable {
public:
    const QString& entry(char16_t unit) {
        const int block = unit >> 8;
        std::call_once(built[block], [this, block] { build(block); });
        return (*blocks[block])[unit & 0xFF];
    }

private:
    void build(int block) {
        auto entries = std::make_unique<std::array<QString, 256>>();
        for (int low = 0; low < 256; ++low) {
            const char16_t unit = char16_t((block << 8) | low);
            if (QChar::isSurrogate(unit)) {
                (*entries)[low] = QString(QChar(unit));
                continue;
            }
            const QString decomposed =
                QString(QChar(unit)).normalized(QString::NormalizationForm_KD);
            QString kept;
            for (QChar c : decomposed) {
                const QChar::Category category = c.category();
                if (category != QChar::Mark_NonSpacing &&
                    category != QChar::Mark_SpacingCombining && category != QChar::Mark_Enclosing)
                    kept += c;
            }
            (*entries)[low] = kept.toCaseFolded();
        }
        blocks[block] = std::move(entries);
    }

    std::array<std::once_flag, 256> built;
    std::array<std::unique_ptr<std::array<QString, 256>>, 256> blocks;
};

FoldTable& table() {
    static FoldTable instance;
    return instance;
}

} // namespace

QString query(const QString& searchText) {
    return searchText.trimmed();
}

QString fold(QStringView text) {
    QString out;
    out.reserve(text.size());
    FoldTable* folds = nullptr;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit < 0x80) {
            out += unit >= u'A' && unit <= u'Z' ? QChar(unit + 32) : c;
            continue;
        }
        if (!folds)
            folds = &table();
        out += folds->entry(unit);
    }
    return out;
}

bool matchesFolded(const QString& foldedTitle, const QString& foldedArtist,
                   const QString& foldedQuery) {
    return foldedQuery.isEmpty() || foldedTitle.contains(foldedQuery) ||
           foldedArtist.contains(foldedQuery);
}

bool matches(const Track& track, const QString& foldedQuery) {
    if (foldedQuery.isEmpty())
        return true;
    return fold(track.title).contains(foldedQuery) || fold(track.artist).contains(foldedQuery);
}

QString emptyLibraryTitle(const QString& searchText, AppLanguage language) {
    return query(searchText).isEmpty() ? localizedString(LZ("Library is empty"), language)
                                       : localizedString(LZ("No Matching Tracks"), language);
}

} // namespace LibrarySearch
