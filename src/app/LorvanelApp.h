#pragma once

// The application: the one store for the whole run, the main window and the Settings window,
// and the interface language they follow.

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <memory>

class IPodStore;
class MainWindow;
class SettingsWindow;

class LorvanelApp : public QObject {
    Q_OBJECT

public:
    LorvanelApp();
    ~LorvanelApp() override;

    IPodStore& store() const { return *store_; }
    MainWindow& mainWindow() const { return *mainWindow_; }
    // The Settings window, made on first use.
    SettingsWindow& settingsWindow();

    void show();
    // The main window shown, no longer minimised, raised and active.
    void bringForward();
    void showSettings();

    // The application icon from the resources, loaded at most once per process; a null icon
    // (the platform's default stays) when the resource is missing or unreadable.
    static const QIcon& applicationIcon();
    static int applicationIconLoadCount();
    // Sets the application icon when there is one.
    static void setApplicationIcon();

    // Sends a language change to every top-level window so they relabel in place.
    static void broadcastLanguageChange();

    // The dark palette and style of every window.
    static void applyAppearance();

private:
    void languageSettingChanged();

    std::unique_ptr<IPodStore> store_;
    std::unique_ptr<MainWindow> mainWindow_;
    std::unique_ptr<SettingsWindow> settingsWindow_;
};
