#pragma once

// The one view of the main window: the device sidebar beside the detail column, the view state
// the panes share, and the window-wide lifecycle: the first device scan and the watch loops when
// the window is first shown, the resets when the selected device changes, the busy treatment
// while the store runs an operation, the per-device tasks, and the confirmations, alerts and
// sheets.

#include "app/DeviceTaskScope.h"
#include "appmodel/MainViewState.h"
#include "device/IPodStore.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <unordered_map>

class AlertPresenter;
class BatteryIndicator;
class DetailPane;
class DeviceShareButton;
class DeviceSidebar;
class ImportProgressPanel;
class LibraryPane;
class MobileDevicePane;
class QFileDialog;
class QLabel;
class SettingsButton;
class SettingsPopup;
class SheetDialog;
class SheetSlot;
class SoftwareVersionText;

class ContentView : public QWidget {
    Q_OBJECT

public:
    static constexpr int contentInset = 22;
    static constexpr int bottomBarHeight = 28;
    static constexpr int toolbarHeight = 38;
    // The sidebar under the black layer while busy.
    static constexpr qreal busyDimOpacity = 0.62;

    explicit ContentView(IPodStore& store, QWidget* parent = nullptr);
    ~ContentView() override;

    IPodStore& store() const { return store_; }
    const MainViewState& state() const { return state_; }

    // Sheets are built by the views that own their content; the window opens and closes them.
    std::function<SheetDialog*(const NewPlaylistRequest&, QWidget* parent)> newPlaylistSheet;
    std::function<SheetDialog*(const TrackEditRequest&, QWidget* parent)> trackEditSheet;

    // The panes' writes to the shared state.
    void setTrackSelection(const QSet<TrackRow::ID>& selection);
    void setScopedTrackSelection(const QSet<TrackRow::ID>& selection);
    void setLibrarySearch(const QString& text);
    void setLibraryScope(const LibraryScope& scope);
    void setShowsCoverFlow(bool shows);
    void setCoverFlowGrouping(CoverFlowGroup::Grouping grouping);
    void setSortOrder(const TrackSortOrder& order);
    void setScopedSortOrder(const TrackSortOrder& order);
    void setPreviewSeekPosition(std::optional<double> seconds);
    void setMobileLibrary(const std::optional<MainViewState::MobileLibrary>& library);
    void showAllTracks();
    // The header's view-mode buttons and scope menu (the rules are MainViewState's).
    void setViewMode(bool coverFlow);
    void selectLibraryScope(const LibraryScope& scope);
    void resetScopedTableState();
    void validatePlaylistScope(const QList<quint64>& playlistIDs);
    // Drags of files hovering over the library or over the drop area.
    void setIsOverTable(bool over);
    void setIsOverDropZone(bool over);

    // The open panel for files (or folders) to import into the selected iPod, which it keeps
    // even when the selection changes while the panel is open.
    void showImportPanel(bool chooseFolders);
    QFileDialog* importPanel() const;

    // A toolbar's settings button: opens the transfer settings under it, or closes them.
    void toggleSettings(QWidget* anchor);
    SettingsPopup* settingsPopup() const;

    // Sidebar actions.
    void selectSeries(StartupSeries series);
    void selectDevice(const IPodStore::Selection& selection);

    // Dialog requests; a new one replaces a pending one of its kind. Eject and delete are
    // asked for only while the store is idle.
    void requestEjectConfirmation(const IPodDevice& device);
    void requestDeleteConfirmation(const QSet<quint64>& ids, const IPodDevice& device);
    void requestNewPlaylist(const NewPlaylistRequest& request);
    void requestTrackEdit(const TrackEditRequest& request);
    // "New Playlist on iPod…": the library's tracks that the main playlist lists, none ticked;
    // nothing unless the store can create playlists on the selected iPod.
    void newPlaylistOnIPod();
    // A playlist of a cover-flow group: its tracks all ticked, named after the group.
    void requestGroupPlaylist(const QList<Track>& tracks, const QString& name);
    // Shows a playlist of the library; its table starts over unless it is already shown.
    void openPlaylist(quint64 playlistID);

    bool isBusy() const { return store_.activeDeviceID().has_value(); }
    // The application quits once the operation has ended: the progress card says so.
    void setQuitsWhenDone(bool quits);
    bool hasStarted() const { return started_; }

    DeviceSidebar* sidebar() const { return sidebar_; }
    DetailPane* detailPane() const { return detail_; }
    QWidget* sidebarColumn() const { return sidebarColumn_; }
    QWidget* detailColumn() const { return detailColumn_; }
    QWidget* sidebarDimmer() const { return dimmer_; }
    // The card over the detail column while an operation runs, and its title.
    ImportProgressPanel* progressPanel() const { return overlay_; }
    QLabel* busyTitle() const;
    LibraryPane* libraryPane() const { return libraryPane_; }
    MobileDevicePane* mobilePane() const { return mobilePane_; }
    AlertPresenter* alerts() const { return alerts_; }
    SheetSlot* newPlaylistSlot() const { return newPlaylistSlot_; }
    SheetSlot* trackEditSlot() const { return trackEditSlot_; }
    SoftwareVersionText* toolbarTitle() const { return toolbarTitle_; }
    SettingsButton* settingsButton() const { return settingsButton_; }
    // The device toolbar's share button (mounted iPods and iPod touch devices).
    DeviceShareButton* deviceShareButton() const { return deviceShare_; }
    // The items of the device screens' toolbar; the showcase brings its own.
    QWidget* deviceToolbar() const { return deviceToolbar_; }
    BatteryIndicator* batteryIndicator() const;
    // The device whose battery loop and firmware read run now.
    const std::optional<IPodDevice::ID>& deviceTaskKey() const { return deviceTasks_.key(); }

Q_SIGNALS:
    // A confirmed deletion, sent as the store starts it.
    void deleteTracksRequested(const QSet<quint64>& ids, const IPodDevice::ID& deviceID);
    // Any field of the shared state changed.
    void stateChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void start();
    void selectionChanged();
    void refreshSidebar();
    void refreshDetail(bool animate);
    void refreshBusy();
    void refreshProgress();
    void refreshDeviceNameTasks();
    void presentConfirmation();
    void deleteConfirmedTracks(const QSet<quint64>& ids, const IPodDevice& device);
    void layoutOverlays();
    SettingsButton* makeSettingsButton(QWidget* parent);

    IPodStore& store_;
    MainViewState state_;
    bool started_ = false;
    bool quitsWhenDone_ = false;
    std::optional<IPodStore::Selection> lastSelection_;
    // The device the share button stands for; its popup closes when that changes.
    std::optional<IPodStore::Selection> sharedDevice_;

    QWidget* sidebarColumn_ = nullptr;
    DeviceSidebar* sidebar_ = nullptr;
    QWidget* dimmer_ = nullptr;
    QWidget* detailColumn_ = nullptr;
    QWidget* toolbar_ = nullptr;
    QWidget* deviceToolbar_ = nullptr;
    SoftwareVersionText* toolbarTitle_ = nullptr;
    DeviceShareButton* deviceShare_ = nullptr;
    SettingsButton* settingsButton_ = nullptr;
    DetailPane* detail_ = nullptr;
    LibraryPane* libraryPane_ = nullptr;
    MobileDevicePane* mobilePane_ = nullptr;
    ImportProgressPanel* overlay_ = nullptr;
    // The keyboard focus when the columns were disabled for work.
    QPointer<QWidget> focusBeforeBusy_;
    QPointer<QFileDialog> importPanel_;
    QPointer<SettingsPopup> settingsPopup_;
    AlertPresenter* alerts_ = nullptr;
    SheetSlot* newPlaylistSlot_ = nullptr;
    SheetSlot* trackEditSlot_ = nullptr;

    std::vector<IPodStore::ViewTask> windowTasks_;
    DeviceTaskScope<IPodStore::ViewTask> deviceTasks_;
    std::unordered_map<IPodDevice::ID, IPodStore::ViewTask> nameTasks_;
};
