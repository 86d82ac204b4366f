#include "showcase/ShowcaseToolbar.h"

#include "appmodel/LorvPalette.h"
#include "artwork/DeviceArt.h"
#include "artwork/PopupPlacement.h"
#include "artwork/StartupDeviceVector.h"
#include "showcase/CapsuleChip.h"
#include "showcase/DeviceShareButton.h"
#include "showcase/ShowcaseDrawing.h"
#include "showcase/StartupDeviceFlowState.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr double helpTextSize = 13;
constexpr double helpPadding = 10;
constexpr double helpSymbol = 14;
constexpr double helpSpacing = 6;

QString helpTitle() {
    return localizedString(LZ("USB Connection Help"), AppLanguages::stored());
}

} // namespace

ConnectionHelpButton::ConnectionHelpButton(QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(QStringLiteral("connectionHelpButton"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ConnectionHelpButton::sizeHint() const {
    const double w = helpPadding + helpSymbol + helpSpacing +
                     ShowcaseDrawing::lineWidth(
                         text(), ShowcaseDrawing::font(helpTextSize, QFont::Medium, this)) +
                     helpPadding;
    return QSize(int(std::ceil(w)), fixedHeight);
}

void ConnectionHelpButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(rect());
    p.fillPath(DeviceArt::roundedRect(r, 7),
               isDown() ? LorvPalette::periwinkle().darker(115) : LorvPalette::periwinkle());
    ShowcaseDrawing::drawSymbol(
        p, ShowcaseDrawing::Symbol::cableConnector,
        QRectF(helpPadding, (r.height() - helpSymbol) / 2, helpSymbol, helpSymbol),
        LorvPalette::ink());
    const QFont f = ShowcaseDrawing::font(helpTextSize, QFont::Medium, this);
    const double x = helpPadding + helpSymbol + helpSpacing;
    ShowcaseDrawing::drawLine(p, {f, text(), ShowcaseDrawing::lineWidth(text(), f)},
                              QRectF(x, 0, r.width() - x, r.height()),
                              Qt::AlignLeft | Qt::AlignVCenter, LorvPalette::ink());
    if (hasFocus()) {
        p.setPen(QPen(LorvPalette::mist(), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(DeviceArt::roundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 7));
    }
}

ConnectionHelpPopup::ConnectionHelpPopup(QWidget* parent)
    : QFrame(parent, Qt::Popup) {
    setObjectName(QStringLiteral("connectionHelpPopup"));
    setAttribute(Qt::WA_NoMouseReplay);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, LorvPalette::night800());
    setPalette(p);
    setFixedWidth(popupWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(8);
    headline_ = new QLabel(this);
    headline_->setFont(ShowcaseDrawing::font(13, QFont::Bold, headline_));
    body_ = new QLabel(this);
    body_->setWordWrap(true);
    QPalette bp = body_->palette();
    bp.setColor(QPalette::WindowText, LorvPalette::fog());
    body_->setPalette(bp);
    column->addWidget(headline_);
    column->addWidget(body_);
    retranslate();
}

void ConnectionHelpPopup::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    headline_->setText(localizedString(LZ("Connect your iPod"), language));
    body_->setText(localizedString(LZ("Connect your iPod to this computer with its USB cable. The "
                                      "library opens automatically when Lorvanel detects the "
                                      "device."),
                                   language));
}

void ConnectionHelpPopup::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    Q_EMIT hidden();
}

ShowcaseToolbar::ShowcaseToolbar(StartupDeviceFlowState& state, QWidget* parent)
    : QWidget(parent)
    , state_(state) {
    setObjectName(QStringLiteral("showcaseToolbar"));
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(12, 0, 0, 0);
    row_->setSpacing(9);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("showcaseToolbarTitle"));
    title_->setFont(ShowcaseDrawing::font(14, QFont::DemiBold, title_));
    row_->addWidget(title_);
    CapsuleChip::Style badge;
    badge.fontSize = 12;
    badge.weight = QFont::Medium;
    badge.paddingX = 7;
    badge.paddingY = 3;
    badge.height = 0;
    badge.radius = 4;
    badge.background = LorvPalette::night700();
    badge_ = new CapsuleChip(badge, this);
    badge_->setObjectName(QStringLiteral("lineupBadge"));
    row_->addWidget(badge_);
    row_->addStretch(1);
    help_ = new ConnectionHelpButton(this);
    connect(help_, &QAbstractButton::clicked, this,
            [this] { state_.setShowsConnectionHelp(!state_.showsConnectionHelp()); });
    row_->addWidget(help_);
    row_->addSpacing(8 - row_->spacing());
    share_ = new DeviceShareButton(this);
    row_->addWidget(share_);
    connect(&state_, &StartupDeviceFlowState::connectionHelpChanged, this,
            &ShowcaseToolbar::connectionHelpChanged);
    refresh();
}

void ShowcaseToolbar::setSettingsButton(QWidget* button) {
    delete settings_;
    settings_ = button;
    if (button) {
        button->setParent(this);
        row_->addWidget(button);
        button->show();
    }
}

void ShowcaseToolbar::connectionHelpChanged(bool shows) {
    if (!shows) {
        if (popup_)
            popup_->close();
        return;
    }
    if (!popup_) {
        popup_ = new ConnectionHelpPopup(this);
        popup_->setAttribute(Qt::WA_DeleteOnClose);
        // Dismissing the popup (Escape, a click elsewhere) clears the state too.
        connect(popup_, &ConnectionHelpPopup::hidden, this,
                [this] { state_.setShowsConnectionHelp(false); });
    }
    popup_->adjustSize();
    PopupPlacement::place(popup_, help_, 4);
    popup_->show();
}

void ShowcaseToolbar::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // The popup is a window of its own: it would stay over the screen that replaced the
    // showcase. The share button closes its own.
    if (!event->spontaneous() && popup_)
        popup_->close();
}

void ShowcaseToolbar::refresh() {
    const AppLanguage language = AppLanguages::stored();
    const StartupSeries series = state_.series();
    title_->setText(localizedString(LZ("Device Setup"), language));
    title_->setAccessibleDescription(QStringLiteral("heading"));
    badge_->setRuns(
        {{localizedString(LZ("%1 Lineup (%2 generations)"), language, series.displayName(),
                          QString::number(series.models().size())),
          LorvPalette::fog()}});
    help_->setText(helpTitle());
    help_->setAccessibleName(helpTitle());
    help_->updateGeometry();
    if (popup_)
        popup_->retranslate();

    // Series, generation and finish are taken together now, so the front, the back and the
    // texts always describe one model.
    const int generation = state_.generationIndex(series);
    const StartupModel& model = state_.currentModel();
    const StartupModel::Finish finish = state_.selectedFinish(series, generation, true);
    DeviceShareButton::Content content;
    content.title = state_.generationTitle(series, generation, true, language);
    content.years = model.years();
    content.capacities = model.capacityOptions();
    content.finish = localizedString(finish.displayName(), language);
    content.rearArtwork = StartupDeviceVector::Drawing(series, generation, finish, true);
    // The button belongs to this toolbar, which never outlives the state.
    content.artwork = [&state = state_, series, generation, finish] {
        return std::optional<StartupDeviceArtwork>(state.artwork(series, generation, finish));
    };
    share_->setContent(content);
}
