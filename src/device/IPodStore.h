#pragma once

// The application's one observable store: the attached iPods, the sidebar's selection, the
// library snapshot of the selected device, the state of a running operation, the preview and
// the one alert. Lives on the main thread and is only touched there; every read of a device
// runs on a background task and reports back here, where its result is dropped when it was
// cancelled or the selection has moved on. Each published property has a getter and a change
// signal, emitted after the value changed (also for an assignment of the same value where
// noted).
//
// The store is the façade the views bind to; its jobs are done by parts of its own: the
// DeviceRegistry (devices, names, selection), the LibraryLoader, the PreviewController and one
// StoreOperation per running import, export or edit.

#include "device/IPodBattery.h"
#include "device/IPodDevice.h"
#include "device/IPodLibrary.h"
#include "device/MobileDevice.h"
#include "library/TrackMetadata.h"
#include "platform/AppLanguage.h"
#include "platform/Task.h"
#include "transfer/ImportProgress.h"
#include "transfer/TransferSettings.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class DeviceRegistry;
class IPodDatabase;
class LibraryLoader;
class OperationReporter;
class PreviewController;
class StoreOperation;

class IPodStore : public QObject {
    Q_OBJECT

public:
    // What the sidebar selects: a mounted volume by its identity, an iPod touch by its UDID,
    // or an iPod on USB whose volume is not mounted by its registry entry ID.
    struct Selection {
        enum class Kind {
            disk,
            mobile,
            unmounted,
        };
        Kind kind = Kind::disk;
        IPodDevice::ID diskID; // disk
        QString mobileID;      // mobile
        quint64 usbID = 0;     // unmounted

        static Selection disk(IPodDevice::ID id);
        static Selection mobile(QString id);
        static Selection unmounted(quint64 usbID);

        bool isDisk() const { return kind == Kind::disk; }
        bool isMobile() const { return kind == Kind::mobile; }
        bool isUnmounted() const { return kind == Kind::unmounted; }

        // Equal in case and payload.
        bool operator==(const Selection& other) const;
    };

    // Registry entry ID -> USB product ID.
    using USBScan = std::map<quint64, int>;
    // (whether the product reports a battery, its state); none without a USB device.
    using BatteryReading = std::optional<std::pair<bool, std::optional<IPodBattery>>>;

    // Where the store learns about the machine. Every source runs on a background task, never
    // on the main thread. system() reads the real machine; tests put their own volumes and USB
    // answers in place, and must name every source: the store refuses a set with one missing.
    struct Sources {
        // Mount points of the local volumes.
        std::function<QStringList()> mountedVolumes;
        std::function<USBScan()> scanUSB;
        // The USB registry entry ID behind a mounted device.
        std::function<std::optional<quint64>(const IPodDevice&)> usbRegistryEntryID;
        // The connected iOS devices; none when they cannot be listed at all.
        std::function<std::optional<QList<MobileDevice>>()> mobileDevices;
        std::function<IPodLibrary(const IPodDevice&)> loadLibrary;
        std::function<BatteryReading(const IPodDevice&)> readBattery;

        static Sources system();
        // The names of the sources left unset.
        QStringList missing() const;
    };

    // The polling periods, measured from the end of each turn.
    struct Periods {
        std::chrono::milliseconds usb{2000};
        std::chrono::milliseconds mobile{3000};
        std::chrono::milliseconds battery{30000};
    };

    // A loop or loader started for a view: it stops when the handle is dropped or cancelled
    // (a read already started runs to its end and its result is dropped).
    class ViewTask {
    public:
        ViewTask() = default;
        ~ViewTask();
        ViewTask(ViewTask&& other) noexcept;
        ViewTask& operator=(ViewTask&& other) noexcept;
        ViewTask(const ViewTask&) = delete;
        ViewTask& operator=(const ViewTask&) = delete;

        void cancel();
        // The loop has stopped, by itself or by cancellation.
        bool isFinished() const;

        struct State;

    private:
        friend class IPodStore;
        friend class DeviceRegistry;
        explicit ViewTask(std::shared_ptr<State> s)
            : state(std::move(s)) {}
        std::shared_ptr<State> state;
    };

    // The real machine.
    explicit IPodStore(QObject* parent = nullptr);
    // Throws std::invalid_argument naming the sources that are not set.
    IPodStore(Sources sources, Periods periods, QObject* parent = nullptr);
    ~IPodStore() override;

    // Published state.
    const QList<IPodDevice>& devices() const;
    const USBScan& unmountedIPods() const;
    const QList<MobileDevice>& mobileDevices() const;
    const QHash<IPodDevice::ID, IPodModel>& deviceModels() const;
    const QHash<Selection, QString>& deviceNames() const;
    const std::optional<Selection>& selection() const;
    const std::optional<IPodBattery>& battery() const { return battery_; }
    const std::optional<QString>& softwareVersion() const { return softwareVersion_; }
    const std::optional<IPodLibrary>& library() const;
    // Why the last library load failed; null when it did not.
    std::exception_ptr loadError() const;
    const std::optional<ImportProgress>& progress() const { return progress_; }
    const QList<Track>& stagedImportTracks() const { return stagedImportTracks_; }
    const std::optional<IPodDevice::ID>& activeDeviceID() const { return activeDeviceID_; }
    const std::optional<quint64>& previewTrackID() const;
    bool isPreviewPlaying() const;
    const std::optional<QString>& alert() const { return alert_; }

    // The sidebar's writes. Assigning the current value announces a change but reloads nothing.
    void setSelection(const std::optional<Selection>& selection);
    // The window dismisses the alert with none.
    void setAlert(const std::optional<QString>& alert);

    // The load error's text in the language; empty without one.
    QString loadErrorDescription(AppLanguage language = AppLanguages::stored()) const;

    // Selection accessors.
    std::optional<IPodDevice::ID> selectedDiskID() const;
    std::optional<IPodDevice> selectedDevice() const;
    std::optional<MobileDevice> selectedMobileDevice() const;

    // What the window enables.
    bool canEditLibrary() const;
    bool canCreatePlaylist() const;
    bool canMovePlaylists() const;
    bool canImport() const;
    QList<Track> stagedTracksForSelection() const;
    QList<Track> displayedTracks() const;

    // Reads the snapshot of a device's library; blocking, for background tasks only.
    static IPodLibrary loadLibrary(const IPodDevice& device);

    // Library reload of the selected device (one read at a time per store).
    void reloadSelection();
    // The library pane's "Retry": refresh the devices, then reload unless the selection moved.
    void retryLibraryLoad();

    // Device names for the sidebar.
    std::optional<QString> storedDeviceName(const IPodDevice::ID& id) const;
    QString displayName(const IPodDevice::ID& id, AppLanguage language) const;
    void setDeviceName(const std::optional<QString>& name, const IPodDevice::ID& id);

    // Preview of a track of the selected mounted device.
    void togglePreview(quint64 trackID);
    void playPreview(quint64 trackID);
    void stopPreview();
    // (current time, duration) in seconds; none without a loaded player.
    std::optional<std::pair<double, double>> previewTimes() const;
    void seekPreview(quint64 trackID, double seconds);

    // Rebuilds the device list from the mounted volumes and the USB scan, then follows and
    // repairs the selection. The volumes are read on a background task; refreshes apply in the
    // order they were asked for, and then runs once this one (or a later one that took it
    // over) has been applied.
    void refreshDevices(std::optional<quint64> ejectedUSBID = std::nullopt,
                        std::optional<QString> addingURL = std::nullopt,
                        std::function<void()> then = {});

    // Watchers and loaders, each bound to the returned handle.
    ViewTask usbWatchLoop();
    ViewTask mobileDeviceWatchLoop();
    ViewTask deviceInfoLoop(const IPodDevice& device);
    ViewTask loadSoftwareVersion(const IPodDevice& device);
    ViewTask loadDeviceNameAndModel(const IPodDevice& device);
    // Follows /proc/self/mountinfo: a mount refreshes the devices, an unmount goes through
    // volumeDidUnmount (a relabel arrives as both).
    ViewTask watchVolumes();
    void volumeDidUnmount(const std::optional<QString>& url);

    // Unmounts and ejects a mounted iPod unless an operation runs.
    void eject(const IPodDevice& device);

    // Imports and exports (IPodStoreOperations.cpp). A drop is taken (true) when an import may
    // start; the local files among the dropped items are imported, the others counted.
    bool importDroppedItems(const QList<QUrl>& items);
    void startImport(const QStringList& urls, const IPodDevice::ID& deviceID);
    void startExport(const QSet<quint64>& trackIDs, const IPodDevice::ID& deviceID,
                     const QString& destination, bool lossless);
    // Quitting while an operation runs: an import or an export stops when asked; a library
    // edit (a change the user confirmed) and an eject run to their end.
    bool canStopOperation() const;
    // Stops the running import or export. It ends as usual, with no alert for the stop itself.
    void stopOperation();
    // The common end of imports, exports and edits: the busy state cleared, then an eject
    // (clean run with automatic eject) or a refresh, a reload and the alert. Files an import
    // skipped as already on the device are told in the alert, also when the device is ejected.
    void finishOperation(const IPodDevice& device, const QStringList& failures,
                         int droppedFailureCount, bool autoEject,
                         const std::optional<QString>& successMessage,
                         int skippedIdenticalCount = 0);
    // The alert of an operation: at most five failure lines and the count of the rest, then
    // the count of skipped files; none leaves the alert as it is.
    static std::optional<QString> operationAlert(QStringList failures, int droppedFailureCount,
                                                 const std::optional<QString>& successMessage,
                                                 AppLanguage language,
                                                 int skippedIdenticalCount = 0);
    // Removes the files a delete left unused, in order, checking the device's identity before
    // each one: the first failed check ends the removal by throwing. Returns a line for each
    // file that could not be removed.
    static QStringList removeTrackFiles(QStringList files,
                                        const std::function<void()>& verifyIdentity);

    // Library edits, each on a fresh database session in the background. A start that may
    // not happen is silent. A failure names the edit's action: a key of the string table with
    // one argument (what it acts on).
    struct EditAction {
        QString key;
        QString argument;
    };
    using LibraryEdit = std::function<QStringList(IPodDatabase&, const IPodDevice&)>;
    void runLibraryEdit(const IPodDevice::ID& deviceID, bool needsPlaylistCapability,
                        const EditAction& action, LibraryEdit operation);
    void saveTrackMetadata(quint64 trackID, const TrackMetadata& metadata,
                           const IPodDevice::ID& deviceID);
    void deleteTracks(const QSet<quint64>& trackIDs, const IPodDevice::ID& deviceID);
    void createPlaylist(const QString& name, const QList<quint64>& trackIDs,
                        const IPodDevice::ID& deviceID);
    void movePlaylist(quint64 playlistID, bool up);
    void setPlaybackStart(quint64 trackID);

Q_SIGNALS:
    void devicesChanged();
    void unmountedIPodsChanged();
    void mobileDevicesChanged();
    void deviceModelsChanged();
    void deviceNamesChanged();
    void selectionChanged();
    void batteryChanged();
    void softwareVersionChanged();
    void libraryChanged();
    void loadErrorChanged();
    void progressChanged();
    void stagedImportTracksChanged();
    void activeDeviceIDChanged();
    void previewTrackIDChanged();
    void isPreviewPlayingChanged();
    void alertChanged();

private:
    friend class IPodStoreTestAccess;

    // The state of the running operation; its starters and its end set these.
    void setActiveDeviceID(const std::optional<IPodDevice::ID>& id);
    void setProgress(const std::optional<ImportProgress>& progress);
    void appendStagedImportTrack(const Track& track);
    void clearStagedImportTracks();
    void setPreviewTrackID(const std::optional<quint64>& id);

    void setBattery(const std::optional<IPodBattery>& battery);
    void setSoftwareVersion(const std::optional<QString>& version);

    void selectionDidChange(const std::optional<Selection>& old);
    void batteryTurn(const std::shared_ptr<ViewTask::State>& task, const IPodDevice& device);

    // Runs work as the store's one operation on a device already marked busy; it ends in
    // finishOperation, with the success text looked up then.
    using OperationWork = std::function<QStringList(const OperationReporter&)>;
    // notDoneKey: what a run without an action did not do when the iPod's other user kept it
    // out (StoreOperation::Ending).
    void startOperation(const IPodDevice& device, OperationWork work, int droppedFailureCount,
                        bool autoEject, std::optional<QString> successKey, bool stoppable,
                        const EditAction& action = {}, const QString& notDoneKey = {});
    void startImportTask(const QStringList& urls, const IPodDevice& device,
                         const TransferSettings& settings, int droppedFailureCount);
    // A library edit that reports its progress.
    using ReportingEdit =
        std::function<QStringList(IPodDatabase&, const IPodDevice&, const OperationReporter&)>;
    void runReportingLibraryEdit(const IPodDevice::ID& deviceID, bool needsPlaylistCapability,
                                 const EditAction& action, ReportingEdit edit);
    // The title of a track or the name of a playlist of the library shown, for the texts that
    // name them; empty when it is not there.
    QString trackTitle(quint64 trackID) const;
    QString playlistName(quint64 playlistID) const;

    Sources sources;
    Periods periods;

    std::unique_ptr<DeviceRegistry> registry;
    std::unique_ptr<LibraryLoader> loader;
    std::unique_ptr<PreviewController> preview;
    // The running import, export or library edit (never an eject).
    std::unique_ptr<StoreOperation> operation;
    // What the busy device shows while its operation runs.
    std::optional<IPodLibrary> importBaseLibrary;

    // Published here.
    std::optional<IPodBattery> battery_;
    std::optional<QString> softwareVersion_;
    std::optional<ImportProgress> progress_;
    QList<Track> stagedImportTracks_;
    std::optional<IPodDevice::ID> activeDeviceID_;
    std::optional<QString> alert_;
};

size_t qHash(const IPodStore::Selection& selection, size_t seed = 0) noexcept;
