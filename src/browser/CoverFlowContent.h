#pragma once

// The library's cover-flow mode: "Group By" over artists, albums and genres above the covers of
// the listed tracks' groups, with the scoped track table of the group the covers settled on.
// Every change of that table's rows starts its selection and sort order over. A new playlist can
// be made from a group on an iPod with a screen whose library may be edited. The covers are
// built afresh for another grouping or another device.

#include "appmodel/MainViewState.h"
#include "browser/TrackTableView.h"
#include "library/CoverFlowGroup.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

class CoverFlowView;
class EmptyStatePlaceholder;
class IPodStore;
class QAbstractButton;
class QStackedWidget;

class CoverFlowContent : public QWidget {
    Q_OBJECT

public:
    explicit CoverFlowContent(IPodStore& store, QWidget* parent = nullptr);

    // The listed tracks (the library's after the search, or a playlist's rows in order) and the
    // main view's state.
    void setContent(const QList<Track>& tracks, const MainViewState& state);
    // The menu of the tables made here.
    void setMenuProvider(TrackTableView::MenuProvider provider);

    const QList<CoverFlowGroup>& groups() const { return groups_; }
    // The grouping control's button of a grouping.
    QAbstractButton* groupingButton(CoverFlowGroup::Grouping grouping) const;
    // The covers; null while there are none.
    CoverFlowView* flowView() const;
    // The table of the settled group's tracks; null while there is none.
    TrackTableView* trackTable() const { return table_; }
    // That table while it is on screen: null while the placeholder shows instead.
    TrackTableView* shownTrackTable() const;
    EmptyStatePlaceholder* placeholder() const { return placeholder_; }
    // Whether a playlist may be made from a group now.
    bool canAddGroupPlaylist() const;

    // The tracks a playlist of the group offers: those with a playback position, each id once
    // (the first kept), in group order.
    static QList<Track> groupPlaylistTracks(const CoverFlowGroup& group);
    // The name it proposes: the group's title, or the unknown-group title when that is empty.
    static QString groupPlaylistName(const CoverFlowGroup& group, const QString& unknownTitle);

    // Asks for the playlist of a group (nothing when it offers no track or may not be made).
    void addGroupPlaylist(const CoverFlowGroup& group);

Q_SIGNALS:
    void groupingRequested(CoverFlowGroup::Grouping grouping);
    void groupPlaylistRequested(const QList<Track>& tracks, const QString& name);
    void scopedTrackSelectionChanged(const QSet<TrackRow::ID>& selection);
    void scopedSortOrderChanged(const TrackSortOrder& order);
    void scopedTableReset();
    void deleteRequested(const QSet<quint64>& trackIDs);

protected:
    void changeEvent(QEvent* event) override;

private:
    void relabel();
    void refreshFlow(bool regrouped);
    QString unknownTitle() const;
    // The table of a settled group, handed to the covers, which own it; a new list of rows
    // starts the scoped table's state over.
    TrackTableView* makeGroupTable(const QList<Track>& tracks);
    // New values of the same rows (after an edit) in a table made here.
    void refillGroupTable(TrackTableView* table, const QList<Track>& tracks);
    void applyStateToTable();

    IPodStore& store_;
    MainViewState state_;
    QList<Track> tracks_;
    QList<CoverFlowGroup> groups_;
    std::optional<CoverFlowGroup::Grouping> groupedBy_;
    std::vector<TrackRow::ID> rowIDs_;
    TrackTableView::MenuProvider menuProvider_;

    QStackedWidget* stack_ = nullptr;
    QWidget* placeholderPage_ = nullptr;
    EmptyStatePlaceholder* placeholder_ = nullptr;
    QWidget* flowPage_ = nullptr;
    QWidget* groupingRow_ = nullptr;
    std::array<QAbstractButton*, 3> groupingButtons_{};
    QWidget* flowHost_ = nullptr;
    QPointer<CoverFlowView> flow_;
    // What the covers were built for: the grouping and the device.
    std::optional<std::pair<CoverFlowGroup::Grouping, IPodDevice::ID>> flowKey_;
    bool offersPlaylists_ = false;
    bool buildingFlow_ = false;
    QPointer<TrackTableView> table_;
};
