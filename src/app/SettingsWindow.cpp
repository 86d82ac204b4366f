#include "app/SettingsWindow.h"

#include "appmodel/LorvPalette.h"
#include "platform/AppLanguage.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("settings"));
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, LorvPalette::night800());
    setPalette(windowPalette);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    content = new QLabel(this);
    content->setObjectName(QStringLiteral("transferSettingsPlaceholder"));
    content->setFixedWidth(302);
    content->setAlignment(Qt::AlignCenter);
    layout->addWidget(content);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    retranslate();
}

void SettingsWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void SettingsWindow::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    setWindowTitle(localizedString(LZ("Settings"), language));
    content->setText(localizedString(LZ("Transfer settings"), language));
}
