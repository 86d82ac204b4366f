// The preview bar over the store's real player, on ffmpeg-made audio in a libgpod volume: the
// spinner while the player loads, one seek per drag of the slider and none from its ticks, an
// immediate seek for a key, and the shown value never past the track's end.

#include "PaneFixture.h"

#include "appmodel/MediaPreviewPlayer.h"
#include "browser/ActivitySpinner.h"
#include "browser/FormattedDuration.h"
#include "browser/PreviewBar.h"
#include "support/AudioFixtures.h"
#include "support/AudioPlayback.h"
#include "support/EventLoop.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolButton>

#include <cmath>

namespace {

// Where the slider's handle is drawn.
struct SliderAccess : QSlider {
    static QPoint handleCentre(const QSlider& slider) {
        QStyleOptionSlider option;
        (slider.*(&SliderAccess::initStyleOption))(&option);
        return slider.style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider)
            .center();
    }
};

void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, {});
    QApplication::sendEvent(widget, &event);
}

class PreviewTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        if (!TestSupport::hasFFmpegTool())
            GTEST_SKIP() << "the ffmpeg tool is needed for the audio";
        // Previews play through Qt Multimedia, as in the application.
        IPodPreviewPlayer::setFactory([] { return std::make_unique<MediaPreviewPlayer>(); });
        const QString dir = root + QStringLiteral("/in");
        QDir().mkpath(dir);
        TestSupport::ToneSpec spec;
        spec.seconds = 20;
        ASSERT_TRUE(TestSupport::makeTone(dir + QStringLiteral("/tone.mp3"), spec));
        if (const auto why =
                TestSupport::audioPlaybackUnavailable(dir + QStringLiteral("/tone.mp3")))
            GTEST_SKIP() << "this machine cannot play audio: " << qPrintable(*why);
        const QString path = makeVolume(root + QStringLiteral("/Pod"),
                                        {{.title = QStringLiteral("Tone"),
                                          .artist = QStringLiteral("Sine"),
                                          .tracklenMs = 20000,
                                          .sourceFile = dir + QStringLiteral("/tone.mp3")}});
        open({path});
        waitForLibrary();
        trackID = store->library()->tracks[0].id;
    }

    PreviewBar& bar() const { return *pane().findChild<PreviewBar*>(); }

    quint64 trackID = 0;
};

} // namespace

TEST(PreviewBarValue, NeverPassesTheDuration) {
    EXPECT_EQ(PreviewBar::sliderValue(std::nullopt, std::nullopt, 20), 0);
    EXPECT_EQ(PreviewBar::sliderValue(std::nullopt, std::make_pair(7.5, 20.0), 20), 7.5);
    EXPECT_EQ(PreviewBar::sliderValue(12.0, std::make_pair(7.5, 20.0), 20), 12);
    EXPECT_EQ(PreviewBar::sliderValue(50.0, std::make_pair(7.5, 20.0), 20), 20);
    EXPECT_EQ(PreviewBar::sliderValue(std::nullopt, std::make_pair(25.0, 20.0), 20), 20);
}

TEST_F(PreviewTest, ADragSeeksOnceWhenReleasedAndTicksNeverSeek) {
    QSignalSpy seeks(&bar(), &PreviewBar::seeked);
    store->togglePreview(trackID);
    // Loading: the bar shows with a spinner, the track's own length and no play button.
    ASSERT_TRUE(pane().previewBarHost()->isVisible());
    if (!store->previewTimes()) {
        bar().tick();
        EXPECT_TRUE(bar().spinner()->isVisible());
        EXPECT_FALSE(bar().slider()->isVisible());
        EXPECT_FALSE(bar().playButton()->isEnabled());
        EXPECT_EQ(bar().elapsedLabel()->text(), QStringLiteral("00:00"));
        EXPECT_EQ(bar().totalLabel()->text(), QStringLiteral("00:20"));
    }
    EXPECT_EQ(bar().titleLabel()->text(), QStringLiteral("Tone"));
    EXPECT_EQ(bar().artistLabel()->text(), QStringLiteral("Sine"));
    ASSERT_TRUE(
        TestSupport::waitUntil([&] { return store->isPreviewPlaying() || store->alert(); }));
    ASSERT_FALSE(store->alert()) << qPrintable(*store->alert());
    store->togglePreview(trackID); // paused, so the player's time stands still
    ASSERT_FALSE(store->isPreviewPlaying());
    store->seekPreview(trackID, 2.0);
    bar().tick();
    QSlider* slider = bar().slider();
    ASSERT_TRUE(slider->isVisible());
    EXPECT_FALSE(bar().spinner()->isVisible());
    EXPECT_TRUE(bar().playButton()->isEnabled());
    EXPECT_EQ(bar().playButton()->toolTip(), QStringLiteral("Play Preview"));
    EXPECT_NEAR(slider->maximum(), 20000, 200);

    // Ticks set the slider from the player without seeking.
    for (int i = 0; i < 4; ++i)
        bar().tick();
    EXPECT_EQ(seeks.count(), 0);

    // A drag: pressed on the handle, moved twice with ticks between, released.
    const QPoint start = SliderAccess::handleCentre(*slider);
    sendMouse(slider, QEvent::MouseButtonPress, start, Qt::LeftButton);
    ASSERT_TRUE(view().state().previewSeekPosition);
    sendMouse(slider, QEvent::MouseMove, start + QPoint(slider->width() / 4, 0), Qt::LeftButton);
    bar().tick();
    const QPoint end(slider->width() * 3 / 4, start.y());
    sendMouse(slider, QEvent::MouseMove, end, Qt::LeftButton);
    bar().tick();
    EXPECT_EQ(seeks.count(), 0);
    const double dragged = *view().state().previewSeekPosition;
    EXPECT_GT(dragged, 8.0);
    // During the drag the elapsed text follows the thumb, not the player.
    EXPECT_EQ(bar().elapsedLabel()->text(), formattedDuration(dragged));
    EXPECT_NEAR(store->previewTimes()->first, 2.0, 0.5);
    sendMouse(slider, QEvent::MouseButtonRelease, end, Qt::NoButton);
    ASSERT_EQ(seeks.count(), 1);
    EXPECT_EQ(seeks[0][0].toULongLong(), trackID);
    EXPECT_DOUBLE_EQ(seeks[0][1].toDouble(), dragged);
    EXPECT_FALSE(view().state().previewSeekPosition);
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return std::abs(store->previewTimes()->first - dragged) < 0.5; }));
    bar().tick();
    EXPECT_EQ(seeks.count(), 1);

    // A key moves the value outside a drag: it seeks at once.
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(seeks.count(), 2);
    EXPECT_FALSE(view().state().previewSeekPosition);

    // Closing ends the preview and hides the bar.
    QTest::mouseClick(bar().closeButton(), Qt::LeftButton);
    EXPECT_FALSE(store->previewTrackID());
    EXPECT_FALSE(pane().previewBarHost()->isVisible());
}

using PreviewBarLook = PaneTest;

TEST_F(PreviewBarLook, ThePlayButtonLightsItsDiscAndNotASquare) {
    open({makeVolume(root + QStringLiteral("/Pod"), {{.title = QStringLiteral("Tone")}})});
    waitForLibrary();
    PreviewBar bar(*store, {[] { return std::optional<double>(); }, [](std::optional<double>) {}});
    bar.resize(520, PreviewBar::barHeight);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QToolButton* play = bar.playButton();
    play->setEnabled(true);
    auto shot = [&] { return bar.grab(play->geometry()).toImage(); };
    const QImage plain = shot();
    play->setAttribute(Qt::WA_UnderMouse, true);
    const QImage hovered = shot();
    play->setDown(true);
    const QImage pressed = shot();
    const int w = plain.width(), h = plain.height();
    // The corners lie outside the disc: nothing lights there.
    for (const QPoint corner :
         {QPoint(1, 1), QPoint(w - 2, 1), QPoint(1, h - 2), QPoint(w - 2, h - 2)}) {
        EXPECT_EQ(hovered.pixel(corner), plain.pixel(corner)) << corner.x() << "," << corner.y();
        EXPECT_EQ(pressed.pixel(corner), plain.pixel(corner)) << corner.x() << "," << corner.y();
    }
    // Inside the disc, beside the symbol, hover and press show.
    const QPoint inside(w / 2, 4);
    EXPECT_NE(hovered.pixel(inside), plain.pixel(inside));
    EXPECT_NE(pressed.pixel(inside), hovered.pixel(inside));
}
