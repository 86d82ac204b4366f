#pragma once

// The page of an iPod seen on USB whose disk is not mounted: how to mount it on this system,
// and a button that opens the file manager, where the disk can be mounted.

#include "platform/AppLanguage.h"

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

class UnmountedDevicePane : public QWidget {
    Q_OBJECT

public:
    static constexpr int textWidth = 460;

    explicit UnmountedDevicePane(QWidget* parent = nullptr);

    void setDevice(quint64 usbID, const QString& title);
    quint64 usbID() const { return usbID_; }

    // The name read while the disk was last mounted, else the model's name, else
    // "iPod classic".
    static QString unmountedDeviceTitle(const std::optional<QString>& storedName, int productID,
                                        AppLanguage language);

    // Shows the home folder in the file manager.
    static void openDiskSettings();

    QLabel* titleLabel() const { return title_; }
    QLabel* statusLabel() const { return status_; }
    QList<QLabel*> instructionLabels() const { return steps_; }
    QPushButton* button() const { return button_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslate();

    quint64 usbID_ = 0;
    QLabel* title_ = nullptr;
    QLabel* status_ = nullptr;
    QList<QLabel*> steps_;
    QPushButton* button_ = nullptr;
};
