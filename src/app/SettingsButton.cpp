#include "app/SettingsButton.h"

#include "appmodel/LorvPalette.h"
#include "browser/SymbolIcon.h"
#include "platform/AppLanguage.h"

#include <QEvent>

SettingsButton::SettingsButton(QWidget* parent)
    : QToolButton(parent) {
    setObjectName(QStringLiteral("settingsButton"));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setAutoRaise(true);
    setIcon(SymbolIcon::icon(QStringLiteral("gearshape"), symbolSize, LorvPalette::mist()));
    setIconSize(QSize(symbolSize, symbolSize));
    retranslate();
}

void SettingsButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QToolButton::changeEvent(event);
}

void SettingsButton::retranslate() {
    const QString title = localizedString(LZ("Settings"), AppLanguages::stored());
    setText(title);
    setToolTip(title);
    setAccessibleName(title);
}
