// The actions on selected tracks, in the header's bar and in the tables' menu, on the real store:
// what each library allows (editable nano and shuffle, a library whose writes are blocked, a
// running operation, a fifth-generation nano that only imports), the first track taken in table
// order, and an export from the bar into a tmpfs folder.

#include "PaneFixture.h"

#include "TestVolumes.h"

#include "app/AlertPresenter.h"
#include "app/DeviceHeader.h"
#include "browser/ElidedLabel.h"
#include "browser/FilledButton.h"
#include "browser/LibraryPaneHeader.h"
#include "browser/PlaylistBrowser.h"
#include "browser/PlaylistTile.h"
#include "browser/TrackActionBar.h"
#include "browser/TrackActionButtonStyle.h"
#include "library/IPodDatabase.h"
#include "platform/Settings.h"
#include "support/AudioFixtures.h"
#include "support/EventLoop.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QToolButton>

using TestSupport::TrackSpec;

namespace {

// What the bar and the menu offer for a selection.
struct Offered {
    bool preview = false;
    bool exportSongs = false;
    bool remove = false;
    bool edit = false;
    std::optional<bool> startTrack; // none: no such entry
    bool operator==(const Offered&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Offered& o) {
    return out << "preview " << o.preview << ", export " << o.exportSongs << ", delete " << o.remove
               << ", edit " << o.edit << ", start "
               << (o.startTrack ? (*o.startTrack ? "on" : "off") : "none");
}

class ActionsTest : public PaneTest {
protected:
    TrackActionBar& bar() const { return *content().header()->actionBar(); }

    // Selects the rows and reads what is offered.
    Offered offeredFor(const QList<int>& rows) {
        QSet<TrackRow::ID> selection;
        for (int row : rows)
            selection.insert(tableModel().rowAt(row).id());
        view().setTrackSelection(selection);
        Offered offered;
        offered.preview = bar().previewButton()->isEnabled();
        offered.exportSongs = bar().exportButton()->isEnabled();
        offered.remove = bar().deleteButton()->isEnabled();
        std::unique_ptr<QMenu> menu(table().contextMenuAt(
            table().visualRect(tableModel().index(rows.first(), 1)).center()));
        EXPECT_TRUE(menu);
        if (!menu)
            return offered;
        for (QAction* action : menu->actions()) {
            const QString text = action->text();
            if (text == QStringLiteral("Edit Track Info")) {
                offered.edit = action->isEnabled();
            } else if (text == QStringLiteral("Set iPod Start Track")) {
                offered.startTrack = action->isEnabled();
            } else if (text == QStringLiteral("Export Songs…")) {
                EXPECT_EQ(action->isEnabled(), offered.exportSongs);
            } else if (text == QStringLiteral("Delete From iPod")) {
                EXPECT_EQ(action->isEnabled(), offered.remove);
            }
        }
        return offered;
    }

    const QList<TrackSpec> threeTracks = {{.title = QStringLiteral("Alpha")},
                                          {.title = QStringLiteral("Bravo")},
                                          {.title = QStringLiteral("Charlie")}};
};

} // namespace

TEST_F(ActionsTest, AnEditableNanoHasNoStartTrack) {
    open({makeVolume(root + QStringLiteral("/Nano"), threeTracks)});
    waitForLibrary();
    EXPECT_EQ(offeredFor({0}), (Offered{true, true, true, true, std::nullopt}));
    // Two tracks: no preview, no editing; export and delete take both.
    EXPECT_EQ(offeredFor({0, 1}), (Offered{false, true, true, false, std::nullopt}));
    EXPECT_EQ(bar().previewButton()->text(), QStringLiteral("Play Preview"));
}

TEST_F(ActionsTest, AnEditableShuffleSetsItsStartTrackForOneTrack) {
    open({makeVolume(root + QStringLiteral("/Shuffle"), threeTracks, {}, QStringLiteral("MA546"))});
    waitForLibrary();
    ASSERT_TRUE(store->library()->supportsPlaybackStart);
    EXPECT_EQ(offeredFor({1}), (Offered{true, true, true, true, true}));
    EXPECT_EQ(offeredFor({1, 2}), (Offered{false, true, true, false, false}));
}

TEST_F(ActionsTest, ABlockedLibraryExportsAndPreviewsButNeverWrites) {
    // A shuffle whose database version this system does not write.
    open({makeVolume(root + QStringLiteral("/Shuffle"), threeTracks, {}, QStringLiteral("MA546"),
                     TestSupport::sysInfoExtendedXML({{QStringLiteral("DBVersion"), 3}}))});
    waitForLibrary();
    ASSERT_TRUE(store->library()->writeBlocker);
    EXPECT_EQ(offeredFor({0}), (Offered{true, true, false, false, false}));
    EXPECT_EQ(offeredFor({0, 2}), (Offered{false, true, false, false, false}));
    // Asking anyway changes nothing.
    bar().deleteButton()->click();
    EXPECT_FALSE(view().state().pendingConfirmation);
}

TEST_F(ActionsTest, WhileAnOperationRunsNothingIsOffered) {
    open({makeVolume(root + QStringLiteral("/Nano"), threeTracks)});
    waitForLibrary();
    offeredFor({0});
    IPodStoreTestAccess::setActiveDeviceID(*store, store->selectedDiskID());
    // The bar follows the store at once, without a new selection.
    EXPECT_FALSE(bar().previewButton()->isEnabled());
    EXPECT_FALSE(bar().exportButton()->isEnabled());
    EXPECT_FALSE(bar().deleteButton()->isEnabled());
    EXPECT_EQ(offeredFor({0}), (Offered{}));
    bar().exportTracks({store->library()->tracks[0].id});
    EXPECT_EQ(bar().exportPanel(), nullptr);
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
    EXPECT_EQ(offeredFor({0}), (Offered{true, true, true, true, std::nullopt}));
}

// A save that would leave the library without tracks is refused (but on a freshly prepared
// iPod), so deleting every track and a playlist on an empty library are not offered.
TEST_F(ActionsTest, WhatWouldEmptyTheLibraryIsNotOffered) {
    const QString path = makeVolume(root + QStringLiteral("/Nano"), threeTracks);
    open({path});
    waitForLibrary();
    EXPECT_TRUE(offeredFor({0, 1}).remove);
    EXPECT_FALSE(offeredFor({0, 1, 2}).remove); // the bar and the menu
    bar().deleteButton()->click();
    EXPECT_FALSE(view().state().pendingConfirmation);
    table().setFocus();
    QTest::keyClick(&table(), Qt::Key_Delete);
    EXPECT_FALSE(view().state().pendingConfirmation);
    // The key still asks for fewer tracks.
    offeredFor({0, 1});
    QTest::keyClick(&table(), Qt::Key_Delete);
    ASSERT_TRUE(view().state().pendingConfirmation);
    ASSERT_NE(view().alerts()->confirmationBox(), nullptr);
    view().alerts()->confirmationBox()->reject();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !view().state().pendingConfirmation; }));

    // Asked anyway, the refusal tells its own reason and nothing is lost.
    QSet<quint64> all;
    for (const Track& track : store->library()->tracks)
        all.insert(track.id);
    Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("zh-Hans"));
    store->deleteTracks(all, *store->selectedDiskID());
    waitForOperation();
    EXPECT_EQ(store->alert(),
              std::optional<QString>(QStringLiteral(
                  "没有曲目的 iPod 资料库无法保存。请在 iPod 上至少保留一首曲目。")));
    Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("en"));
    EXPECT_EQ(IPodDatabase(path).loadTracks().size(), 3);
}

TEST_F(ActionsTest, AnEmptyLibraryOffersANewPlaylistAndMovesOnlyOnAFreshlyPreparedIPod) {
    const QString empty = makeVolume(root + QStringLiteral("/Empty"), {},
                                     {{QStringLiteral("A"), {}}, {QStringLiteral("B"), {}}});
    for (const bool fresh : {false, true}) {
        SCOPED_TRACE(fresh ? "fresh" : "with a database");
        window.reset();
        store.reset();
        // A freshly prepared iPod (only iTunes's control file, no database yet) is told by the
        // read as such.
        open({empty}, [fresh](const IPodDevice& device) {
            IPodLibrary library = IPodStore::loadLibrary(device);
            EXPECT_FALSE(library.savesEmptyLibrary);
            library.savesEmptyLibrary = fresh;
            return library;
        });
        waitForLibrary();
        ASSERT_TRUE(store->library());
        ASSERT_FALSE(store->library()->writeBlocker)
            << qPrintable(store->library()->writeBlocker->description());
        EXPECT_TRUE(store->library()->tracks.isEmpty());
        EXPECT_TRUE(store->canEditLibrary()); // music can still be added
        view().selectLibraryScope(LibraryScope::browser());
        auto* browser = window->findChild<PlaylistBrowser*>();
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(browser->newPlaylistButton()->isEnabled(), fresh);
        EXPECT_EQ(store->canCreatePlaylist(), fresh);
        ASSERT_EQ(browser->tiles().size(), 2);
        QToolButton* down = browser->tiles()[0]->moveDownButton();
        EXPECT_EQ(down->isEnabled(), fresh);
        EXPECT_EQ(browser->tiles()[1]->moveUpButton()->isEnabled(), fresh);
    }
    // Offered on a volume that turns out not to be fresh, the move is refused in its own words.
    QTest::mouseClick(window->findChild<PlaylistBrowser*>()->tiles()[0]->moveDownButton(),
                      Qt::LeftButton);
    waitForOperation();
    EXPECT_EQ(store->alert(), std::optional<QString>(QStringLiteral(
                                  "An iPod library with no tracks cannot be saved. Add music "
                                  "before moving a playlist.")));
}

TEST_F(ActionsTest, AFifthGenerationNanoThatOnlyImportsOffersOnlyMP3Files) {
    const QString path = makeVolume(root + QStringLiteral("/Nano5"), threeTracks);
    // The real read, as the store makes it of a nano whose databases allow the test import.
    open({path}, [](const IPodDevice& device) {
        IPodLibrary library = IPodStore::loadLibrary(device);
        library.supportsNano5Import = true;
        library.supportsNano5PlaylistCreation = true;
        library.writeBlocker = IPodDatabaseError::unsupportedDatabase();
        return library;
    });
    waitForLibrary();
    EXPECT_EQ(offeredFor({0}), (Offered{true, true, false, false, std::nullopt}));
    DeviceHeader* header = pane().deviceHeader();
    ASSERT_TRUE(header->addSongsAction()->isEnabled());
    header->addSongsAction()->trigger();
    ASSERT_NE(view().importPanel(), nullptr);
    EXPECT_EQ(view().importPanel()->nameFilters(), (QStringList{"Audio (*.mp3)"}));
    view().importPanel()->reject();
}

TEST_F(ActionsTest, TheFirstTrackIsTheFirstRowShown) {
    open({makeVolume(root + QStringLiteral("/Nano"), threeTracks)});
    waitForLibrary();
    // By title, descending: Charlie, Bravo, Alpha.
    view().setSortOrder({{TrackColumn::title, false}});
    ASSERT_EQ(tableTitles(tableModel()), (QStringList{"Charlie", "Bravo", "Alpha"}));
    offeredFor({2, 0});
    const QList<quint64> shown = tableIDs(tableModel());
    EXPECT_EQ(bar().trackIDs(), (QList<quint64>{shown[0], shown[2]}));
    view().setSortOrder({{TrackColumn::title, true}});
    EXPECT_EQ(bar().trackIDs(), (QList<quint64>{shown[2], shown[0]}));
}

TEST_F(ActionsTest, TheBarExportsTheSelectedTrackIntoAFolderWithTheLosslessOption) {
    if (!TestSupport::hasFFmpegTool())
        GTEST_SKIP() << "the ffmpeg tool is needed for the audio";
    if (const QString why = TestVolumes::whyMountsAreUnavailable(); !why.isEmpty())
        GTEST_SKIP() << qPrintable(why);
    // A WAV, which the lossless option turns into an Apple Lossless M4A (else it is copied).
    const QString source = root + QStringLiteral("/tone.wav");
    TestSupport::ToneSpec tone;
    tone.codec = QStringLiteral("pcm_s16le");
    ASSERT_TRUE(TestSupport::makeTone(source, tone));
    open({makeVolume(root + QStringLiteral("/Nano"), {{.title = QStringLiteral("Tone"),
                                                       .artist = QStringLiteral("Tester"),
                                                       .filetype = QStringLiteral("WAV audio file"),
                                                       .extension = QStringLiteral("wav"),
                                                       .sourceFile = source}})});
    waitForLibrary();
    const QString destination = root + QStringLiteral("/out");
    auto mount = TestVolumes::Mount::tmpfs(destination, QStringLiteral("size=16m"));
    ASSERT_TRUE(mount);

    offeredFor({0});
    // Cancelling the panel starts nothing.
    QTest::mouseClick(bar().exportButton(), Qt::LeftButton);
    ASSERT_NE(bar().exportPanel(), nullptr);
    bar().exportPanel()->reject();
    EXPECT_FALSE(store->activeDeviceID());

    QTest::mouseClick(bar().exportButton(), Qt::LeftButton);
    QFileDialog* panel = bar().exportPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), QStringLiteral("Export"));
    QCheckBox* lossless = TrackActionBar::losslessOption(panel);
    ASSERT_NE(lossless, nullptr);
    EXPECT_EQ(lossless->text(), QStringLiteral("Export WAV as lossless M4A with artwork"));
    EXPECT_FALSE(lossless->isChecked());
    lossless->setChecked(true);
    panel->setDirectory(destination);
    auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(destination);
    static_cast<QDialog*>(panel)->accept();
    ASSERT_TRUE(store->activeDeviceID().has_value());
    waitForOperation();
    const QStringList exported =
        QDir(destination).entryList({QStringLiteral("*.m4a")}, QDir::Files);
    ASSERT_EQ(exported.size(), 1) << qPrintable(QDir(destination).entryList().join(u','));
    EXPECT_TRUE(exported.first().contains(QStringLiteral("Tone")));
    const auto probed = TestSupport::probeAudio(QDir(destination).filePath(exported.first()));
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->codecName, QStringLiteral("alac"));
    EXPECT_NEAR(probed->durationSeconds, tone.seconds, 0.1);
    // No work folder is left behind.
    EXPECT_EQ(
        QDir(destination).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
        1);
}

// A selected row that the list stops showing (an edit or a reload takes it out of the search, a
// scope shows another list meanwhile) leaves the selection: the status line, the bar's preview
// and export, and the Delete key then act on the rows still shown, and on nothing when none is.
TEST_F(ActionsTest, TheActionsActOnlyOnSelectedRowsStillShown) {
    if (!TestSupport::hasFFmpegTool())
        GTEST_SKIP() << "the ffmpeg tool is needed for the audio an edit rewrites";
    const QString tone = root + QStringLiteral("/tone.mp3");
    ASSERT_TRUE(TestSupport::makeTone(tone, TestSupport::ToneSpec{}));
    const QList<TrackSpec> tracks = {
        {.title = QStringLiteral("Keep One"), .album = QStringLiteral("One")},
        {.title = QStringLiteral("Keep Two"), .album = QStringLiteral("Two"), .sourceFile = tone},
        {.title = QStringLiteral("Other"), .album = QStringLiteral("One")}};
    enum class Hide { edit, reloadWithout, editInAPlaylist };
    const struct {
        const char* name;
        const char* search;
        bool coverFlow;
        bool inPlaylist; // selected in the playlist "Mix", else in the list of all tracks
        Hide hide;
        bool keepsOne; // "Keep One" stays selected; else nothing does
    } cases[] = {
        {"an edit", "keep", false, false, Hide::edit, true},
        {"a reload", "keep", false, false, Hide::reloadWithout, true},
        {"a scope shown meanwhile", "keep", false, false, Hide::editInAPlaylist, true},
        {"a playlist's last row", "keep", false, true, Hide::edit, false},
        {"cover flow's last group", "two", true, false, Hide::edit, false},
    };
    int volume = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        store.reset();
        const QString path = makeVolume(root + QStringLiteral("/Pod%1").arg(++volume), tracks,
                                        {{QStringLiteral("Mix"), {1, 2}}});
        open({path});
        waitForLibrary();
        QHash<QString, Track> byTitle;
        for (const Track& track : store->library()->tracks)
            byTitle.insert(track.title, track);
        quint64 mix = 0;
        for (const IPodPlaylist& playlist : store->library()->playlists)
            if (playlist.name == QStringLiteral("Mix"))
                mix = playlist.id;
        if (c.coverFlow)
            QTest::mouseClick(content().header()->coverFlowButton(), Qt::LeftButton);
        if (c.inPlaylist)
            view().selectLibraryScope(LibraryScope::playlist(mix));
        view().setLibrarySearch(QString::fromLatin1(c.search));
        TrackTableView* selecting = content().shownTable();
        ASSERT_NE(selecting, nullptr);
        QTest::keyClick(selecting, Qt::Key_A, Qt::ControlModifier);
        ASSERT_TRUE(view().state().selectedTrackIDs().contains(byTitle["Keep Two"].id));

        const Track two = byTitle["Keep Two"];
        if (c.hide == Hide::reloadWithout) {
            // Another program deletes it from the iPod.
            IPodDatabase other(path);
            other.deleteTracks({two.id});
            other.saveLibrary();
            store->reloadSelection();
            waitForLibrary();
        } else {
            if (c.hide == Hide::editInAPlaylist)
                view().selectLibraryScope(LibraryScope::playlist(mix));
            store->saveTrackMetadata(two.id,
                                     {QStringLiteral("Hidden After Edit"), two.artist, two.album,
                                      two.albumArtist, two.genre},
                                     *store->selectedDiskID());
            waitForOperation();
            ASSERT_FALSE(store->alert()) << qPrintable(*store->alert());
            if (c.hide == Hide::editInAPlaylist)
                view().selectLibraryScope(LibraryScope::allTracks());
        }
        TestSupport::drainEvents();

        const quint64 one = byTitle["Keep One"].id;
        const QList<quint64> acted = c.keepsOne ? QList<quint64>{one} : QList<quint64>{};
        EXPECT_EQ(view().state().selectedTrackIDs(), QSet<quint64>(acted.cbegin(), acted.cend()));
        EXPECT_EQ(bar().trackIDs(), acted);
        EXPECT_EQ(pane().statusLabel()->text().startsWith(QStringLiteral("Selected “Keep One”")),
                  c.keepsOne)
            << qPrintable(pane().statusLabel()->text());
        EXPECT_EQ(bar().exportButton()->isEnabled(), c.keepsOne);
        EXPECT_EQ(bar().deleteButton()->isEnabled(), c.keepsOne);
        EXPECT_EQ(bar().previewButton()->isEnabled(), c.keepsOne);
        if (!c.keepsOne)
            continue;
        QTest::mouseClick(bar().previewButton(), Qt::LeftButton);
        EXPECT_EQ(store->previewTrackID(), std::optional<quint64>(one));
        store->stopPreview();
        // The key asks about the one track, by its title (in each language).
        const bool chinese = c.hide == Hide::reloadWithout;
        if (chinese)
            Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("zh-Hans"));
        TrackTableView* shown = content().shownTable();
        ASSERT_NE(shown, nullptr);
        shown->setFocus();
        QTest::keyClick(shown, Qt::Key_Delete);
        QMessageBox* box = view().alerts()->confirmationBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->informativeText(), chinese ? QStringLiteral("从“Pod”删除“Keep One”。")
                                                  : QStringLiteral("Delete “Keep One” from Pod."));
        view().alerts()->dismissConfirmation();
        Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("en"));
    }
}
