#pragma once

// The detail column: exactly one of the library of a mounted iPod, the page of an iPod touch,
// the page of an iPod whose disk is not mounted, or the showcase of the iPod series. Switching
// between the showcase and a device cross-fades unless animations are turned off.

#include "appmodel/StartupSeries.h"

#include <QPointer>
#include <QStackedWidget>
#include <QString>
#include <QWidget>

class QLabel;
class QVariantAnimation;
class StartupDeviceFlow;
class UnmountedDevicePane;

enum class DetailScreen {
    library,
    mobile,
    unmounted,
    showcase,
};

// The screen for what the sidebar selected, first match winning. A selection whose device is
// gone falls through to the showcase.
struct DetailDispatchInput {
    bool hasSelectedDevice = false;       // a disk selection still mounted
    bool hasSelectedMobileDevice = false; // an iPod touch selection still connected
    bool isListedUnmountedSelection = false;
};
DetailScreen detailScreen(const DetailDispatchInput& input);

// What stands in a screen whose own view is built elsewhere: a name and a coloured dot.
class DetailPlaceholder : public QWidget {
    Q_OBJECT

public:
    explicit DetailPlaceholder(QWidget* parent = nullptr);
    void setContent(const QString& title, const QColor& accent);
    QLabel* titleLabel() const { return title_; }

private:
    QWidget* dot_ = nullptr;
    QLabel* title_ = nullptr;
};

class DetailPane : public QWidget {
    Q_OBJECT

public:
    static constexpr int fadeMilliseconds = 220;

    explicit DetailPane(QWidget* parent = nullptr);

    DetailScreen screen() const { return screen_; }
    // Shows the screen; a change between the showcase and a device fades when animate is true.
    // The showcase comes back with its view state afresh each time it reappears.
    void showScreen(DetailScreen screen, bool animate);

    // The panes of a mounted iPod and of an iPod touch; the window puts its own in place of the
    // placeholders.
    QWidget* libraryPane() const { return library_; }
    void setLibraryPane(QWidget* pane);
    QWidget* mobilePane() const { return mobile_; }
    void setMobilePane(QWidget* pane);
    UnmountedDevicePane* unmountedPane() const { return unmounted_; }
    StartupDeviceFlow* showcasePane() const { return showcase_; }
    QWidget* currentPane() const { return stack_->currentWidget(); }
    // The picture of the old screen while it fades out, else null.
    QWidget* fadeOverlay() const { return fade_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* page(DetailScreen screen) const;
    void replacePage(QWidget*& page, QWidget* pane);

    QStackedWidget* stack_ = nullptr;
    QWidget* library_ = nullptr;
    QWidget* mobile_ = nullptr;
    UnmountedDevicePane* unmounted_ = nullptr;
    StartupDeviceFlow* showcase_ = nullptr;
    DetailScreen screen_ = DetailScreen::showcase;
    QPointer<QWidget> fade_;
};
