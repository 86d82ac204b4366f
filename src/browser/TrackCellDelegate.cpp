#include "browser/TrackCellDelegate.h"

#include "appmodel/LorvPalette.h"
#include "browser/NowPlayingIndicator.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "browser/TrackTableModel.h"
#include "platform/AppLanguage.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QColor colorOf(const QModelIndex& index) {
    return index.data(Qt::ForegroundRole).value<QColor>();
}

} // namespace

TrackCellDelegate::TrackCellDelegate(QObject* parent)
    : TrackRowColor(parent)
    , numberFont_(TextStyle::body())
    , captionFont_(TextStyle::caption())
    , badgeFont_(TextStyle::caption2(QFont::Medium)) {
}

QSize TrackCellDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    return {TrackRowColor::sizeHint(option, index).width(), rowHeight};
}

void TrackCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    paintRowColor(painter, option, index);
    painter->save();
    // The bordered table: a thin line closes every column.
    painter->setPen(LorvPalette::slate600());
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    const auto* model = qobject_cast<const TrackTableModel*>(index.model());
    const TrackColumn column = model ? model->columnAt(index.column()) : TrackColumn::title;
    const QRect content = option.rect.adjusted(cellInset, 0, -cellInset, 0);
    painter->setClipRect(option.rect.adjusted(0, 0, -1, 0));
    switch (column) {
    case TrackColumn::number:
        paintNumber(painter, content, index);
        break;
    case TrackColumn::title:
        paintTitle(painter, content, index, option.font);
        break;
    case TrackColumn::format:
        paintFormat(painter, content, index);
        break;
    case TrackColumn::rating:
        paintText(painter, content, index, captionFont_);
        break;
    default:
        paintText(painter, content, index, option.font);
        break;
    }
    painter->restore();
}

void TrackCellDelegate::paintText(QPainter* painter, const QRect& rect, const QModelIndex& index,
                                  const QFont& font) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;
    painter->setFont(font);
    painter->setPen(colorOf(index));
    const auto alignment = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
    painter->drawText(rect, int(alignment) | Qt::TextSingleLine,
                      TextStyle::elided(QFontMetrics(font), text, rect.width()));
}

void TrackCellDelegate::paintNumber(QPainter* painter, const QRect& rect,
                                    const QModelIndex& index) const {
    int x = rect.left();
    if (index.data(TrackTableModel::isPlayingRole).toBool()) {
        const QPointF topLeft(x, rect.center().y() + 1 - NowPlayingIndicator::height / 2.0);
        NowPlayingIndicator::paint(*painter, topLeft, animationTime_, LorvPalette::sky());
        x += NowPlayingIndicator::width;
    } else {
        const QString text = index.data(Qt::DisplayRole).toString();
        if (!text.isEmpty()) {
            painter->setFont(numberFont_);
            painter->setPen(colorOf(index));
            const QFontMetrics metrics(painter->font());
            painter->drawText(QRect(x, rect.top(), rect.width(), rect.height()),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
            x += metrics.horizontalAdvance(text);
        }
    }
    if (index.data(TrackTableModel::isStartTrackRole).toBool()) {
        const QPixmap flag =
            SymbolIcon::pixmap(QStringLiteral("flag.fill"), startFlagSize, LorvPalette::sky(),
                               painter->device()->devicePixelRatioF());
        const int left = x == rect.left() ? x : x + startFlagSpacing;
        painter->drawPixmap(QPoint(left, rect.center().y() + 1 - startFlagSize / 2), flag);
    }
}

void TrackCellDelegate::paintTitle(QPainter* painter, const QRect& rect, const QModelIndex& index,
                                   const QFont& font) const {
    QFont titleFont = font;
    titleFont.setWeight(QFont::Medium);
    QRect titleRect = rect;
    if (index.data(TrackTableModel::isStagedRole).toBool()) {
        const auto* model = qobject_cast<const TrackTableModel*>(index.model());
        const QString pending =
            localizedString(LZ("Pending save"), model ? model->language() : AppLanguages::stored());
        const QFont& caption = captionFont_;
        const int width = QFontMetrics(caption).horizontalAdvance(pending);
        const bool selected = index.data(TrackTableModel::isSelectedRole).toBool();
        // The title keeps at least a third of the cell; the note takes what it needs after it.
        const QString title = index.data(Qt::DisplayRole).toString();
        const int titleWidth = std::min(QFontMetrics(titleFont).horizontalAdvance(title),
                                        std::max(rect.width() / 3, rect.width() - width - 5));
        titleRect.setWidth(titleWidth);
        painter->setFont(caption);
        painter->setPen(selected ? LorvPalette::mist() : LorvPalette::fog());
        painter->drawText(
            QRect(rect.left() + titleWidth + 5, rect.top(), rect.width() - titleWidth - 5,
                  rect.height()),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            TextStyle::elided(QFontMetrics(caption), pending, rect.width() - titleWidth - 5));
    }
    paintText(painter, titleRect, index, titleFont);
}

void TrackCellDelegate::paintFormat(QPainter* painter, const QRect& rect,
                                    const QModelIndex& index) const {
    const QString label = index.data(Qt::DisplayRole).toString();
    const QFont& font = badgeFont_;
    const QFontMetrics metrics(font);
    const int available = rect.width() - 12;
    const QString shown = TextStyle::elided(metrics, label, available);
    const int height = metrics.height() + 4;
    const QRectF badge(rect.left(), rect.center().y() + 1 - height / 2.0,
                       metrics.horizontalAdvance(shown) + 12, height);
    const bool wav = index.data(TrackTableModel::isWavRole).toBool();
    painter->setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(badge, 4, 4);
    painter->fillPath(shape, wav ? LorvPalette::plumDeep() : LorvPalette::slate600());
    painter->setFont(font);
    painter->setPen(colorOf(index));
    painter->drawText(badge, Qt::AlignCenter | Qt::TextSingleLine, shown);
}
