#pragma once

// The bar of the three series pills at the top of the showcase. The selected pill sits on a
// highlight that slides from pill to pill; hovering a pill reports it, so the showcase can show
// that series' facts.

#include "appmodel/StartupSeries.h"
#include "showcase/StartupDeviceFlowState.h"

#include <QAbstractButton>
#include <QList>
#include <QRectF>
#include <QWidget>

class QVariantAnimation;

class SeriesPill : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int fixedHeight = 30;

    SeriesPill(StartupSeries series, QWidget* parent = nullptr);
    StartupSeries series() const { return series_; }
    // Shown to assistive technology as the checked pill; only the showcase changes it.
    bool isSelected() const { return isChecked(); }
    void setSelected(bool selected) { setChecked(selected); }
    QSize sizeHint() const override;

Q_SIGNALS:
    void hovered(StartupSeries series, bool entered);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void nextCheckState() override {}

private:
    StartupSeries series_;
};

class SeriesPillBar : public QWidget {
    Q_OBJECT

public:
    explicit SeriesPillBar(QWidget* parent = nullptr);

    void setSeries(StartupSeries series, StartupDeviceFlowState::Animation animation);
    // The accessibility hints: each series' facts in the interface language.
    void retranslate();
    QList<SeriesPill*> pills() const { return pills_; }
    QRectF highlight() const { return highlight_; }

Q_SIGNALS:
    void seriesClicked(StartupSeries series);
    void seriesHovered(StartupSeries series, bool entered);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRectF pillRect(StartupSeries series) const;

    QList<SeriesPill*> pills_;
    StartupSeries series_ = StartupSeries::classic;
    QRectF highlight_;
    QRectF highlightFrom_;
    QVariantAnimation* animation_ = nullptr;
};

// "6 generations · First sold Nov 2001 · Discontinued 2014 · …" in the language.
QString seriesFacts(StartupSeries series, AppLanguage language);
