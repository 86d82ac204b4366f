#pragma once

// The pane of a selected mounted iPod, top to bottom: the device header, a line, the library
// content (a "Reading library…" spinner, the error pane with "Retry", or the library itself),
// the area below it with the preview bar and the import drop area, a line, and the status line.
// Files dropped on the library (all tracks only) or on the drop area go to the store's import.

#include "appmodel/MainViewState.h"

#include <QList>
#include <QWidget>

class ActivitySpinner;
class AudioDropDelegate;
class ContentView;
class DeviceHeader;
class ElidedLabel;
class ImportDropArea;
class IPodStore;
class LibraryContent;
class LibraryErrorView;
class PreviewBar;
class QLabel;
class QMenu;
class QStackedWidget;

class LibraryPane : public QWidget {
    Q_OBJECT

public:
    enum class ContentState {
        loading,
        error,
        library,
    };

    explicit LibraryPane(ContentView& view, QWidget* parent = nullptr);

    DeviceHeader* deviceHeader() const { return header_; }
    // Holds the preview bar; shown only while the previewed track is in the loaded library.
    QWidget* previewBarHost() const { return previewHost_; }

    ContentState contentState() const;
    QWidget* contentArea() const { return contentArea_; }
    ActivitySpinner* loadingView() const { return loading_; }
    LibraryErrorView* errorView() const { return error_; }
    LibraryContent* content() const { return content_; }
    ImportDropArea* dropArea() const { return dropArea_; }
    ElidedLabel* statusLabel() const { return status_; }

    // The actions on the tracks a table's menu was opened for, in table order.
    void fillTrackMenu(QMenu& menu, const QList<quint64>& trackIDs);

protected:
    void changeEvent(QEvent* event) override;

private:
    void libraryChanged();
    void refreshContent();
    void refreshState();
    void refreshDropArea();
    void refreshStatus();
    void refreshPreviewBar();
    void deleteRequested(const QSet<quint64>& trackIDs);

    ContentView& view_;
    IPodStore& store_;
    QList<quint64> playlistIDs_;

    DeviceHeader* header_ = nullptr;
    QWidget* contentArea_ = nullptr;
    QStackedWidget* contentStack_ = nullptr;
    ActivitySpinner* loading_ = nullptr;
    LibraryErrorView* error_ = nullptr;
    LibraryContent* content_ = nullptr;
    QWidget* previewHost_ = nullptr;
    PreviewBar* previewBar_ = nullptr;
    ImportDropArea* dropArea_ = nullptr;
    ElidedLabel* status_ = nullptr;
    AudioDropDelegate* libraryDrop_ = nullptr;
    AudioDropDelegate* zoneDrop_ = nullptr;
};
