#include "app/AlertPresenter.h"

#include "artwork/MessageBoxText.h"
#include "browser/TrackActionButtonStyle.h"

#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

AlertPresenter::AlertPresenter(QWidget* window)
    : QObject(window)
    , window_(window) {
}

AlertPresenter::~AlertPresenter() {
    // The boxes are the window's children; close them quietly rather than have their
    // finished() reach a presenter that is going away.
    closeQuietly(confirmationBox_);
    closeQuietly(alertBox_);
}

QString AlertPresenter::confirmationTitle(ConfirmationRequest::Kind kind, AppLanguage language) {
    return kind == ConfirmationRequest::Kind::deleteTracks
               ? localizedString(LZ("Delete songs from iPod?"), language)
               : localizedString(LZ("Eject iPod?"), language);
}

QString AlertPresenter::confirmationMessage(const ConfirmationRequest& request,
                                            AppLanguage language) {
    const QString name = request.deviceName ? request.deviceName(language) : QString();
    if (request.kind == ConfirmationRequest::Kind::deleteTracks && request.trackCount == 1 &&
        !request.trackTitle.isEmpty())
        return localizedString(LZ("Delete “%1” from %2."), language, request.trackTitle, name);
    if (request.kind == ConfirmationRequest::Kind::deleteTracks)
        return localizedString(LZ("Delete the selected tracks (%1) from %2."), language,
                               AppLanguages::formattedCount(request.trackCount, language), name);
    return localizedString(LZ("Eject %1 before disconnecting it?"), language, name);
}

void AlertPresenter::presentConfirmation(ConfirmationRequest request) {
    closeQuietly(confirmationBox_);
    request_ = std::move(request);
    showNext();
}

void AlertPresenter::dismissConfirmation() {
    request_.reset();
    closeQuietly(confirmationBox_);
    showNext();
}

void AlertPresenter::closeQuietly(QPointer<QMessageBox>& box) {
    if (QMessageBox* open = box) {
        open->disconnect(this);
        open->removeEventFilter(this);
        open->close();
        open->deleteLater();
    }
    box = nullptr;
}

void AlertPresenter::setAlert(const std::optional<QString>& text) {
    alertText_ = text;
    if (!alertText_) {
        closeQuietly(alertBox_);
        showNext();
        return;
    }
    if (alertBox_)
        retranslateAlert();
    else
        showNext();
}

void AlertPresenter::showNext() {
    if (confirmationBox_ || alertBox_ || !window_)
        return;
    // A pending confirmation goes first: the message waits behind it.
    if (request_)
        openConfirmation();
    else if (alertText_)
        openAlert();
}

QuestionBox makeQuestionBox(QWidget* window, bool destructive) {
    auto* box = new QMessageBox(window);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    QPushButton* safe = box->addButton(QString(), QMessageBox::RejectRole);
    QPushButton* act = box->addButton(QString(), destructive ? QMessageBox::DestructiveRole
                                                             : QMessageBox::AcceptRole);
    if (destructive) {
        QPalette red = act->palette();
        red.setColor(QPalette::ButtonText, TrackActionButtonStyle::destructiveRed());
        act->setPalette(red);
    }
    act->setAutoDefault(false);
    box->setDefaultButton(safe);
    box->setEscapeButton(safe);
    return {box, safe, act};
}

void AlertPresenter::openConfirmation() {
    // Return cancels: these operations cannot be undone, so only a click confirms.
    const auto [box, cancel, confirm] =
        makeQuestionBox(window_, request_->kind == ConfirmationRequest::Kind::deleteTracks);
    cancelButton_ = cancel;
    confirmButton_ = confirm;
    confirmationBox_ = box;
    retranslateConfirmation();
    box->installEventFilter(this);
    connect(box, &QDialog::finished, this, &AlertPresenter::confirmationFinished);
    box->open();
    cancel->setFocus();
}

void AlertPresenter::openAlert() {
    QMessageBox* box = MessageBoxText::makeAlert(window_, QMessageBox::Information);
    alertBox_ = box;
    retranslateAlert();
    box->installEventFilter(this);
    connect(box, &QDialog::finished, this, &AlertPresenter::alertFinished);
    box->open();
}

void AlertPresenter::retranslateConfirmation() {
    if (!confirmationBox_ || !request_)
        return;
    const AppLanguage language = AppLanguages::stored();
    const QString title = confirmationTitle(request_->kind, language);
    confirmationBox_->setWindowTitle(localizedString(LZ("Lorvanel"), language));
    confirmationBox_->setText(title);
    MessageBoxText::setMessage(*confirmationBox_, confirmationMessage(*request_, language));
    if (cancelButton_)
        cancelButton_->setText(localizedString(LZ("Cancel"), language));
    if (confirmButton_)
        confirmButton_->setText(request_->kind == ConfirmationRequest::Kind::deleteTracks
                                    ? localizedString(LZ("Delete"), language)
                                    : localizedString(LZ("Eject"), language));
}

void AlertPresenter::retranslateAlert() {
    if (!alertBox_)
        return;
    const AppLanguage language = AppLanguages::stored();
    MessageBoxText::setAlertTexts(*alertBox_, localizedString(LZ("Lorvanel"), language),
                                  alertText_.value_or(QString()), language);
}

void AlertPresenter::confirmationFinished() {
    QMessageBox* box = confirmationBox_;
    if (!box)
        return;
    const bool confirmed = confirmButton_ && box->clickedButton() == confirmButton_;
    std::optional<ConfirmationRequest> request = std::move(request_);
    request_.reset();
    box->removeEventFilter(this);
    box->disconnect(this);
    box->deleteLater();
    confirmationBox_ = nullptr;
    if (confirmed && request && request->confirm)
        request->confirm();
    Q_EMIT confirmationClosed();
    showNext();
}

void AlertPresenter::alertFinished() {
    QMessageBox* box = alertBox_;
    if (!box)
        return;
    box->removeEventFilter(this);
    box->disconnect(this);
    box->deleteLater();
    alertBox_ = nullptr;
    alertText_.reset();
    Q_EMIT alertDismissed();
    showNext();
}

bool AlertPresenter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        if (watched == confirmationBox_)
            retranslateConfirmation();
        else if (watched == alertBox_)
            retranslateAlert();
    }
    return QObject::eventFilter(watched, event);
}
