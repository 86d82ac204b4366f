#pragma once

#include <QMainWindow>

class IPodStore;
class QLabel;

// The main window: "Lorvanel", 1160 × 760 by default, on the palette's window colour.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(IPodStore& store, QWidget* parent = nullptr);

    IPodStore& store() const { return store_; }

Q_SIGNALS:
    void settingsRequested();
    void closed();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void retranslate();

    IPodStore& store_;
    QLabel* placeholder = nullptr;
};
