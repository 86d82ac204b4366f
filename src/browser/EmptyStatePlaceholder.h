#pragma once

// What an empty or failed list shows in its place: a symbol in the accent colour, a title and an
// optional message, centred.

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;

class EmptyStatePlaceholder : public QWidget {
    Q_OBJECT

public:
    explicit EmptyStatePlaceholder(QWidget* parent = nullptr);
    // A placeholder centred in a page of its own that takes all the room, padded 20 on all
    // edges; the page is the placeholder's parent.
    static EmptyStatePlaceholder* inPage(QWidget* parent);

    // Texts as they are shown (already looked up).
    void setContent(const QString& symbol, const QString& title,
                    const std::optional<QString>& message = std::nullopt);

    const QString& symbol() const { return symbol_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* messageLabel() const { return message_; }

private:
    QString symbol_;
    QLabel* image_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* message_ = nullptr;
};
