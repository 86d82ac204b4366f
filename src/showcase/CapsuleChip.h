#pragma once

// A line of texts on a filled capsule or rounded rectangle: the showcase's model and facts
// chips, the hover facts and the line-up badge. Each text keeps its own colour and weight.

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QWidget>

class CapsuleChip : public QWidget {
    Q_OBJECT

public:
    struct Run {
        QString text;
        QColor colour;
        QFont::Weight weight = QFont::Normal;
        bool operator==(const Run&) const = default;
    };

    struct Style {
        double fontSize = 12;
        QFont::Weight weight = QFont::Normal;
        double spacing = 7;
        double paddingX = 10;
        double paddingY = 0;
        double height = 26; // 0: the text's height plus the vertical padding
        double radius = -1; // negative: a capsule
        QColor background;
        // How far the texts may shrink before they are cut; 1 keeps the chip at its ideal
        // size, never truncated.
        double minimumScale = 1;
    };

    explicit CapsuleChip(const Style& style, QWidget* parent = nullptr);

    void setRuns(const QList<Run>& runs);
    const QList<Run>& runs() const { return runs_; }
    // The texts as one line, as assistive technology reads the chip.
    QString text() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont fontFor(const Run& run, double scale) const;
    double naturalWidth(double scale) const;

    Style style_;
    QList<Run> runs_;
};
