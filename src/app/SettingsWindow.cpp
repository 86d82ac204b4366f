#include "app/SettingsWindow.h"

#include "appmodel/LorvPalette.h"
#include "browser/TransferSettingsView.h"
#include "platform/AppLanguage.h"

#include <QAction>
#include <QEvent>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("settings"));
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, LorvPalette::night800());
    setPalette(windowPalette);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new TransferSettingsView(TransferSettingsView::storedLanguage(), this);
    layout->addWidget(view_);
    // The window follows the form's size as the system information opens and closes.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* close = new QAction(this);
    close->setObjectName(QStringLiteral("closeAction"));
    close->setShortcuts(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    retranslate();
}

void SettingsWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void SettingsWindow::retranslate() {
    setWindowTitle(localizedString(LZ("Settings"), AppLanguages::stored()));
}
