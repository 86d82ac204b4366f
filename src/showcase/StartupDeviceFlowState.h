#pragma once

// What the showcase of the iPod line-up shows and every way it changes: the series (owned by
// the caller, which highlights it in its sidebar), the generation and finish chosen per series,
// whether the generation strip is shown, the hovered series pill, the connection help, and the
// finish of the second-generation shuffle, which is remembered across runs. Widget-free, so the
// rules can be tested on their own; the widgets listen to `changed` and redraw.

#include "appmodel/StartupModel.h"
#include "appmodel/StartupSeries.h"
#include "platform/AppLanguage.h"
#include "showcase/StartupDeviceArtwork.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <optional>

class StartupDeviceFlowState : public QObject {
    Q_OBJECT

public:
    using Finish = StartupModel::Finish;
    // Loads a device picture by its catalogue image name; nothing when there is none.
    using ImageForIcon = std::function<std::optional<QImage>(const QString& name)>;

    // How a change is shown: series and generation changes spring, the strip eases in and out,
    // and nothing moves while the desktop asks for less motion.
    enum class Animation { none, spring, easeInOut };

    explicit StartupDeviceFlowState(StartupSeries series, ImageForIcon imageForIcon = {},
                                    QObject* parent = nullptr);

    StartupSeries series() const { return series_; }
    bool showsGenerations() const { return showsGenerations_; }
    bool showsConnectionHelp() const { return showsConnectionHelp_; }
    std::optional<StartupSeries> hoveredSeries() const { return hoveredSeries_; }
    // The remembered finish of the second-generation shuffle, always one it came in.
    Finish shuffle2Finish() const;

    int generationIndex(StartupSeries series) const;
    const StartupModel& currentModel() const;
    Finish selectedFinish(StartupSeries series, int generation, bool useSelected) const;
    QString generationTitle(StartupSeries series, int generation, bool useSelected,
                            AppLanguage language) const;
    StartupDeviceArtwork artwork(StartupSeries series, int generation, Finish finish) const;

    // "iPod classic (6th generation)" in the language.
    static QString generationTitle(StartupSeries series, int generation, AppLanguage language);

    // Arrow keys, drags and scrolling: a generation while the strip is shown (clamped at the
    // ends), else the series (wrapping).
    void move(int delta);
    void toggleGenerations(bool shown);
    void selectGeneration(int index);
    void selectFinish(Finish finish);
    // The caller's side of the series binding (sidebar rows); series pills and carousel items
    // write it too, and `seriesChanged` tells the caller.
    void setSeries(StartupSeries series);
    // A carousel item: a generation while the strip is shown, else its series.
    void activateItem(StartupSeries series, int generation);
    void setShowsConnectionHelp(bool shows);
    void hoverSeries(StartupSeries series, bool entered);

    // The view-only state starts afresh each time the showcase appears again; the series and
    // the remembered shuffle finish stay.
    void resetViewState();

    Animation animationFor(Animation wanted) const;

Q_SIGNALS:
    void seriesChanged(StartupSeries series);
    // Anything shown changed; `animation` says how to show it.
    void changed(StartupDeviceFlowState::Animation animation);
    void hoverChanged();
    void connectionHelpChanged(bool shows);

private:
    void storedFinishChanged();

    StartupSeries series_;
    ImageForIcon imageForIcon_;
    Finish shuffle2Finish_ = Finish::green;
    std::map<int, int> generations_;
    std::map<int, Finish> finishes_;
    bool showsGenerations_ = false;
    bool showsConnectionHelp_ = false;
    std::optional<StartupSeries> hoveredSeries_;
};
