#pragma once

#include <QMainWindow>

class ContentView;
class IPodStore;
class QuitConfirmation;

// The main window: "Lorvanel", 1160 × 760 by default (at least 800 × minimumHeight), holding the
// main view. Closing it quits; while an operation runs on an iPod, both ask first.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Below this the cover flow's covers shrink to specks and its track table to a row or none,
    // with the preview bar showing.
    static constexpr int minimumHeight = 640;

    explicit MainWindow(IPodStore& store, QWidget* parent = nullptr);

    IPodStore& store() const { return store_; }
    ContentView* contentView() const { return content_; }
    QuitConfirmation* quitConfirmation() const { return quitConfirmation_; }

Q_SIGNALS:
    void settingsRequested();
    void closed();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void retranslate();

    IPodStore& store_;
    ContentView* content_ = nullptr;
    QuitConfirmation* quitConfirmation_ = nullptr;
};
