#include "app/MainWindow.h"

#include "app/ContentView.h"
#include "app/QuitConfirmation.h"
#include "appmodel/LorvPalette.h"
#include "platform/AppLanguage.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
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
    quitConfirmation_ = new QuitConfirmation(store_, this);
    connect(quitConfirmation_, &QuitConfirmation::quitPendingChanged, content_,
            &ContentView::setQuitsWhenDone);

    auto* settings = new QAction(this);
    settings->setObjectName(QStringLiteral("settingsAction"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setShortcutContext(Qt::ApplicationShortcut);
    connect(settings, &QAction::triggered, this, &MainWindow::settingsRequested);
    addAction(settings);

    // The desktop's Quit key works from every window of the application.
    auto* quit = new QAction(this);
    quit->setObjectName(QStringLiteral("quitAction"));
    QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    // Platforms that name no Quit key (the Windows key scheme) get the Linux desktops' one.
    if (quitKeys.isEmpty())
        quitKeys.append(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcuts(quitKeys);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, this, [this] {
        if (quitConfirmation_->permitsQuit())
            QCoreApplication::quit();
    });
    addAction(quit);

    retranslate();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMainWindow::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!quitConfirmation_->permitsQuit()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

void MainWindow::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    setWindowTitle(localizedString(LZ("Lorvanel"), language));
}
