#pragma once

// What the library pane shows after a failed library load: "Could Not Open Library" with the
// reason, and "Retry", which looks for the devices again and reloads the library.

#include <QWidget>

#include <exception>

#include "platform/AppLanguage.h"

class EmptyStatePlaceholder;
class IPodStore;
class QPushButton;

class LibraryErrorView : public QWidget {
    Q_OBJECT

public:
    explicit LibraryErrorView(IPodStore& store, QWidget* parent = nullptr);

    void setError(std::exception_ptr error);

    // A lost device gets advice on finding it again; every other error its own description.
    static QString message(const std::exception_ptr& error, AppLanguage language);
    static bool isDisconnection(const std::exception_ptr& error);

    EmptyStatePlaceholder* placeholder() const { return placeholder_; }
    QPushButton* retryButton() const { return retry_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    IPodStore& store_;
    std::exception_ptr error_;
    EmptyStatePlaceholder* placeholder_ = nullptr;
    QPushButton* retry_ = nullptr;
};
