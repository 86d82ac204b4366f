#pragma once

// An indeterminate progress view: a ring of spokes that turns while it is shown (and stands still
// when the desktop asks for less motion), with a label under it. The small one is a bare wheel
// that fits a row of controls.

#include <QString>
#include <QWidget>

class QLabel;
class QTimer;

class ActivitySpinner : public QWidget {
    Q_OBJECT

public:
    enum class Size {
        regular,
        small,
    };

    explicit ActivitySpinner(QWidget* parent = nullptr, Size size = Size::regular);

    void setText(const QString& text);
    QLabel* label() const { return label_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* wheel_ = nullptr;
    QLabel* label_ = nullptr;
    QTimer* timer_ = nullptr;
};
