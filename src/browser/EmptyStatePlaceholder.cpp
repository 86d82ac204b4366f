#include "browser/EmptyStatePlaceholder.h"

#include "appmodel/LorvPalette.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"

#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int symbolSize = 36;
constexpr int maximumLineWidth = 440;

} // namespace

EmptyStatePlaceholder* EmptyStatePlaceholder::inPage(QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 20, 20, 20);
    auto* placeholder = new EmptyStatePlaceholder(page);
    layout->addStretch(1);
    layout->addWidget(placeholder, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return placeholder;
}

EmptyStatePlaceholder::EmptyStatePlaceholder(QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(9);
    image_ = new QLabel(this);
    image_->setAlignment(Qt::AlignCenter);
    title_ = TextStyle::label(TextStyle::title3(QFont::DemiBold), LorvPalette::mist(), this);
    title_->setAlignment(Qt::AlignCenter);
    title_->setWordWrap(true);
    message_ = TextStyle::label(TextStyle::callout(), LorvPalette::fog(), this);
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->hide();
    column->addWidget(image_);
    column->addWidget(title_);
    column->addWidget(message_);
}

void EmptyStatePlaceholder::setContent(const QString& symbol, const QString& title,
                                       const std::optional<QString>& message) {
    if (symbol != symbol_) {
        symbol_ = symbol;
        QColor accent = LorvPalette::sky();
        accent.setAlphaF(0.8f);
        image_->setPixmap(SymbolIcon::pixmap(symbol, symbolSize, accent, devicePixelRatioF()));
    }
    // Wrapped texts take the room their words need, up to a readable line.
    auto setWrapped = [](QLabel* label, const QString& text) {
        label->setText(text);
        const int width = QFontMetrics(label->font()).horizontalAdvance(text) + 2;
        label->setMinimumWidth(std::min(width, maximumLineWidth));
    };
    setWrapped(title_, title);
    setWrapped(message_, message.value_or(QString()));
    message_->setVisible(message.has_value());
}
