#include "app/SettingsPopup.h"

#include "appmodel/LorvPalette.h"
#include "artwork/PopupPlacement.h"
#include "browser/TransferSettingsView.h"

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
    PopupPlacement::place(this, anchor_, 6);
    show();
}

void SettingsPopup::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    Q_EMIT closed();
}
