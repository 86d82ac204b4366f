#pragma once

// The information card of the iPod touch page: a grid of what the device reports (model,
// battery, charging state, identifiers), the identifiers selectable and with a button that
// copies them to the clipboard, then a hint on where the device's files are reached. Without
// details only the hint shows.

#include "device/MobileDevice.h"
#include "platform/AppLanguage.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

class QGridLayout;
class QLabel;
class QToolButton;

// One line of the grid; a row without a value reads "Unavailable".
struct DeviceInfoRow {
    QString label; // as shown
    std::optional<QString> value;
    bool copyable = false;
    bool operator==(const DeviceInfoRow&) const = default;
};

class MobileDeviceInfoCard : public QWidget {
    Q_OBJECT

public:
    static constexpr int maximumWidth = 480;

    // The grid's rows; empty without details.
    static QList<DeviceInfoRow> rows(const MobileDevice& device, AppLanguage language);
    // The clipboard then holds exactly this one text.
    static void copyToPasteboard(const QString& value);

    explicit MobileDeviceInfoCard(QWidget* parent = nullptr);

    void setDevice(const MobileDevice& device);

    QWidget* grid() const { return gridFrame_; }
    QLabel* hint() const { return hint_; }
    // The copy button of the row with this label; null when the row has none.
    QToolButton* copyButton(const QString& label) const;
    // The value label of the row with this label; null when there is no such row.
    QLabel* valueLabel(const QString& label) const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void rebuild();

    std::optional<MobileDevice> device_;
    QWidget* gridFrame_ = nullptr;
    QGridLayout* gridLayout_ = nullptr;
    QLabel* hint_ = nullptr;
};
