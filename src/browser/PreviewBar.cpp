#include "browser/PreviewBar.h"

#include "appmodel/LorvPalette.h"
#include "browser/ActivitySpinner.h"
#include "browser/FormattedDuration.h"
#include "browser/Surfaces.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "device/IPodStore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr int progressMaximumWidth = 320;

// A slider that tells when the pointer starts and ends editing it, around everything the press
// does (a click on the groove moves the value before the slider counts as pressed).
class PreviewSlider : public QSlider {
public:
    explicit PreviewSlider(std::function<void(bool)> editing, QWidget* parent)
        : QSlider(Qt::Horizontal, parent)
        , editingChanged(std::move(editing)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        const bool begins = event->button() == Qt::LeftButton && !editing;
        if (begins) {
            editing = true;
            editingChanged(true);
        }
        QSlider::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        QSlider::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && editing) {
            editing = false;
            editingChanged(false);
        }
    }

private:
    std::function<void(bool)> editingChanged;
    bool editing = false;
};

int milliseconds(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    return static_cast<int>(std::min(std::round(seconds * 1000.0), 2147483647.0));
}

QToolButton* roundButton(QWidget* parent, const QSize& size) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFixedSize(size);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

// The play button on its disc: hover, press and focus follow the disc, where the style would
// light a square around it.
class DiscButton : public QToolButton {
public:
    explicit DiscButton(QWidget* parent)
        : QToolButton(parent) {
        setAutoRaise(true);
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF disc = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (isEnabled() && (isDown() || underMouse())) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, isDown() ? 46 : 26));
            p.drawEllipse(disc);
        }
        if (hasFocus()) {
            p.setPen(QPen(LorvPalette::periwinkle(), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(disc.adjusted(0.75, 0.75, -0.75, -0.75));
        }
        const QPixmap glyph = icon().pixmap(iconSize(), devicePixelRatioF(),
                                            isEnabled() ? QIcon::Normal : QIcon::Disabled);
        const QSizeF glyphSize = QSizeF(glyph.size()) / glyph.devicePixelRatio();
        p.drawPixmap(QRectF(QPointF(0, 0), glyphSize)
                         .translated(QRectF(rect()).center() -
                                     QPointF(glyphSize.width(), glyphSize.height()) / 2)
                         .topLeft(),
                     glyph);
    }
};

} // namespace

PreviewBar::PreviewBar(IPodStore& store, SeekPosition seekPosition, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , seekPosition_(std::move(seekPosition)) {
    setObjectName(QStringLiteral("previewBar"));
    setFixedHeight(barHeight);
    setFont(TextStyle::callout());
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 0, 12, 0);
    row->setSpacing(12);

    auto* wave = new QLabel(this);
    wave->setPixmap(SymbolIcon::pixmap(QStringLiteral("waveform"), 16, LorvPalette::sky()));
    row->addWidget(wave);

    auto* titles = new QWidget(this);
    // Its texts are elided to whatever width it gets.
    titles->installEventFilter(this);
    auto* titleRow = new QHBoxLayout(titles);
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->setSpacing(8);
    title_ = TextStyle::label(TextStyle::callout(QFont::DemiBold), LorvPalette::mist(), titles);
    artist_ = TextStyle::label(TextStyle::callout(), LorvPalette::fog(), titles);
    titleRow->addWidget(title_);
    titleRow->addWidget(artist_);
    titleRow->addStretch(1);
    titles->setMinimumWidth(0);
    titles->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(titles, 1);

    // The progress row, at most 320 wide, centred in the width it gets.
    auto* progressFrame = new QWidget(this);
    auto* progressCentre = new QHBoxLayout(progressFrame);
    progressCentre->setContentsMargins(0, 0, 0, 0);
    auto* progress = new QWidget(progressFrame);
    progress->setMaximumWidth(progressMaximumWidth);
    auto* progressRow = new QHBoxLayout(progress);
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->setSpacing(9);
    elapsed_ = TextStyle::label(TextStyle::caption(), LorvPalette::fog(), progress);
    elapsed_->setObjectName(QStringLiteral("previewElapsed"));
    slider_ = new PreviewSlider([this](bool editing) { sliderEditingChanged(editing); }, progress);
    slider_->setObjectName(QStringLiteral("previewSlider"));
    slider_->setFocusPolicy(Qt::StrongFocus);
    QPalette sliderPalette = slider_->palette();
    sliderPalette.setColor(QPalette::Highlight, LorvPalette::sky());
    slider_->setPalette(sliderPalette);
    spinner_ = new ActivitySpinner(progress, ActivitySpinner::Size::small);
    spinner_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    total_ = TextStyle::label(TextStyle::caption(), LorvPalette::fog(), progress);
    total_->setObjectName(QStringLiteral("previewTotal"));
    progressRow->addWidget(elapsed_);
    progressRow->addWidget(slider_, 1);
    progressRow->addWidget(spinner_, 1);
    progressRow->addWidget(total_);
    progressCentre->addWidget(progress, 1);
    row->addWidget(progressFrame, 1);
    connect(slider_, &QSlider::valueChanged, this, &PreviewBar::sliderValueChanged);

    play_ = new DiscButton(this);
    play_->setFixedSize(28, 28);
    play_->setObjectName(QStringLiteral("previewPlayButton"));
    play_->setIconSize(QSize(11, 11));
    connect(play_, &QToolButton::clicked, this, [this] {
        if (track_)
            store_.togglePreview(track_->id);
    });
    row->addWidget(play_);
    close_ = roundButton(this, QSize(24, 28));
    close_->setObjectName(QStringLiteral("previewCloseButton"));
    close_->setIconSize(QSize(12, 12));
    close_->setIcon(SymbolIcon::icon(QStringLiteral("xmark"), 12, LorvPalette::fog()));
    connect(close_, &QToolButton::clicked, this, [this] { store_.stopPreview(); });
    row->addWidget(close_);

    timer_ = new QTimer(this);
    timer_->setInterval(tickMilliseconds);
    connect(timer_, &QTimer::timeout, this, &PreviewBar::tick);
    connect(&store_, &IPodStore::isPreviewPlayingChanged, this, &PreviewBar::refreshPlayButton);

    refreshPlayButton();
    tick();
}

QSlider* PreviewBar::slider() const {
    return slider_;
}

void PreviewBar::setTrack(const Track& track) {
    track_ = track;
    refreshTitle();
    tick();
}

double PreviewBar::sliderValue(std::optional<double> seekPosition,
                               std::optional<std::pair<double, double>> times, double duration) {
    const double position = seekPosition ? *seekPosition : times ? times->first : 0.0;
    return std::min(duration, position);
}

void PreviewBar::tick() {
    const std::optional<std::pair<double, double>> times = store_.previewTimes();
    const std::optional<double> dragged = seekPosition_.get();
    const double shown = dragged ? *dragged : times ? times->first : 0.0;
    elapsed_->setText(formattedDuration(shown));

    const bool hasSlider = times && times->second > 0;
    slider_->setVisible(hasSlider);
    spinner_->setVisible(!hasSlider);
    if (hasSlider) {
        // Setting the value here must never reach the seek.
        const QSignalBlocker quiet(slider_);
        slider_->setRange(0, milliseconds(times->second));
        slider_->setValue(milliseconds(sliderValue(dragged, times, times->second)));
    }
    total_->setText(formattedDuration(times ? times->second : track_ ? track_->duration : 0.0));
    if (play_->isEnabled() != times.has_value()) {
        play_->setEnabled(times.has_value());
        update(); // the disc behind the button
    }
}

void PreviewBar::sliderValueChanged(int value) {
    const double seconds = value / 1000.0;
    if (seekPosition_.get()) {
        seekPosition_.set(seconds);
        elapsed_->setText(formattedDuration(seconds));
    } else {
        seek(seconds);
    }
}

void PreviewBar::sliderEditingChanged(bool editing) {
    if (editing) {
        const auto times = store_.previewTimes();
        seekPosition_.set(times ? std::optional<double>(times->first) : std::nullopt);
        return;
    }
    const std::optional<double> position = seekPosition_.get();
    if (!position)
        return;
    seek(*position);
    seekPosition_.set(std::nullopt);
}

void PreviewBar::seek(double seconds) {
    if (!track_)
        return;
    store_.seekPreview(track_->id, seconds);
    Q_EMIT seeked(track_->id, seconds);
}

void PreviewBar::refreshTitle() {
    // The artist follows the title; when both do not fit, the title keeps at least half.
    const int available = title_->parentWidget()->width();
    const QString title = track_ ? track_->title : QString();
    const QString artist = track_ ? track_->artist : QString();
    artist_->setVisible(!artist.isEmpty());
    const int artistNatural =
        artist.isEmpty() ? 0 : artist_->fontMetrics().horizontalAdvance(artist) + 8;
    const int titleLimit = std::max(available / 2, available - artistNatural);
    title_->setText(TextStyle::elided(title_->fontMetrics(), title, titleLimit));
    const int titleWidth = title_->fontMetrics().horizontalAdvance(title_->text());
    artist_->setText(
        TextStyle::elided(artist_->fontMetrics(), artist, std::max(0, available - titleWidth - 8)));
    title_->setToolTip(title);
    artist_->setToolTip(artist);
}

void PreviewBar::refreshPlayButton() {
    const bool playing = store_.isPreviewPlaying();
    play_->setIcon(
        SymbolIcon::icon(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), 11,
                         LorvPalette::lilac()));
    const AppLanguage language = AppLanguages::stored();
    const QString caption =
        localizedString(playing ? LZ("Pause Preview") : LZ("Play Preview"), language);
    play_->setToolTip(caption);
    play_->setAccessibleName(caption);
    close_->setToolTip(localizedString(LZ("Close Preview"), language));
    close_->setAccessibleName(close_->toolTip());
    slider_->setAccessibleName(localizedString(LZ("Preview Progress"), language));
    spinner_->setAccessibleName(localizedString(LZ("Loading Preview"), language));
}

void PreviewBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    Surfaces::paintPanel(p, rect(), 9, LorvPalette::night700(), LorvPalette::slate500());
    // The disc behind the play button.
    const QRect disc = play_->geometry();
    p.setPen(Qt::NoPen);
    p.setBrush(LorvPalette::indigoDeep());
    p.setOpacity(play_->isEnabled() ? 1.0 : 0.45);
    p.drawEllipse(QRectF(disc).adjusted(0.5, 0.5, -0.5, -0.5));
}

bool PreviewBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == title_->parentWidget())
        refreshTitle();
    return QWidget::eventFilter(watched, event);
}

void PreviewBar::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    tick();
    timer_->start();
}

void PreviewBar::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_->stop();
}

void PreviewBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refreshPlayButton();
    QWidget::changeEvent(event);
}
