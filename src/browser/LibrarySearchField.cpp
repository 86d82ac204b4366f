#include "browser/LibrarySearchField.h"

#include "appmodel/LorvPalette.h"
#include "browser/Surfaces.h"
#include "browser/SymbolIcon.h"
#include "browser/TextStyle.h"
#include "platform/AppLanguage.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QToolButton>

LibrarySearchField::LibrarySearchField(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("librarySearchField"));
    setFixedSize(boxWidth, boxHeight);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(6);

    auto* magnifier = new QLabel(this);
    magnifier->setPixmap(SymbolIcon::pixmap(QStringLiteral("magnifyingglass"), 12,
                                            LorvPalette::fog(), devicePixelRatioF()));
    row->addWidget(magnifier);

    edit_ = new QLineEdit(this);
    edit_->setFrame(false);
    edit_->setFont(TextStyle::callout());
    QPalette p = edit_->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    p.setColor(QPalette::Text, LorvPalette::mist());
    p.setColor(QPalette::PlaceholderText, LorvPalette::fog());
    edit_->setPalette(p);
    edit_->setAttribute(Qt::WA_MacShowFocusRect, false);
    row->addWidget(edit_, 1);

    clear_ = new QToolButton(this);
    clear_->setObjectName(QStringLiteral("clearSearchButton"));
    clear_->setAutoRaise(true);
    clear_->setFixedSize(16, 16);
    clear_->setIconSize(QSize(12, 12));
    clear_->setIcon(SymbolIcon::icon(QStringLiteral("xmark.circle.fill"), 12, LorvPalette::fog()));
    clear_->setFocusPolicy(Qt::NoFocus);
    row->addWidget(clear_);

    connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        refreshClearButton();
        Q_EMIT textEdited(text);
    });
    connect(clear_, &QToolButton::clicked, this, [this] {
        edit_->clear();
        refreshClearButton();
        Q_EMIT textEdited(QString());
    });
    relabel();
    refreshClearButton();
}

void LibrarySearchField::setText(const QString& text) {
    if (edit_->text() == text)
        return;
    const QSignalBlocker blocker(edit_);
    edit_->setText(text);
    refreshClearButton();
}

QString LibrarySearchField::text() const {
    return edit_->text();
}

void LibrarySearchField::refreshClearButton() {
    clear_->setVisible(!edit_->text().isEmpty());
}

void LibrarySearchField::relabel() {
    const AppLanguage language = AppLanguages::stored();
    const QString prompt = localizedString(LZ("Search by Title or Artist"), language);
    edit_->setPlaceholderText(prompt);
    edit_->setAccessibleName(prompt);
    const QString clear = localizedString(LZ("Clear Search"), language);
    clear_->setAccessibleName(clear);
    clear_->setToolTip(clear);
}

void LibrarySearchField::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        relabel();
    QWidget::changeEvent(event);
}

void LibrarySearchField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Surfaces::paintPanel(painter, rect(), 6, LorvPalette::inkAlt(), LorvPalette::slate500());
}
