#include "app/QuitConfirmation.h"

#include "app/AlertPresenter.h"
#include "artwork/MessageBoxText.h"
#include "device/IPodStore.h"
#include "platform/AppLanguage.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

QuitConfirmation::QuitConfirmation(IPodStore& store, QWidget* window)
    : QObject(window)
    , store_(store)
    , window_(window) {
    connect(&store_, &IPodStore::activeDeviceIDChanged, this, [this] {
        // Queued: an operation's end sets its alert after clearing the busy device, and may
        // start an eject.
        if ((quitPending_ || box_) && !store_.activeDeviceID())
            QMetaObject::invokeMethod(this, &QuitConfirmation::operationEnded,
                                      Qt::QueuedConnection);
    });
}

bool QuitConfirmation::permitsQuit() {
    if (!store_.activeDeviceID())
        return true;
    if (!box_ && !quitPending_)
        ask();
    return false;
}

void QuitConfirmation::ask() {
    stops_ = store_.canStopOperation();
    // Return goes on working: only a click gives the work up.
    const auto [box, goOn, quit] = makeQuestionBox(window_, stops_);
    continue_ = goOn;
    quit_ = quit;
    box_ = box;
    retranslate();
    box->installEventFilter(this);
    connect(box, &QDialog::finished, this, &QuitConfirmation::answered);
    box->open();
    goOn->setFocus();
}

void QuitConfirmation::retranslate() {
    if (!box_)
        return;
    const AppLanguage language = AppLanguages::stored();
    box_->setWindowTitle(localizedString(LZ("Lorvanel"), language));
    box_->setText(localizedString(LZ("Lorvanel is still working with the iPod."), language));
    MessageBoxText::setMessage(
        *box_, stops_ ? localizedString(LZ("Stopping leaves out what has not been saved yet; the "
                                           "iPod's library stays intact."),
                                        language)
                      : localizedString(LZ("Lorvanel can quit as soon as it has finished writing "
                                           "to the iPod, so that nothing you changed is lost."),
                                        language));
    if (continue_)
        continue_->setText(localizedString(LZ("Continue"), language));
    if (quit_)
        quit_->setText(stops_ ? localizedString(LZ("Stop and Quit"), language)
                              : localizedString(LZ("Quit When Done"), language));
}

void QuitConfirmation::answered() {
    QMessageBox* box = box_;
    if (!box)
        return;
    const bool quit = quit_ && box->clickedButton() == quit_;
    box->removeEventFilter(this);
    box->disconnect(this);
    box->deleteLater();
    box_ = nullptr;
    if (!quit)
        return;
    setQuitPending(true);
    store_.stopOperation();
    quitIfDone();
}

void QuitConfirmation::quitUnattended() {
    unattended_ = true;
    dismiss();
    setQuitPending(true);
    store_.stopOperation();
    quitIfDone();
}

void QuitConfirmation::operationEnded() {
    if (store_.activeDeviceID())
        return;
    // Unanswered: the question no longer holds, and no answer is made up for it.
    dismiss();
    quitIfDone();
}

void QuitConfirmation::dismiss() {
    QMessageBox* box = box_;
    if (!box)
        return;
    box->removeEventFilter(this);
    box->disconnect(this);
    box->done(QDialog::Rejected);
    box->deleteLater();
    box_ = nullptr;
}

void QuitConfirmation::setQuitPending(bool pending) {
    if (pending == quitPending_)
        return;
    quitPending_ = pending;
    Q_EMIT quitPendingChanged(pending);
}

void QuitConfirmation::quitIfDone() {
    if (!quitPending_ || store_.activeDeviceID())
        return;
    setQuitPending(false);
    // What the operation ended with is read before anything quits, when someone is there.
    if (store_.alert() && !unattended_)
        return;
    QCoreApplication::quit();
}

bool QuitConfirmation::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_ && event->type() == QEvent::LanguageChange)
        retranslate();
    return QObject::eventFilter(watched, event);
}
