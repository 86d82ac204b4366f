#pragma once

// The library toolbar's title: the device summary line and, once it is known, the firmware
// version after a dot. A summary too long for the toolbar ends in "…".

#include <QWidget>

#include <optional>

class ElidedLabel;
class QLabel;

class SoftwareVersionText : public QWidget {
    Q_OBJECT

public:
    explicit SoftwareVersionText(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setSoftwareVersion(const std::optional<QString>& version);

    ElidedLabel* titleLabel() const { return title_; }
    QLabel* versionLabel() const { return version_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    std::optional<QString> softwareVersion_;
    ElidedLabel* title_ = nullptr;
    QLabel* dot_ = nullptr;
    QLabel* version_ = nullptr;
};
