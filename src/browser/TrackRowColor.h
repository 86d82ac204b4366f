#pragma once

// Paints every cell of a track-table row in the row's colour and leaves out the view's own
// selection and focus highlight, so the row colour alone shows what is selected.

#include <QStyledItemDelegate>

class TrackRowColor : public QStyledItemDelegate {
    Q_OBJECT

public:
    // The model gives the row colour under this role (a QColor or QBrush); cells without one
    // are drawn on the view's base colour, also without its selection highlight.
    static constexpr int colorRole = Qt::BackgroundRole;

    explicit TrackRowColor(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // Fills the cell with its row colour; cells that draw themselves start with this.
    static void paintRowColor(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
