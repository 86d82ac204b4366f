#include "browser/TrackRowColor.h"
#include "appmodel/LorvPalette.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QStandardItemModel>
#include <QTableView>

namespace {

struct Table {
    QStandardItemModel model{3, 3};
    QTableView view;
    TrackRowColor delegate;

    Table() {
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                model.setItem(row, column, new QStandardItem);
        view.setModel(&model);
        view.setItemDelegate(&delegate);
        view.setShowGrid(false);
        view.horizontalHeader()->hide();
        view.verticalHeader()->hide();
        QPalette palette = view.palette();
        palette.setColor(QPalette::Base, Qt::black);
        palette.setColor(QPalette::Highlight, Qt::red);
        view.setPalette(palette);
        view.resize(300, 200);
        view.show();
    }

    void colorRow(int row, const QColor& color) {
        for (int column = 0; column < 3; ++column)
            model.item(row, column)->setData(color, TrackRowColor::colorRole);
    }

    QColor pixel(int row, int column) {
        const QRect cell = view.visualRect(model.index(row, column));
        return view.viewport()->grab().toImage().pixelColor(cell.center());
    }
};

} // namespace

TEST(TrackRowColor, SelectedRowShowsItsRowColourNotTheViewHighlight) {
    Table table;
    table.colorRow(0, LorvPalette::indigoDeep());
    table.colorRow(1, LorvPalette::night900());
    table.view.selectRow(0);
    table.view.setCurrentIndex(table.model.index(0, 1));
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(table.pixel(0, column), LorvPalette::indigoDeep()) << column;
        EXPECT_EQ(table.pixel(1, column), LorvPalette::night900()) << column;
    }
}

TEST(TrackRowColor, RowWithoutColourIsDrawnOnBaseAndNeverHighlighted) {
    Table table;
    table.view.selectRow(2);
    const QColor unselected = table.pixel(1, 0);
    EXPECT_NE(unselected, QColor(Qt::red));
    EXPECT_EQ(table.pixel(2, 0), unselected);
    EXPECT_EQ(table.pixel(2, 2), unselected);
}
