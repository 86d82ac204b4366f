#include "showcase/StartupDeviceFlowState.h"

#include "appmodel/ReduceMotion.h"
#include "platform/Settings.h"

#include <algorithm>

namespace {

constexpr int shuffle2Index = 1;

// A stored finish counts only when it is one the second-generation shuffle came in; anything
// else (unparsable, or a colour of another model) falls back to the default, Green.
StartupModel::Finish parseShuffle2Finish(const QString& raw) {
    const std::vector<StartupModel::Finish>& finishes =
        StartupSeries(StartupSeries::shuffle).models()[shuffle2Index].finishes;
    const auto contains = [&](StartupModel::Finish f) {
        return std::find(finishes.begin(), finishes.end(), f) != finishes.end();
    };
    if (const auto finish = StartupModel::Finish::fromRawValue(raw); finish && contains(*finish))
        return *finish;
    return contains(StartupModel::Finish::green) ? StartupModel::Finish(StartupModel::Finish::green)
                                                 : finishes.front();
}

} // namespace

StartupDeviceFlowState::StartupDeviceFlowState(StartupSeries series, ImageForIcon imageForIcon,
                                               QObject* parent)
    : QObject(parent)
    , series_(series)
    , imageForIcon_(std::move(imageForIcon))
    , shuffle2Finish_(parseShuffle2Finish(Settings::shuffle2FinishName())) {
    connect(&Settings::shared(), &Settings::changed, this, [this](const QString& key) {
        if (key == Settings::Keys::shuffle2Finish)
            storedFinishChanged();
    });
}

StartupModel::Finish StartupDeviceFlowState::shuffle2Finish() const {
    return shuffle2Finish_;
}

void StartupDeviceFlowState::storedFinishChanged() {
    const Finish finish = parseShuffle2Finish(Settings::shuffle2FinishName());
    if (finish == shuffle2Finish_)
        return;
    shuffle2Finish_ = finish;
    Q_EMIT changed(Animation::none);
}

int StartupDeviceFlowState::generationIndex(StartupSeries series) const {
    const auto found = generations_.find(int(series));
    return found != generations_.end() ? found->second : series.defaultGeneration();
}

const StartupModel& StartupDeviceFlowState::currentModel() const {
    return series_.models()[std::size_t(generationIndex(series_))];
}

StartupModel::Finish StartupDeviceFlowState::selectedFinish(StartupSeries series, int generation,
                                                            bool useSelected) const {
    const int selected = generationIndex(series);
    const int g = useSelected ? selected : generation;
    if (series == StartupSeries::shuffle && g == shuffle2Index)
        return shuffle2Finish_;
    const StartupModel* model = series.model(g);
    if (!model)
        return Finish::white;
    const Finish fallback = series == StartupSeries::nano && (g == 1 || g == 4)
                                ? Finish(Finish::blue)
                                : model->finishes.front();
    if (g == selected) {
        const auto chosen = finishes_.find(int(series));
        if (chosen != finishes_.end())
            return chosen->second;
    }
    return fallback;
}

QString StartupDeviceFlowState::generationTitle(StartupSeries series, int generation,
                                                AppLanguage language) {
    const QStringList& ordinals = generationOrdinalLabels();
    const int index = std::clamp(generation, 0, int(ordinals.size()) - 1);
    return localizedString(LZ("%1 (%2)"), language, series.displayName(),
                           localizedString(ordinals[index], language));
}

QString StartupDeviceFlowState::generationTitle(StartupSeries series, int generation,
                                                bool useSelected, AppLanguage language) const {
    return generationTitle(series, useSelected ? generationIndex(series) : generation, language);
}

StartupDeviceArtwork StartupDeviceFlowState::artwork(StartupSeries series, int generation,
                                                     Finish finish) const {
    std::optional<QImage> image;
    if (const StartupModel* model = series.model(generation); model && imageForIcon_)
        if (const auto name = model->imageName(finish))
            image = imageForIcon_(*name);
    if (image && image->isNull())
        image.reset();
    return {image, series, generation, finish};
}

StartupDeviceFlowState::Animation StartupDeviceFlowState::animationFor(Animation wanted) const {
    return ReduceMotion::isOn() ? Animation::none : wanted;
}

void StartupDeviceFlowState::move(int delta) {
    if (showsGenerations_) {
        const int count = int(series_.models().size());
        selectGeneration(std::clamp(generationIndex(series_) + delta, 0, count - 1));
        return;
    }
    const auto& all = StartupSeries::allCases();
    setSeries(all[std::size_t(((int(series_) + delta) % 3 + 3) % 3)]);
}

void StartupDeviceFlowState::toggleGenerations(bool shown) {
    if (shown == showsGenerations_)
        return;
    showsGenerations_ = shown;
    Q_EMIT changed(animationFor(Animation::easeInOut));
}

void StartupDeviceFlowState::selectGeneration(int index) {
    if (index == generationIndex(series_))
        return;
    generations_[int(series_)] = index;
    finishes_.erase(int(series_));
    Q_EMIT changed(animationFor(Animation::spring));
}

void StartupDeviceFlowState::selectFinish(Finish finish) {
    if (series_ == StartupSeries::shuffle && generationIndex(series_) == shuffle2Index) {
        if (finish == shuffle2Finish_)
            return;
        shuffle2Finish_ = finish;
        // Written through the shared settings, which echo the change back; it is already ours.
        Settings::shared().setValue(Settings::Keys::shuffle2Finish, finish.rawValue());
    } else {
        const auto current = finishes_.find(int(series_));
        if (current != finishes_.end() && current->second == finish)
            return;
        finishes_.insert_or_assign(int(series_), finish);
    }
    Q_EMIT changed(Animation::none);
}

void StartupDeviceFlowState::setSeries(StartupSeries series) {
    if (series == series_)
        return;
    series_ = series;
    Q_EMIT seriesChanged(series);
    Q_EMIT changed(animationFor(Animation::spring));
}

void StartupDeviceFlowState::activateItem(StartupSeries series, int generation) {
    if (showsGenerations_)
        selectGeneration(generation);
    else
        setSeries(series);
}

void StartupDeviceFlowState::setShowsConnectionHelp(bool shows) {
    if (shows == showsConnectionHelp_)
        return;
    showsConnectionHelp_ = shows;
    Q_EMIT connectionHelpChanged(shows);
}

void StartupDeviceFlowState::hoverSeries(StartupSeries series, bool entered) {
    // A late leave of the previous pill must not clear the pill the pointer is on now.
    if (entered) {
        if (hoveredSeries_ == series)
            return;
        hoveredSeries_ = series;
    } else {
        if (hoveredSeries_ != series)
            return;
        hoveredSeries_.reset();
    }
    Q_EMIT hoverChanged();
}

void StartupDeviceFlowState::resetViewState() {
    generations_.clear();
    finishes_.clear();
    const bool hadHover = hoveredSeries_.has_value();
    showsGenerations_ = false;
    hoveredSeries_.reset();
    setShowsConnectionHelp(false);
    if (hadHover)
        Q_EMIT hoverChanged();
    Q_EMIT changed(Animation::none);
}
