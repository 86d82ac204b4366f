#pragma once

// The capsule at the foot of the showcase's stage: the current generation and year, a divider,
// and the action that shows all generations or collapses them again.

#include <QAbstractButton>

class GenerationToggle : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int fixedHeight = 24;

    explicit GenerationToggle(QWidget* parent = nullptr);

    // title: "4th generation · 2008"; action: "All 6 generations" or "Collapse".
    void setContent(const QString& title, const QString& action, bool collapses,
                    const QString& accessibleName);
    const QString& title() const { return title_; }
    const QString& action() const { return action_; }
    bool collapses() const { return collapses_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QString title_;
    QString action_;
    bool collapses_ = false;
};
