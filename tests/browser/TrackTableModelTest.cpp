// The track tables' model under Qt's model tester: columns, sorting, the search, what each cell
// shows, and how small each update is (an import's placeholders insert rows, a reload resets once).

#include "browser/TrackTableModel.h"
#include "appmodel/LorvPalette.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {

Track track(quint64 id, const QString& title, const QString& artist = {},
            std::optional<int> playbackPosition = std::nullopt) {
    Track t;
    t.id = id;
    t.title = title;
    t.artist = artist;
    t.format = QStringLiteral("MPEG audio file");
    t.playbackPosition = playbackPosition;
    return t;
}

QStringList column(const TrackTableModel& model, TrackColumn which) {
    QStringList out;
    const int section = model.sectionOf(which);
    for (int row = 0; row < model.rowCount(); ++row)
        out.append(model.index(row, section).data().toString());
    return out;
}

QList<quint64> ids(const TrackTableModel& model) {
    QList<quint64> out;
    for (int row = 0; row < model.rowCount(); ++row)
        out.append(model.rowAt(row).track.id);
    return out;
}

struct Spies {
    explicit Spies(TrackTableModel& model)
        : resets(&model, &QAbstractItemModel::modelReset)
        , inserts(&model, &QAbstractItemModel::rowsInserted)
        , removals(&model, &QAbstractItemModel::rowsRemoved)
        , layouts(&model, &QAbstractItemModel::layoutChanged) {}
    QSignalSpy resets, inserts, removals, layouts;
    void clear() {
        resets.clear();
        inserts.clear();
        removals.clear();
        layouts.clear();
    }
};

} // namespace

TEST(TrackTableModel, StaysConsistentThroughEveryKindOfUpdate) {
    TrackTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QList<Track> tracks;
    for (int i = 0; i < 12; ++i)
        tracks.append(track(100 + i, QStringLiteral("Song %1").arg(i % 5),
                            i % 3 ? QStringLiteral("Björk") : QStringLiteral("Moby"),
                            i < 9 ? std::optional<int>(i + 1) : std::nullopt));
    model.setTracks(tracks);
    model.setSortOrder({{TrackColumn::title, false}, {TrackColumn::number, true}});
    model.setSearch(QStringLiteral("bjork"));
    QList<Track> more = tracks;
    more.insert(9, track(900, QStringLiteral("Song 2"), QStringLiteral("Bjork")));
    more.insert(10, track(901, QStringLiteral("Zed"), QStringLiteral("Moby")));
    model.setTracks(more);
    model.setSupportsRatings(true);
    model.setSelection({{100, std::nullopt}, {900, std::nullopt}});
    model.setLanguage(AppLanguage::simplifiedChinese);
    model.setTracks(tracks);
    model.setSearch({});
    model.setSortOrder({{TrackColumn::size, true}});
    model.setRows({{tracks[3], 1}, {tracks[3], 2}});
    model.setTracks({});
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(TrackTableModel, ShowsEightColumnsWithoutRatingsAndNineWithThemInTheLanguage) {
    TrackTableModel model;
    model.setLanguage(AppLanguage::english);
    EXPECT_EQ(model.columnCount(), 8);
    EXPECT_EQ(model.sectionOf(TrackColumn::rating), -1);
    EXPECT_EQ(model.columnAt(model.sectionOf(TrackColumn::format) + 1), TrackColumn::size);
    model.setSupportsRatings(true);
    ASSERT_EQ(model.columnCount(), 9);
    QStringList titles;
    for (int section = 0; section < 9; ++section)
        titles.append(model.headerData(section, Qt::Horizontal).toString());
    EXPECT_EQ(titles, (QStringList{"No.", "Title", "Artist", "Album", "Genre", "Format", "Rating",
                                   "Size", "Duration"}));
    model.setLanguage(AppLanguage::simplifiedChinese);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("序号"));
    EXPECT_EQ(TrackTableModel::columnInfo(TrackColumn::number).idealWidth, 34);
    EXPECT_TRUE(TrackTableModel::columnInfo(TrackColumn::number).isFixed);
    EXPECT_EQ(TrackTableModel::columnInfo(TrackColumn::title).minimumWidth, 116);
    EXPECT_FALSE(TrackTableModel::columnInfo(TrackColumn::rating).isSortable);
}

TEST(TrackTableModel, HeaderClicksPutTheirColumnFirstAndTurnItRound) {
    using O = TrackSortOrder;
    O order = TrackTableModel::sortOrderAfterClicking({}, TrackColumn::title);
    EXPECT_EQ(order, (O{{TrackColumn::title, true}}));
    order = TrackTableModel::sortOrderAfterClicking(order, TrackColumn::title);
    EXPECT_EQ(order, (O{{TrackColumn::title, false}}));
    order = TrackTableModel::sortOrderAfterClicking(order, TrackColumn::artist);
    EXPECT_EQ(order, (O{{TrackColumn::artist, true}, {TrackColumn::title, false}}));
    order = TrackTableModel::sortOrderAfterClicking(order, TrackColumn::title);
    EXPECT_EQ(order, (O{{TrackColumn::title, true}, {TrackColumn::artist, true}}));
    EXPECT_EQ(TrackTableModel::sortOrderAfterClicking(order, TrackColumn::rating), order);
}

TEST(TrackTableModel, SortsUnnumberedRowsAfterNumberedOnesAndKeepsTheGivenOrderWithoutKeys) {
    TrackTableModel model;
    // Playlist positions win over playback positions; rows with neither show no number.
    model.setRows({{track(1, QStringLiteral("a")), std::nullopt},
                   {track(2, QStringLiteral("b"), {}, 7), std::nullopt},
                   {track(3, QStringLiteral("c")), 2},
                   {track(4, QStringLiteral("d")), std::nullopt},
                   {track(5, QStringLiteral("e"), {}, 1), std::nullopt}});
    EXPECT_EQ(ids(model), (QList<quint64>{1, 2, 3, 4, 5}));
    EXPECT_EQ(column(model, TrackColumn::number), (QStringList{"", "7", "2", "", "1"}));
    model.setSortOrder({{TrackColumn::number, true}});
    EXPECT_EQ(ids(model), (QList<quint64>{5, 3, 2, 1, 4}));
    model.setSortOrder({{TrackColumn::number, false}});
    EXPECT_EQ(ids(model), (QList<quint64>{1, 4, 2, 3, 5}));
    model.setSortOrder({});
    EXPECT_EQ(ids(model), (QList<quint64>{1, 2, 3, 4, 5}));
}

TEST(TrackTableModel, StringsSortInTheLanguagesOrderWithTiesBrokenByTheNextKey) {
    TrackTableModel model;
    model.setLanguage(AppLanguage::english);
    model.setTracks({track(1, QStringLiteral("Track 10"), QStringLiteral("B")),
                     track(2, QStringLiteral("track 2"), QStringLiteral("A")),
                     track(3, QStringLiteral("Éclair"), QStringLiteral("C")),
                     track(4, QStringLiteral("apple"), QStringLiteral("B")),
                     track(5, QStringLiteral("Zebra"), QStringLiteral("A")),
                     track(6, QStringLiteral("Apple"), QStringLiteral("A"))});
    model.setSortOrder({{TrackColumn::title, true}});
    // Case aside, accents near their letter, numbers by value; equal keys keep their order.
    EXPECT_EQ(ids(model), (QList<quint64>{4, 6, 3, 2, 1, 5}));
    model.setSortOrder({{TrackColumn::artist, true}, {TrackColumn::title, false}});
    EXPECT_EQ(ids(model), (QList<quint64>{5, 2, 6, 1, 4, 3}));

    // Chinese collates by pinyin: 李 (li) before 张 (zhang).
    model.setLanguage(AppLanguage::simplifiedChinese);
    model.setTracks({track(1, QStringLiteral("张")), track(2, QStringLiteral("李"))});
    model.setSortOrder({{TrackColumn::title, true}});
    EXPECT_EQ(ids(model), (QList<quint64>{2, 1}));
}

TEST(TrackTableModel, TheSearchFiltersOnFoldedTitleAndArtistKeepingTheSortedOrder) {
    TrackTableModel model;
    model.setTracks({track(1, QStringLiteral("Jóga"), QStringLiteral("Björk")),
                     track(2, QStringLiteral("Porcelain"), QStringLiteral("Moby")),
                     track(3, QStringLiteral("Bjork Tribute"), QStringLiteral("Various"))});
    model.setSortOrder({{TrackColumn::title, false}});
    Spies spies(model);
    model.setSearch(QStringLiteral(" BJORK "));
    EXPECT_EQ(ids(model), (QList<quint64>{1, 3}));
    EXPECT_EQ(spies.resets.count(), 1);
    // The same query again, spelled otherwise, changes nothing.
    model.setSearch(QStringLiteral("björk"));
    EXPECT_EQ(spies.resets.count(), 1);
    model.setSearch(QStringLiteral("\n"));
    EXPECT_EQ(ids(model), (QList<quint64>{2, 1, 3}));
}

TEST(TrackTableModel, ImportPlaceholdersInsertAndLeaveAsRowsAndAReloadResetsOnce) {
    TrackTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QList<Track> library;
    for (int i = 0; i < 6; ++i)
        library.append(track(i + 1, QStringLiteral("Song %1").arg(i), {},
                             i < 4 ? std::optional<int>(i + 1) : std::nullopt));
    model.setTracks(library);
    model.setSortOrder({{TrackColumn::title, false}});
    model.setSearch(QStringLiteral("song"));
    Spies spies(model);

    // The store puts placeholders before the first unlisted track.
    QList<Track> staged = library;
    staged.insert(4, track(1001, QStringLiteral("Song 9 new")));
    model.setTracks(staged);
    staged.insert(5, track(1002, QStringLiteral("Other new")));
    model.setTracks(staged);
    staged.insert(6, track(1003, QStringLiteral("Song 3b new")));
    model.setTracks(staged);
    EXPECT_EQ(spies.resets.count(), 0);
    EXPECT_EQ(spies.inserts.count(), 2); // "Other new" does not match the search
    EXPECT_EQ(ids(model), (QList<quint64>{1001, 6, 5, 1003, 4, 3, 2, 1}));

    // Progress or an unchanged list changes nothing.
    model.setTracks(staged);
    EXPECT_EQ(spies.resets.count() + spies.inserts.count() + spies.removals.count(), 2);

    // The import ends: the placeholders go as rows, then the reloaded library resets once.
    model.setTracks(library);
    EXPECT_EQ(spies.removals.count(), 2);
    EXPECT_EQ(spies.resets.count(), 0);
    QList<Track> reloaded = library;
    reloaded.insert(4, track(77, QStringLiteral("Song 9 new"), {}, 5));
    model.batch([&] {
        model.setTracks(reloaded);
        model.setSearch({});
        model.setSortOrder({});
    });
    EXPECT_EQ(spies.resets.count(), 1);
    EXPECT_EQ(ids(model), (QList<quint64>{1, 2, 3, 4, 77, 5, 6}));
}

TEST(TrackTableModel, ASortMovesTheRowsAndTheirPersistentIndexesWithoutAReset) {
    TrackTableModel model;
    model.setTracks({track(1, QStringLiteral("b")), track(2, QStringLiteral("c")),
                     track(3, QStringLiteral("a"))});
    const QPersistentModelIndex kept(model.index(1, 1));
    Spies spies(model);
    model.setSortOrder({{TrackColumn::title, true}});
    EXPECT_EQ(spies.resets.count(), 0);
    EXPECT_EQ(spies.layouts.count(), 1);
    EXPECT_EQ(kept.row(), 2);
    EXPECT_EQ(kept.data().toString(), QStringLiteral("c"));
}

TEST(TrackTableModel, CellsShowDashesBadgesStarsSizesAndDurations) {
    TrackTableModel model;
    model.setLanguage(AppLanguage::english);
    model.setSupportsRatings(true);
    Track wav = track(1, QStringLiteral("Wave"));
    wav.format = QStringLiteral("WAV audio file");
    wav.ratingStars = 3;
    wav.sizeBytes = 4'200'000;
    wav.duration = 3723.9;
    wav.genre = QStringLiteral("Jazz");
    Track bare = track(2, QStringLiteral("Bare"));
    bare.format.clear();
    bare.sizeBytes = 0;
    bare.duration = -5;
    model.setTracks({wav, bare});
    model.setStagedTrackIDs({2});
    model.setStartTrackID(1);
    model.setPlayingTrackID(1);
    model.setSelection({{2, std::nullopt}});

    auto cell = [&](int row, TrackColumn which, int role = Qt::DisplayRole) {
        return model.index(row, model.sectionOf(which)).data(role);
    };
    EXPECT_EQ(cell(0, TrackColumn::format).toString(), QStringLiteral("WAV"));
    EXPECT_TRUE(cell(0, TrackColumn::format, TrackTableModel::isWavRole).toBool());
    EXPECT_EQ(cell(0, TrackColumn::rating).toString(), QStringLiteral("★★★"));
    EXPECT_EQ(cell(0, TrackColumn::rating, Qt::AccessibleTextRole).toString(),
              QStringLiteral("Rating: 3 out of 5"));
    EXPECT_EQ(cell(0, TrackColumn::size).toString(), QStringLiteral("4.2 MB"));
    EXPECT_EQ(cell(0, TrackColumn::duration).toString(), QStringLiteral("1:02:03"));
    EXPECT_EQ(cell(0, TrackColumn::artist).toString(), QStringLiteral("—"));
    EXPECT_EQ(cell(0, TrackColumn::artist, Qt::ToolTipRole).toString(), QString());
    EXPECT_EQ(cell(0, TrackColumn::number, Qt::AccessibleTextRole).toString(),
              QStringLiteral("Now Playing, iPod start track"));
    EXPECT_EQ(cell(0, TrackColumn::number, Qt::ToolTipRole).toString(),
              QStringLiteral("Playback start track saved on the iPod"));
    // The playing track's title is in the accent colour unless its row is selected.
    EXPECT_EQ(cell(0, TrackColumn::title, Qt::ForegroundRole).value<QColor>(), LorvPalette::sky());
    EXPECT_EQ(cell(0, TrackColumn::title, Qt::BackgroundRole).value<QColor>(),
              LorvPalette::night900());

    EXPECT_EQ(cell(1, TrackColumn::format).toString(), QStringLiteral("—"));
    EXPECT_EQ(cell(1, TrackColumn::rating).toString(), QString());
    EXPECT_EQ(cell(1, TrackColumn::size).toString(), QStringLiteral("Zero KB"));
    EXPECT_EQ(cell(1, TrackColumn::duration).toString(), QStringLiteral("00:00"));
    EXPECT_TRUE(cell(1, TrackColumn::title, TrackTableModel::isStagedRole).toBool());
    EXPECT_EQ(cell(1, TrackColumn::genre, Qt::BackgroundRole).value<QColor>(),
              LorvPalette::indigoDeep());
    EXPECT_EQ(cell(1, TrackColumn::genre, Qt::ForegroundRole).value<QColor>(), LorvPalette::mist());
    EXPECT_EQ(cell(0, TrackColumn::genre, Qt::ForegroundRole).value<QColor>(), LorvPalette::fog());
    EXPECT_EQ(TrackTableModel::formatLabel(QStringLiteral("MPEG audio file")),
              QStringLiteral("MPEG audio file"));
}
