// The new-playlist sheet's track model under Qt's model tester: ticks that outlive the rows
// shown, and a track offered twice ticked on both rows.

#include "browser/NewPlaylistTrackModel.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace {

Track track(quint64 id, const QString& title, const QString& artist) {
    Track t;
    t.id = id;
    t.title = title;
    t.artist = artist;
    return t;
}

} // namespace

TEST(NewPlaylistTrackModel, TicksFollowTheTracksNotTheRows) {
    NewPlaylistTrackModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy edited(&model, &NewPlaylistTrackModel::selectionEdited);
    const QList<Track> all = {track(1, QStringLiteral("One"), QStringLiteral("A")),
                              track(2, QStringLiteral("Two"), QStringLiteral("B")),
                              track(1, QStringLiteral("One"), QStringLiteral("A"))};
    model.setTracks(all);
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(1, NewPlaylistTrackModel::artistColumn).data(), QStringLiteral("B"));
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.index(0, 1).data(Qt::CheckStateRole).isValid());

    // Ticking the first row ticks the same track's other row too.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(model.index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(edited.count(), 1);
    EXPECT_FALSE(model.setData(model.index(0, 1), Qt::Checked, Qt::CheckStateRole));

    // Showing fewer rows keeps the tick of the hidden track.
    model.setTracks({all[1]});
    EXPECT_TRUE(model.isTrackSelected(1));
    EXPECT_EQ(model.index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    model.setTracks(all);
    EXPECT_EQ(model.index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(model.setData(model.index(2, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_TRUE(model.selected().isEmpty());

    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Title"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Artist"));
}
