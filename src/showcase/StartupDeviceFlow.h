#pragma once

// The showcase of the iPod line-up that fills the detail column while no device is selected:
// the series pills, the facts of the hovered series, the generation strip, the carousel stage
// and the header about the model on show, plus the items it puts in the window's toolbar.
// Arrow keys, drags and horizontal scrolling step through series or generations.

#include "showcase/ShowcaseToolbar.h"
#include "showcase/StartupDeviceFlowState.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class CapsuleChip;
class DeviceStage;
class GenerationStrip;
class QVariantAnimation;
class SeriesPillBar;
class ShowcaseHeader;

class StartupDeviceFlow : public QWidget {
    Q_OBJECT

public:
    static constexpr int hoverBoxHeight = 32;

    StartupDeviceFlow(StartupSeries series, StartupDeviceFlowState::ImageForIcon imageForIcon = {},
                      QWidget* parent = nullptr);
    ~StartupDeviceFlow() override;

    StartupDeviceFlowState& state() { return *state_; }
    const StartupDeviceFlowState& state() const { return *state_; }

    // The caller's side of the series binding.
    void setSeries(StartupSeries series) { state_->setSeries(series); }
    StartupSeries series() const { return state_->series(); }

    // The toolbar items; the caller places the widget in its toolbar row and may hand over
    // its settings button to be shown last.
    ShowcaseToolbar* toolbar() const { return toolbar_; }

    SeriesPillBar* seriesBar() const { return seriesBar_; }
    CapsuleChip* hoverChip() const { return hoverChip_; }
    QWidget* stripSlot() const { return stripSlot_; }
    GenerationStrip* generationStrip() const { return strip_; }
    DeviceStage* stage() const { return stage_; }
    ShowcaseHeader* header() const { return header_; }

    // The caption of an item and the toggle's title: "Gen 4 · 2008", "4th generation · 2008",
    // or the generation's title in series mode.
    QString generationLabel(StartupSeries series, int generation, bool isLong,
                            AppLanguage language) const;

Q_SIGNALS:
    void seriesChanged(StartupSeries series);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The arrows without modifiers: up hides the strip, down shows it, left and right move.
    bool handleArrow(const QKeyEvent* event);
    void refresh(StartupDeviceFlowState::Animation animation);
    void refreshHover();
    void showStrip(bool shown, StartupDeviceFlowState::Animation animation);
    void watchKeys(QWidget* widget);

    QPointer<StartupDeviceFlowState> state_;
    SeriesPillBar* seriesBar_ = nullptr;
    QWidget* hoverBox_ = nullptr;
    CapsuleChip* hoverChip_ = nullptr;
    QWidget* stripSlot_ = nullptr;
    GenerationStrip* strip_ = nullptr;
    QVariantAnimation* stripAnimation_ = nullptr;
    DeviceStage* stage_ = nullptr;
    ShowcaseHeader* header_ = nullptr;
    QPointer<ShowcaseToolbar> toolbar_;
    bool stripShown_ = false;
};
