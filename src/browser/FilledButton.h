#pragma once

// A button drawn as a filled rounded rectangle with a symbol and a title, in the ink colour on
// periwinkle; disabled, the whole button fades to 0.45.

#include <QAbstractButton>
#include <QColor>
#include <QString>

class FilledButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int buttonHeight = 30;
    static constexpr int horizontalPadding = 12;
    static constexpr qreal cornerRadius = 7;
    static constexpr qreal disabledOpacity = 0.45;

    explicit FilledButton(const QString& symbol, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
};
