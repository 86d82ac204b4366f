#pragma once

// The library's search box: the magnifier, the text under the prompt "Search by Title or
// Artist", and a "Clear Search" button while there is text. What the text filters is the
// library's business; the box reports what the user types.

#include <QWidget>

class QLineEdit;
class QToolButton;

class LibrarySearchField : public QWidget {
    Q_OBJECT

public:
    static constexpr int boxWidth = 174;
    static constexpr int boxHeight = 26;

    explicit LibrarySearchField(QWidget* parent = nullptr);

    // Shows the text the main view holds, without reporting it back.
    void setText(const QString& text);
    QString text() const;

    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* clearButton() const { return clear_; }

Q_SIGNALS:
    void textEdited(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void relabel();
    void refreshClearButton();

    QLineEdit* edit_ = nullptr;
    QToolButton* clear_ = nullptr;
};
