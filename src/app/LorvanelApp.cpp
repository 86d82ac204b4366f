#include "app/LorvanelApp.h"

#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "appmodel/InterfaceFont.h"
#include "appmodel/LorvPalette.h"
#include "appmodel/MediaPreviewPlayer.h"
#include "device/IPodStore.h"
#include "platform/AppLanguage.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLibraryInfo>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTranslator>
#include <QWidget>

#include <atomic>

namespace {

std::atomic<int> iconLoads{0};

// Qt's own texts (standard buttons, context menus) follow the chosen language too.
QTranslator& qtTranslator() {
    static QTranslator* translator = new QTranslator;
    return *translator;
}

void installQtTranslation(AppLanguage language) {
    QCoreApplication::removeTranslator(&qtTranslator());
    if (AppLanguages::resolved(language) != AppLanguage::simplifiedChinese)
        return;
    if (qtTranslator().load(QStringLiteral("qtbase_zh_CN"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator());
}

// The store plays previews through the player handed to it before it is made.
std::unique_ptr<IPodStore> makeStore() {
    IPodPreviewPlayer::setFactory([] { return std::make_unique<MediaPreviewPlayer>(); });
    return std::make_unique<IPodStore>();
}

} // namespace

LorvanelApp::LorvanelApp()
    : store_(makeStore())
    , mainWindow_(std::make_unique<MainWindow>(*store_)) {
    installQtTranslation(AppLanguages::stored());
    connect(mainWindow_.get(), &MainWindow::settingsRequested, this, &LorvanelApp::showSettings);
    connect(&Settings::shared(), &Settings::changed, this, [this](const QString& key) {
        if (key == Settings::Keys::appLanguage)
            languageSettingChanged();
    });
}

LorvanelApp::~LorvanelApp() = default;

SettingsWindow& LorvanelApp::settingsWindow() {
    if (!settingsWindow_) {
        settingsWindow_ = std::make_unique<SettingsWindow>();
        // The Settings window has no life of its own without the main window.
        connect(mainWindow_.get(), &MainWindow::closed, settingsWindow_.get(), &QWidget::close);
    }
    return *settingsWindow_;
}

void LorvanelApp::show() {
    mainWindow_->show();
    setApplicationIcon();
}

void LorvanelApp::bringForward() {
    MainWindow& window = *mainWindow_;
    // Active as well: the state activates the window.
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
}

void LorvanelApp::showSettings() {
    SettingsWindow& window = settingsWindow();
    window.show();
    window.raise();
    window.activateWindow();
}

const QIcon& LorvanelApp::applicationIcon() {
    static const QIcon icon = [] {
        ++iconLoads;
        const QString path = QStringLiteral(":/icons/AppIcon.svg");
        if (!QFile::exists(path))
            return QIcon();
        QIcon loaded(path);
        return loaded.availableSizes().isEmpty() && loaded.pixmap(64).isNull() ? QIcon() : loaded;
    }();
    return icon;
}

int LorvanelApp::applicationIconLoadCount() {
    return iconLoads.load();
}

void LorvanelApp::setApplicationIcon() {
    const QIcon& icon = applicationIcon();
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);
}

void LorvanelApp::broadcastLanguageChange() {
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        QEvent event(QEvent::LanguageChange);
        QCoreApplication::sendEvent(window, &event);
    }
}

namespace {

// Fusion outlines a check box in the window colour darkened, which all but vanishes on the
// dark palette while the box is unticked: a steel outline keeps every box in sight.
class AppearanceStyle : public QProxyStyle {
public:
    AppearanceStyle()
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (element != PE_IndicatorCheckBox ||
            (option->state & State_HasFocus && option->state & State_KeyboardFocusChange))
            return;
        const bool enabled = option->state & State_Enabled;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(enabled && option->state & State_MouseOver ? LorvPalette::fog()
                                                                        : LorvPalette::steel400(),
                             1));
        painter->setOpacity(enabled ? 1.0 : 0.5);
        // Where Fusion strokes its own outline.
        painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
        painter->restore();
    }
};

} // namespace

void LorvanelApp::applyAppearance() {
    QApplication::setStyle(new AppearanceStyle);
    InterfaceFont::apply();
    QPalette palette;
    palette.setColor(QPalette::Window, LorvPalette::night800());
    palette.setColor(QPalette::WindowText, LorvPalette::mist());
    palette.setColor(QPalette::Base, LorvPalette::night900());
    palette.setColor(QPalette::AlternateBase, LorvPalette::night700());
    palette.setColor(QPalette::Text, LorvPalette::mist());
    palette.setColor(QPalette::PlaceholderText, LorvPalette::fog());
    palette.setColor(QPalette::Button, LorvPalette::night700());
    palette.setColor(QPalette::ButtonText, LorvPalette::mist());
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, LorvPalette::periwinkle());
    palette.setColor(QPalette::HighlightedText, LorvPalette::ink());
    palette.setColor(QPalette::ToolTipBase, LorvPalette::night700());
    palette.setColor(QPalette::ToolTipText, LorvPalette::mist());
    palette.setColor(QPalette::Link, LorvPalette::periwinkle());
    palette.setColor(QPalette::Mid, LorvPalette::slate600());
    palette.setColor(QPalette::Dark, LorvPalette::ink());
    palette.setColor(QPalette::Light, LorvPalette::slate500());
    palette.setColor(QPalette::Disabled, QPalette::Text, LorvPalette::steel400());
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, LorvPalette::steel400());
    palette.setColor(QPalette::Disabled, QPalette::WindowText, LorvPalette::steel400());
    QApplication::setPalette(palette);
}

void LorvanelApp::languageSettingChanged() {
    installQtTranslation(AppLanguages::stored());
    broadcastLanguageChange();
}
