#include "browser/ImportProgressPanel.h"

#include "appmodel/LorvPalette.h"
#include "appmodel/ReduceMotion.h"
#include "browser/Surfaces.h"
#include "browser/TextStyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr qreal dimOpacity = 0.62;
constexpr int barRange = 1000;
constexpr int shadowRadius = 20;
constexpr int shadowOffset = 8;
constexpr qreal shadowOpacity = 0.45;

// One pass of a box blur over the alpha of a black image, along rows (or columns).
void boxBlurAlpha(QImage& image, int radius, bool alongRows) {
    const int width = image.width();
    const int height = image.height();
    const int lines = alongRows ? height : width;
    const int length = alongRows ? width : height;
    std::vector<int> source(static_cast<std::size_t>(length));
    for (int line = 0; line < lines; ++line) {
        auto pixel = [&](int i) -> QRgb* {
            return alongRows ? reinterpret_cast<QRgb*>(image.scanLine(line)) + i
                             : reinterpret_cast<QRgb*>(image.scanLine(i)) + line;
        };
        for (int i = 0; i < length; ++i)
            source[std::size_t(i)] = qAlpha(*pixel(i));
        int sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += i >= 0 && i < length ? source[std::size_t(i)] : 0;
        const int window = 2 * radius + 1;
        for (int i = 0; i < length; ++i) {
            *pixel(i) = qRgba(0, 0, 0, sum / window);
            const int leaving = i - radius;
            const int entering = i + radius + 1;
            if (leaving >= 0)
                sum -= source[std::size_t(leaving)];
            if (entering < length)
                sum += source[std::size_t(entering)];
        }
    }
}

// The card's soft shadow, made once per card size: the card's shape in black, blurred by three
// box passes each way (close to a Gaussian blur of the radius).
QImage cardShadow(const QSize& card) {
    QImage image(card + QSize(4 * shadowRadius, 4 * shadowRadius), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, qRound(255 * shadowOpacity)));
        p.drawRoundedRect(QRectF(QPointF(2 * shadowRadius, 2 * shadowRadius), card), 12, 12);
    }
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurAlpha(image, shadowRadius / 3, true);
        boxBlurAlpha(image, shadowRadius / 3, false);
    }
    return image;
}

// The card's rounded face with its thin border.
class Card : public QWidget {
public:
    explicit Card(QWidget* parent)
        : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        Surfaces::paintPanel(p, rect(), 12, LorvPalette::night800(), LorvPalette::slate500());
    }
};

// A thin capsule filled in the accent colour up to the value; without a range a segment runs
// along it (standing still when the desktop asks for less motion).
class CapsuleBar : public QProgressBar {
public:
    explicit CapsuleBar(QWidget* parent)
        : QProgressBar(parent) {
        setTextVisible(false);
        setFixedHeight(6);
        timer.setInterval(16);
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            phase = std::fmod(phase + 16.0 / 1200.0, 1.0);
            update();
        });
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const QRectF track = rect();
        const qreal radius = track.height() / 2;
        p.setBrush(LorvPalette::slate600());
        p.drawRoundedRect(track, radius, radius);
        const bool moving = maximum() == minimum();
        if (moving != timer.isActive()) {
            if (moving && !ReduceMotion::isOn())
                timer.start();
            else
                timer.stop();
        }
        QRectF fill;
        if (moving) {
            const qreal length = track.width() * 0.3;
            fill = QRectF(-length + phase * (track.width() + length), 0, length, track.height());
        } else if (value() > minimum()) {
            const qreal fraction = qreal(value() - minimum()) / (maximum() - minimum());
            fill = QRectF(0, 0, std::max(track.height(), track.width() * fraction), track.height());
        }
        if (fill.isEmpty())
            return;
        p.setClipRect(track);
        p.setBrush(LorvPalette::sky());
        p.drawRoundedRect(fill, radius, radius);
    }
    void hideEvent(QHideEvent* event) override {
        timer.stop();
        QProgressBar::hideEvent(event);
    }

private:
    QTimer timer;
    qreal phase = 0;
};

// A file name that gives up its middle first when the row is narrow.
class MiddleElidedLabel : public QLabel {
public:
    explicit MiddleElidedLabel(QWidget* parent)
        : QLabel(parent) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    void setFullText(const QString& text) {
        full = text;
        elide();
    }
    QString full;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() { setText(fontMetrics().elidedText(full, Qt::ElideMiddle, qMax(0, width()))); }
};

} // namespace

QString ImportProgressPanel::percentText(double fraction, AppLanguage language) {
    if (!std::isfinite(fraction))
        fraction = 0;
    // The default rounding mode rounds halves to even, as a number formatter does.
    const double percent = std::nearbyint(std::clamp(fraction, 0.0, 1.0) * 100.0);
    const QLocale locale = AppLanguages::locale(language);
    return locale.toString(qint64(percent)) + locale.percent();
}

ImportProgressPanel::ImportProgressPanel(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("importProgressPanel"));
    card_ = new Card(this);
    card_->setObjectName(QStringLiteral("progressCard"));
    card_->setFixedWidth(cardWidth);

    auto* column = new QVBoxLayout(card_);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(12);

    auto* titleRow = new QHBoxLayout;
    title_ = TextStyle::label(TextStyle::title3(QFont::DemiBold), LorvPalette::mist(), card_);
    percent_ = TextStyle::label(TextStyle::title2(QFont::DemiBold), LorvPalette::sky(), card_);
    titleRow->addWidget(title_, 0, Qt::AlignBaseline);
    titleRow->addSpacing(12);
    titleRow->addStretch(1);
    titleRow->addWidget(percent_, 0, Qt::AlignBaseline);
    column->addLayout(titleRow);

    bar_ = new CapsuleBar(card_);
    column->addWidget(bar_);

    fileRow_ = new QWidget(card_);
    auto* fileLayout = new QHBoxLayout(fileRow_);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    fileLayout->setSpacing(10);
    fileCount_ = new QLabel(fileRow_);
    fileName_ = new MiddleElidedLabel(fileRow_);
    for (QLabel* label : {fileCount_, fileName_}) {
        label->setFont(TextStyle::callout());
        TextStyle::setTextColor(label, LorvPalette::fog());
    }
    fileLayout->addWidget(fileCount_);
    fileLayout->addWidget(fileName_, 1);
    column->addWidget(fileRow_);

    note_ = TextStyle::label(TextStyle::callout(), LorvPalette::mist(), card_);
    note_->setObjectName(QStringLiteral("progressNote"));
    note_->setWordWrap(true);
    note_->hide();
    column->addWidget(note_);

    refresh();
}

void ImportProgressPanel::setNote(const QString& note) {
    if (note == note_->text())
        return;
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
    placeCard();
}

void ImportProgressPanel::setTitle(const QString& title) {
    title_->setText(title);
    bar_->setAccessibleName(title);
}

void ImportProgressPanel::setProgress(const std::optional<ImportProgress>& progress) {
    if (progress == progress_)
        return;
    progress_ = progress;
    refresh();
}

QString ImportProgressPanel::shownFileName() const {
    return fileName_->text();
}

void ImportProgressPanel::refresh() {
    const AppLanguage language = AppLanguages::stored();
    percent_->setVisible(progress_.has_value());
    if (progress_) {
        percent_->setText(percentText(progress_->fraction, language));
        bar_->setRange(0, barRange);
        const double fraction = std::isfinite(progress_->fraction) ? progress_->fraction : 0.0;
        bar_->setValue(int(std::lround(std::clamp(fraction, 0.0, 1.0) * barRange)));
    } else {
        // Moves on its own until there is something to show.
        bar_->setRange(0, 0);
    }
    const bool showsFile = progress_ && progress_->fileIndex.has_value();
    fileRow_->setVisible(showsFile);
    if (showsFile) {
        fileCount_->setText(
            localizedString(LZ("File %1 of %2"), language,
                            AppLanguages::formattedCount(*progress_->fileIndex, language),
                            AppLanguages::formattedCount(progress_->fileCount, language)));
        static_cast<MiddleElidedLabel*>(fileName_)->setFullText(progress_->fileName);
    }
    placeCard();
}

void ImportProgressPanel::placeCard() {
    card_->adjustSize();
    // A wrapped note is as tall as the card's width makes it.
    const QSize size(cardWidth, card_->hasHeightForWidth() ? card_->heightForWidth(cardWidth)
                                                           : card_->sizeHint().height());
    card_->setGeometry(
        QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size));
}

void ImportProgressPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeCard();
}

void ImportProgressPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}

void ImportProgressPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0, 0, 0, qRound(255 * dimOpacity)));
    // Painted here rather than by an effect on the card, so that a new value of the bar repaints
    // the bar alone.
    if (shadow_.size() != card_->size() + QSize(4 * shadowRadius, 4 * shadowRadius))
        shadow_ = cardShadow(card_->size());
    p.drawImage(card_->pos() + QPoint(-2 * shadowRadius, -2 * shadowRadius + shadowOffset),
                shadow_);
}
