#pragma once

// The frame shared by the sheets and the settings form: a vertical stack of fixed width on the
// chrome colour with the periwinkle tint. A sheet is a window-modal dialog opened with open();
// Escape and "Cancel" reject it, Return presses its confirming button wherever the focus is.

#include <QDialog>
#include <QPointer>
#include <QPushButton>

class QHBoxLayout;
class QVBoxLayout;

namespace SheetFrame {

inline constexpr int sheetWidth = 460;
inline constexpr int settingsFormWidth = 302;

// Fixed width, chrome background and tint on any widget (the settings form uses it alone).
void apply(QWidget* widget, int width);

} // namespace SheetFrame

class SheetDialog : public QDialog {
    Q_OBJECT

public:
    explicit SheetDialog(QWidget* parent, int width = SheetFrame::sheetWidth);

    // The stack the sheet's own content goes into, above the buttons.
    QVBoxLayout* contentLayout() const { return content_; }

    // "Cancel" at the bottom, rejecting the sheet.
    QPushButton* addCancelButton();
    // The confirming button at the bottom right, pressed by Return. Its text is a key looked
    // up in the interface language; what it does is the sheet's own.
    QPushButton* addConfirmButton(const QString& key);

    // The title bar's text, a key looked up in the interface language.
    void setTitleKey(const QString& key);

    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* confirmButton() const { return confirm_; }

    // Window-modal, never a nested event loop.
    void present();

    // Closes the sheet; the window it covered takes the keyboard again.
    void done(int result) override;

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Texts of the sheet in the interface language.
    void retranslate();
    void settleDefaultButton();

    QVBoxLayout* content_ = nullptr;
    QHBoxLayout* buttons_ = nullptr;
    QPointer<QPushButton> cancel_;
    QPointer<QPushButton> confirm_;
    QString confirmKey_;
    QString titleKey_;
};
