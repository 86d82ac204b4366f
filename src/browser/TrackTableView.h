#pragma once

// A track table: the all-tracks table or a scoped one (a playlist, a cover-flow group) over its
// own TrackTableModel. It shows the rows, sorts on header clicks, keeps the selection as a set of
// row ids, and reports what the user asks for: a new selection or sort order, a preview (double
// click on one row that is not a staged placeholder), a deletion (the Delete key on the
// selection) and the actions of the context menu on the rows under the pointer.

#include "appmodel/MainViewState.h"

#include <QSet>
#include <QTableView>

#include <functional>
#include <optional>
#include <utility>

class EmptyStatePlaceholder;
class QMenu;
class QTimer;
class TrackCellDelegate;
class TrackTableModel;

class TrackTableView : public QTableView {
    Q_OBJECT

public:
    enum class Kind {
        allTracks,
        scoped,
    };

    explicit TrackTableView(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    TrackTableModel* trackModel() const { return model_; }

    // The selection the main view holds; the view shows it without reporting it back.
    void setSelectedRows(const QSet<TrackRow::ID>& selection);

    // Fills the context menu for the track ids it was opened on, in table order; an empty menu
    // is not shown.
    using MenuProvider = std::function<void(QMenu& menu, const QList<quint64>& trackIDs)>;
    void setMenuProvider(MenuProvider provider) { menuProvider_ = std::move(provider); }
    // The menu for a point of the viewport; null on an empty spot or with nothing in it.
    QMenu* contextMenuAt(const QPoint& viewportPos);
    // The rows a click at a point acts on: the selection when the point's row is in it, else
    // that row alone.
    QSet<TrackRow::ID> rowsActedOnAt(const QPoint& viewportPos) const;
    // The ids in the order their first rows are shown; ids without a row last, ascending.
    QList<quint64> trackIDsInTableOrder(const QSet<quint64>& ids) const;

    EmptyStatePlaceholder* emptyPlaceholder() const { return empty_; }
    bool isAnimatingNowPlaying() const;

    // The "No." column's width: the widest number its rows can show, in the cells' font (with
    // the start-track flag in the all-tracks table), and at least the header's title beside its
    // sort arrow.
    int numberColumnWidth() const;

Q_SIGNALS:
    void selectionChangeRequested(const QSet<TrackRow::ID>& selection);
    void sortOrderChangeRequested(const TrackSortOrder& order);
    void previewRequested(quint64 trackID);
    void deleteRequested(const QSet<quint64>& trackIDs);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    void headerClicked(int section);
    void applySelectionToView();
    void rememberCurrentRow();
    void restoreCurrentRow();
    void refreshHeader();
    void refreshNumberColumnWidth();
    void refreshEmptyPlaceholder();
    void refreshNowPlaying();
    void nowPlayingTick();
    void rowActivated(const QModelIndex& index);
    QSet<TrackRow::ID> viewSelection() const;

    Kind kind_;
    TrackTableModel* model_ = nullptr;
    TrackCellDelegate* delegate_ = nullptr;
    EmptyStatePlaceholder* empty_ = nullptr;
    QTimer* nowPlayingTimer_ = nullptr;
    bool reduceMotion_ = false;
    bool applyingSelection_ = false;
    // The keyboard's row (its id and column) while the model resets or moves its rows.
    std::optional<std::pair<TrackRow::ID, int>> currentRow_;
    MenuProvider menuProvider_;
};
