// The device header and the toolbar of a mounted iPod on the real store: the information line
// and the summary line, the count of staged tracks, the import and device actions with their
// shortcuts, the file-name tags toggle, and the settings popup that writes the transfer settings
// and relabels the window in Chinese.

#include "PaneFixture.h"

#include "app/DeviceHeader.h"
#include "app/DeviceSummary.h"
#include "app/LorvanelApp.h"
#include "app/PlaybackModeLabel.h"
#include "app/SettingsButton.h"
#include "app/SettingsPopup.h"
#include "app/SoftwareVersionText.h"
#include "browser/ElidedLabel.h"
#include "browser/LibraryPaneHeader.h"
#include "browser/TransferSettingsView.h"
#include "platform/Settings.h"
#include "support/EventLoop.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>

using TestSupport::TrackSpec;

namespace {

class HeaderTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        path = makeVolume(root + QStringLiteral("/Pod"),
                          {{.title = QStringLiteral("One")}, {.title = QStringLiteral("Two")}});
        open({path});
        waitForLibrary();
        ASSERT_TRUE(store->library());
        // The model comes with the device's name, read beside the library.
        ASSERT_TRUE(TestSupport::waitUntil(
            [this] { return store->deviceModels().contains(*store->selectedDiskID()); }));
        header = pane().deviceHeader();
        ASSERT_NE(header, nullptr);
    }

    void TearDown() override {
        for (const QString& key : {Settings::Keys::aacBitrate, Settings::Keys::onlyUnsupported,
                                   Settings::Keys::autoEject, Settings::Keys::parseFilenameTags})
            Settings::shared().remove(key);
        PaneTest::TearDown();
    }

    QString informationText() const { return header->informationLabel()->textLabel()->text(); }

    QString path;
    DeviceHeader* header = nullptr;
};

} // namespace

TEST_F(HeaderTest, TheInformationLineCountsStagedTracksAndTheToolbarNamesTheModel) {
    const IPodDevice device = *store->selectedDevice();
    const IPodModel model = store->deviceModels().value(device.id);
    ASSERT_EQ(model.family, IPodModel::Family::nano);
    ASSERT_GT(device.totalBytes, 0);
    EXPECT_EQ(informationText(),
              DeviceSummary::informationLine(model, device.totalBytes, device.freeBytes, 2,
                                             AppLanguage::english));
    EXPECT_TRUE(informationText().startsWith(QStringLiteral("2006 · ")))
        << qPrintable(informationText());
    EXPECT_TRUE(informationText().contains(QStringLiteral(" · 2 tracks · ")));
    EXPECT_TRUE(informationText().endsWith(QStringLiteral(" available")));
    EXPECT_EQ(header->nameLabel()->text(), store->displayName(device.id, AppLanguage::english));
    // The model is drawn: the second nano generation.
    ASSERT_TRUE(header->artwork());
    EXPECT_EQ(header->artwork()->series, StartupSeries::nano);
    EXPECT_EQ(header->artwork()->generation, 1);
    EXPECT_EQ(view().toolbarTitle()->titleLabel()->text(),
              DeviceSummary::summaryLine(store->displayName(device.id, AppLanguage::english), model,
                                         AppLanguage::english));

    // While an import stages a track for this iPod the count includes it, and nothing that
    // imports or ejects may start.
    IPodStoreTestAccess::setActiveDeviceID(*store, device.id);
    Track staged;
    staged.id = 999999;
    staged.title = QStringLiteral("Coming");
    IPodStoreTestAccess::appendStagedImportTrack(*store, staged);
    EXPECT_TRUE(informationText().contains(QStringLiteral(" · 3 tracks · ")));
    EXPECT_FALSE(header->addSongsAction()->isEnabled());
    EXPECT_FALSE(header->addFolderAction()->isEnabled());
    EXPECT_FALSE(header->ejectAction()->isEnabled());
    header->ejectAction()->trigger();
    EXPECT_FALSE(view().state().pendingConfirmation);
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
    EXPECT_TRUE(header->addSongsAction()->isEnabled());
    EXPECT_TRUE(header->ejectAction()->isEnabled());

    // Eject asks first.
    header->ejectAction()->trigger();
    ASSERT_TRUE(view().state().pendingConfirmation);
    EXPECT_EQ(view().state().pendingConfirmation->device().id, device.id);
}

TEST_F(HeaderTest, TheMenuHoldsTheImportAndDeviceActionsAndTheTagsToggleFollowsItsSetting) {
    QStringList titles;
    for (QAction* action : header->actionsMenu()->actions())
        titles.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(titles, (QStringList{"Add Files…", "Add Folder…", "-",
                                   "Infer Artist and Title from Filenames", "-", "Eject Device"}));
    EXPECT_EQ(header->addSongsButton()->text(), QStringLiteral("Add Songs…"));
    EXPECT_EQ(header->actionsMenuButton()->accessibleName(),
              QStringLiteral("Import and Device Actions"));
    EXPECT_EQ(header->addSongsAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(header->addFolderAction()->shortcut(),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));

    EXPECT_TRUE(header->filenameTagsAction()->isChecked());
    header->filenameTagsAction()->trigger();
    EXPECT_FALSE(Settings::read(QStringLiteral("transfer.parseFilenameTags")).toBool());
    EXPECT_FALSE(TransferSettings::load().parseFilenameTags);
    Settings::shared().setValue(QStringLiteral("transfer.parseFilenameTags"), true);
    EXPECT_TRUE(header->filenameTagsAction()->isChecked());
}

TEST_F(HeaderTest, CtrlOAndCtrlShiftOOpenTheImportPanelForFilesAndForFolders) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    QFileDialog* files = view().importPanel();
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(files->nameFilters(), (QStringList{"Audio (*.mp3 *.m4a *.aac *.flac *.wav)"}));
    files->reject();
    TestSupport::drainEvents();

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    QFileDialog* folders = view().importPanel();
    ASSERT_NE(folders, nullptr);
    EXPECT_EQ(folders->fileMode(), QFileDialog::Directory);
    // Several folders may be chosen at once.
    for (QAbstractItemView* list :
         folders->findChildren<QAbstractItemView*>(QStringLiteral("listView")))
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    folders->reject();
}

TEST_F(HeaderTest, TheSettingsPopupWritesTheTransferKeysAndAChineseChoiceRelabelsTheWindow) {
    // As the application does: a stored language reaches every window.
    QObject context;
    QObject::connect(&Settings::shared(), &Settings::changed, &context, [](const QString& key) {
        if (key == Settings::Keys::appLanguage)
            LorvanelApp::broadcastLanguageChange();
    });
    QTest::mouseClick(view().settingsButton(), Qt::LeftButton);
    SettingsPopup* popup = view().settingsPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_TRUE(view().state().showsSettings);
    TransferSettingsView* form = popup->settingsView();

    form->bitrateBox()->setCurrentIndex(0);
    Q_EMIT form->bitrateBox()->activated(0);
    form->onlyUnsupportedBox()->click();
    form->autoEjectBox()->click();
    EXPECT_EQ(Settings::read(QStringLiteral("transfer.aacBitrate")).toInt(), 128);
    EXPECT_FALSE(Settings::read(QStringLiteral("transfer.onlyUnsupported")).toBool());
    EXPECT_TRUE(Settings::read(QStringLiteral("transfer.autoEject")).toBool());
    EXPECT_EQ(TransferSettings::load(),
              (TransferSettings{TransferSettings::Bitrate::kbps128, false, true, true}));

    form->languageBox()->setCurrentIndex(2);
    Q_EMIT form->languageBox()->activated(2);
    EXPECT_EQ(Settings::read(QStringLiteral("app.language")).toString(), QStringLiteral("zh-Hans"));
    EXPECT_EQ(header->addSongsButton()->text(), QStringLiteral("添加歌曲…"));
    EXPECT_TRUE(informationText().contains(QStringLiteral(" · 2 首曲目 · 可用 ")))
        << qPrintable(informationText());
    EXPECT_EQ(header->ejectAction()->text(), QStringLiteral("推出设备"));
    EXPECT_EQ(content().header()->tableViewButton()->text(), QStringLiteral("表格视图"));
    EXPECT_EQ(form->autoEjectBox()->text(), QStringLiteral("导入成功后推出"));
    EXPECT_EQ(view().settingsButton()->toolTip(), QStringLiteral("设置"));

    // A second click on the button closes the popup; the next opening is a fresh form.
    QTest::mouseClick(view().settingsButton(), Qt::LeftButton);
    EXPECT_FALSE(view().state().showsSettings);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return view().settingsPopup() == nullptr; }));
    Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("en"));
    EXPECT_EQ(header->addSongsButton()->text(), QStringLiteral("Add Songs…"));
}
