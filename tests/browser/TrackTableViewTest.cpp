// The track table on the offscreen platform: header clicks, the selection as a set of row ids,
// the rows a right click or a double click acts on, the Delete key, the colours the cells are
// drawn in, the now-playing bars and the empty list's placeholder.

#include "browser/TrackTableView.h"
#include "appmodel/LorvPalette.h"
#include "appmodel/ReduceMotion.h"
#include "browser/EmptyStatePlaceholder.h"
#include "browser/NowPlayingIndicator.h"
#include "browser/TextStyle.h"
#include "browser/TrackCellDelegate.h"
#include "browser/TrackTableModel.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTest>

#include <functional>

namespace {

Track track(quint64 id, const QString& title, const QString& format = QStringLiteral("MP3")) {
    Track t;
    t.id = id;
    t.title = title;
    t.artist = QStringLiteral("Artist");
    t.format = format;
    t.playbackPosition = int(id);
    return t;
}

struct Table {
    TrackTableView view{TrackTableView::Kind::allTracks};
    TrackTableModel& model = *view.trackModel();

    Table() {
        model.setLanguage(AppLanguage::english);
        model.setTracks({track(1, QStringLiteral("Charlie")),
                         track(2, QStringLiteral("Alpha"), QStringLiteral("WAV audio file")),
                         track(3, QStringLiteral("Bravo")), track(4, QStringLiteral("Delta"))});
        view.resize(900, 300);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    QPoint cellCenter(int row, TrackColumn column) {
        return view.visualRect(model.index(row, model.sectionOf(column))).center();
    }
    void clickHeader(TrackColumn column) {
        QHeaderView* header = view.horizontalHeader();
        const int section = model.sectionOf(column);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 8, 8));
    }
    QColor pixel(const QPoint& at) { return view.viewport()->grab().toImage().pixelColor(at); }
};

TrackRow::ID row(quint64 id) {
    return {id, std::nullopt};
}

} // namespace

TEST(TrackTableView, HeaderClicksSortAndReportTheOrderButRatingIsNotSortable) {
    Table table;
    table.model.setSupportsRatings(true);
    QSignalSpy orders(&table.view, &TrackTableView::sortOrderChangeRequested);
    table.clickHeader(TrackColumn::title);
    ASSERT_EQ(orders.count(), 1);
    EXPECT_EQ(orders.last().first().value<TrackSortOrder>(),
              (TrackSortOrder{{TrackColumn::title, true}}));
    EXPECT_EQ(table.model.rowAt(0).track.title, QStringLiteral("Alpha"));
    EXPECT_EQ(table.view.horizontalHeader()->sortIndicatorSection(),
              table.model.sectionOf(TrackColumn::title));

    table.clickHeader(TrackColumn::title);
    EXPECT_EQ(table.model.rowAt(0).track.title, QStringLiteral("Delta"));
    EXPECT_EQ(table.view.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    table.clickHeader(TrackColumn::rating);
    EXPECT_EQ(orders.count(), 2);
    EXPECT_EQ(table.view.horizontalHeader()->sortIndicatorSection(),
              table.model.sectionOf(TrackColumn::title));

    // An empty order shows no indicator and the rows in their given order.
    table.model.setSortOrder({});
    EXPECT_EQ(table.view.horizontalHeader()->sortIndicatorSection(), -1);
    EXPECT_EQ(table.model.rowAt(0).track.title, QStringLiteral("Charlie"));
}

TEST(TrackTableView, TheSelectionIsASetOfRowIdsThatStaysThroughASort) {
    Table table;
    QSignalSpy selections(&table.view, &TrackTableView::selectionChangeRequested);
    QTest::mouseClick(table.view.viewport(), Qt::LeftButton, {},
                      table.cellCenter(0, TrackColumn::title));
    QTest::mouseClick(table.view.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      table.cellCenter(2, TrackColumn::title));
    ASSERT_GE(selections.count(), 2);
    const QSet<TrackRow::ID> chosen = {row(1), row(3)};
    EXPECT_EQ(selections.last().first().value<QSet<TrackRow::ID>>(), chosen);
    EXPECT_EQ(table.model.selection(), chosen);

    table.model.setSortOrder({{TrackColumn::title, true}}); // Alpha, Bravo, Charlie, Delta
    const int before = int(selections.count());
    EXPECT_EQ(table.view.selectionModel()->selectedRows().size(), 2);
    EXPECT_TRUE(table.view.selectionModel()->isRowSelected(1, {}));
    EXPECT_TRUE(table.view.selectionModel()->isRowSelected(2, {}));

    // A selection the main view sets is shown without being reported back.
    table.view.setSelectedRows({row(4)});
    EXPECT_TRUE(table.view.selectionModel()->isRowSelected(3, {}));
    EXPECT_EQ(table.view.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(selections.count(), before);
}

TEST(TrackTableView, ARightClickKeepsTheSelectionAndTheMenuActsOnTheRowsUnderThePointer) {
    Table table;
    table.view.setSelectedRows({row(1), row(2)});
    QList<quint64> offered;
    table.view.setMenuProvider([&](QMenu& menu, const QList<quint64>& ids) {
        offered = ids;
        menu.addAction(QStringLiteral("Act"));
    });
    QTest::mousePress(table.view.viewport(), Qt::RightButton, {},
                      table.cellCenter(3, TrackColumn::title));
    QTest::mouseRelease(table.view.viewport(), Qt::RightButton, {},
                        table.cellCenter(3, TrackColumn::title));
    EXPECT_EQ(table.model.selection(), (QSet<TrackRow::ID>{row(1), row(2)}));

    std::unique_ptr<QMenu> outside(
        table.view.contextMenuAt(table.cellCenter(3, TrackColumn::title)));
    ASSERT_TRUE(outside);
    EXPECT_EQ(offered, (QList<quint64>{4}));
    std::unique_ptr<QMenu> inside(
        table.view.contextMenuAt(table.cellCenter(1, TrackColumn::title)));
    ASSERT_TRUE(inside);
    EXPECT_EQ(offered, (QList<quint64>{1, 2}));
    // The ids come in the order the rows are shown: by title, Alpha (2) leads Charlie (1).
    table.clickHeader(TrackColumn::title);
    inside.reset(table.view.contextMenuAt(table.cellCenter(0, TrackColumn::title)));
    ASSERT_TRUE(inside);
    EXPECT_EQ(offered, (QList<quint64>{2, 1}));
    EXPECT_EQ(table.view.trackIDsInTableOrder({4, 1, 9, 2, 7}), (QList<quint64>{2, 1, 4, 7, 9}));
    // Below the last row there is nothing to act on.
    EXPECT_EQ(table.view.contextMenuAt(QPoint(10, table.view.viewport()->height() - 2)), nullptr);
}

TEST(TrackTableView, ADoubleClickPreviewsOneRowButNeverAStagedPlaceholder) {
    Table table;
    table.model.setStagedTrackIDs({3});
    QSignalSpy previews(&table.view, &TrackTableView::previewRequested);
    // A double click is a click followed by the double-click press.
    auto doubleClick = [&](int r) {
        const QPoint at = table.cellCenter(r, TrackColumn::title);
        QTest::mouseClick(table.view.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table.view.viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick(1);
    ASSERT_EQ(previews.count(), 1);
    EXPECT_EQ(previews.first().first().toULongLong(), 2u);
    doubleClick(2);
    EXPECT_EQ(previews.count(), 1);
}

TEST(TrackTableView, DeleteSendsTheTracksOfTheSelection) {
    Table table;
    QSignalSpy deletions(&table.view, &TrackTableView::deleteRequested);
    table.view.setFocus();
    QTest::keyClick(&table.view, Qt::Key_Delete);
    EXPECT_EQ(deletions.count(), 0); // nothing selected
    table.view.setSelectedRows({row(2), row(4)});
    QTest::keyClick(&table.view, Qt::Key_Delete);
    ASSERT_EQ(deletions.count(), 1);
    EXPECT_EQ(deletions.first().first().value<QSet<quint64>>(), (QSet<quint64>{2, 4}));
    QTest::keyClick(&table.view, Qt::Key_Backspace);
    EXPECT_EQ(deletions.count(), 2);
}

TEST(TrackTableView, RowsAndBadgesAreDrawnInTheirPaletteColours) {
    Table table;
    table.view.setSelectedRows({row(3)});
    // The right end of a duration cell carries only the row colour.
    auto rowColour = [&](int r) {
        const QRect cell =
            table.view.visualRect(table.model.index(r, table.model.sectionOf(TrackColumn::genre)));
        return table.pixel(QPoint(cell.right() - 3, cell.top() + 2)).rgb();
    };
    EXPECT_EQ(rowColour(2), LorvPalette::indigoDeep().rgb());
    EXPECT_EQ(rowColour(0), LorvPalette::night900().rgb());

    // The badge's left edge: plum for WAV, slate for the others.
    auto badge = [&](int r) {
        const QRect cell =
            table.view.visualRect(table.model.index(r, table.model.sectionOf(TrackColumn::format)));
        return table.pixel(QPoint(cell.left() + 8, cell.center().y())).rgb();
    };
    EXPECT_EQ(badge(1), LorvPalette::plumDeep().rgb());
    EXPECT_EQ(badge(0), LorvPalette::slate600().rgb());
}

TEST(TrackTableView, NowPlayingBarsMoveAt24HzAndStandStillWhenMotionIsReduced) {
    EXPECT_NEAR(NowPlayingIndicator::barHeight(0, 0), 7.0, 0.01);
    EXPECT_NEAR(NowPlayingIndicator::barHeight(1, 0), 10.99, 0.01);
    EXPECT_NEAR(NowPlayingIndicator::barHeight(2, 0), 7.56, 0.01);
    for (double t = 0; t < 3; t += 0.37) {
        for (int bar = 0; bar < 3; ++bar) {
            EXPECT_GE(NowPlayingIndicator::barHeight(bar, t), 3.0);
            EXPECT_LE(NowPlayingIndicator::barHeight(bar, t), 11.0);
        }
    }

    ReduceMotion::setOverride(false);
    Table table;
    EXPECT_FALSE(table.view.isAnimatingNowPlaying());
    table.model.setPlayingTrackID(2);
    EXPECT_TRUE(table.view.isAnimatingNowPlaying());
    // The bars stand where the number was, in the accent colour.
    const QRect cell =
        table.view.visualRect(table.model.index(1, table.model.sectionOf(TrackColumn::number)));
    const QImage image = table.view.viewport()->grab(cell).toImage();
    bool accent = false;
    for (int x = 0; x < image.width() && !accent; ++x)
        for (int y = 0; y < image.height() && !accent; ++y)
            accent = image.pixelColor(x, y).rgb() == LorvPalette::sky().rgb();
    EXPECT_TRUE(accent);

    ReduceMotion::setOverride(true);
    table.model.setPlayingTrackID(3);
    EXPECT_FALSE(table.view.isAnimatingNowPlaying());
    table.model.setPlayingTrackID(std::nullopt);
    ReduceMotion::setOverride(std::nullopt);
    EXPECT_FALSE(table.view.isAnimatingNowPlaying());
}

TEST(TrackTableView, AnEmptyAllTracksTableSaysWhyAndAScopedOneSaysNothing) {
    Table table;
    table.model.setSearch(QStringLiteral("zzz"));
    ASSERT_TRUE(table.view.emptyPlaceholder()->isVisible());
    EXPECT_EQ(table.view.emptyPlaceholder()->titleLabel()->text(),
              QStringLiteral("No Matching Tracks"));
    table.model.batch([&] {
        table.model.setSearch(QStringLiteral("  "));
        table.model.setTracks({});
    });
    EXPECT_EQ(table.view.emptyPlaceholder()->titleLabel()->text(),
              QStringLiteral("Library is empty"));
    table.model.setTracks({track(1, QStringLiteral("One"))});
    EXPECT_FALSE(table.view.emptyPlaceholder()->isVisible());

    TrackTableView scoped(TrackTableView::Kind::scoped);
    scoped.show();
    EXPECT_FALSE(scoped.emptyPlaceholder()->isVisible());
}

TEST(TrackTableView, TheNumberColumnFitsTheWidestNumberWithItsFlagAndTheHeadersArrow) {
    Table table;
    const int section = table.model.sectionOf(TrackColumn::number);
    const int narrow = table.view.columnWidth(section);

    // A 40,000-track iPod: the start flag after "40000" is drawn whole, not cut off.
    QList<Track> many;
    for (quint64 id = 1; id <= 40000; ++id)
        many.append(track(id, QStringLiteral("T%1").arg(id)));
    table.model.batch([&] {
        table.model.setTracks(many);
        table.model.setStartTrackID(40000);
    });
    EXPECT_GT(table.view.columnWidth(section), narrow);
    table.view.scrollToBottom();
    const int last = table.model.rowCount() - 1;
    ASSERT_EQ(table.model.data(table.model.index(last, section)).toString(),
              QStringLiteral("40000"));
    const QRect cell = table.view.visualRect(table.model.index(last, section));
    const QImage image = table.view.viewport()->grab().toImage();
    int flagRight = -1;
    for (int x = cell.left(); x <= cell.right(); ++x)
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            if (image.pixelColor(x, y).rgb() == LorvPalette::sky().rgb())
                flagRight = x;
    EXPECT_GT(flagRight, cell.left() + QFontMetrics(TextStyle::body()).horizontalAdvance("40000"));
    EXPECT_LT(flagRight, cell.right() - TrackCellDelegate::cellInset + 2);

    // A scoped table has no flag; 445 rows need three digits.
    TrackTableView scoped(TrackTableView::Kind::scoped);
    scoped.trackModel()->setTracks(many.mid(0, 445));
    scoped.show();
    EXPECT_GE(scoped.columnWidth(section),
              QFontMetrics(TextStyle::body()).horizontalAdvance(QStringLiteral("445")) +
                  2 * TrackCellDelegate::cellInset);

    // The title stays clear of the sort arrow, in either language.
    for (const AppLanguage language : {AppLanguage::english, AppLanguage::simplifiedChinese}) {
        table.model.setLanguage(language);
        table.model.setSortOrder({{TrackColumn::number, false}});
        QHeaderView* header = table.view.horizontalHeader();
        QStyleOptionHeader option;
        option.initFrom(header);
        option.state |= QStyle::State_Horizontal;
        option.orientation = Qt::Horizontal;
        option.section = section;
        option.text = table.model.headerData(section, Qt::Horizontal).toString();
        option.sortIndicator = QStyleOptionHeader::SortDown;
        option.rect = QRect(0, 0, header->sectionSize(section), header->height());
        const QRect label =
            header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
        const QRect arrow =
            header->style()->subElementRect(QStyle::SE_HeaderArrow, &option, header);
        const int textRight = label.left() + header->fontMetrics().horizontalAdvance(option.text);
        EXPECT_LE(textRight, label.right() + 1) << option.text.toStdString();
        EXPECT_LE(textRight, arrow.left()) << option.text.toStdString();
    }
}

// The keyboard's row is a row id as the selection is: new values in the rows (a reset), a new
// sort or a search that keeps it leave it on its track, and wherever the table was scrolled to
// (away from that row, say) it stays.
TEST(TrackTableView, TheCurrentRowStaysOnItsTrackAndTheScrollWhereItWas) {
    TrackTableView view(TrackTableView::Kind::allTracks);
    TrackTableModel& model = *view.trackModel();
    model.setLanguage(AppLanguage::english);
    QList<Track> tracks;
    for (quint64 id = 1; id <= 60; ++id)
        tracks.append(track(id, QStringLiteral("Song %1").arg(id, 2, 10, QLatin1Char('0'))));
    model.setTracks(tracks);
    view.resize(900, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const int title = model.sectionOf(TrackColumn::title);
    view.setCurrentIndex(model.index(2, title));
    const TrackRow::ID current = model.rowAt(2).id();
    view.scrollToBottom();
    const int scrolled = view.verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);

    const std::pair<const char*, std::function<void()>> changes[] = {
        {"new values",
         [&] {
             tracks[2].title = QStringLiteral("Song 03, edited");
             model.setTracks(tracks);
         }},
        {"a sort",
         [&] {
             model.setSortOrder({{TrackColumn::title, false}});
         }},
        {"a search", [&] { model.setSearch(QStringLiteral("Song")); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        change();
        ASSERT_TRUE(view.currentIndex().isValid());
        EXPECT_EQ(model.rowAt(view.currentIndex().row()).id(), current);
        EXPECT_EQ(view.currentIndex().column(), title);
        EXPECT_EQ(view.verticalScrollBar()->value(), scrolled);
        EXPECT_EQ(model.selection(), (QSet<TrackRow::ID>{current}));
    }
}
