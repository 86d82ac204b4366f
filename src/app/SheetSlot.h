#pragma once

// Holds the one open sheet of a kind: a new request replaces the open sheet, and the slot
// reports when the sheet closes by itself (so the request can be cleared).

#include <QObject>
#include <QPointer>

class SheetDialog;

class SheetSlot : public QObject {
    Q_OBJECT

public:
    explicit SheetSlot(QObject* parent = nullptr);
    ~SheetSlot() override;

    // Takes the dialog (deleted once closed) and opens it, closing the one before quietly.
    void present(SheetDialog* dialog);
    // Closes the open sheet without dismissed().
    void dismiss();

    SheetDialog* current() const { return current_; }

Q_SIGNALS:
    // The open sheet closed by its own buttons or Escape.
    void dismissed();

private:
    QPointer<SheetDialog> current_;
};
