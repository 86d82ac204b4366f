#pragma once

// The library toolbar's title: the device summary line and, once it is known, the firmware
// version after a dot.

#include <QWidget>

#include <optional>

class QLabel;

class SoftwareVersionText : public QWidget {
    Q_OBJECT

public:
    explicit SoftwareVersionText(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setSoftwareVersion(const std::optional<QString>& version);

    QLabel* titleLabel() const { return title_; }
    QLabel* versionLabel() const { return version_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    std::optional<QString> softwareVersion_;
    QLabel* title_ = nullptr;
    QLabel* dot_ = nullptr;
    QLabel* version_ = nullptr;
};
