#pragma once

// The player strip under the library while a track is previewed: the track's title and artist,
// elapsed time, a position slider (a spinner while the player loads), the total time, a round
// play/pause button and a close button. Twice a second it reads the store's player. A drag of
// the slider only moves the shown position and seeks once, when it ends; a value set any other
// way (keys, a click on the track) seeks at once. The periodic update never seeks.

#include "library/Track.h"

#include <QWidget>

#include <functional>
#include <optional>

class ActivitySpinner;
class IPodStore;
class QLabel;
class QSlider;
class QTimer;
class QToolButton;

class PreviewBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int tickMilliseconds = 500;
    static constexpr int barHeight = 45;

    // The position under the thumb while the user drags it; the main view keeps it.
    struct SeekPosition {
        std::function<std::optional<double>()> get;
        std::function<void(std::optional<double>)> set;
    };

    PreviewBar(IPodStore& store, SeekPosition seekPosition, QWidget* parent = nullptr);

    // The previewed track, as the host found it in the library.
    void setTrack(const Track& track);
    const std::optional<Track>& track() const { return track_; }

    // Reads the player again, as every tick does.
    void tick();

    // The slider's value: the dragged position, else the player's time, never past duration.
    static double sliderValue(std::optional<double> seekPosition,
                              std::optional<std::pair<double, double>> times, double duration);

    QLabel* titleLabel() const { return title_; }
    QLabel* artistLabel() const { return artist_; }
    QLabel* elapsedLabel() const { return elapsed_; }
    QLabel* totalLabel() const { return total_; }
    QSlider* slider() const;
    ActivitySpinner* spinner() const { return spinner_; }
    QToolButton* playButton() const { return play_; }
    QToolButton* closeButton() const { return close_; }

Q_SIGNALS:
    // Sent after each seek asked of the store.
    void seeked(quint64 trackID, double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refreshTitle();
    void refreshPlayButton();
    void sliderValueChanged(int milliseconds);
    void sliderEditingChanged(bool editing);
    void seek(double seconds);

    IPodStore& store_;
    SeekPosition seekPosition_;
    std::optional<Track> track_;
    QLabel* title_ = nullptr;
    QLabel* artist_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QLabel* total_ = nullptr;
    QSlider* slider_ = nullptr;
    ActivitySpinner* spinner_ = nullptr;
    QToolButton* play_ = nullptr;
    QToolButton* close_ = nullptr;
    QTimer* timer_ = nullptr;
};
