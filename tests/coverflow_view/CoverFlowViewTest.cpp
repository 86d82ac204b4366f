#include "CoverFlowViewFixture.h"

#include "coverflow/CoverFlowTrackModel.h"
#include "coverflow/CoverFlowTrackTable.h"
#include "library/StoredCovers.h"
#include "support/AudioFixtures.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <atomic>

#include <gpod/itdb.h>

namespace {

bool near(const QColor& a, const QColor& b, int tolerance = 10) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QSet<quint64> keysIn(const QHash<quint64, QByteArray>& artwork) {
    return QSet<quint64>(artwork.keyBegin(), artwork.keyEnd());
}

void wheel(QWidget& widget, QPoint angle, QPoint pixels = {},
           Qt::ScrollPhase phase = Qt::NoScrollPhase, bool inverted = false) {
    const QPointF at(widget.width() / 2.0, widget.height() / 2.0);
    QWheelEvent event(at, widget.mapToGlobal(at), pixels, angle, Qt::NoButton, Qt::NoModifier,
                      phase, inverted);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

using CoverFlowViewTest = CoverFlowViewFixture;

TEST_F(CoverFlowViewTest, CoversAppearForTheGroupsAroundTheSelectionAndNotForFarOnes) {
    const QString path = addVolume(albums(20));
    startStore();
    CoverFlowView& flow = makeView(select(path));
    QSignalSpy arrived(&flow, &CoverFlowView::artworkChanged);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !arrived.isEmpty(); }));
    EXPECT_EQ(keysIn(flow.artwork()), keysOf(0, 4));
    EXPECT_EQ(flow.requested(), keysOf(0, 4));
    // The selected cover shows its own colour on screen, over its reflection.
    CoverFlowControl& control = *flow.control();
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        const QImage shot = control.grab().toImage();
        return near(shot.pixelColor(control.selectedItemFrame().center().toPoint()),
                    albumColour(0));
    }));
    // Far groups get theirs once the selection rests near them; the first ones stay.
    flow.setSelection(15);
    arrived.clear();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !arrived.isEmpty(); }));
    EXPECT_EQ(keysIn(flow.artwork()), keysOf(0, 4) + keysOf(11, 19));
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        const QImage shot = control.grab().toImage();
        return near(shot.pixelColor(control.selectedItemFrame().center().toPoint()),
                    albumColour(15));
    }));
}

TEST_F(CoverFlowViewTest, CoversAreReadOnlyWhileTheViewIsShown) {
    const QString path = addVolume(albums(6));
    startStore();
    const IPodDevice device = select(path);
    view = std::make_unique<CoverFlowView>(*store, device, albumGroups(),
                                           QStringLiteral("Unknown Album"));
    TestSupport::drainEvents();
    EXPECT_FALSE(view->isReadingArtwork());
    EXPECT_TRUE(view->requested().isEmpty());
    view->show();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return view->artwork().size() == 5; }));
    // Taken off the screen, a moved selection settles nowhere.
    view->hide();
    view->setSelection(5);
    TestSupport::drainEvents();
    QTest::qWait(CoverFlowView::settleDelayMs * 2);
    EXPECT_EQ(view->settledSelection(), 0);
    view->show();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return view->settledSelection() == 5; }));
}

TEST_F(CoverFlowViewTest, StepsByKeysWheelButtonsAndScrollBar) {
    const QString path = addVolume(albums(30));
    startStore();
    CoverFlowView& flow = makeView(select(path));
    CoverFlowControl& control = *flow.control();
    EXPECT_FALSE(flow.previousGroupButton()->isEnabled());
    EXPECT_TRUE(flow.nextGroupButton()->isEnabled());
    QTest::keyClick(&control, Qt::Key_Right);
    EXPECT_EQ(flow.selection(), 1);
    EXPECT_EQ(flow.captionTitle(), QStringLiteral("Album 1"));
    EXPECT_EQ(flow.captionArtist(), QStringLiteral("Artist 1"));
    // A notch of a plain wheel is one step, down goes forward; a fine wheel's notch in two
    // halves also one.
    wheel(control, {0, -120});
    EXPECT_EQ(flow.selection(), 2);
    wheel(control, {0, -60});
    EXPECT_EQ(flow.selection(), 2);
    wheel(control, {0, -60});
    EXPECT_EQ(flow.selection(), 3);
    wheel(control, {0, 120});
    EXPECT_EQ(flow.selection(), 2);
    // A touchpad moves an item every 36 pixels; a scroll to the right goes forward.
    wheel(control, {}, {-30, 0}, Qt::ScrollBegin);
    EXPECT_EQ(flow.selection(), 2);
    wheel(control, {}, {-30, 0}, Qt::ScrollUpdate);
    EXPECT_EQ(flow.selection(), 3);
    QTest::mouseClick(flow.nextGroupButton(), Qt::LeftButton);
    EXPECT_EQ(flow.selection(), 4);
    QTest::mouseClick(flow.previousGroupButton(), Qt::LeftButton);
    EXPECT_EQ(flow.selection(), 3);
    // The scroll bar: beside the knob steps, its far end selects the last group.
    control.flushLayout();
    const QRectF bar = control.scrollBarLayer().frame();
    const int barY = int(control.height() - bar.center().y());
    QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(int(bar.right() - 8), barY));
    EXPECT_EQ(flow.selection(), 4);
    control.knobDraggedToPosition(control.scrollBarLayer(), 1.0);
    EXPECT_EQ(flow.selection(), 29);
    EXPECT_FALSE(flow.nextGroupButton()->isEnabled());
    EXPECT_TRUE(flow.previousGroupButton()->isEnabled());
}

TEST_F(CoverFlowViewTest, WheelAndTouchpadStepTheWayTheDesktopsScrollViewsScroll) {
    const QString path = addVolume(albums(30));
    startStore();
    CoverFlowView& flow = makeView(select(path));
    CoverFlowControl& control = *flow.control();
    flow.setSelection(15);
    // A scroll view of the same toolkit, scrolled to the middle both ways.
    QScrollArea area;
    auto* page = new QWidget;
    page->setFixedSize(4000, 4000);
    area.setWidget(page);
    area.resize(300, 300);
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    struct Case {
        const char* name;
        QPoint angle, pixels;
        bool inverted;
    };
    const Case cases[] = {
        {"wheel down", {0, -120}, {}, false},
        {"wheel up", {0, 120}, {}, false},
        {"wheel right", {-120, 0}, {}, false},
        {"wheel left", {120, 0}, {}, false},
        {"touchpad down", {0, -120}, {0, -40}, false},
        {"touchpad right", {-120, 0}, {-40, 0}, false},
        {"natural down", {0, -120}, {0, -40}, true},
        {"natural right", {-120, 0}, {-40, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QScrollBar* bar = c.angle.y() != 0 ? area.verticalScrollBar() : area.horizontalScrollBar();
        bar->setValue(bar->maximum() / 2);
        const int before = bar->value();
        wheel(*area.viewport(), c.angle, c.pixels, Qt::NoScrollPhase, c.inverted);
        const int scrolled = bar->value() - before;
        ASSERT_NE(scrolled, 0);

        const int from = flow.selection();
        wheel(control, c.angle, c.pixels, Qt::ScrollBegin, c.inverted);
        const int stepped = flow.selection() - from;
        ASSERT_NE(stepped, 0);
        EXPECT_EQ(stepped > 0, scrolled > 0);
        flow.setSelection(15);
    }
    // Down and right go where "›" goes.
    flow.setSelection(15);
    QTest::mouseClick(flow.nextGroupButton(), Qt::LeftButton);
    EXPECT_EQ(flow.selection(), 16);
    wheel(control, {0, -120});
    EXPECT_EQ(flow.selection(), 17);
    wheel(control, {-120, 0});
    EXPECT_EQ(flow.selection(), 18);
}

TEST_F(CoverFlowViewTest, DisabledStepButtonsAreClearlyDimmed) {
    const QString path = addVolume(albums(3));
    startStore();
    CoverFlowView& flow = makeView(select(path));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&flow));
    ASSERT_FALSE(flow.previousGroupButton()->isEnabled());
    ASSERT_TRUE(flow.nextGroupButton()->isEnabled());
    // The brightest pixel of each button against the darkest: the symbol over its stage.
    auto symbolContrast = [&flow](QWidget* button) {
        const QImage shot =
            flow.grab(QRect(button->mapTo(&flow, QPoint(0, 0)), button->size())).toImage();
        int lightest = 0, darkest = 255;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const int grey = qGray(shot.pixel(x, y));
                lightest = std::max(lightest, grey);
                darkest = std::min(darkest, grey);
            }
        return lightest - darkest;
    };
    const int enabled = symbolContrast(flow.nextGroupButton());
    const int disabled = symbolContrast(flow.previousGroupButton());
    EXPECT_GT(enabled, 150);
    // Dimmed to well under the enabled symbol, yet still there.
    EXPECT_LT(disabled, enabled * 6 / 10);
    EXPECT_GT(disabled, enabled / 4);
}

TEST_F(CoverFlowViewTest, TheScrollBarStaysClearOfTheButtonsOnANarrowStage) {
    const QString path = addVolume(albums(12));
    startStore();
    CoverFlowView& flow = makeView(select(path), [](const CoverFlowGroup&) {});
    CoverFlowControl& control = *flow.control();
    for (int width : {1000, 780, 600, 480, 400}) {
        SCOPED_TRACE(width);
        flow.resize(width, 460);
        TestSupport::drainEvents();
        control.flushLayout();
        ASSERT_TRUE(flow.addPlaylistButton()->isVisible());
        // The bar's frame is in the control's upward space.
        const QRectF frame = control.scrollBarLayer().frame();
        const QRectF bar =
            QRectF(frame.left(), control.height() - frame.bottom(), frame.width(), frame.height())
                .translated(control.mapTo(&flow, QPoint(0, 0)));
        ASSERT_GT(bar.width(), 0);
        auto inView = [&](QWidget* w) {
            return QRectF(w->mapTo(&flow, QPoint(0, 0)), QSizeF(w->size()));
        };
        EXPECT_FALSE(bar.intersects(inView(flow.addPlaylistButton())));
        EXPECT_FALSE(bar.intersects(inView(flow.nextGroupButton()->parentWidget())));
        // Still three quarters of a wide stage.
        if (width == 1000) {
            EXPECT_DOUBLE_EQ(bar.width(), 0.75 * control.width());
        }
    }
}

TEST_F(CoverFlowViewTest, TheTableAndAddPlaylistFollowTheSettledGroupOnly) {
    const QString path = addVolume(albums(8));
    startStore();
    QList<QList<Track>> built;
    CoverFlowView& flow = makeView(
        select(path), [](const CoverFlowGroup&) {},
        [&built](const QList<Track>& tracks) -> QWidget* {
            built.append(tracks);
            return new CoverFlowTrackTable(tracks);
        });
    ASSERT_EQ(built.size(), 1);
    EXPECT_EQ(built[0].first().album, QStringLiteral("Album 0"));
    QSignalSpy settled(&flow, &CoverFlowView::selectionSettled);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !settled.isEmpty(); }));
    EXPECT_TRUE(flow.addPlaylistButton()->isEnabled());
    // Moving on: the caption follows at once, the table and the button only at rest.
    flow.setSelection(1);
    flow.setSelection(2);
    EXPECT_EQ(flow.captionTitle(), QStringLiteral("Album 2"));
    EXPECT_EQ(built.size(), 1);
    EXPECT_FALSE(flow.addPlaylistButton()->isEnabled());
    settled.clear();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !settled.isEmpty(); }));
    EXPECT_EQ(settled.first().first().toInt(), 2);
    ASSERT_EQ(built.size(), 2);
    EXPECT_EQ(built[1].size(), 2);
    EXPECT_EQ(built[1][0].title, QStringLiteral("Song 2.1"));
    EXPECT_EQ(built[1][1].title, QStringLiteral("Song 2.2"));
    EXPECT_TRUE(flow.addPlaylistButton()->isEnabled());
    auto* table = qobject_cast<CoverFlowTrackTable*>(flow.trackTableWidget());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->model()->data(table->model()->index(1, CoverFlowTrackModel::number)), 2);

    // A shorter list pulls the selection in: the last group is shown, settles and is read.
    flow.setSelection(7);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.settledSelection() == 7; }));
    QList<CoverFlowGroup> fewer = albumGroups().mid(0, 5);
    QSignalSpy arrived(&flow, &CoverFlowView::artworkChanged);
    flow.setGroups(fewer);
    EXPECT_EQ(flow.captionTitle(), QStringLiteral("Album 4"));
    EXPECT_EQ(built.last().first().album, QStringLiteral("Album 4"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.settledSelection() == 4; }));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.artwork().contains(firstTrackID(4)); }));
}

TEST_F(CoverFlowViewTest, AnEditShowsInTheTableWhichKeepsItsSelectionAndScroll) {
    // One album of forty songs; the editor rewrites the last one's file. The keyboard's row
    // stays where it was, and Down goes on from it.
    const QTemporaryDir in;
    const QString file = in.path() + QStringLiteral("/last.mp3");
    TestSupport::ToneSpec tone;
    tone.seconds = 1;
    ASSERT_TRUE(TestSupport::makeTone(file, tone));
    QList<TestSupport::TrackSpec> tracks;
    for (int t = 0; t < 40; ++t)
        tracks.append({.title = QStringLiteral("Song %1").arg(t + 1),
                       .artist = QStringLiteral("Artist"),
                       .album = QStringLiteral("Album"),
                       .withoutFile = true,
                       .dbid = 7000 + quint64(t)});
    tracks.last().withoutFile = false;
    tracks.last().sourceFile = file;
    const QString path = addVolume(tracks);
    startStore();
    const IPodDevice device = select(path);
    CoverFlowView& flow = makeView(device);
    auto* table = qobject_cast<CoverFlowTrackTable*>(flow.trackTableWidget());
    ASSERT_NE(table, nullptr);
    constexpr int current = 30;
    table->setFocus();
    table->selectRow(current);
    table->scrollTo(table->currentIndex(), QAbstractItemView::PositionAtCenter);
    TestSupport::drainEvents();
    const int scrolled = table->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);

    store->saveTrackMetadata(
        7039, {QStringLiteral("Edited"), QStringLiteral("Artist"), QStringLiteral("Album"), {}, {}},
        device.id);
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        return !store->activeDeviceID() && store->library() &&
               store->library()->tracks.last().title == QStringLiteral("Edited");
    }));
    ASSERT_FALSE(store->alert()) << qPrintable(*store->alert());
    flow.setGroups(albumGroups());
    ASSERT_EQ(flow.trackTableWidget(), table);
    EXPECT_EQ(
        table->model()->data(table->model()->index(39, CoverFlowTrackModel::title)).toString(),
        QStringLiteral("Edited"));
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().row(), current);
    EXPECT_EQ(table->currentIndex().row(), current);
    EXPECT_EQ(table->verticalScrollBar()->value(), scrolled);
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(table->currentIndex().row(), current + 1);
    EXPECT_EQ(table->selectionModel()->selectedRows(),
              QModelIndexList{table->model()->index(current + 1, 0)});
    EXPECT_EQ(table->verticalScrollBar()->value(), scrolled);
}

TEST_F(CoverFlowViewTest, ANewGroupListGetsItsCoversWithoutMoving) {
    const QString path = addVolume(albums(12));
    startStore();
    CoverFlowView& flow = makeView(select(path));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.artwork().size() == 5; }));
    // Albums 6 ... 11 in place of the list, the selection left at 0.
    flow.setGroups(albumGroups().mid(6));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.artwork().contains(firstTrackID(6)); }));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.requested().contains(keysOf(6, 10)); }));
    EXPECT_EQ(flow.selection(), 0);
}

// Covers whose stored copy could not be looked at (here: no cover process could start) do not
// count as read: they are asked again at once, of a new process, and whenever they are shown
// again.
TEST_F(CoverFlowViewTest, CoversThatCouldNotBeLookedAtAreAskedAgain) {
    const QString path = addVolume(albums(12));
    startStore();
    const IPodDevice device = select(path);
    const QByteArray helper = qgetenv("LORVANEL_OPEN_HELPER");
    const auto restore = qScopeGuard([&] { qputenv("LORVANEL_OPEN_HELPER", helper); });
    for (const int failing : {1, 2}) {
        SCOPED_TRACE(failing);
        StoredCovers::endAll();
        CoverFlowView& flow = makeView(device);
        std::atomic<int> reads = 0;
        flow.setArtworkReader([&reads, failing, helper](const IPodDevice& on,
                                                        const QSet<quint64>& ids) {
            qputenv("LORVANEL_OPEN_HELPER",
                    reads++ < failing ? QByteArray("/nonexistent/lorvanel-open-helper") : helper);
            return CoverArtworkLoader::loadArtwork(on, ids);
        });
        // The first read and the one asked again at once.
        ASSERT_TRUE(TestSupport::waitUntil([&] { return reads == 2 && !flow.isReadingArtwork(); }));
        if (failing == 1) {
            EXPECT_EQ(keysIn(flow.artwork()), keysOf(0, 4));
            continue;
        }
        EXPECT_TRUE(flow.artwork().isEmpty());
        EXPECT_TRUE(flow.requested().isEmpty());
        // Away and back.
        flow.setSelection(11);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.artwork().size() == 5; }));
        flow.setSelection(0);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.artwork().size() == 10; }));
        EXPECT_EQ(keysIn(flow.artwork()), keysOf(0, 4) + keysOf(7, 11));
    }
}

TEST_F(CoverFlowViewTest, AddPlaylistMakesARealPlaylistOfTheSettledGroup) {
    QList<TestSupport::TrackSpec> tracks = albums(4);
    // Album 3's tracks are not in the main playlist: they have no position to list.
    tracks[6].inMainPlaylist = false;
    tracks[7].inMainPlaylist = false;
    const QString path = addVolume(tracks);
    startStore();
    const IPodDevice device = select(path);
    ASSERT_TRUE(store->canCreatePlaylist());
    CoverFlowView& flow = makeView(device, [this, &device](const CoverFlowGroup& group) {
        QList<quint64> ids;
        for (const Track& track : group.tracks)
            if (track.playbackPosition)
                ids.append(track.id);
        store->createPlaylist(group.id.title, ids, device.id);
    });
    flow.setSelection(2);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.settledSelection() == 2; }));
    ASSERT_TRUE(flow.addPlaylistButton()->isVisible());
    ASSERT_TRUE(flow.addPlaylistButton()->isEnabled());
    QTest::mouseClick(flow.addPlaylistButton(), Qt::LeftButton);
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        return !store->activeDeviceID() && store->library() &&
               !store->library()->playlists.isEmpty();
    }));
    // Read back with libgpod itself.
    Itdb_iTunesDB* database = itdb_parse(QFile::encodeName(path).constData(), nullptr);
    ASSERT_NE(database, nullptr);
    Itdb_Playlist* playlist = itdb_playlist_by_name(database, const_cast<gchar*>("Album 2"));
    ASSERT_NE(playlist, nullptr);
    QList<quint64> members;
    for (GList* item = playlist->members; item; item = item->next)
        members.append(static_cast<Itdb_Track*>(item->data)->dbid);
    itdb_free(database);
    EXPECT_EQ(members, (QList<quint64>{firstTrackID(2), firstTrackID(2) + 1}));
    // A group with no listed track offers no playlist.
    flow.setSelection(3);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.settledSelection() == 3; }));
    EXPECT_FALSE(flow.addPlaylistButton()->isEnabled());
}

TEST_F(CoverFlowViewTest, CaptionsButtonsAndAnEmptyList) {
    QList<TestSupport::TrackSpec> tracks = albums(1);
    for (auto& spec : tracks) {
        spec.album.clear();
        spec.artist.clear();
    }
    const QString path = addVolume(tracks);
    startStore();
    CoverFlowView& flow = makeView(select(path));
    EXPECT_EQ(flow.captionTitle(), QStringLiteral("Unknown Album"));
    EXPECT_EQ(flow.captionArtist(), QString());
    EXPECT_FALSE(flow.previousGroupButton()->isEnabled());
    EXPECT_FALSE(flow.nextGroupButton()->isEnabled());
    EXPECT_FALSE(flow.addPlaylistButton()->isVisible());
    // The covers' stage keeps to its bounds: 0.6 of the height, at most 280.
    EXPECT_EQ(flow.stage()->height(), 276);
    flow.resize(1000, 900);
    TestSupport::drainEvents();
    EXPECT_EQ(flow.stage()->height(), 280);
    flow.resize(1000, 100);
    TestSupport::drainEvents();
    EXPECT_EQ(flow.stage()->height(), 94);
    // No groups: nothing shown, and once a read begun for the old list has ended, none follows.
    flow.setGroups({});
    EXPECT_FALSE(flow.stage()->isVisible());
    EXPECT_EQ(flow.trackTableWidget(), nullptr);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !flow.isReadingArtwork(); }));
    TestSupport::drainEvents();
    EXPECT_FALSE(flow.isReadingArtwork());
    // The buttons speak the interface language.
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::simplifiedChinese));
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(&flow, &change);
    EXPECT_EQ(flow.addPlaylistButton()->text(), QStringLiteral("添加播放列表"));
    EXPECT_EQ(flow.nextGroupButton()->accessibleName(), QStringLiteral("下一组"));
}

TEST_F(CoverFlowViewTest, TheCaptionStandsInTheBandUnderTheCovers) {
    const QString path = addVolume(albums(3));
    startStore();
    CoverFlowView& flow = makeView(select(path));
    // A smaller line for the control's hidden title lowers the covers; the caption goes with them.
    flow.control()->setTitleSize(1);
    flow.resize(1000, 400);
    TestSupport::drainEvents();
    flow.control()->flushLayout();
    const QRect caption = flow.captionWidget()->geometry();
    EXPECT_GE(caption.top(), flow.control()->selectedItemFrame().bottom());
    EXPECT_LE(caption.bottom(), flow.stage()->height());
}

TEST_F(CoverFlowViewTest, OneReadAtATimeAndAStuckReadHoldsTheNextOneBack) {
    const QString path = addVolume(albums(30));
    startStore();
    const IPodDevice device = select(path);
    blockReads();
    CoverFlowView& flow = makeView(device);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.isReadingArtwork(); }));
    // The read for the first window hangs; the selection moves on and rests far away.
    flow.setSelection(20);
    QSignalSpy settled(&flow, &CoverFlowView::selectionSettled);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !settled.isEmpty(); }));
    EXPECT_EQ(settled.first().first().toInt(), 20);
    // Still the one read; nothing has arrived.
    EXPECT_TRUE(flow.isReadingArtwork());
    EXPECT_TRUE(flow.artwork().isEmpty());
    ASSERT_TRUE(release());
    // The stuck read ends (cancelled, dropped) and the waiting one runs.
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.artwork().size() == 9; }));
    EXPECT_EQ(keysIn(flow.artwork()), keysOf(16, 24));
    EXPECT_EQ(flow.requested(), keysOf(16, 24));
}

TEST_F(CoverFlowViewTest, ADeviceChangeMidReadDeliversNothingToTheNewDevice) {
    // Two iPods whose tracks share ids: red covers on the first, others on the second.
    const QString first = addVolume(albums(10), QStringLiteral("First"));
    const QString second = addVolume(albums(10, 5), QStringLiteral("Second"));
    startStore();
    const IPodDevice firstDevice = select(first);
    blockReads();
    CoverFlowView& flow = makeView(firstDevice);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.isReadingArtwork(); }));
    const IPodDevice secondDevice = select(second);
    flow.setDevice(secondDevice);
    ASSERT_TRUE(release());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.artwork().size() == 5; }));
    EXPECT_EQ(flow.requested(), keysOf(0, 4));
    // Every cover is the second iPod's.
    for (int i = 0; i < 5; ++i) {
        const QImage cover = QImage::fromData(flow.artwork().value(firstTrackID(i)));
        EXPECT_TRUE(near(cover.pixelColor(cover.rect().center()), albumColour(i + 5))) << i;
    }
}

TEST_F(CoverFlowViewTest, AReadForADeviceTheStoreNoLongerSelectsIsDropped) {
    const QString first = addVolume(albums(6), QStringLiteral("First"));
    const QString second = addVolume(albums(6), QStringLiteral("Second"));
    startStore();
    const IPodDevice firstDevice = select(first);
    blockReads();
    CoverFlowView& flow = makeView(firstDevice);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return flow.isReadingArtwork(); }));
    select(second);
    ASSERT_TRUE(release());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !flow.isReadingArtwork(); }));
    EXPECT_TRUE(flow.artwork().isEmpty());
    EXPECT_TRUE(flow.requested().isEmpty());
}

TEST(CoverFlowTrackModelTest, NumbersTheTracksAndPassesTheModelTester) {
    Track a, b;
    a.title = QStringLiteral("One");
    a.duration = 125.9;
    b.title = QStringLiteral("Two");
    b.duration = 3725;
    CoverFlowTrackModel model({a, b});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(1, CoverFlowTrackModel::number)).toInt(), 2);
    EXPECT_EQ(model.data(model.index(0, CoverFlowTrackModel::duration)).toString(),
              QStringLiteral("2:05"));
    EXPECT_EQ(model.data(model.index(1, CoverFlowTrackModel::duration)).toString(),
              QStringLiteral("1:02:05"));
    EXPECT_EQ(CoverFlowTrackModel::formattedDuration(std::nan("")), QStringLiteral("0:00"));
    EXPECT_EQ(CoverFlowTrackModel::formattedDuration(-3), QStringLiteral("0:00"));
    EXPECT_EQ(CoverFlowTrackModel::formattedDuration(1e300), QStringLiteral("0:00"));
}
