#pragma once

// The cells of the track tables on their row colour: the number (or the now-playing bars) with
// the start-track flag, the title with "Pending save", the format badge, the stars, and plain
// text for the rest, each column set off by a thin line.

#include "browser/TrackRowColor.h"

#include <QFont>

class TrackCellDelegate : public TrackRowColor {
    Q_OBJECT

public:
    static constexpr int rowHeight = 24;
    static constexpr int cellInset = 6;
    // The start track's flag after its number.
    static constexpr int startFlagSize = 9;
    static constexpr int startFlagSpacing = 4;

    explicit TrackCellDelegate(QObject* parent = nullptr);

    // The moment the now-playing bars are drawn for; the view sets it before each paint.
    void setAnimationTime(double t) { animationTime_ = t; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintNumber(QPainter* painter, const QRect& rect, const QModelIndex& index) const;
    void paintTitle(QPainter* painter, const QRect& rect, const QModelIndex& index,
                    const QFont& font) const;
    void paintFormat(QPainter* painter, const QRect& rect, const QModelIndex& index) const;
    void paintText(QPainter* painter, const QRect& rect, const QModelIndex& index,
                   const QFont& font) const;

    double animationTime_ = 0;
    // Made once rather than for every cell painted.
    const QFont numberFont_;
    const QFont captionFont_;
    const QFont badgeFont_;
};
