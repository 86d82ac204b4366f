#include "browser/TrackTableModel.h"

#include "appmodel/LorvPalette.h"
#include "browser/ByteCountFormatter.h"
#include "browser/FormattedDuration.h"
#include "browser/LibrarySearch.h"

#include <QCollator>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

const std::array<TrackTableModel::ColumnInfo, 9>& columnTable() {
    static const std::array<TrackTableModel::ColumnInfo, 9> table = {{
        {TrackColumn::number, LZ("No."), 34, 34, true, true},
        {TrackColumn::title, LZ("Title"), 116, 204, false, true},
        {TrackColumn::artist, LZ("Artist"), 74, 142, false, true},
        {TrackColumn::album, LZ("Album"), 74, 140, false, true},
        {TrackColumn::genre, LZ("Genre"), 53, 69, false, true},
        {TrackColumn::format, LZ("Format"), 46, 69, false, true},
        {TrackColumn::rating, LZ("Rating"), 60, 68, false, false},
        {TrackColumn::size, LZ("Size"), 59, 70, false, true},
        {TrackColumn::duration, LZ("Duration"), 47, 56, false, true},
    }};
    return table;
}

bool isStringColumn(TrackColumn column) {
    switch (column) {
    case TrackColumn::title:
    case TrackColumn::artist:
    case TrackColumn::album:
    case TrackColumn::genre:
    case TrackColumn::format:
        return true;
    default:
        return false;
    }
}

const QString& stringOf(TrackColumn column, const Track& track) {
    switch (column) {
    case TrackColumn::artist:
        return track.artist;
    case TrackColumn::album:
        return track.album;
    case TrackColumn::genre:
        return track.genre;
    case TrackColumn::format:
        return track.format;
    default:
        return track.title;
    }
}

template <typename T> int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Durations that are not numbers sort as zero, so the order stays a strict weak one.
double sortableDuration(double seconds) {
    return std::isnan(seconds) ? 0.0 : seconds;
}

QString orDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("\u2014") : text;
}

} // namespace

const TrackTableModel::ColumnInfo& TrackTableModel::columnInfo(TrackColumn column) {
    return columnTable()[static_cast<std::size_t>(column)];
}

TrackSortOrder TrackTableModel::sortOrderAfterClicking(const TrackSortOrder& order,
                                                       TrackColumn column) {
    if (!columnInfo(column).isSortable)
        return order;
    TrackSortOrder next;
    if (!order.empty() && order.front().column == column) {
        next = order;
        next.front().ascending = !next.front().ascending;
        return next;
    }
    next.push_back({column, true});
    for (const TrackSortKey& key : order) {
        if (key.column != column)
            next.push_back(key);
    }
    return next;
}

QString TrackTableModel::formatLabel(const QString& format) {
    return format == QLatin1String("WAV audio file") ? QStringLiteral("WAV") : format;
}

TrackTableModel::TrackTableModel(QObject* parent)
    : QAbstractTableModel(parent)
    , language_(AppLanguages::stored()) {
    for (const ColumnInfo& info : columnTable()) {
        if (info.column != TrackColumn::rating)
            columns_.append(info.column);
    }
}

TrackTableModel::~TrackTableModel() = default;

// MARK: inputs

void TrackTableModel::setRows(QList<TrackRow> rows) {
    pendingRows_ = std::move(rows);
    commit();
}

void TrackTableModel::setTracks(const QList<Track>& tracks) {
    QList<TrackRow> rows;
    rows.reserve(tracks.size());
    for (const Track& track : tracks)
        rows.append({track, std::nullopt});
    setRows(std::move(rows));
}

void TrackTableModel::setSearch(const QString& searchText) {
    const QString folded = LibrarySearch::fold(LibrarySearch::query(searchText));
    search_ = searchText;
    if (folded == foldedQuery_)
        return;
    foldedQuery_ = folded;
    searchDirty_ = true;
    commit();
}

void TrackTableModel::setSortOrder(const TrackSortOrder& order) {
    if (order == sortOrder_)
        return;
    sortOrder_ = order;
    sortDirty_ = true;
    commit();
}

void TrackTableModel::setSupportsRatings(bool supportsRatings) {
    if (supportsRatings == supportsRatings_)
        return;
    supportsRatings_ = supportsRatings;
    commit();
}

void TrackTableModel::setLanguage(AppLanguage language) {
    if (language == language_)
        return;
    language_ = language;
    collator_.reset();
    sortKeys_.clear();
    headersDirty_ = true;
    cellsDirty_ = true;
    // Another language collates strings in another order.
    if (std::any_of(sortOrder_.cbegin(), sortOrder_.cend(),
                    [](const TrackSortKey& key) { return isStringColumn(key.column); }))
        sortDirty_ = true;
    commit();
}

void TrackTableModel::setStagedTrackIDs(const QSet<quint64>& ids) {
    if (ids == staged_)
        return;
    staged_ = ids;
    cellsDirty_ = true;
    commit();
}

void TrackTableModel::setStartTrackID(std::optional<quint64> id) {
    if (id == startTrack_)
        return;
    startTrack_ = id;
    cellsDirty_ = true;
    commit();
}

void TrackTableModel::setPlayingTrackID(std::optional<quint64> id) {
    if (id == playing_)
        return;
    playing_ = id;
    cellsDirty_ = true;
    commit();
}

void TrackTableModel::setSelection(const QSet<TrackRow::ID>& selection) {
    if (selection == selection_)
        return;
    selection_ = selection;
    cellsDirty_ = true;
    commit();
}

void TrackTableModel::batch(const std::function<void()>& changes) {
    ++batchDepth_;
    changes();
    --batchDepth_;
    commit();
}

// MARK: updates

void TrackTableModel::commit() {
    if (batchDepth_ > 0)
        return;
    QList<TrackColumn> columns;
    for (const ColumnInfo& info : columnTable()) {
        if (info.column != TrackColumn::rating || supportsRatings_)
            columns.append(info.column);
    }
    const bool columnsDirty = columns != columns_;
    const bool rowsDirty = pendingRows_.has_value();
    if (rowsDirty && !searchDirty_ && !sortDirty_ && !columnsDirty && applyBlockChange()) {
        pendingRows_.reset();
    } else if (rowsDirty || searchDirty_ || columnsDirty) {
        beginResetModel();
        if (rowsDirty) {
            rows_ = std::move(*pendingRows_);
            pendingRows_.reset();
            foldedTitles_.clear();
            foldedArtists_.clear();
            sortKeys_.clear();
            // Folded with the rows, so that the first keystroke of a search only filters.
            ensureFolded();
        }
        columns_ = columns;
        if (rowsDirty || sortDirty_ || sorted_.size() != std::size_t(rows_.size()))
            rebuildSorted();
        rebuildVisible();
        endResetModel();
    } else if (sortDirty_) {
        Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<int> givenOfBefore;
        givenOfBefore.reserve(before.size());
        for (const QModelIndex& index : before)
            givenOfBefore.push_back(visible_[std::size_t(index.row())]);
        rebuildSorted();
        rebuildVisible();
        std::vector<int> rowOfGiven(std::size_t(rows_.size()), -1);
        for (std::size_t row = 0; row < visible_.size(); ++row)
            rowOfGiven[std::size_t(visible_[row])] = int(row);
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i)
            after.append(
                index(rowOfGiven[std::size_t(givenOfBefore[std::size_t(i)])], before[i].column()));
        changePersistentIndexList(before, after);
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    searchDirty_ = false;
    sortDirty_ = false;
    if (headersDirty_ && !columns_.isEmpty())
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, int(columns_.size()) - 1);
    headersDirty_ = false;
    if (cellsDirty_)
        emitCellsChanged();
    cellsDirty_ = false;
}

void TrackTableModel::emitCellsChanged() {
    if (visible_.empty() || columns_.isEmpty())
        return;
    Q_EMIT dataChanged(index(0, 0), index(int(visible_.size()) - 1, int(columns_.size()) - 1));
}

// New rows that are the old ones with one block of rows added or taken out, the others
// unchanged, move only that block.
bool TrackTableModel::applyBlockChange() {
    const QList<TrackRow>& next = *pendingRows_;
    const qsizetype oldCount = rows_.size();
    const qsizetype newCount = next.size();
    const qsizetype shorter = std::min(oldCount, newCount);
    qsizetype prefix = 0;
    while (prefix < shorter && rows_[prefix].position == next[prefix].position &&
           rows_[prefix].track == next[prefix].track)
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           rows_[oldCount - 1 - suffix].position == next[newCount - 1 - suffix].position &&
           rows_[oldCount - 1 - suffix].track == next[newCount - 1 - suffix].track)
        ++suffix;
    if (prefix + suffix != shorter)
        return false;
    if (newCount > oldCount)
        insertBlock(int(prefix), int(newCount - oldCount));
    else if (newCount < oldCount)
        removeBlock(int(prefix), int(oldCount - newCount));
    // Equal rows change nothing; the new list still takes the old one's place.
    rows_ = std::move(*pendingRows_);
    return true;
}

void TrackTableModel::insertBlock(int at, int count) {
    // From here on given indices are those of the new rows; the old ones shift behind the block.
    rows_ = *pendingRows_;
    auto shift = [at, count](int& given) {
        if (given >= at)
            given += count;
    };
    for (int& given : sorted_)
        shift(given);
    std::vector<int> oldVisible = visible_;
    for (int& given : oldVisible)
        shift(given);
    visible_ = oldVisible;

    std::vector<QString> titles, artists;
    for (int i = at; i < at + count; ++i) {
        titles.push_back(LibrarySearch::fold(rows_[i].track.title));
        artists.push_back(LibrarySearch::fold(rows_[i].track.artist));
    }
    foldedTitles_.insert(foldedTitles_.begin() + at, titles.begin(), titles.end());
    foldedArtists_.insert(foldedArtists_.begin() + at, artists.begin(), artists.end());
    for (auto& [column, keys] : sortKeys_) {
        std::vector<QCollatorSortKey> added;
        added.reserve(std::size_t(count));
        for (int i = at; i < at + count; ++i)
            added.push_back(sortKeyOf(column, rows_[i].track));
        keys.insert(keys.begin() + at, added.begin(), added.end());
    }

    std::vector<int> block(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        block[std::size_t(i)] = at + i;
    if (sortOrder_.empty()) {
        sorted_.insert(std::upper_bound(sorted_.begin(), sorted_.end(), at - 1), block.begin(),
                       block.end());
    } else {
        std::sort(block.begin(), block.end(), [this](int a, int b) { return sortsBefore(a, b); });
        std::vector<int> merged;
        merged.reserve(sorted_.size() + block.size());
        std::merge(sorted_.begin(), sorted_.end(), block.begin(), block.end(),
                   std::back_inserter(merged), [this](int a, int b) { return sortsBefore(a, b); });
        sorted_ = std::move(merged);
    }

    // The old visible rows keep their order; the new ones that pass the search go in between,
    // one run at a time.
    std::size_t kept = 0;
    int row = 0;
    for (std::size_t i = 0; i < sorted_.size();) {
        const int given = sorted_[i];
        if (given < at || given >= at + count) {
            if (kept < oldVisible.size() && oldVisible[kept] == given) {
                ++kept;
                ++row;
            }
            ++i;
            continue;
        }
        std::vector<int> run;
        while (i < sorted_.size() && sorted_[i] >= at && sorted_[i] < at + count) {
            if (matchesSearch(sorted_[i]))
                run.push_back(sorted_[i]);
            ++i;
        }
        if (run.empty())
            continue;
        beginInsertRows({}, row, row + int(run.size()) - 1);
        visible_.insert(visible_.begin() + row, run.begin(), run.end());
        endInsertRows();
        row += int(run.size());
    }
}

void TrackTableModel::removeBlock(int at, int count) {
    // Given indices stay those of the old rows until every removed row has left the view.
    auto removed = [at, count](int given) { return given >= at && given < at + count; };
    for (int row = int(visible_.size()) - 1; row >= 0;) {
        if (!removed(visible_[std::size_t(row)])) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && removed(visible_[std::size_t(first - 1)]))
            --first;
        beginRemoveRows({}, first, row);
        visible_.erase(visible_.begin() + first, visible_.begin() + row + 1);
        endRemoveRows();
        row = first - 1;
    }
    auto shift = [at, count](int& given) {
        if (given >= at + count)
            given -= count;
    };
    sorted_.erase(std::remove_if(sorted_.begin(), sorted_.end(), removed), sorted_.end());
    for (int& given : sorted_)
        shift(given);
    for (int& given : visible_)
        shift(given);
    foldedTitles_.erase(foldedTitles_.begin() + at, foldedTitles_.begin() + at + count);
    foldedArtists_.erase(foldedArtists_.begin() + at, foldedArtists_.begin() + at + count);
    for (auto& [column, keys] : sortKeys_)
        keys.erase(keys.begin() + at, keys.begin() + at + count);
}

void TrackTableModel::rebuildSorted() {
    sorted_.resize(std::size_t(rows_.size()));
    for (std::size_t i = 0; i < sorted_.size(); ++i)
        sorted_[i] = int(i);
    if (sortOrder_.empty())
        return;
    for (const TrackSortKey& key : sortOrder_) {
        if (isStringColumn(key.column))
            sortKeys(key.column);
    }
    // Ties fall back to the given order, which makes the sort stable.
    std::sort(sorted_.begin(), sorted_.end(), [this](int a, int b) { return sortsBefore(a, b); });
}

void TrackTableModel::rebuildVisible() {
    if (foldedQuery_.isEmpty()) {
        visible_ = sorted_;
        return;
    }
    ensureFolded();
    visible_.clear();
    for (int given : sorted_) {
        if (matchesSearch(given))
            visible_.push_back(given);
    }
}

void TrackTableModel::ensureFolded() {
    if (foldedTitles_.size() == std::size_t(rows_.size()))
        return;
    foldedTitles_.clear();
    foldedArtists_.clear();
    foldedTitles_.reserve(std::size_t(rows_.size()));
    foldedArtists_.reserve(std::size_t(rows_.size()));
    for (const TrackRow& row : rows_) {
        foldedTitles_.push_back(LibrarySearch::fold(row.track.title));
        foldedArtists_.push_back(LibrarySearch::fold(row.track.artist));
    }
}

bool TrackTableModel::matchesSearch(int given) const {
    if (foldedQuery_.isEmpty())
        return true;
    return LibrarySearch::matchesFolded(foldedTitles_[std::size_t(given)],
                                        foldedArtists_[std::size_t(given)], foldedQuery_);
}

QCollatorSortKey TrackTableModel::sortKeyOf(TrackColumn column, const Track& track) {
    if (!collator_) {
        collator_ = std::make_unique<QCollator>(AppLanguages::locale(language_));
        collator_->setCaseSensitivity(Qt::CaseInsensitive);
        collator_->setNumericMode(true);
    }
    return collator_->sortKey(stringOf(column, track));
}

const std::vector<QCollatorSortKey>& TrackTableModel::sortKeys(TrackColumn column) {
    auto found = sortKeys_.find(column);
    if (found != sortKeys_.end())
        return found->second;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(std::size_t(rows_.size()));
    for (const TrackRow& row : rows_)
        keys.push_back(sortKeyOf(column, row.track));
    return sortKeys_.emplace(column, std::move(keys)).first->second;
}

int TrackTableModel::compare(TrackColumn column, int a, int b) {
    const Track& x = rows_[a].track;
    const Track& y = rows_[b].track;
    switch (column) {
    case TrackColumn::number:
        return threeWay(rows_[a].sortPosition(), rows_[b].sortPosition());
    case TrackColumn::size:
        return threeWay(x.sizeBytes, y.sizeBytes);
    case TrackColumn::duration:
        return threeWay(sortableDuration(x.duration), sortableDuration(y.duration));
    case TrackColumn::rating:
        return 0;
    default: {
        const std::vector<QCollatorSortKey>& keys = sortKeys(column);
        const int c = keys[std::size_t(a)].compare(keys[std::size_t(b)]);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    }
}

bool TrackTableModel::sortsBefore(int a, int b) {
    for (const TrackSortKey& key : sortOrder_) {
        const int c = compare(key.column, a, b);
        if (c != 0)
            return key.ascending ? c < 0 : c > 0;
    }
    return a < b;
}

// MARK: reading

const TrackRow& TrackTableModel::rowAt(int row) const {
    return rows_[visible_[std::size_t(row)]];
}

TrackColumn TrackTableModel::columnAt(int section) const {
    return columns_.value(section, TrackColumn::number);
}

int TrackTableModel::sectionOf(TrackColumn column) const {
    return int(columns_.indexOf(column));
}

int TrackTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(visible_.size());
}

int TrackTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

Qt::ItemFlags TrackTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant TrackTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return localizedString(columnInfo(columns_[section]).titleKey, language_);
    return {};
}

QVariant TrackTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const TrackRow& row = rowAt(index.row());
    const Track& track = row.track;
    const TrackColumn column = columns_[index.column()];
    const bool selected = selection_.contains(row.id());
    const bool playing = playing_ && *playing_ == track.id;
    const QColor& secondary = selected ? LorvPalette::mist() : LorvPalette::fog();

    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case TrackColumn::number:
            if (row.position)
                return QString::number(*row.position);
            if (track.playbackPosition)
                return QString::number(*track.playbackPosition);
            return QString();
        case TrackColumn::title:
            return track.title;
        case TrackColumn::artist:
        case TrackColumn::album:
        case TrackColumn::genre:
            return orDash(stringOf(column, track));
        case TrackColumn::format:
            return orDash(formatLabel(track.format));
        case TrackColumn::rating:
            return track.ratingStars >= 1 ? QString(track.ratingStars, QChar(0x2605)) : QString();
        case TrackColumn::size:
            return ByteCountFormatter::format(track.sizeBytes, language_);
        case TrackColumn::duration:
            return formattedDuration(track.duration);
        }
        return {};
    case Qt::ToolTipRole:
        switch (column) {
        case TrackColumn::number:
            if (startTrack_ && *startTrack_ == track.id)
                return localizedString(LZ("Playback start track saved on the iPod"), language_);
            return {};
        case TrackColumn::title:
            return track.title;
        case TrackColumn::artist:
            return track.artist;
        case TrackColumn::album:
        case TrackColumn::genre:
            return stringOf(column, track);
        case TrackColumn::size:
            return ByteCountFormatter::format(track.sizeBytes, language_);
        default:
            return {};
        }
    case Qt::AccessibleTextRole:
        if (column == TrackColumn::rating && track.ratingStars >= 1)
            return localizedString(LZ("Rating: %1 out of 5"), language_,
                                   QString::number(track.ratingStars));
        if (column == TrackColumn::number) {
            QStringList parts;
            if (playing)
                parts.append(localizedString(LZ("Now Playing"), language_));
            if (startTrack_ && *startTrack_ == track.id)
                parts.append(localizedString(LZ("iPod start track"), language_));
            if (!parts.isEmpty())
                return parts.join(QStringLiteral(", "));
        }
        return {};
    case Qt::BackgroundRole:
        return selected ? LorvPalette::indigoDeep() : LorvPalette::night900();
    case Qt::ForegroundRole:
        switch (column) {
        case TrackColumn::title:
            return playing && !selected ? LorvPalette::sky() : LorvPalette::mist();
        case TrackColumn::artist:
            return LorvPalette::mist();
        case TrackColumn::format:
            return selected
                       ? LorvPalette::mist()
                       : (formatLabel(track.format) == QLatin1String("WAV") ? LorvPalette::lilac()
                                                                            : LorvPalette::fog());
        case TrackColumn::rating:
            return selected ? LorvPalette::mist() : LorvPalette::sky();
        default:
            return secondary;
        }
    case Qt::TextAlignmentRole:
        if (column == TrackColumn::size || column == TrackColumn::duration)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case trackIDRole:
        return QVariant::fromValue(track.id);
    case positionRole:
        return row.position ? QVariant(*row.position) : QVariant();
    case isStagedRole:
        return staged_.contains(track.id);
    case isPlayingRole:
        return playing;
    case isStartTrackRole:
        return startTrack_ && *startTrack_ == track.id;
    case isSelectedRole:
        return selected;
    case ratingStarsRole:
        return track.ratingStars;
    case isWavRole:
        return formatLabel(track.format) == QLatin1String("WAV");
    default:
        return {};
    }
}
