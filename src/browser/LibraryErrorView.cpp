#include "browser/LibraryErrorView.h"

#include "browser/EmptyStatePlaceholder.h"
#include "device/IPodStore.h"
#include "platform/LocalizedError.h"
#include "platform/Task.h"
#include "transfer/ImportError.h"

#include <QEvent>
#include <QPushButton>
#include <QVBoxLayout>

LibraryErrorView::LibraryErrorView(IPodStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store) {
    setObjectName(QStringLiteral("libraryErrorView"));
    auto* outer = new QVBoxLayout(this);
    outer->setSpacing(6);
    outer->addStretch(1);
    placeholder_ = new EmptyStatePlaceholder(this);
    placeholder_->setContentsMargins(20, 20, 20, 20);
    outer->addWidget(placeholder_, 0, Qt::AlignHCenter);
    retry_ = new QPushButton(this);
    retry_->setAutoDefault(false);
    connect(retry_, &QPushButton::clicked, this, [this] { store_.retryLibraryLoad(); });
    outer->addWidget(retry_, 0, Qt::AlignHCenter);
    outer->addStretch(1);
    refresh();
}

bool LibraryErrorView::isDisconnection(const std::exception_ptr& error) {
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const ImportError& e) {
        // The device layer's own disconnection is one of these too.
        return e.kind() == ImportError::Case::disconnected;
    } catch (const CancellationError&) {
        // A load is cancelled only when its device went away.
        return true;
    } catch (...) {
        return false;
    }
}

QString LibraryErrorView::message(const std::exception_ptr& error, AppLanguage language) {
    if (!error)
        return {};
    if (isDisconnection(error))
        return localizedString(LZ("The iPod may have been renamed or disconnected. Check its "
                                  "connection, then click Retry to find it again."),
                               language);
    return localizedDescription(error, language);
}

void LibraryErrorView::setError(std::exception_ptr error) {
    error_ = std::move(error);
    refresh();
}

void LibraryErrorView::refresh() {
    const AppLanguage language = AppLanguages::stored();
    placeholder_->setContent(QStringLiteral("exclamationmark.triangle"),
                             localizedString(LZ("Could Not Open Library"), language),
                             error_ ? message(error_, language) : QString());
    retry_->setText(localizedString(LZ("Retry"), language));
}

void LibraryErrorView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    QWidget::changeEvent(event);
}
