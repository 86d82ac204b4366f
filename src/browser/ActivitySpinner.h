#pragma once

// An indeterminate progress view: a ring of spokes that turns while it is shown (and stands still
// when the desktop asks for less motion), with a label under it.

#include <QString>
#include <QWidget>

class QLabel;
class QTimer;

class ActivitySpinner : public QWidget {
    Q_OBJECT

public:
    explicit ActivitySpinner(QWidget* parent = nullptr);

    void setText(const QString& text);
    QLabel* label() const { return label_; }
    bool isSpinning() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* wheel_ = nullptr;
    QLabel* label_ = nullptr;
    QTimer* timer_ = nullptr;
};
