#pragma once

// A one-line label that gives way: it asks for no width of its own, and a text longer than its
// width is drawn shortened with "…". text() stays the whole text. A text made of parts joined by
// a separator can shorten by whole parts instead: the leading parts that fit, then the separator
// and "…".

#include <QLabel>

class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideRight, QWidget* parent = nullptr);

    // The text as drawn at the current width.
    QString shownText() const;

    // Shorten by the parts that separator joins; an empty one shortens by characters.
    void setPartSeparator(const QString& separator);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode mode_;
    QString separator_;
};
