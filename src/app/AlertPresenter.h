#pragma once

// The main window's two alerts: the confirmation in front of a delete or an eject, and the
// store's message. Both are window-modal message boxes opened with open(); at most one shows at
// a time, and a message that arrives while a confirmation is up waits until it closes.

#include "platform/AppLanguage.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QPushButton;
class QWidget;

// A window-modal question whose default, for Return and Escape, is the safe answer: only a click
// takes the other, which a destructive one draws red. Texts are set by the caller, the message
// through MessageBoxText::setMessage.
struct QuestionBox {
    QMessageBox* box = nullptr;
    QPushButton* safe = nullptr;
    QPushButton* act = nullptr;
};
QuestionBox makeQuestionBox(QWidget* window, bool destructive);

// What a confirmation asks, in plain values; the caller captures the device in the callbacks,
// so confirming acts on the device that was shown even if the selection changed meanwhile.
struct ConfirmationRequest {
    enum class Kind {
        eject,
        deleteTracks,
    };
    Kind kind = Kind::eject;
    // Distinct track ids to delete, and the title of the one track when there is one.
    qsizetype trackCount = 0;
    QString trackTitle;
    // The device's display name in a language (asked again when the language changes).
    std::function<QString(AppLanguage)> deviceName;
    // Runs when the user clicks "Delete" or "Eject"; never on Return, Escape or "Cancel".
    std::function<void()> confirm;
};

class AlertPresenter : public QObject {
    Q_OBJECT

public:
    explicit AlertPresenter(QWidget* window);
    ~AlertPresenter() override;

    // A new confirmation replaces a pending one, which closes without acting.
    void presentConfirmation(ConfirmationRequest request);
    // Closes the confirmation without acting and without confirmationClosed().
    void dismissConfirmation();
    bool hasConfirmation() const { return request_.has_value(); }

    // The store's message as it stands: shown while present (after any confirmation), closed
    // when it becomes nothing. The text is shown as given.
    void setAlert(const std::optional<QString>& text);
    std::optional<QString> alert() const { return alertText_; }

    // The boxes on screen now, if any (tests drive them).
    QMessageBox* confirmationBox() const { return confirmationBox_; }
    QMessageBox* alertBox() const { return alertBox_; }

    static QString confirmationTitle(ConfirmationRequest::Kind kind, AppLanguage language);
    static QString confirmationMessage(const ConfirmationRequest& request, AppLanguage language);

Q_SIGNALS:
    // The confirmation closed by any button or Escape (after a confirm action ran).
    void confirmationClosed();
    // The user dismissed the store's message; the store's alert should become nothing.
    void alertDismissed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showNext();
    void closeQuietly(QPointer<QMessageBox>& box);
    void openConfirmation();
    void openAlert();
    void retranslateConfirmation();
    void retranslateAlert();
    void confirmationFinished();
    void alertFinished();

    QPointer<QWidget> window_;
    std::optional<ConfirmationRequest> request_;
    QPointer<QMessageBox> confirmationBox_;
    QPointer<QAbstractButton> cancelButton_;
    QPointer<QAbstractButton> confirmButton_;
    std::optional<QString> alertText_;
    QPointer<QMessageBox> alertBox_;
};
