#pragma once

// The square icon buttons of the track action bar: 27 × 27, lit under the pointer or while
// pressed, red when destructive.

#include <QAbstractButton>
#include <QColor>
#include <QString>

namespace TrackActionButtonStyle {

inline constexpr int side = 27;
inline constexpr qreal cornerRadius = 6;
inline constexpr qreal disabledOpacity = 0.45;

// The red of a destructive button's glyph.
const QColor& destructiveRed();

struct Appearance {
    QColor foreground;
    QColor background; // transparent when not highlighted
    qreal opacity = 1;
};

Appearance appearance(bool isEnabled, bool isHovered, bool pressed, bool destructive);

// One button drawn in this style; its label is a symbol (SymbolIcon) tinted per state.
class ActionIcon : public QAbstractButton {
    Q_OBJECT

public:
    explicit ActionIcon(const QString& symbol, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);
    bool isDestructive() const { return destructive_; }
    void setDestructive(bool destructive);
    bool isHovered() const { return hovered_; }

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    bool destructive_ = false;
    bool hovered_ = false;
};

} // namespace TrackActionButtonStyle
