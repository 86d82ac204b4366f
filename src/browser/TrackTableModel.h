#pragma once

// The rows of a track table: the rows it is given, filtered by the library search and sorted by
// its sort order, with what each cell shows. One model serves the all-tracks table and the
// scoped tables of a playlist or a cover-flow group.
//
// Updates are as small as the change: rows given with one block inserted or removed (an import's
// placeholders arriving or leaving) insert or remove those rows; a new sort order moves the rows;
// a new search or new rows otherwise reset the model once. Inputs set inside batch() reach the
// views as one update. Derived values (folded search texts, collation keys, the sorted order) are
// kept per set of rows, so a keystroke only filters.

#include "appmodel/MainViewState.h"
#include "platform/AppLanguage.h"

#include <QAbstractTableModel>
#include <QCollatorSortKey>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QCollator;

class TrackTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Role {
        trackIDRole = Qt::UserRole + 1, // quint64
        positionRole,                   // int, or invalid without one
        isStagedRole,
        isPlayingRole,
        isStartTrackRole,
        isSelectedRole,
        ratingStarsRole,
        isWavRole,
    };

    struct ColumnInfo {
        TrackColumn column;
        QString titleKey;
        int minimumWidth;
        int idealWidth;
        bool isFixed;
        bool isSortable;
    };
    static const ColumnInfo& columnInfo(TrackColumn column);

    // Clicking a header: the column's key goes first, ascending, or turns round when it is
    // already first; the other keys stay behind it to break ties. Unsortable columns change
    // nothing.
    static TrackSortOrder sortOrderAfterClicking(const TrackSortOrder& order, TrackColumn column);

    // "WAV audio file" reads "WAV"; other format texts as they are.
    static QString formatLabel(const QString& format);

    explicit TrackTableModel(QObject* parent = nullptr);
    ~TrackTableModel() override;

    void setRows(QList<TrackRow> rows);
    // Rows of tracks without positions.
    void setTracks(const QList<Track>& tracks);
    void setSearch(const QString& searchText);
    void setSortOrder(const TrackSortOrder& order);
    void setSupportsRatings(bool supportsRatings);
    void setLanguage(AppLanguage language);
    void setStagedTrackIDs(const QSet<quint64>& ids);
    void setStartTrackID(std::optional<quint64> id);
    void setPlayingTrackID(std::optional<quint64> id);
    void setSelection(const QSet<TrackRow::ID>& selection);
    void batch(const std::function<void()>& changes);

    const QList<TrackRow>& givenRows() const { return rows_; }
    const QString& search() const { return search_; }
    const TrackSortOrder& sortOrder() const { return sortOrder_; }
    const QSet<TrackRow::ID>& selection() const { return selection_; }
    const QSet<quint64>& stagedTrackIDs() const { return staged_; }
    std::optional<quint64> playingTrackID() const { return playing_; }
    AppLanguage language() const { return language_; }
    const TrackRow& rowAt(int row) const;
    const QList<TrackColumn>& columns() const { return columns_; }
    TrackColumn columnAt(int section) const;
    int sectionOf(TrackColumn column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void commit();
    bool applyBlockChange();
    void insertBlock(int at, int count);
    void removeBlock(int at, int count);
    void rebuildSorted();
    void rebuildVisible();
    void ensureFolded();
    const std::vector<QCollatorSortKey>& sortKeys(TrackColumn column);
    QCollatorSortKey sortKeyOf(TrackColumn column, const Track& track);
    int compare(TrackColumn column, int a, int b);
    bool sortsBefore(int a, int b);
    bool matchesSearch(int given) const;
    void emitCellsChanged();

    QList<TrackRow> rows_;
    std::optional<QList<TrackRow>> pendingRows_;
    QString search_;
    QString foldedQuery_;
    TrackSortOrder sortOrder_;
    bool supportsRatings_ = false;
    AppLanguage language_;
    QSet<quint64> staged_;
    std::optional<quint64> startTrack_;
    std::optional<quint64> playing_;
    QSet<TrackRow::ID> selection_;
    QList<TrackColumn> columns_;

    // Per given row, kept with the rows; the collation keys only for the columns a sort has
    // used.
    std::vector<QString> foldedTitles_;
    std::vector<QString> foldedArtists_;
    std::map<TrackColumn, std::vector<QCollatorSortKey>> sortKeys_;
    std::unique_ptr<QCollator> collator_;
    std::vector<int> sorted_;  // given indices in sort order
    std::vector<int> visible_; // sorted_ without the rows the search leaves out

    int batchDepth_ = 0;
    bool searchDirty_ = false;
    bool sortDirty_ = false;
    bool cellsDirty_ = false;
    bool headersDirty_ = false;
};
