#include "app/SettingsPopup.h"

#include "appmodel/LorvPalette.h"
#include "browser/TransferSettingsView.h"

#include <QScreen>
#include <QVBoxLayout>

SettingsPopup::SettingsPopup(QWidget* anchor)
    : QFrame(anchor, Qt::Popup)
    , anchor_(anchor) {
    setObjectName(QStringLiteral("settingsPopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The click on the anchor that closes the popup must not open it again.
    setAttribute(Qt::WA_NoMouseReplay);
    // A plain bordered rectangle: without a compositor a shaped window shows black corners.
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, LorvPalette::slate500());
    p.setColor(QPalette::Window, LorvPalette::night800());
    setPalette(p);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    view_ = new TransferSettingsView(TransferSettingsView::storedLanguage(), this);
    layout->addWidget(view_);
}

void SettingsPopup::popup() {
    adjustSize();
    const QRect button(anchor_->mapToGlobal(QPoint(0, 0)), anchor_->size());
    QPoint at(button.center().x() - width() / 2, button.bottom() + 6);
    // Within the anchor's window where it fits, and always on its screen.
    QRect area = anchor_->window()->geometry();
    if (const QScreen* screen = anchor_->screen()) {
        const QRect available = screen->availableGeometry();
        area = area.width() >= width() ? area.intersected(available) : available;
        if (area.width() < width())
            area = available;
        at.setY(std::clamp(at.y(), available.top(),
                           std::max(available.top(), available.bottom() + 1 - height())));
    }
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - width())));
    move(at);
    show();
}

void SettingsPopup::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    Q_EMIT closed();
}
