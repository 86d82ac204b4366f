// The library's header bar on the real store: one row or two by the width alone, the view-mode
// switch and its rules, the scope menu and its "New Playlist on iPod…", the search box, the
// shuffle's plain label, and the cover-flow mode with its grouping and group playlists.

#include "PaneFixture.h"

#include "appmodel/InterfaceFont.h"
#include "browser/CoverFlowContent.h"
#include "browser/EmptyStatePlaceholder.h"
#include "browser/LibraryPaneHeader.h"
#include "browser/LibrarySearchField.h"
#include "browser/TrackActionBar.h"
#include "coverflow/CoverFlowControl.h"
#include "coverflow/CoverFlowView.h"
#include "support/AudioFixtures.h"
#include "support/EventLoop.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

using TestSupport::TrackSpec;

namespace {

class HeaderBarTest : public PaneTest {
protected:
    // Three tracks, the third not in the main playlist; "Mix" lists the second and first,
    // "Empty" nothing.
    void openNano() {
        open({makeVolume(root + QStringLiteral("/Pod"),
                         {{.title = QStringLiteral("Alpha"), .album = QStringLiteral("One")},
                          {.title = QStringLiteral("Bravo"), .album = QStringLiteral("Two")},
                          {.title = QStringLiteral("Charlie"),
                           .album = QStringLiteral("One"),
                           .inMainPlaylist = false}},
                         {{QStringLiteral("Mix"), {1, 0}}, {QStringLiteral("Empty"), {}}})});
        waitForLibrary();
        ASSERT_TRUE(store->library());
    }

    LibraryPaneHeader& bar() const { return *content().header(); }

    quint64 playlistID(const QString& name) const {
        for (const IPodPlaylist& playlist : store->library()->playlists)
            if (playlist.name == name)
                return playlist.id;
        ADD_FAILURE() << "no playlist " << qPrintable(name);
        return 0;
    }

    QStringList menuTexts() const {
        QStringList texts;
        for (QAction* action : bar().scopeMenu()->actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    }

    QAction* menuAction(const QString& text) const {
        for (QAction* action : bar().scopeMenu()->actions())
            if (action->text() == text)
                return action;
        ADD_FAILURE() << "no menu entry " << qPrintable(text);
        return nullptr;
    }
};

CoverFlowGroup group(const QString& title,
                     const QList<std::pair<quint64, std::optional<int>>>& ids) {
    CoverFlowGroup out;
    out.id.title = title;
    for (const auto& [id, position] : ids) {
        Track track;
        track.id = id;
        track.playbackPosition = position;
        out.tracks.append(track);
    }
    return out;
}

} // namespace

TEST_F(HeaderBarTest, OneRowWhenItFitsElseTwoDecidedByTheWidthAlone) {
    openNano();
    TestSupport::drainEvents();
    ASSERT_TRUE(bar().isWide());
    const QRect mode = bar().tableViewButton()->parentWidget()->geometry();
    const QRect search = bar().searchField()->geometry();
    // Centred on one line (to the pixel: heights of odd and even size).
    EXPECT_LE(std::abs(mode.center().y() - search.center().y()), 1);
    EXPECT_GT(search.left(), mode.right());
    // The action bar sits at the right edge, inset.
    EXPECT_EQ(bar().actionBar()->geometry().right(), bar().width() - 22 - 1);
    EXPECT_GE(bar().height(), LibraryPaneHeader::minimumHeight);

    window->resize(800, 600);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !bar().isWide(); }));
    TestSupport::drainEvents();
    const QRect narrowMode = bar().tableViewButton()->parentWidget()->geometry();
    const QRect narrowSearch = bar().searchField()->geometry();
    EXPECT_GT(narrowSearch.top(), narrowMode.bottom());
    EXPECT_EQ(narrowSearch.left(), narrowMode.left());
    EXPECT_LE(std::abs(bar().actionBar()->geometry().center().y() - narrowSearch.center().y()), 1);
    // Both rows are inside the bar.
    EXPECT_LE(narrowSearch.bottom(), bar().height());
    EXPECT_EQ(bar().height(), bar().heightForWidth(bar().width()));

    window->resize(1160, 760);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return bar().isWide(); }));
}

TEST_F(HeaderBarTest, TheViewModeButtonsFollowTheirRules) {
    openNano();
    EXPECT_TRUE(LibraryPaneHeader::isSelectedMode(bar().tableViewButton()));
    EXPECT_FALSE(LibraryPaneHeader::isSelectedMode(bar().coverFlowButton()));

    // From the playlist browser "Cover Flow" goes to all tracks, grouped by album.
    view().setCoverFlowGrouping(CoverFlowGroup::Grouping::genres);
    view().selectLibraryScope(LibraryScope::browser());
    EXPECT_FALSE(LibraryPaneHeader::isSelectedMode(bar().tableViewButton()));
    EXPECT_FALSE(LibraryPaneHeader::isSelectedMode(bar().coverFlowButton()));
    EXPECT_FALSE(bar().actionBar()->isVisible());
    QTest::mouseClick(bar().coverFlowButton(), Qt::LeftButton);
    EXPECT_EQ(view().state().libraryScope, LibraryScope::allTracks());
    EXPECT_TRUE(view().state().showsCoverFlow);
    EXPECT_EQ(view().state().coverFlowGrouping, CoverFlowGroup::Grouping::albums);
    EXPECT_TRUE(LibraryPaneHeader::isSelectedMode(bar().coverFlowButton()));
    EXPECT_TRUE(bar().actionBar()->isVisible());
    ASSERT_EQ(content().shown(), LibraryContent::Shown::coverFlow);

    // The selected button again keeps the scoped table's selection.
    CoverFlowContent* flow = content().coverFlow();
    ASSERT_NE(flow->trackTable(), nullptr);
    const TrackRow::ID first = flow->trackTable()->trackModel()->rowAt(0).id();
    view().setScopedTrackSelection({first});
    EXPECT_EQ(bar().actionBar()->trackIDs(), (QList<quint64>{first.trackID}));
    QTest::mouseClick(bar().coverFlowButton(), Qt::LeftButton);
    EXPECT_EQ(view().state().scopedTrackSelection, (QSet<TrackRow::ID>{first}));
    QTest::mouseClick(bar().tableViewButton(), Qt::LeftButton);
    EXPECT_FALSE(view().state().showsCoverFlow);
    EXPECT_TRUE(view().state().scopedTrackSelection.isEmpty());
    EXPECT_EQ(content().shown(), LibraryContent::Shown::allTracksTable);

    // An empty playlist has nothing to show either way.
    view().selectLibraryScope(LibraryScope::playlist(playlistID(QStringLiteral("Empty"))));
    EXPECT_FALSE(bar().tableViewButton()->isEnabled());
    EXPECT_FALSE(bar().coverFlowButton()->isEnabled());
    view().selectLibraryScope(LibraryScope::playlist(playlistID(QStringLiteral("Mix"))));
    EXPECT_TRUE(bar().coverFlowButton()->isEnabled());
}

TEST_F(HeaderBarTest, TheScopeMenuListsTheScopesAndOffersANewPlaylist) {
    openNano();
    ASSERT_TRUE(bar().hasScopeMenu());
    EXPECT_EQ(bar().scopeTitle(), QStringLiteral("All Tracks"));
    EXPECT_EQ(bar().scopeCount(), std::optional<qsizetype>(3));
    EXPECT_EQ(menuTexts(), (QStringList{"All Tracks · 3", "Mix · 2", "Empty · 0", "-",
                                        "Browse Playlists", "-", "New Playlist on iPod…"}));
    EXPECT_TRUE(menuAction(QStringLiteral("All Tracks · 3"))->isChecked());

    // A playlist: its name and count; the scoped table starts over only for another scope.
    menuAction(QStringLiteral("Mix · 2"))->trigger();
    const quint64 mix = playlistID(QStringLiteral("Mix"));
    EXPECT_EQ(view().state().libraryScope, LibraryScope::playlist(mix));
    EXPECT_EQ(bar().scopeTitle(), QStringLiteral("Mix"));
    EXPECT_EQ(bar().scopeCount(), std::optional<qsizetype>(2));
    EXPECT_EQ(bar().scopeControl()->toolTip(), QStringLiteral("Mix"));
    const TrackRow::ID row = scopedTable().trackModel()->rowAt(0).id();
    view().setScopedTrackSelection({row});
    menuAction(QStringLiteral("Mix · 2"))->trigger();
    EXPECT_EQ(view().state().scopedTrackSelection, (QSet<TrackRow::ID>{row}));
    menuAction(QStringLiteral("Browse Playlists"))->trigger();
    EXPECT_EQ(view().state().libraryScope, LibraryScope::browser());
    EXPECT_TRUE(view().state().scopedTrackSelection.isEmpty());
    EXPECT_EQ(bar().scopeTitle(), QStringLiteral("Device Playlists"));
    EXPECT_EQ(bar().scopeCount(), std::nullopt);

    // Only the tracks the main playlist lists are offered, none ticked, with no name.
    menuAction(QStringLiteral("New Playlist on iPod…"))->trigger();
    ASSERT_TRUE(view().state().newPlaylistRequest);
    const NewPlaylistRequest& request = *view().state().newPlaylistRequest;
    QStringList offered;
    for (const Track& track : request.tracks)
        offered.append(track.title);
    EXPECT_EQ(offered, (QStringList{"Alpha", "Bravo"}));
    EXPECT_TRUE(request.name.isEmpty());
    EXPECT_FALSE(request.selectAll);
    EXPECT_EQ(request.deviceID, *store->selectedDiskID());

    // Not while an operation runs.
    IPodStoreTestAccess::setActiveDeviceID(*store, store->selectedDiskID());
    EXPECT_FALSE(menuAction(QStringLiteral("New Playlist on iPod…"))->isEnabled());
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
}

TEST_F(HeaderBarTest, TheSearchBoxWritesTheSearchAndClearsIt) {
    openNano();
    LibrarySearchField* search = bar().searchField();
    EXPECT_EQ(search->lineEdit()->placeholderText(), QStringLiteral("Search by Title or Artist"));
    EXPECT_FALSE(search->clearButton()->isVisibleTo(search));
    QTest::keyClicks(search->lineEdit(), QStringLiteral("bra"));
    EXPECT_EQ(view().state().librarySearch, QStringLiteral("bra"));
    EXPECT_EQ(tableTitles(tableModel()), (QStringList{"Bravo"}));
    ASSERT_TRUE(search->clearButton()->isVisibleTo(search));
    EXPECT_EQ(search->clearButton()->accessibleName(), QStringLiteral("Clear Search"));
    QTest::mouseClick(search->clearButton(), Qt::LeftButton);
    EXPECT_TRUE(view().state().librarySearch.isEmpty());
    EXPECT_EQ(tableModel().rowCount(), 3);
    EXPECT_FALSE(search->clearButton()->isVisibleTo(search));
    // A reset by the window empties the box too.
    view().setLibrarySearch(QStringLiteral("x"));
    EXPECT_EQ(search->text(), QStringLiteral("x"));
}

TEST_F(HeaderBarTest, AShuffleHasAPlainAllTracksLabelAndNoGroupPlaylists) {
    open({makeVolume(root + QStringLiteral("/Shuffle"),
                     {{.title = QStringLiteral("Alpha")}, {.title = QStringLiteral("Bravo")}}, {},
                     QStringLiteral("MA546"))});
    waitForLibrary();
    EXPECT_FALSE(bar().hasScopeMenu());
    EXPECT_EQ(bar().scopeControl()->menu(), nullptr);
    EXPECT_EQ(bar().scopeTitle(), QStringLiteral("All Tracks"));
    EXPECT_EQ(bar().scopeCount(), std::optional<qsizetype>(2));
    QTest::mouseClick(bar().coverFlowButton(), Qt::LeftButton);
    ASSERT_EQ(content().shown(), LibraryContent::Shown::coverFlow);
    EXPECT_FALSE(content().coverFlow()->canAddGroupPlaylist());
    ASSERT_NE(content().coverFlow()->flowView(), nullptr);
    EXPECT_FALSE(content().coverFlow()->flowView()->addPlaylistButton()->isVisibleTo(
        content().coverFlow()->flowView()));
    content().coverFlow()->addGroupPlaylist(content().coverFlow()->groups().first());
    EXPECT_FALSE(view().state().newPlaylistRequest);
}

TEST_F(HeaderBarTest, CoverFlowGroupsTheListedTracksAndMakesGroupPlaylists) {
    openNano();
    QTest::mouseClick(bar().coverFlowButton(), Qt::LeftButton);
    CoverFlowContent* flow = content().coverFlow();
    ASSERT_EQ(content().shown(), LibraryContent::Shown::coverFlow);
    EXPECT_TRUE(flow->groupingButton(CoverFlowGroup::Grouping::albums)->isChecked());
    EXPECT_EQ(flow->groupingButton(CoverFlowGroup::Grouping::artists)->text(),
              QStringLiteral("Artists"));
    ASSERT_EQ(flow->groups().size(), 2);
    EXPECT_EQ(flow->groups()[0].id.title, QStringLiteral("One"));
    CoverFlowView* covers = flow->flowView();
    ASSERT_NE(covers, nullptr);
    EXPECT_EQ(covers->groups().size(), 2);
    EXPECT_EQ(covers->device().id, *store->selectedDiskID());
    // Under the covers, the scoped table of the settled group, numbered afresh.
    ASSERT_NE(flow->trackTable(), nullptr);
    EXPECT_EQ(covers->trackTableWidget(), flow->trackTable());
    EXPECT_EQ(tableTitles(*flow->trackTable()->trackModel()), (QStringList{"Alpha", "Charlie"}));
    EXPECT_EQ(flow->trackTable()->trackModel()->rowAt(1).position, std::optional<int>(2));

    // Another group settles: its rows start the scoped table over.
    view().setScopedTrackSelection({flow->trackTable()->trackModel()->rowAt(0).id()});
    covers->setSelection(1);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return covers->settledSelection() == 1; }));
    EXPECT_EQ(tableTitles(*flow->trackTable()->trackModel()), (QStringList{"Bravo"}));
    EXPECT_TRUE(view().state().scopedTrackSelection.isEmpty());
    // The action bar acts on the group table's selection.
    const TrackRow::ID bravo = flow->trackTable()->trackModel()->rowAt(0).id();
    view().setScopedTrackSelection({bravo});
    EXPECT_EQ(bar().actionBar()->trackIDs(), (QList<quint64>{bravo.trackID}));

    // Another grouping builds the covers afresh. The old view is gone (its address may well be
    // handed out again, so the pointers themselves are not compared).
    const QPointer<CoverFlowView> oldCovers = covers;
    QTest::mouseClick(flow->groupingButton(CoverFlowGroup::Grouping::genres), Qt::LeftButton);
    EXPECT_EQ(view().state().coverFlowGrouping, CoverFlowGroup::Grouping::genres);
    ASSERT_EQ(flow->groups().size(), 1);
    EXPECT_TRUE(flow->groups()[0].id.title.isEmpty());
    EXPECT_TRUE(oldCovers.isNull());
    covers = flow->flowView();
    ASSERT_NE(covers, nullptr);
    EXPECT_EQ(tableTitles(*flow->trackTable()->trackModel()),
              (QStringList{"Alpha", "Bravo", "Charlie"}));
    EXPECT_TRUE(view().state().scopedTrackSelection.isEmpty());

    // The covers' add button: a playlist of the genre-less group under the unknown genre's
    // name, all ticked, without the track the main playlist does not list.
    ASSERT_TRUE(flow->canAddGroupPlaylist());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return covers->addPlaylistButton()->isEnabled(); }));
    covers->addPlaylistButton()->click();
    ASSERT_TRUE(view().state().newPlaylistRequest);
    EXPECT_EQ(view().state().newPlaylistRequest->name, QStringLiteral("Unknown Genre"));
    EXPECT_TRUE(view().state().newPlaylistRequest->selectAll);
    EXPECT_EQ(view().state().newPlaylistRequest->tracks.size(), 2);

    // A search without matches shows the placeholder; a playlist shows its own tracks in order.
    view().setLibrarySearch(QStringLiteral("zzz"));
    EXPECT_TRUE(flow->placeholder()->isVisible());
    EXPECT_EQ(flow->placeholder()->titleLabel()->text(), QStringLiteral("No Matching Tracks"));
    view().setLibrarySearch(QString());
    view().selectLibraryScope(LibraryScope::playlist(playlistID(QStringLiteral("Mix"))));
    ASSERT_EQ(content().shown(), LibraryContent::Shown::coverFlow);
    EXPECT_EQ(tableTitles(*flow->trackTable()->trackModel()), (QStringList{"Bravo", "Alpha"}));
}

TEST(CoverFlowGroupPlaylist, PositionedTracksOnceEachInGroupOrderUnderTheGroupsName) {
    const CoverFlowGroup mixed =
        group(QStringLiteral("Album"), {{7, 3}, {8, std::nullopt}, {7, 3}, {5, 1}, {9, 2}});
    QList<quint64> ids;
    for (const Track& track : CoverFlowContent::groupPlaylistTracks(mixed))
        ids.append(track.id);
    EXPECT_EQ(ids, (QList<quint64>{7, 5, 9}));
    EXPECT_EQ(CoverFlowContent::groupPlaylistName(mixed, QStringLiteral("Unknown Album")),
              QStringLiteral("Album"));
    const CoverFlowGroup untitled = group(QString(), {{1, std::nullopt}});
    EXPECT_EQ(CoverFlowContent::groupPlaylistName(untitled, QStringLiteral("Unknown Album")),
              QStringLiteral("Unknown Album"));
    EXPECT_TRUE(CoverFlowContent::groupPlaylistTracks(untitled).isEmpty());
}

TEST(LibraryPaneHeaderText, ScopeItemsCountInTheInterfaceLanguage) {
    EXPECT_EQ(
        LibraryPaneHeader::scopeItemText(QStringLiteral("All Tracks"), 1234, AppLanguage::english),
        QStringLiteral("All Tracks · 1,234"));
    EXPECT_EQ(LibraryPaneHeader::scopeItemText(QStringLiteral("全部曲目"), 1234,
                                               AppLanguage::simplifiedChinese),
              QStringLiteral("全部曲目 · 1,234"));
}

// Edited with the keys alone (the menu key, the menu, the sheet and Return), in the table view
// and in cover flow's group table: the row shows the edit, the table keeps its selection, its
// scroll, its current row and the focus, and Down goes on from that row.
TEST_F(HeaderBarTest, AnEditShowsInEitherTableWhichKeepsItsRowsScrollAndFocus) {
    // One album of forty songs; the editor rewrites the file of the 31st.
    const QString file = root + QStringLiteral("/edited.mp3");
    TestSupport::ToneSpec tone;
    tone.seconds = 1;
    ASSERT_TRUE(TestSupport::makeTone(file, tone));
    QList<TrackSpec> tracks;
    for (int t = 0; t < 40; ++t)
        tracks.append({.title = QStringLiteral("Song %1").arg(t + 1),
                       .album = QStringLiteral("Album"),
                       .withoutFile = true});
    constexpr int edited = 30;
    tracks[edited].withoutFile = false;
    tracks[edited].sourceFile = file;
    open({makeVolume(root + QStringLiteral("/Pod"), tracks)});
    waitForLibrary();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    for (const bool coverFlow : {false, true}) {
        SCOPED_TRACE(coverFlow ? "cover flow" : "table view");
        if (coverFlow)
            QTest::mouseClick(bar().coverFlowButton(), Qt::LeftButton);
        const QPointer<TrackTableView> shown =
            coverFlow ? content().coverFlow()->trackTable() : &table();
        ASSERT_NE(shown, nullptr);
        TrackTableView& table = *shown;
        table.setFocus();
        table.setCurrentIndex(
            table.model()->index(edited, table.trackModel()->sectionOf(TrackColumn::title)));
        table.scrollTo(table.currentIndex(), QAbstractItemView::PositionAtCenter);
        TestSupport::drainEvents();
        const TrackRow::ID id = table.trackModel()->rowAt(edited).id();
        ASSERT_EQ(table.trackModel()->selection(), (QSet<TrackRow::ID>{id}));
        const int scrolled = table.verticalScrollBar()->value();
        ASSERT_GT(scrolled, 0);

        // The menu key opens the menu of the focused table, as the window system delivers it.
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        QApplication::sendEvent(window->windowHandle(), &menuKey);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QTest::keyClick(menu, Qt::Key_Down);
        ASSERT_EQ(menu->activeAction()->text(), QStringLiteral("Edit Track Info"));
        QTest::keyClick(menu, Qt::Key_Return);
        ASSERT_TRUE(TestSupport::waitUntil(
            [] { return qobject_cast<QDialog*>(QApplication::activeWindow()) != nullptr; }));
        const QString title = QStringLiteral("Edited in %1").arg(coverFlow);
        QWidget* field = QApplication::focusWidget();
        ASSERT_NE(qobject_cast<QLineEdit*>(field), nullptr);
        qobject_cast<QLineEdit*>(field)->selectAll();
        QTest::keyClicks(field, title);
        QTest::keyClick(field, Qt::Key_Return);
        waitForOperation();
        ASSERT_FALSE(store->alert()) << qPrintable(*store->alert());
        TestSupport::drainEvents();

        ASSERT_EQ(coverFlow ? content().coverFlow()->trackTable() : &this->table(), shown);
        EXPECT_EQ(table.trackModel()->rowAt(edited).track.title, title);
        EXPECT_EQ(table.trackModel()->selection(), (QSet<TrackRow::ID>{id}));
        const QModelIndexList selected = table.selectionModel()->selectedRows();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected.first().row(), edited);
        EXPECT_EQ(table.currentIndex().row(), edited);
        EXPECT_EQ(table.verticalScrollBar()->value(), scrolled);
        EXPECT_EQ(QApplication::focusWidget(), &table);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_EQ(table.currentIndex().row(), edited + 1);
        EXPECT_EQ(table.trackModel()->selection(),
                  (QSet<TrackRow::ID>{table.trackModel()->rowAt(edited + 1).id()}));
        EXPECT_EQ(table.verticalScrollBar()->value(), scrolled);
    }
}

// An edit that moves the focused row's track to another album gives cover flow a new group
// table, and another group settled on gives another: the keyboard stays in the table, on its
// first row, and Down goes on from there.
TEST_F(HeaderBarTest, AnEditThatMovesATrackOutOfItsGroupKeepsTheFocusInTheGroupTable) {
    const QString file = root + QStringLiteral("/moved.mp3");
    TestSupport::ToneSpec tone;
    tone.seconds = 1;
    ASSERT_TRUE(TestSupport::makeTone(file, tone));
    open({makeVolume(
        root + QStringLiteral("/Pod"),
        {{.title = QStringLiteral("A1"), .album = QStringLiteral("A")},
         {.title = QStringLiteral("A2"), .album = QStringLiteral("A"), .sourceFile = file},
         {.title = QStringLiteral("A3"), .album = QStringLiteral("A")}})});
    waitForLibrary();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::mouseClick(bar().coverFlowButton(), Qt::LeftButton);
    QPointer<TrackTableView> table = content().coverFlow()->trackTable();
    ASSERT_NE(table, nullptr);
    table->setFocus();
    table->setCurrentIndex(table->model()->index(1, 1));
    const Track moved = table->trackModel()->rowAt(1).track;
    ASSERT_EQ(moved.title, QStringLiteral("A2"));

    store->saveTrackMetadata(
        moved.id,
        {moved.title, moved.artist, QStringLiteral("Zed"), moved.albumArtist, moved.genre},
        *store->selectedDiskID());
    waitForOperation();
    ASSERT_FALSE(store->alert()) << qPrintable(*store->alert());
    TestSupport::drainEvents();
    const struct {
        const char* after;
        QStringList titles;
        std::function<void()> next; // what gives the table after it
    } steps[] = {
        {"the edit",
         {"A1", "A3"},
         [&] {
             QTest::mouseClick(content().coverFlow()->flowView()->nextGroupButton(),
                               Qt::LeftButton);
         }},
        {"the next group", {"A2"}, {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.after);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return table.isNull(); }));
        table = content().coverFlow()->trackTable();
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(tableTitles(*table->trackModel()), step.titles);
        EXPECT_EQ(QApplication::focusWidget(), table);
        EXPECT_EQ(table->currentIndex().row(), 0);
        // Nothing is selected: the group's rows are other rows.
        EXPECT_TRUE(view().state().scopedTrackSelection.isEmpty());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        const int down = std::min(1, int(step.titles.size()) - 1);
        EXPECT_EQ(table->currentIndex().row(), down);
        if (step.next)
            step.next();
    }
}

TEST_F(HeaderBarTest, TheShortestWindowKeepsTheCoversAndBothTablesUsable) {
    openNano();
    window->resize(window->minimumWidth(), 1);
    TestSupport::drainEvents();
    ASSERT_EQ(window->height(), MainWindow::minimumHeight);
    const int tableRows =
        table().viewport()->height() / table().verticalHeader()->defaultSectionSize();
    EXPECT_GE(tableRows, 8);

    QTest::mouseClick(bar().coverFlowButton(), Qt::LeftButton);
    CoverFlowContent* flow = content().coverFlow();
    ASSERT_NE(flow->flowView(), nullptr);
    ASSERT_NE(flow->trackTable(), nullptr);
    TestSupport::drainEvents();
    // Room for covers, not specks, and for a few rows of the group under them.
    EXPECT_GE(flow->flowView()->control()->height(), 170);
    const int groupRows = flow->trackTable()->viewport()->height() /
                          flow->trackTable()->verticalHeader()->defaultSectionSize();
    EXPECT_GE(groupRows, 3);
}

TEST_F(HeaderBarTest, TheCoverCaptionStaysUnderTheCoverAndClearOfTheButtons) {
    const QString artist = QStringLiteral("The Extraordinarily Long-Named Philharmonic Orchestra "
                                          "and Chorus of the Northern Provinces");
    open({makeVolume(
        root + QStringLiteral("/Pod"),
        {{.title = QStringLiteral("Alpha"), .artist = artist, .album = QStringLiteral("One")},
         {.title = QStringLiteral("Bravo"), .album = QStringLiteral("Two")}})});
    waitForLibrary();
    QTest::mouseClick(bar().coverFlowButton(), Qt::LeftButton);
    CoverFlowView* covers = content().coverFlow()->flowView();
    ASSERT_NE(covers, nullptr);
    ASSERT_EQ(covers->captionArtist(), artist);
    const auto inView = [covers](QWidget* w) {
        return QRectF(QPointF(w->mapTo(covers, QPoint(0, 0))), QSizeF(w->size()));
    };
    // The smallest window, the default one, and one of the stage's full height.
    for (const QSize size : {QSize(800, 640), QSize(1160, 760), QSize(1400, 1000)}) {
        SCOPED_TRACE(size.width());
        window->resize(size);
        TestSupport::drainEvents();
        covers->control()->flushLayout();
        ASSERT_EQ(window->size(), size);
        const QRectF caption = inView(covers->captionWidget());
        const QRectF cover =
            covers->control()->selectedItemFrame().translated(inView(covers->control()).topLeft());
        ASSERT_FALSE(cover.isEmpty());
        EXPECT_GE(caption.top(), cover.bottom());
        EXPECT_FALSE(caption.intersects(inView(covers->addPlaylistButton())));
        EXPECT_FALSE(caption.intersects(inView(covers->nextGroupButton()->parentWidget())));
        EXPECT_TRUE(covers->addPlaylistButton()->isVisible());
        EXPECT_GT(caption.width(), 200);
    }
}

TEST_F(HeaderBarTest, TheCoverCaptionLeavesTheScrollBarClear) {
    // The interface's own fonts, whose Han lines are taller than the Latin ones.
    const QFont desktopFont = QApplication::font();
    InterfaceFont::apply();
    const QString artist = QStringLiteral("Gypsy Quartet 北方乐队");
    QList<TrackSpec> tracks;
    for (int i = 0; i < 20; ++i)
        tracks.append({.title = QStringLiteral("Song %1").arg(i),
                       .artist = artist,
                       .album = QStringLiteral("Quay %1 夏季").arg(i)});
    open({makeVolume(root + QStringLiteral("/Pod"), tracks)});
    waitForLibrary();
    QTest::mouseClick(bar().coverFlowButton(), Qt::LeftButton);
    CoverFlowView* covers = content().coverFlow()->flowView();
    ASSERT_NE(covers, nullptr);
    ASSERT_EQ(covers->captionArtist(), artist);
    for (const char* language : {"en", "zh-Hans"}) {
        Settings::shared().setValue(Settings::Keys::appLanguage, QString::fromLatin1(language));
        for (const QSize size : {QSize(800, 640), QSize(1160, 760), QSize(1400, 1000)}) {
            SCOPED_TRACE(testing::Message() << language << " " << size.width());
            window->resize(size);
            TestSupport::drainEvents();
            covers->control()->flushLayout();
            ASSERT_EQ(window->size(), size);
            // The caption's ink: what the stage loses when the caption goes.
            QWidget* stage = covers->stage();
            const QImage with = stage->grab().toImage();
            covers->captionWidget()->hide();
            const QImage without = stage->grab().toImage();
            covers->captionWidget()->show();
            int lowestInk = -1;
            for (int y = 0; y < with.height(); ++y)
                for (int x = 0; x < with.width(); ++x)
                    if (with.pixel(x, y) != without.pixel(x, y))
                        lowestInk = y;
            ASSERT_GE(lowestInk, 0);
            const QRectF frame = covers->control()->scrollBarLayer().frame();
            const double barTop = covers->control()->height() - frame.bottom();
            // A few blank rows between the lowest glyph and the bar, the covers still above.
            EXPECT_LT(lowestInk, barTop - 3);
            EXPECT_GE(covers->captionWidget()->y(),
                      covers->control()->selectedItemFrame().bottom());
        }
    }
    QApplication::setFont(desktopFont);
}
