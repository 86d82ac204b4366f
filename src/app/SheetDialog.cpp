#include "app/SheetDialog.h"

#include "appmodel/LorvPalette.h"
#include "platform/AppLanguage.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace SheetFrame {

void apply(QWidget* widget, int width) {
    widget->setFixedWidth(width);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, LorvPalette::night800());
    palette.setColor(QPalette::Highlight, LorvPalette::periwinkle());
    palette.setColor(QPalette::Link, LorvPalette::periwinkle());
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace SheetFrame

SheetDialog::SheetDialog(QWidget* parent, int width)
    : QDialog(parent) {
    setWindowModality(Qt::WindowModal);
    SheetFrame::apply(this, width);
    auto* stack = new QVBoxLayout(this);
    content_ = new QVBoxLayout;
    stack->addLayout(content_);
    buttons_ = new QHBoxLayout;
    buttons_->addStretch(1);
    stack->addLayout(buttons_);
}

QPushButton* SheetDialog::addCancelButton() {
    if (!cancel_) {
        cancel_ = new QPushButton(this);
        cancel_->setObjectName(QStringLiteral("cancelButton"));
        connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
        buttons_->insertWidget(1, cancel_);
    }
    retranslate();
    return cancel_;
}

QPushButton* SheetDialog::addConfirmButton(const QString& key) {
    if (!confirm_) {
        confirm_ = new QPushButton(this);
        confirm_->setObjectName(QStringLiteral("confirmButton"));
        buttons_->addWidget(confirm_);
    }
    confirmKey_ = key;
    settleDefaultButton();
    retranslate();
    return confirm_;
}

void SheetDialog::present() {
    open();
}

void SheetDialog::done(int result) {
    const bool wasActive = isActiveWindow();
    QDialog::done(result);
    // Without a window manager that hands the focus back (or before it does), the window under
    // the sheet is made active again, so its focused widget takes the keys.
    QWidget* covered = parentWidget() ? parentWidget()->window() : nullptr;
    if (wasActive && covered && covered->isVisible() && !QApplication::activeWindow())
        covered->activateWindow();
}

void SheetDialog::setTitleKey(const QString& key) {
    titleKey_ = key;
    retranslate();
}

void SheetDialog::retranslate() {
    const AppLanguage language = AppLanguages::stored();
    if (!titleKey_.isEmpty())
        setWindowTitle(localizedString(titleKey_, language));
    if (cancel_)
        cancel_->setText(localizedString(LZ("Cancel"), language));
    if (confirm_)
        confirm_->setText(localizedString(confirmKey_, language));
}

void SheetDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(event);
}

void SheetDialog::showEvent(QShowEvent* event) {
    // Buttons the content added after construction would otherwise take Return while focused.
    settleDefaultButton();
    QDialog::showEvent(event);
}

void SheetDialog::settleDefaultButton() {
    const auto buttons = findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        button->setAutoDefault(false);
        button->setDefault(button == confirm_);
    }
}
