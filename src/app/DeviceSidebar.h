#pragma once

// The sidebar column: the brand header, the three iPod series of the showcase and every
// connected device as a card, mounted iPods with an eject button. It keeps no state of its own:
// the window hands it the rows and reacts to its clicks.

#include "appmodel/StartupSeries.h"
#include "device/IPodDevice.h"

#include <QAbstractButton>
#include <QColor>
#include <QList>
#include <QWidget>

#include <optional>

class QLabel;
class QToolButton;
class QVBoxLayout;
class StorageSummaryView;

struct DeviceSidebarRow {
    enum class Kind {
        mounted,
        unmounted,
        mobile,
    };
    Kind kind = Kind::mounted;
    IPodDevice::ID diskID; // mounted
    quint64 usbID = 0;     // unmounted
    QString mobileID;      // mobile
    QString title;         // shown as it is
    QColor dotColor;
    bool isSelected = false;
    std::optional<QString> subtitleKey; // a text key, looked up in the interface language
    std::optional<qint64> totalBytes;
    std::optional<qint64> freeBytes;
    bool hasEjectButton = false;

    bool operator==(const DeviceSidebarRow&) const = default;
};

struct DeviceSidebarContent {
    // Mounted (store order), then unmounted (ascending registry IDs), then iPod touch.
    QList<DeviceSidebarRow> rows;
    std::optional<StartupSeries> highlightedSeries;
    bool isBusy = false;

    bool operator==(const DeviceSidebarContent&) const = default;
};

// One series row: the accent dot and the name, lit when it is the current series.
class SidebarSeriesRow : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int rowHeight = 30;

    SidebarSeriesRow(StartupSeries series, QWidget* parent = nullptr);

    StartupSeries series() const { return series_; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    StartupSeries series_;
    bool highlighted_ = false;
};

// One device card: dot and title, then a subtitle or the storage block.
class DeviceRowCard : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int padding = 9;
    static constexpr int cornerRadius = 8;

    explicit DeviceRowCard(const DeviceSidebarRow& row, QWidget* parent = nullptr);

    const DeviceSidebarRow& row() const { return row_; }
    QToolButton* ejectButton() const { return eject_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* subtitleLabel() const { return subtitle_; }
    StorageSummaryView* storageView() const { return storage_; }

    void setBusy(bool busy);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void ejectClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void retranslate();
    void fitTitle();

    DeviceSidebarRow row_;
    QWidget* dot_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    StorageSummaryView* storage_ = nullptr;
    QToolButton* eject_ = nullptr;
};

class DeviceSidebar : public QWidget {
    Q_OBJECT

public:
    static constexpr int headerHeight = 68;
    static constexpr int minimumWidth = 184;
    static constexpr int idealWidth = 220;
    static constexpr int maximumWidth = 270;

    explicit DeviceSidebar(QWidget* parent = nullptr);

    void setContent(const DeviceSidebarContent& content);
    const DeviceSidebarContent& content() const { return content_; }

    QList<SidebarSeriesRow*> seriesRows() const { return seriesRows_; }
    QList<DeviceRowCard*> deviceCards() const { return cards_; }
    QLabel* waitingLabel() const { return waiting_; }

    // The brand image, drawn here rather than shipped as a file.
    static QPixmap brandImage(int size, qreal devicePixelRatio = 1.0);

Q_SIGNALS:
    void seriesClicked(StartupSeries series);
    void deviceClicked(int row);
    void ejectClicked(int row);

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslate();
    void rebuildCards();

    DeviceSidebarContent content_;
    QLabel* subtitle_ = nullptr;
    QLabel* seriesHeader_ = nullptr;
    QLabel* devicesHeader_ = nullptr;
    QLabel* waiting_ = nullptr;
    QVBoxLayout* cardsLayout_ = nullptr;
    QList<SidebarSeriesRow*> seriesRows_;
    QList<DeviceRowCard*> cards_;
};
