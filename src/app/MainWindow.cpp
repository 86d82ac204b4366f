#include "app/MainWindow.h"

#include "app/ContentView.h"
#include "appmodel/LorvPalette.h"
#include "platform/AppLanguage.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QPalette>

MainWindow::MainWindow(IPodStore& store, QWidget* parent)
    : QMainWindow(parent)
    , store_(store) {
    setObjectName(QStringLiteral("main"));
    resize(1160, 760);
    setMinimumSize(800, minimumHeight);
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, LorvPalette::night800());
    setPalette(windowPalette);
    setAutoFillBackground(true);

    content_ = new ContentView(store_, this);
    setCentralWidget(content_);

    auto* settings = new QAction(this);
    settings->setObjectName(QStringLiteral("settingsAction"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setShortcutContext(Qt::ApplicationShortcut);
    connect(settings, &QAction::triggered, this, &MainWindow::settingsRequested);
    addAction(settings);

    retranslate();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMainWindow::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

void MainWindow::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    setWindowTitle(localizedString(LZ("Lorvanel"), language));
}
