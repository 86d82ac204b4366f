#pragma once

// The header above a mounted iPod's library: the device's picture, its name, the information
// line (model, capacity, track count, free space) with the battery and the saved playback mode,
// and the import actions: "Add Songs…" (Ctrl+O) beside a menu with "Add Files…", "Add Folder…"
// (Ctrl+Shift+O), the file-name tags toggle and "Eject Device".

#include "device/IPodDevice.h"
#include "showcase/StartupDeviceArtwork.h"

#include <QWidget>

#include <optional>

class ContentView;
class ElidedLabel;
class IPodStore;
class PlaybackModeLabel;
class QAction;
class QLabel;
class QMenu;
class QToolButton;

class DeviceHeader : public QWidget {
    Q_OBJECT

public:
    static constexpr int imageSide = 51;

    explicit DeviceHeader(ContentView& view, QWidget* parent = nullptr);

    // What the picture shows: the device's artwork, else the symbol.
    const std::optional<StartupDeviceArtwork>& artwork() const { return artwork_; }
    const QString& symbolName() const { return symbol_; }

    ElidedLabel* nameLabel() const { return name_; }
    PlaybackModeLabel* informationLabel() const { return information_; }
    QToolButton* addSongsButton() const { return addSongs_; }
    QToolButton* actionsMenuButton() const { return menuButton_; }
    QMenu* actionsMenu() const { return menu_; }
    QAction* addSongsAction() const { return addSongsAction_; }
    QAction* addFilesAction() const { return addFilesAction_; }
    QAction* addFolderAction() const { return addFolderAction_; }
    QAction* filenameTagsAction() const { return filenameTagsAction_; }
    QAction* ejectAction() const { return ejectAction_; }

    // Reads the selected device and the store again.
    void refresh();

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class DeviceImage;
    class ImportActions;

    void relabel();
    void refreshActions();

    ContentView& view_;
    IPodStore& store_;
    std::optional<StartupDeviceArtwork> artwork_;
    QString symbol_;

    DeviceImage* image_ = nullptr;
    ElidedLabel* name_ = nullptr;
    PlaybackModeLabel* information_ = nullptr;
    ImportActions* actions_ = nullptr;
    QToolButton* addSongs_ = nullptr;
    QToolButton* menuButton_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* addSongsAction_ = nullptr;
    QAction* addFilesAction_ = nullptr;
    QAction* addFolderAction_ = nullptr;
    QAction* filenameTagsAction_ = nullptr;
    QAction* ejectAction_ = nullptr;
};
