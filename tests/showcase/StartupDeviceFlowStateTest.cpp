#include "showcase/StartupDeviceFlowState.h"
#include "appmodel/ReduceMotion.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using Finish = StartupModel::Finish;
using Animation = StartupDeviceFlowState::Animation;

namespace {

class FlowStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings::shared().remove(Settings::Keys::shuffle2Finish);
        ReduceMotion::setOverride(false);
    }
    void TearDown() override {
        Settings::shared().remove(Settings::Keys::shuffle2Finish);
        ReduceMotion::setOverride(std::nullopt);
    }
};

} // namespace

TEST_F(FlowStateTest, StartsAtEachSeriesDefaultGenerationInItsFirstFinish) {
    StartupDeviceFlowState state(StartupSeries::classic);
    EXPECT_EQ(state.generationIndex(StartupSeries::classic), 5);
    EXPECT_EQ(state.generationIndex(StartupSeries::shuffle), 3);
    EXPECT_EQ(state.generationIndex(StartupSeries::nano), 3);
    EXPECT_EQ(state.selectedFinish(StartupSeries::classic, 0, true), Finish::silver);
    EXPECT_EQ(state.currentModel().year, 2007);
    EXPECT_FALSE(state.showsGenerations());
    EXPECT_EQ(state.generationTitle(StartupSeries::classic, 0, true, AppLanguage::english),
              QStringLiteral("iPod classic (6th generation)"));
    // The second and fifth nano default to blue; every other model to its first finish.
    EXPECT_EQ(state.selectedFinish(StartupSeries::nano, 1, false), Finish::blue);
    EXPECT_EQ(state.selectedFinish(StartupSeries::nano, 4, false), Finish::blue);
    EXPECT_EQ(state.selectedFinish(StartupSeries::nano, 3, false), Finish::purple);
    EXPECT_EQ(state.selectedFinish(StartupSeries::shuffle, 1, false), Finish::green);
}

TEST_F(FlowStateTest, SeriesWrapWhileTheStripIsHiddenAndGenerationsClampWhileShown) {
    StartupDeviceFlowState state(StartupSeries::nano);
    QSignalSpy series(&state, &StartupDeviceFlowState::seriesChanged);
    state.move(1);
    EXPECT_EQ(state.series(), StartupSeries::classic);
    state.move(-1);
    EXPECT_EQ(state.series(), StartupSeries::nano);
    state.move(-1);
    state.move(-1);
    EXPECT_EQ(state.series(), StartupSeries::classic);
    state.move(-1);
    EXPECT_EQ(state.series(), StartupSeries::nano);
    EXPECT_EQ(series.count(), 5);

    state.toggleGenerations(true);
    state.selectGeneration(0);
    QSignalSpy changed(&state, &StartupDeviceFlowState::changed);
    state.move(-1); // at the first generation: nothing happens, nothing animates
    EXPECT_EQ(state.generationIndex(StartupSeries::nano), 0);
    EXPECT_EQ(changed.count(), 0);
    state.selectGeneration(6);
    changed.clear();
    state.move(1);
    EXPECT_EQ(state.generationIndex(StartupSeries::nano), 6);
    EXPECT_EQ(changed.count(), 0);
    state.move(-1);
    EXPECT_EQ(state.generationIndex(StartupSeries::nano), 5);
    EXPECT_EQ(state.series(), StartupSeries::nano);

    // Each series keeps its generation when the user comes back to it.
    state.toggleGenerations(false);
    state.move(1);
    state.move(-1);
    EXPECT_EQ(state.generationIndex(StartupSeries::nano), 5);
}

TEST_F(FlowStateTest, UpAlwaysHidesAndDownAlwaysShowsTheStrip) {
    StartupDeviceFlowState state(StartupSeries::classic);
    QSignalSpy changed(&state, &StartupDeviceFlowState::changed);
    state.toggleGenerations(false);
    EXPECT_FALSE(state.showsGenerations());
    state.toggleGenerations(true);
    state.toggleGenerations(true);
    EXPECT_TRUE(state.showsGenerations());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.front().front().value<Animation>(), Animation::easeInOut);
}

TEST_F(FlowStateTest, AFinishIsForgottenWhenAnotherGenerationIsSelected) {
    StartupDeviceFlowState state(StartupSeries::classic);
    state.selectFinish(Finish::black);
    EXPECT_EQ(state.selectedFinish(StartupSeries::classic, 5, true), Finish::black);
    // Only the selected generation shows the chosen finish.
    EXPECT_EQ(state.selectedFinish(StartupSeries::classic, 4, false), Finish::white);
    state.selectGeneration(4);
    state.selectGeneration(5);
    EXPECT_EQ(state.selectedFinish(StartupSeries::classic, 5, true), Finish::silver);
    EXPECT_TRUE(Settings::readString(Settings::Keys::shuffle2Finish).isEmpty());
}

TEST_F(FlowStateTest, TheSecondShuffleKeepsItsFinishAcrossGenerationsAndRuns) {
    {
        StartupDeviceFlowState state(StartupSeries::shuffle);
        state.toggleGenerations(true);
        state.selectGeneration(1);
        EXPECT_EQ(state.selectedFinish(StartupSeries::shuffle, 1, true), Finish::green);
        state.selectFinish(Finish::pink);
        state.selectGeneration(2);
        EXPECT_EQ(state.selectedFinish(StartupSeries::shuffle, 1, false), Finish::pink);
        state.selectGeneration(1);
        EXPECT_EQ(state.selectedFinish(StartupSeries::shuffle, 1, true), Finish::pink);
    }
    EXPECT_EQ(Settings::readString(Settings::Keys::shuffle2Finish), QStringLiteral("Pink"));
    StartupDeviceFlowState again(StartupSeries::shuffle);
    EXPECT_EQ(again.shuffle2Finish(), Finish::pink);
}

TEST_F(FlowStateTest, ARememberedFinishTheSecondShuffleNeverHadFallsBackToGreen) {
    for (const char* stored : {"Red", "Black", "DarkGray", "pink", "Purple ", ""}) {
        Settings::shared().setValue(Settings::Keys::shuffle2Finish, QString::fromLatin1(stored));
        StartupDeviceFlowState state(StartupSeries::shuffle);
        EXPECT_EQ(state.shuffle2Finish(), Finish::green) << stored;
        EXPECT_EQ(state.selectedFinish(StartupSeries::shuffle, 1, false), Finish::green) << stored;
    }
    // A change made elsewhere is followed, with the same rule.
    StartupDeviceFlowState state(StartupSeries::shuffle);
    Settings::shared().setValue(Settings::Keys::shuffle2Finish, QStringLiteral("Orange"));
    EXPECT_EQ(state.shuffle2Finish(), Finish::orange);
    Settings::shared().setValue(Settings::Keys::shuffle2Finish, QStringLiteral("Yellow"));
    EXPECT_EQ(state.shuffle2Finish(), Finish::green);
}

TEST_F(FlowStateTest, ChangesSpringOrEaseUnlessMotionIsReduced) {
    StartupDeviceFlowState state(StartupSeries::classic);
    QSignalSpy changed(&state, &StartupDeviceFlowState::changed);
    state.move(1);
    state.toggleGenerations(true);
    state.selectGeneration(0);
    state.selectFinish(Finish::green);
    ReduceMotion::setOverride(true);
    state.selectGeneration(1);
    state.toggleGenerations(false);
    state.move(1);
    const std::vector<Animation> expected = {
        Animation::spring, Animation::easeInOut, Animation::spring, Animation::none,
        Animation::none,   Animation::none,      Animation::none};
    ASSERT_EQ(changed.count(), int(expected.size()));
    for (int i = 0; i < changed.count(); ++i)
        EXPECT_EQ(changed[i].front().value<Animation>(), expected[std::size_t(i)]) << i;
}

TEST_F(FlowStateTest, ALateLeaveOfThePreviousPillKeepsTheNewHover) {
    StartupDeviceFlowState state(StartupSeries::classic);
    state.hoverSeries(StartupSeries::classic, true);
    state.hoverSeries(StartupSeries::shuffle, true);
    state.hoverSeries(StartupSeries::classic, false);
    EXPECT_EQ(state.hoveredSeries(), StartupSeries(StartupSeries::shuffle));
    state.hoverSeries(StartupSeries::shuffle, false);
    EXPECT_FALSE(state.hoveredSeries());
}

TEST_F(FlowStateTest, CarouselItemsPickAGenerationOrASeriesAndTheViewStateStartsAfresh) {
    StartupDeviceFlowState state(StartupSeries::classic);
    state.activateItem(StartupSeries::nano, 3);
    EXPECT_EQ(state.series(), StartupSeries::nano);
    state.toggleGenerations(true);
    state.activateItem(StartupSeries::nano, 6);
    EXPECT_EQ(state.generationIndex(StartupSeries::nano), 6);
    state.selectFinish(Finish::red);
    state.setShowsConnectionHelp(true);
    state.hoverSeries(StartupSeries::shuffle, true);

    state.resetViewState();
    EXPECT_EQ(state.series(), StartupSeries::nano);
    EXPECT_EQ(state.generationIndex(StartupSeries::nano), 3);
    EXPECT_FALSE(state.showsGenerations());
    EXPECT_FALSE(state.showsConnectionHelp());
    EXPECT_FALSE(state.hoveredSeries());
    EXPECT_EQ(state.selectedFinish(StartupSeries::nano, 3, true), Finish::purple);
}

TEST_F(FlowStateTest, ArtworkUsesADevicePictureOnlyWhenTheLoaderHasOne) {
    QStringList asked;
    QImage picture(40, 80, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    StartupDeviceFlowState state(StartupSeries::nano, [&](const QString& name) {
        asked << name;
        return name == QStringLiteral("iPod15-Blue") ? std::optional<QImage>(picture)
                                                     : std::nullopt;
    });
    EXPECT_TRUE(state.artwork(StartupSeries::nano, 3, Finish::blue).image.has_value());
    EXPECT_DOUBLE_EQ(state.artwork(StartupSeries::nano, 3, Finish::blue).aspectRatio(), 0.5);
    EXPECT_FALSE(state.artwork(StartupSeries::nano, 3, Finish::green).image.has_value());
    // No image name in the catalogue: the loader is not even asked.
    EXPECT_FALSE(state.artwork(StartupSeries::classic, 5, Finish::silver).image.has_value());
    EXPECT_EQ(asked, (QStringList{QStringLiteral("iPod15-Blue"), QStringLiteral("iPod15-Blue"),
                                  QStringLiteral("iPod15-Green")}));
}
