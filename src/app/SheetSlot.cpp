#include "app/SheetSlot.h"

#include "app/SheetDialog.h"

SheetSlot::SheetSlot(QObject* parent)
    : QObject(parent) {
}

SheetSlot::~SheetSlot() {
    dismiss();
}

void SheetSlot::present(SheetDialog* dialog) {
    dismiss();
    current_ = dialog;
    if (!dialog)
        return;
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        if (current_ != dialog)
            return;
        current_ = nullptr;
        dialog->deleteLater();
        Q_EMIT dismissed();
    });
    dialog->present();
}

void SheetSlot::dismiss() {
    if (SheetDialog* open = current_) {
        current_ = nullptr;
        open->disconnect(this);
        open->close();
        open->deleteLater();
    }
}
