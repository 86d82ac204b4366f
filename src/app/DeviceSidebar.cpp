#include "app/DeviceSidebar.h"

#include "app/StorageSummaryView.h"
#include "appmodel/InterfaceFont.h"
#include "appmodel/LorvPalette.h"
#include "browser/Surfaces.h"
#include "browser/SymbolIcon.h"
#include "platform/AppLanguage.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QFont pixelFont(const QFont& base, int pixels, QFont::Weight weight = QFont::Normal) {
    QFont font = base;
    font.setPixelSize(pixels);
    return InterfaceFont::weighted(font, weight);
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Disabled, QPalette::WindowText, color);
    widget->setPalette(p);
}

QLabel* sectionHeader(QWidget* parent) {
    auto* label = new QLabel(parent);
    QFont font = pixelFont(label->font(), 10, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    font.setCapitalization(QFont::AllUppercase);
    label->setFont(font);
    setTextColor(label, LorvPalette::fog());
    label->setContentsMargins(8, 0, 8, 0);
    return label;
}

class Dot : public QWidget {
public:
    Dot(int side, const QColor& color, QWidget* parent)
        : QWidget(parent)
        , color(color) {
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(rect());
    }

private:
    QColor color;
};

} // namespace

// MARK: series row

SidebarSeriesRow::SidebarSeriesRow(StartupSeries series, QWidget* parent)
    : QAbstractButton(parent)
    , series_(series) {
    setObjectName(QStringLiteral("seriesRow-") + series.rawValue());
    setFont(pixelFont(font(), 12));
    setText(series.displayName());
    setAccessibleName(series.displayName());
    setCheckable(false);
    setFixedHeight(rowHeight);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SidebarSeriesRow::setHighlighted(bool highlighted) {
    if (highlighted_ == highlighted)
        return;
    highlighted_ = highlighted;
    update();
}

QSize SidebarSeriesRow::sizeHint() const {
    return {9 + 7 + 8 + fontMetrics().horizontalAdvance(text()) + 9, rowHeight};
}

void SidebarSeriesRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (highlighted_) {
        Surfaces::fillRounded(p, rect(), 7, LorvPalette::night700());
    }
    const QRectF dot(9, (height() - 7) / 2.0, 7, 7);
    p.setPen(Qt::NoPen);
    p.setBrush(series_.accentColor());
    p.drawEllipse(dot);
    p.setPen(highlighted_ ? LorvPalette::mist() : LorvPalette::fog());
    p.setFont(font());
    const QRect textRect(9 + 7 + 8, 0, width() - (9 + 7 + 8) - 9, height());
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
               fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
}

// MARK: device card

DeviceRowCard::DeviceRowCard(const DeviceSidebarRow& row, QWidget* parent)
    : QAbstractButton(parent)
    , row_(row) {
    setObjectName(QStringLiteral("deviceRowCard"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setToolTip(row.title);
    setAccessibleName(row.title);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(7);

    auto* titleLine = new QHBoxLayout;
    titleLine->setContentsMargins(0, 0, row.hasEjectButton ? 20 : 0, 0);
    titleLine->setSpacing(7);
    dot_ = new Dot(8, row.dotColor, this);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("deviceTitle"));
    title_->setFont(pixelFont(font(), 12, row.isSelected ? QFont::Medium : QFont::Normal));
    title_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextColor(title_, LorvPalette::mist());
    titleLine->addWidget(dot_);
    titleLine->addWidget(title_, 1);
    column->addLayout(titleLine);

    if (row.subtitleKey) {
        subtitle_ = new QLabel(this);
        subtitle_->setFont(pixelFont(font(), 10));
        setTextColor(subtitle_, LorvPalette::fog());
        column->addWidget(subtitle_);
    } else if (row.totalBytes && *row.totalBytes >= 1) {
        storage_ = new StorageSummaryView(this);
        storage_->setFont(pixelFont(font(), 10));
        setTextColor(storage_, LorvPalette::fog());
        for (QLabel* label : storage_->findChildren<QLabel*>())
            setTextColor(label, LorvPalette::fog());
        storage_->setBytes(row.freeBytes, *row.totalBytes);
        column->addWidget(storage_);
    }

    if (row.hasEjectButton) {
        eject_ = new QToolButton(this);
        eject_->setObjectName(QStringLiteral("ejectButton"));
        eject_->setAutoRaise(true);
        eject_->setFixedSize(22, 22);
        eject_->setIcon(SymbolIcon::icon(QStringLiteral("eject.fill"), 12, LorvPalette::fog()));
        eject_->setIconSize(QSize(12, 12));
        eject_->setCursor(Qt::ArrowCursor);
        connect(eject_, &QToolButton::clicked, this, &DeviceRowCard::ejectClicked);
    }
    retranslate();
}

void DeviceRowCard::setBusy(bool busy) {
    if (eject_)
        eject_->setEnabled(!busy);
}

QSize DeviceRowCard::sizeHint() const {
    return {DeviceSidebar::idealWidth - 20, layout()->sizeHint().height()};
}

QSize DeviceRowCard::minimumSizeHint() const {
    return {60, layout()->minimumSize().height()};
}

void DeviceRowCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    Surfaces::fillRounded(p, rect(), cornerRadius,
                          row_.isSelected ? LorvPalette::indigoNight() : LorvPalette::night800());
    if (row_.isSelected) {
        // Stroked inside the border.
        QPainterPath inner;
        inner.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5,
                             cornerRadius - 0.5);
        p.setPen(QPen(LorvPalette::lilac(), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(inner);
    }
}

void DeviceRowCard::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    if (eject_)
        eject_->move(width() - 5 - eject_->width(), 5);
    fitTitle();
}

void DeviceRowCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QAbstractButton::changeEvent(event);
}

void DeviceRowCard::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    if (subtitle_ && row_.subtitleKey)
        subtitle_->setText(localizedString(*row_.subtitleKey, language));
    if (eject_) {
        const QString help = localizedString(LZ("Eject %1"), language, row_.title);
        eject_->setToolTip(help);
        eject_->setAccessibleName(help);
    }
    fitTitle();
}

void DeviceRowCard::fitTitle() {
    // Shrinks the title down to 85 % of its size before it is cut short.
    QFont font = pixelFont(title_->font(), 12, title_->font().weight());
    const int available = qMax(0, title_->width());
    if (available > 0 && QFontMetrics(font).horizontalAdvance(row_.title) > available) {
        const qreal scale =
            qMax(0.85, available / qreal(QFontMetrics(font).horizontalAdvance(row_.title)));
        font.setPixelSize(qMax(1, int(12 * scale)));
    }
    title_->setFont(font);
    title_->setText(QFontMetrics(font).elidedText(row_.title, Qt::ElideRight,
                                                  available > 0 ? available : 1 << 20));
}

// MARK: sidebar

DeviceSidebar::DeviceSidebar(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("deviceSidebar"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, LorvPalette::inkAlt());
    setPalette(p);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    header->setFixedHeight(headerHeight);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(15, 0, 15, 0);
    headerRow->setSpacing(10);
    auto* brand = new QLabel(header);
    brand->setFixedSize(48, 48);
    brand->setPixmap(brandImage(48, devicePixelRatioF()));
    headerRow->addWidget(brand);
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    auto* product = new QLabel(QStringLiteral("Lorvanel"), header);
    product->setFont(pixelFont(font(), 17, QFont::DemiBold));
    setTextColor(product, LorvPalette::mist());
    subtitle_ = new QLabel(header);
    subtitle_->setFont(pixelFont(font(), 10));
    setTextColor(subtitle_, LorvPalette::fog());
    names->addStretch(1);
    names->addWidget(product);
    names->addWidget(subtitle_);
    names->addStretch(1);
    headerRow->addLayout(names, 1);
    column->addWidget(header);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* sections = new QWidget(scroll);
    sections->setObjectName(QStringLiteral("sidebarSections"));
    sections->setAutoFillBackground(true);
    sections->setPalette(p);
    scroll->viewport()->setAutoFillBackground(true);
    scroll->viewport()->setPalette(p);
    auto* stack = new QVBoxLayout(sections);
    stack->setContentsMargins(10, 6, 10, 10);
    stack->setSpacing(18);

    auto* series = new QVBoxLayout;
    series->setSpacing(4);
    seriesHeader_ = sectionHeader(sections);
    series->addWidget(seriesHeader_);
    for (StartupSeries s : StartupSeries::allCases()) {
        auto* row = new SidebarSeriesRow(s, sections);
        connect(row, &QAbstractButton::clicked, this, [this, s] { Q_EMIT seriesClicked(s); });
        seriesRows_.append(row);
        series->addWidget(row);
    }
    stack->addLayout(series);

    auto* devices = new QVBoxLayout;
    devices->setSpacing(6);
    devicesHeader_ = sectionHeader(sections);
    devices->addWidget(devicesHeader_);
    waiting_ = new QLabel(sections);
    waiting_->setObjectName(QStringLiteral("waitingLabel"));
    waiting_->setFont(pixelFont(font(), 10));
    waiting_->setWordWrap(true);
    waiting_->setContentsMargins(8, 0, 8, 0);
    setTextColor(waiting_, LorvPalette::fog());
    devices->addWidget(waiting_);
    cardsLayout_ = new QVBoxLayout;
    cardsLayout_->setSpacing(6);
    devices->addLayout(cardsLayout_);
    stack->addLayout(devices);
    stack->addStretch(1);

    scroll->setWidget(sections);
    column->addWidget(scroll, 1);

    setMinimumWidth(minimumWidth);
    setMaximumWidth(maximumWidth);
    retranslate();
    setContent({});
}

void DeviceSidebar::setContent(const DeviceSidebarContent& content) {
    const bool rowsChanged = content.rows != content_.rows || cards_.isEmpty();
    content_ = content;
    for (SidebarSeriesRow* row : std::as_const(seriesRows_))
        row->setHighlighted(content.highlightedSeries &&
                            *content.highlightedSeries == row->series());
    waiting_->setVisible(content.rows.isEmpty());
    if (rowsChanged)
        rebuildCards();
    for (DeviceRowCard* card : std::as_const(cards_))
        card->setBusy(content.isBusy);
}

void DeviceSidebar::rebuildCards() {
    // The clicked card may be the one that changed the selection: it goes once its click is over.
    for (DeviceRowCard* card : std::as_const(cards_)) {
        cardsLayout_->removeWidget(card);
        card->hide();
        card->deleteLater();
    }
    cards_.clear();
    for (int i = 0; i < content_.rows.size(); ++i) {
        auto* card = new DeviceRowCard(content_.rows[i], cardsLayout_->parentWidget());
        connect(card, &QAbstractButton::clicked, this, [this, i] { Q_EMIT deviceClicked(i); });
        connect(card, &DeviceRowCard::ejectClicked, this, [this, i] { Q_EMIT ejectClicked(i); });
        cardsLayout_->addWidget(card);
        cards_.append(card);
    }
}

void DeviceSidebar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void DeviceSidebar::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    subtitle_->setText(localizedString(LZ("Classic iPod Sync"), language));
    seriesHeader_->setText(localizedString(LZ("iPod Series"), language));
    devicesHeader_->setText(localizedString(LZ("Devices"), language));
    waiting_->setText(localizedString(LZ("Waiting for a USB connection…"), language));
}

QPixmap DeviceSidebar::brandImage(int size, qreal devicePixelRatio) {
    // A player seen from the front: a rounded body, a screen and a wheel.
    QPixmap out(QSize(size, size) * devicePixelRatio);
    out.setDevicePixelRatio(devicePixelRatio);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF body(s * 0.22, s * 0.06, s * 0.56, s * 0.88);
    QLinearGradient fill(body.topLeft(), body.bottomRight());
    fill.setColorAt(0, LorvPalette::periwinkle());
    fill.setColorAt(1, LorvPalette::lilac());
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(body, s * 0.1, s * 0.1);
    const QRectF screen(body.left() + s * 0.07, body.top() + s * 0.07, body.width() - s * 0.14,
                        body.height() * 0.36);
    p.setBrush(LorvPalette::night900());
    p.drawRoundedRect(screen, s * 0.03, s * 0.03);
    const qreal wheel = body.width() * 0.62;
    const QPointF centre(body.center().x(), body.top() + body.height() * 0.7);
    p.setBrush(LorvPalette::mist());
    p.drawEllipse(centre, wheel / 2, wheel / 2);
    p.setBrush(fill);
    p.drawEllipse(centre, wheel / 5.5, wheel / 5.5);
    return out;
}
