#pragma once

#include <QMainWindow>

class ContentView;
class IPodStore;

// The main window: "Lorvanel", 1160 × 760 by default (at least 800 × 440), holding the main
// view.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(IPodStore& store, QWidget* parent = nullptr);

    IPodStore& store() const { return store_; }
    ContentView* contentView() const { return content_; }

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
};
