#pragma once

// The bar at the top of the library: the view-mode switch ("Table View" / "Cover Flow"), the
// scope control (a menu of all tracks, the playlists, the playlist browser and "New Playlist on
// iPod…"; a plain "All Tracks" label on an iPod without a screen), the search box and the action
// bar for the selected tracks. In one row when the width allows, else in two; the width alone
// decides, so the choice never flips back and forth.
//
// It reads the store and the main view's state and reports what the user asks for; the main
// view applies it.

#include "appmodel/MainViewState.h"
#include "library/IPodPlaylist.h"

#include <QList>
#include <QWidget>

class IPodStore;
class LibrarySearchField;
class QAbstractButton;
class QActionGroup;
class QMenu;
class QToolButton;
class TrackActionBar;

class LibraryPaneHeader : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumHeight = 46;

    explicit LibraryPaneHeader(IPodStore& store, QWidget* parent = nullptr);

    // The main view's state and the selected tracks in table order.
    void setState(const MainViewState& state, const QList<quint64>& selectedTrackIDs);

    QAbstractButton* tableViewButton() const;
    QAbstractButton* coverFlowButton() const;
    // Whether a view-mode button shows as the chosen one.
    static bool isSelectedMode(const QAbstractButton* button);
    // The scope control: a menu button, or a plain label without a screen.
    QToolButton* scopeControl() const;
    bool hasScopeMenu() const;
    QMenu* scopeMenu() const { return menu_; }
    // The title and count the scope control shows now.
    QString scopeTitle() const;
    std::optional<qsizetype> scopeCount() const;
    LibrarySearchField* searchField() const { return search_; }
    TrackActionBar* actionBar() const { return actions_; }
    // One row (true) or two.
    bool isWide() const;

    // "All Tracks · 1,234" and the like, in the interface language's number format.
    static QString scopeItemText(const QString& title, qsizetype count, AppLanguage language);

Q_SIGNALS:
    void viewModeRequested(bool coverFlow);
    void scopeRequested(const LibraryScope& scope);
    void newPlaylistRequested();
    void searchEdited(const QString& text);

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class FittingLayout;
    class ModeButton;
    class ScopeButton;

    void refresh();
    void rebuildScopeMenu();
    std::optional<IPodPlaylist> foundPlaylist() const;

    IPodStore& store_;
    MainViewState state_;
    quint64 libraryGeneration_ = 1;
    // What the scope menu was last built from.
    QString menuSignature_;

    FittingLayout* layout_ = nullptr;
    QWidget* modeBox_ = nullptr;
    ModeButton* tableView_ = nullptr;
    ModeButton* coverFlow_ = nullptr;
    ScopeButton* scope_ = nullptr;
    QMenu* menu_ = nullptr;
    LibrarySearchField* search_ = nullptr;
    TrackActionBar* actions_ = nullptr;
};
