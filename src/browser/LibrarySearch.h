#pragma once

// The one search rule of the library lists: the query is the search text without white space
// and newlines around it; an empty query matches every track; otherwise a track matches when
// its title contains the query, or failing that its artist, ignoring case and diacritics
// ("bjork" finds "Björk"). No other field is searched, and filtering keeps the input order.

#include "library/Track.h"
#include "platform/AppLanguage.h"

#include <QString>
#include <QStringView>

namespace LibrarySearch {

QString query(const QString& searchText);

// Text as the rule compares it: compatibility-decomposed, without combining marks, case folded.
// Safe from any thread.
QString fold(QStringView text);

// Both sides already folded; an empty query matches.
bool matchesFolded(const QString& foldedTitle, const QString& foldedArtist,
                   const QString& foldedQuery);
// The track against a folded query.
bool matches(const Track& track, const QString& foldedQuery);

// What an empty track list is called: "Library is empty" without a query, else "No Matching
// Tracks".
QString emptyLibraryTitle(const QString& searchText, AppLanguage language);

} // namespace LibrarySearch
