#pragma once

// The question in front of a quit while the store runs an operation on an iPod. The window stays
// and the user chooses to go on, or to quit once the operation has ended safely: an import or an
// export is stopped first; a library edit (a change the user confirmed) or an eject is not cut
// short, so the quit waits for its end. An operation that ends with something to tell keeps the
// window open with its alert. A question still unanswered when the operation ends has nothing
// left to ask: it closes, and the application stays (the user chose nothing yet; a second quit
// goes through at once).

#include <QAbstractButton>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

class IPodStore;
class QWidget;

class QuitConfirmation : public QObject {
    Q_OBJECT

public:
    QuitConfirmation(IPodStore& store, QWidget* window);

    // True when nothing runs on a device; otherwise the question opens (once) and the quit waits.
    bool permitsQuit();
    // Quits without a question, when asked from outside where no one may be there to answer
    // (a logout): a question on screen closes unanswered, a running import or export stops at
    // its safe point, a library edit or an eject is waited for, and an alert it ends with keeps
    // nothing open. Asked again meanwhile, it goes on waiting.
    void quitUnattended();
    // The user chose to quit, and the application quits when the operation has ended.
    bool isQuitPending() const { return quitPending_; }

    // The question on screen now, if any (tests drive it).
    QMessageBox* box() const { return box_; }
    QAbstractButton* continueButton() const { return continue_; }
    QAbstractButton* quitButton() const { return quit_; }

Q_SIGNALS:
    // The application now quits when the operation ends, or no longer does.
    void quitPendingChanged(bool pending);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ask();
    void retranslate();
    void answered();
    void operationEnded();
    // Closes the question on screen without an answer.
    void dismiss();
    void setQuitPending(bool pending);
    void quitIfDone();

    IPodStore& store_;
    QPointer<QWidget> window_;
    QPointer<QMessageBox> box_;
    QPointer<QAbstractButton> continue_;
    QPointer<QAbstractButton> quit_;
    // Whether the operation asked about stops, or is waited for.
    bool stops_ = false;
    bool quitPending_ = false;
    // No one answers, nor reads what the operation ends with.
    bool unattended_ = false;
};
