#pragma once

// Items in rows of equal columns: as many columns of at least the minimum width as fit the
// width, each stretched to share it; a row is as tall as its tallest item. Wrapping depends on
// the width, so the layout gives its height for a width.

#include <QLayout>
#include <QList>

class AdaptiveGridLayout : public QLayout {
public:
    AdaptiveGridLayout(int minimumColumnWidth, int spacing, QWidget* parent = nullptr);
    ~AdaptiveGridLayout() override;

    // The columns that fit width (at least one).
    static int columnCount(int width, int minimumColumnWidth, int spacing);
    int columns() const;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in rect (or only measures); returns the height used.
    int arrange(const QRect& rect, bool place) const;

    QList<QLayoutItem*> items;
    int minimumColumnWidth;
    int gap;
};
