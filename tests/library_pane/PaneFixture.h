#pragma once

// The main window on the real store, on iPod volumes that libgpod lays out in folders (or on
// tmpfs mounts), with helpers that reach the library pane's pieces and deliver drags the way the
// window system does: to the widget under the point that takes drops.

#include "StoreHarness.h"

#include "app/ContentView.h"
#include "app/LibraryPane.h"
#include "app/MainWindow.h"
#include "browser/LibraryContent.h"
#include "browser/TrackTableModel.h"
#include "browser/TrackTableView.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QUrl>

#include <functional>
#include <memory>

class PaneTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // An iPod (a second-generation nano unless another model number is given) with these
    // tracks (and playlists of track indexes) at path; sysInfoExtended is written once the
    // database is.
    QString makeVolume(const QString& path, const QList<TestSupport::TrackSpec>& tracks,
                       const QList<QPair<QString, QList<int>>>& playlists = {},
                       const QString& modelNumber = QStringLiteral("MA477"),
                       const std::optional<QByteArray>& sysInfoExtended = std::nullopt);
    // Opens the window on these volumes; load replaces the real library read when given.
    void open(const QStringList& volumes, std::function<IPodLibrary(const IPodDevice&)> load = {});
    // Waits until the selected device's library (or its error) is there.
    void waitForLibrary();
    // Waits until the running operation ended and its reload brought the library back.
    void waitForOperation();

    ContentView& view() const { return *window->contentView(); }
    LibraryPane& pane() const { return *view().libraryPane(); }
    LibraryContent& content() const { return *pane().content(); }
    TrackTableView& table() const { return *content().trackTable(); }
    TrackTableModel& tableModel() const { return *table().trackModel(); }
    TrackTableView& scopedTable() const { return *content().scopedTrackTable(); }
    QList<quint64> tableIDs(const TrackTableModel& model) const;
    QStringList tableTitles(const TrackTableModel& model) const;

    struct DragOutcome {
        QWidget* target = nullptr; // the widget that took the drag events; null when none would
        bool entered = false;
        bool offeredCopy = false;
        bool dropped = false;
        // While the drag hovered: the main view's flag for the target, and the drop area lit.
        bool flaggedOver = false;
        bool areaLit = false;
    };
    // Drags urls over the middle of widget and drops them there.
    DragOutcome dragAndDrop(QWidget* over, const QList<QUrl>& urls, bool drop = true);

    QTemporaryDir work;
    QString root;
    std::shared_ptr<TestMachine> machine = std::make_shared<TestMachine>();
    std::unique_ptr<IPodStore> store;
    std::unique_ptr<MainWindow> window;
};
