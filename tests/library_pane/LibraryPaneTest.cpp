// The library pane's frame on the real store: reading, failing and retrying, the status line,
// the table's Delete key and menu, and a storm of progress reports that leaves the table alone.

#include "PaneFixture.h"

#include "app/AlertPresenter.h"
#include "app/DeviceHeader.h"
#include "app/DeviceSummary.h"
#include "app/PlaybackModeLabel.h"
#include "app/SoftwareVersionText.h"
#include "browser/ActivitySpinner.h"
#include "browser/ElidedLabel.h"
#include "browser/EmptyStatePlaceholder.h"
#include "browser/ImportDropArea.h"
#include "browser/ImportProgressPanel.h"
#include "browser/LibraryErrorView.h"
#include "device/IPodDeviceError.h"
#include "platform/Settings.h"
#include "showcase/DeviceShareButton.h"
#include "support/DeviceDescriptions.h"
#include "support/EventLoop.h"
#include "transfer/ImportError.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using TestSupport::TrackSpec;

TEST_F(PaneTest, ReadsThenShowsTheLibraryAndRetryRecoversAFailedLoad) {
    const QString path =
        makeVolume(root + QStringLiteral("/Pod"),
                   {{.title = QStringLiteral("One")}, {.title = QStringLiteral("Two")}});
    const QString database = path + QStringLiteral("/iPod_Control/iTunes/iTunesDB");
    QFile file(database);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();

    // While the library is read: the spinner, and a drop area that waits.
    machine->closeLoadGate();
    open({path});
    EXPECT_EQ(pane().contentState(), LibraryPane::ContentState::loading);
    EXPECT_EQ(pane().loadingView()->label()->text(), QStringLiteral("Reading library…"));
    EXPECT_EQ(pane().dropArea()->captionLabel()->text(),
              QStringLiteral("Drop audio files when the library is ready."));
    EXPECT_FALSE(pane().dropArea()->isEnabled());
    machine->openLoadGate();
    waitForLibrary();
    EXPECT_EQ(pane().contentState(), LibraryPane::ContentState::library);
    EXPECT_EQ(tableTitles(tableModel()), (QStringList{"One", "Two"}));
    EXPECT_TRUE(pane().dropArea()->isEnabled());
    EXPECT_EQ(pane().dropArea()->titleLabel()->text(),
              QStringLiteral("Click to choose or drop audio files"));

    // A damaged database: the error pane, then Retry once it is repaired.
    QFile damaged(database);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write(QByteArray(64, 'x'));
    damaged.close();
    store->retryLibraryLoad();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->loadError() != nullptr; }));
    EXPECT_EQ(pane().contentState(), LibraryPane::ContentState::error);
    LibraryErrorView* error = pane().errorView();
    EXPECT_EQ(error->placeholder()->titleLabel()->text(), QStringLiteral("Could Not Open Library"));
    EXPECT_EQ(error->placeholder()->messageLabel()->text(),
              store->loadErrorDescription(AppLanguage::english));
    EXPECT_FALSE(pane().dropArea()->isEnabled());

    QFile repaired(database);
    ASSERT_TRUE(repaired.open(QIODevice::WriteOnly | QIODevice::Truncate));
    repaired.write(good);
    repaired.close();
    QTest::mouseClick(error->retryButton(), Qt::LeftButton);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->library().has_value(); }));
    EXPECT_EQ(pane().contentState(), LibraryPane::ContentState::library);
    EXPECT_EQ(tableModel().rowCount(), 2);
}

TEST_F(PaneTest, AnIPodWhoseDescriptionIsNotPlainShowsItsTracksReadOnlyNamingIt) {
    // A number with a space after it: libgpod's reader crashes on it, in this process too.
    const TestSupport::DescriptionForm form = TestSupport::unplainDescriptions().first();
    ASSERT_EQ(QByteArray(form.name), "a trailing space");
    open({makeVolume(root + QStringLiteral("/Pod"),
                     {{.title = QStringLiteral("One")}, {.title = QStringLiteral("Two")}}, {},
                     QStringLiteral("MA477"), form.bytes)});
    waitForLibrary();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !store->deviceModels().isEmpty(); }));
    EXPECT_EQ(store->deviceModels().begin()->generationNumber, 2);
    EXPECT_EQ(tableTitles(tableModel()), (QStringList{"One", "Two"}));
    EXPECT_EQ(pane().dropArea()->titleLabel()->text(), QStringLiteral("This device is read-only"));
    EXPECT_EQ(pane().dropArea()->captionLabel()->text(),
              IPodDatabaseError::unreadableDeviceDescription(
                  QStringLiteral("iPod_Control/Device/SysInfoExtended"))
                  .description(AppLanguage::english));
}

TEST(LibraryErrorView, ALostDeviceGetsAdviceAndOtherErrorsTheirOwnText) {
    const QString advice = QStringLiteral("The iPod may have been renamed or disconnected. Check "
                                          "its connection, then click Retry to find it again.");
    const AppLanguage en = AppLanguage::english;
    EXPECT_EQ(LibraryErrorView::message(std::make_exception_ptr(ImportError::disconnected()), en),
              advice);
    EXPECT_EQ(LibraryErrorView::message(std::make_exception_ptr(IPodDeviceError()), en), advice);
    EXPECT_EQ(
        LibraryErrorView::message(std::make_exception_ptr(ImportError::cannotSave("disk")), en),
        ImportError::cannotSave("disk").description(en));
    EXPECT_EQ(
        LibraryErrorView::message(std::make_exception_ptr(ImportError::unsupportedAudio()), en),
        QStringLiteral("The audio could not be read, or the file format is unsupported."));
    EXPECT_EQ(LibraryErrorView::message(
                  std::make_exception_ptr(IPodDatabaseError::missingMainPlaylist()), en),
              IPodDatabaseError::missingMainPlaylist().description(en));
    EXPECT_NE(LibraryErrorView::message(std::make_exception_ptr(ImportError::disconnected()),
                                        AppLanguage::simplifiedChinese),
              advice);
}

TEST_F(PaneTest, TheStatusLineNamesTheSelectionOrCountsIt) {
    const QString path =
        makeVolume(root + QStringLiteral("/Pod"), {{.title = QStringLiteral("One")},
                                                   {.title = QStringLiteral("Two")},
                                                   {.title = QStringLiteral("Three")}});
    open({path});
    waitForLibrary();
    EXPECT_EQ(pane().statusLabel()->text(), QString());
    const QList<quint64> ids = tableIDs(tableModel());
    view().setTrackSelection({{ids[0], std::nullopt}});
    const Track& first = store->library()->tracks[0];
    ASSERT_EQ(first.title, QStringLiteral("One"));
    EXPECT_EQ(
        pane().statusLabel()->text(),
        QStringLiteral("Selected “One” · %1 (%2 bytes)").arg(first.format).arg(first.sizeBytes));
    // The table shows the main view's selection.
    EXPECT_TRUE(table().selectionModel()->isRowSelected(0, {}));
    view().setTrackSelection({{ids[0], std::nullopt}, {ids[1], std::nullopt}});
    EXPECT_EQ(pane().statusLabel()->text(), QStringLiteral("2 selected"));
}

TEST_F(PaneTest, LongTextsShortenWithAnEllipsisAndTheSidebarKeepsItsWidth) {
    const QString title = QStringLiteral("Long ").repeated(40).trimmed();
    const QString path = makeVolume(root + QStringLiteral("/Pod"),
                                    {{.title = title}, {.title = QStringLiteral("Two")}});
    open({path});
    waitForLibrary();
    const int sidebarWidth = view().sidebarColumn()->width();
    const int windowWidth = window->width();
    const QList<quint64> ids = tableIDs(tableModel());
    view().setTrackSelection({{ids[0], std::nullopt}});
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();

    // The whole text is kept; the line shows its ends with "…" between, format and size last.
    ElidedLabel* status = pane().statusLabel();
    ASSERT_TRUE(status->text().contains(title));
    const QString shown = status->shownText();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Selected “Long"))) << shown.toStdString();
    const QString tail = status->text().section(QStringLiteral("” · "), 1);
    EXPECT_TRUE(shown.endsWith(tail)) << shown.toStdString();
    EXPECT_LE(status->fontMetrics().horizontalAdvance(shown), status->contentsRect().width());
    EXPECT_LE(status->mapTo(window.get(), QPoint(status->width(), 0)).x(), window->width());
    EXPECT_EQ(view().sidebarColumn()->width(), sidebarWidth);
    EXPECT_EQ(window->width(), windowWidth);

    // A long device name ends in "…" rather than being cut mid-word. The name set here is the
    // header's own from now on: a model, name or battery read that comes late must not rewrite it.
    QObject::disconnect(store.get(), nullptr, pane().deviceHeader(), nullptr);
    ElidedLabel* name = pane().deviceHeader()->nameLabel();
    name->setText(title);
    QCoreApplication::processEvents();
    EXPECT_TRUE(name->shownText().endsWith(QChar(0x2026))) << name->shownText().toStdString();
    EXPECT_LE(name->mapTo(window.get(), QPoint(name->width(), 0)).x(), window->width());
    EXPECT_EQ(view().sidebarColumn()->width(), sidebarWidth);

    // So does the toolbar's device line, before the share button, also as the window narrows.
    store->setDeviceName(QStringLiteral("N").repeated(200), *store->selectedDiskID());
    TestSupport::drainEvents();
    window->resize(window->width() - 60, window->height());
    TestSupport::drainEvents();
    ElidedLabel* line = view().toolbarTitle()->titleLabel();
    ASSERT_TRUE(line->text().startsWith(QStringLiteral("N").repeated(200)));
    EXPECT_TRUE(line->shownText().endsWith(QChar(0x2026))) << line->shownText().toStdString();
    QWidget* share = view().deviceShareButton();
    EXPECT_LE(line->mapTo(window.get(), QPoint(line->width(), 0)).x(),
              share->mapTo(window.get(), QPoint(0, 0)).x());
    EXPECT_EQ(view().sidebarColumn()->width(), sidebarWidth);
    EXPECT_EQ(sidebarWidth, 220);
}

TEST_F(PaneTest, TheInformationLineDropsWholePartsAndTheSidebarKeepsItsWidth) {
    open({makeVolume(root + QStringLiteral("/Pod"), {{.title = QStringLiteral("One")}})});
    waitForLibrary();
    // The header rewrites its line once the model is known.
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !store->deviceModels().isEmpty(); }));
    window->resize(800, 640);
    TestSupport::drainEvents();
    ASSERT_EQ(window->size(), QSize(800, 640));
    // The lines below are the header's own from here: a later rescan or name read must not
    // rewrite them mid-test.
    QObject::disconnect(store.get(), nullptr, pane().deviceHeader(), nullptr);
    PlaybackModeLabel* information = pane().deviceHeader()->informationLabel();
    ElidedLabel* text = information->textLabel();
    const PlaybackModeLabel::Battery battery{80, true, false};
    information->setContent(QStringLiteral("2009"), battery, std::nullopt);
    TestSupport::drainEvents();
    const int sidebarWidth = view().sidebarColumn()->width();
    EXPECT_EQ(sidebarWidth, 220);
    EXPECT_EQ(text->shownText(), QStringLiteral("2009"));

    // A large library's line, too long for the smallest window, in either language.
    for (const AppLanguage language : {AppLanguage::english, AppLanguage::simplifiedChinese}) {
        const QString line = DeviceSummary::informationLine(std::nullopt, 80'000'000'000,
                                                            314'000'000, 40'036, language);
        information->setContent(line, battery, std::nullopt);
        TestSupport::drainEvents();
        ASSERT_GT(text->fontMetrics().horizontalAdvance(line), text->width());
        const QString shown = text->shownText();
        EXPECT_TRUE(shown.endsWith(QStringLiteral(" · …"))) << shown.toStdString();
        EXPECT_TRUE(line.startsWith(shown.chopped(1))) << shown.toStdString();
        EXPECT_EQ(text->text(), line);
        EXPECT_EQ(view().sidebarColumn()->width(), sidebarWidth);
        EXPECT_EQ(window->width(), 800);
    }
}

TEST_F(PaneTest, DeleteAndTheMenuAskForConfirmationOnTheRowsActedOn) {
    const QString path =
        makeVolume(root + QStringLiteral("/Pod"), {{.title = QStringLiteral("One")},
                                                   {.title = QStringLiteral("Two")},
                                                   {.title = QStringLiteral("Three")}});
    open({path});
    waitForLibrary();
    const QList<quint64> ids = tableIDs(tableModel());
    view().setTrackSelection({{ids[1], std::nullopt}});
    table().setFocus();
    QTest::keyClick(&table(), Qt::Key_Delete);
    ASSERT_TRUE(view().state().pendingConfirmation.has_value());
    const auto* remove =
        std::get_if<DeviceConfirmation::Delete>(&view().state().pendingConfirmation->value);
    ASSERT_NE(remove, nullptr);
    EXPECT_EQ(remove->ids, (QSet<quint64>{ids[1]}));
    ASSERT_NE(view().alerts()->confirmationBox(), nullptr);
    view().alerts()->confirmationBox()->reject();
    TestSupport::waitUntil([&] { return !view().state().pendingConfirmation; });

    // The menu of two rows: editing needs one track, exporting and deleting take both; a nano
    // has no start track to set.
    view().setTrackSelection({{ids[0], std::nullopt}, {ids[1], std::nullopt}});
    std::unique_ptr<QMenu> menu(
        table().contextMenuAt(table().visualRect(tableModel().index(0, 1)).center()));
    ASSERT_TRUE(menu);
    QStringList titles;
    for (QAction* action : menu->actions())
        titles.append(action->text());
    EXPECT_EQ(titles, (QStringList{"Edit Track Info", "Export Songs…", "Delete From iPod"}));
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    EXPECT_TRUE(menu->actions()[1]->isEnabled());
    EXPECT_TRUE(menu->actions()[2]->isEnabled());
    menu->actions()[2]->trigger();
    ASSERT_TRUE(view().state().pendingConfirmation.has_value());
    EXPECT_EQ(std::get<DeviceConfirmation::Delete>(view().state().pendingConfirmation->value).ids,
              (QSet<quint64>{ids[0], ids[1]}));
    view().alerts()->confirmationBox()->reject();
    TestSupport::waitUntil([&] { return !view().state().pendingConfirmation; });

    // One row: editing asks for the track's editor with its tags and the genre choices.
    view().setTrackSelection({});
    menu.reset(table().contextMenuAt(table().visualRect(tableModel().index(1, 1)).center()));
    ASSERT_TRUE(menu);
    ASSERT_TRUE(menu->actions()[0]->isEnabled());
    menu->actions()[0]->trigger();
    ASSERT_TRUE(view().state().trackEditRequest.has_value());
    EXPECT_EQ(view().state().trackEditRequest->id, ids[1]);
    EXPECT_EQ(view().state().trackEditRequest->metadata.title, QStringLiteral("Two"));
    EXPECT_EQ(view().state().trackEditRequest->genres.size(), 6);

    // While an operation runs nothing may be deleted.
    IPodStoreTestAccess::setActiveDeviceID(*store, store->selectedDiskID());
    menu.reset(table().contextMenuAt(table().visualRect(tableModel().index(1, 1)).center()));
    ASSERT_TRUE(menu);
    EXPECT_FALSE(menu->actions()[1]->isEnabled());
    EXPECT_FALSE(menu->actions()[2]->isEnabled());
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
}

TEST_F(PaneTest, AThousandProgressReportsMoveTheCardAndNeverTouchTheTable) {
    QList<TrackSpec> tracks;
    for (int i = 0; i < 50; ++i)
        tracks.append({.title = QStringLiteral("Song %1").arg(i), .withoutFile = true});
    const QString path = makeVolume(root + QStringLiteral("/Pod"), tracks);
    open({path});
    waitForLibrary();
    IPodStoreTestAccess::setActiveDeviceID(*store, store->selectedDiskID());
    QSignalSpy resets(&tableModel(), &QAbstractItemModel::modelReset);
    QSignalSpy layouts(&tableModel(), &QAbstractItemModel::layoutChanged);
    QSignalSpy inserts(&tableModel(), &QAbstractItemModel::rowsInserted);
    QSignalSpy cells(&tableModel(), &QAbstractItemModel::dataChanged);
    ImportProgress progress;
    progress.stage = QStringLiteral("Copying");
    progress.fileCount = 1000;
    for (int i = 1; i <= 1000; ++i) {
        progress.fileIndex = i;
        progress.fileName = QStringLiteral("file %1.mp3").arg(i);
        progress.fraction = i / 1000.0;
        IPodStoreTestAccess::setProgress(*store, progress);
    }
    EXPECT_EQ(resets.count() + layouts.count() + inserts.count() + cells.count(), 0);
    EXPECT_EQ(view().progressPanel()->percentLabel()->text(), QStringLiteral("100%"));
    EXPECT_EQ(view().progressPanel()->fileCountLabel()->text(),
              QStringLiteral("File 1,000 of 1,000"));
    EXPECT_EQ(view().busyTitle()->text(), QStringLiteral("Copying"));
    IPodStoreTestAccess::setProgress(*store, std::nullopt);
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
}

TEST_F(PaneTest, AChangeOfLanguageRelabelsTheTableTheDropAreaAndTheStatusLine) {
    const QString path =
        makeVolume(root + QStringLiteral("/Pod"),
                   {{.title = QStringLiteral("One")}, {.title = QStringLiteral("Two")}});
    open({path});
    waitForLibrary();
    view().setTrackSelection(
        {{tableIDs(tableModel())[0], std::nullopt}, {tableIDs(tableModel())[1], std::nullopt}});
    EXPECT_EQ(tableModel().headerData(1, Qt::Horizontal).toString(), QStringLiteral("Title"));

    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::simplifiedChinese));
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(window.get(), &change);
    EXPECT_EQ(tableModel().headerData(1, Qt::Horizontal).toString(), QStringLiteral("标题"));
    EXPECT_EQ(pane().dropArea()->titleLabel()->text(), QStringLiteral("点按以选取或拖入音频文件"));
    EXPECT_EQ(pane().dropArea()->captionLabel()->text(),
              QStringLiteral("支持 MP3、M4A、AAC、FLAC 和 WAV。无损音频会自动转换。"));
    EXPECT_EQ(pane().statusLabel()->text(), QStringLiteral("已选择 2 项"));
    // Texts that belong to the data stay as they are.
    EXPECT_EQ(tableTitles(tableModel()), (QStringList{"One", "Two"}));
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::english));
}
