#include "showcase/StartupCarouselScroll.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWheelEvent>
#include <QWidget>

namespace {

// A widget standing in for the stage, with the monitor watching it and every move recorded.
class ScrollFixture : public ::testing::Test {
protected:
    void SetUp() override {
        stage.resize(600, 300);
        monitor = new StartupCarouselScroll(&stage);
        monitor->move = [this](int delta) { moves.push_back(delta); };
    }

    // Sends one wheel event at the stage's middle; true when the monitor consumed it.
    bool wheel(QPoint pixels, QPoint angle, Qt::ScrollPhase phase = Qt::NoScrollPhase,
               quint64 time = 0, QPointF at = QPointF(300, 150)) {
        QWheelEvent event(at, stage.mapToGlobal(at), pixels, angle, Qt::NoButton, Qt::NoModifier,
                          phase, false);
        event.setTimestamp(time);
        event.setAccepted(false);
        QCoreApplication::sendEvent(&stage, &event);
        return event.isAccepted();
    }

    QWidget stage;
    StartupCarouselScroll* monitor = nullptr;
    std::vector<int> moves;
};

} // namespace

TEST_F(ScrollFixture, ALongTrackpadSwipeStepsOnceAndItsMomentumIsSwallowed) {
    EXPECT_TRUE(wheel({-2, 0}, {-4, 0}, Qt::ScrollBegin, 1));
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(wheel({-10, 0}, {-20, 0}, Qt::ScrollUpdate, 2 + i));
    EXPECT_FALSE(wheel({0, 0}, {0, 0}, Qt::ScrollEnd, 40));
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(wheel({-10, 0}, {-20, 0}, Qt::ScrollMomentum, 41 + i));
    // Negative x steps forward.
    EXPECT_EQ(moves, std::vector<int>{1});

    // The next gesture steps again, the other way.
    wheel({2, 0}, {4, 0}, Qt::ScrollBegin, 100);
    wheel({40, 0}, {80, 0}, Qt::ScrollUpdate, 101);
    EXPECT_EQ(moves, (std::vector<int>{1, -1}));
}

TEST_F(ScrollFixture, ASwipeShorterThanOneStepMovesNothingButIsConsumed) {
    EXPECT_TRUE(wheel({-5, 0}, {-10, 0}, Qt::ScrollBegin, 1));
    EXPECT_TRUE(wheel({-20, 0}, {-40, 0}, Qt::ScrollUpdate, 2));
    EXPECT_TRUE(wheel({-10, 0}, {-20, 0}, Qt::ScrollUpdate, 3));
    EXPECT_FALSE(wheel({0, 0}, {0, 0}, Qt::ScrollEnd, 4));
    EXPECT_TRUE(moves.empty());
    EXPECT_EQ(monitor->scroll().remainder, 0);
}

TEST_F(ScrollFixture, VerticalDiagonalAndEmptyScrollingPassesOn) {
    EXPECT_FALSE(wheel({0, -30}, {0, -60}, Qt::ScrollUpdate, 1));
    EXPECT_FALSE(wheel({-20, 20}, {-40, 40}, Qt::ScrollUpdate, 2));
    EXPECT_FALSE(wheel({0, 0}, {0, 0}, Qt::ScrollUpdate, 3));
    EXPECT_FALSE(wheel({0, 0}, {0, -120}));
    // Outside the stage's bounds nothing is taken.
    EXPECT_FALSE(wheel({-50, 0}, {-100, 0}, Qt::ScrollUpdate, 4, QPointF(700, 150)));
    EXPECT_TRUE(moves.empty());
}

TEST_F(ScrollFixture, EveryWheelNotchSteps) {
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(wheel({0, 0}, {-120, 0}, Qt::NoScrollPhase, 10 + i));
    EXPECT_TRUE(wheel({0, 0}, {240, 0}, Qt::NoScrollPhase, 14));
    EXPECT_EQ(moves, (std::vector<int>{1, 1, 1, -1}));
}

TEST_F(ScrollFixture, ABurstOfSmallDeltasWithoutPhasesIsOneGesture) {
    // A touchpad under X11: twenty fractions of a notch in quick succession, no phases.
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(wheel({0, 0}, {-15, 0}, Qt::NoScrollPhase, 1000 + 8 * i));
    EXPECT_EQ(moves, std::vector<int>{1});
    // The same from a touchpad that reports pixels.
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(wheel({-6, 0}, {-12, 0}, Qt::NoScrollPhase, 2000 + 8 * i));
    EXPECT_EQ(moves, (std::vector<int>{1, 1}));
    // A pause ends the gesture; a short burst after it is a new one but below one step.
    for (int i = 0; i < 3; ++i)
        wheel({0, 0}, {15, 0}, Qt::NoScrollPhase, 3000 + 8 * i);
    EXPECT_EQ(moves, (std::vector<int>{1, 1}));
    EXPECT_NEAR(monitor->scroll().remainder, -13.5, 1e-9);
}

TEST_F(ScrollFixture, StopsWatchingWhenTheStageGoes) {
    auto* other = new QWidget;
    other->resize(100, 100);
    QPointer<StartupCarouselScroll> watcher = new StartupCarouselScroll(other);
    delete other;
    EXPECT_TRUE(watcher.isNull());
}
