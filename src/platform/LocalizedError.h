#pragma once

// The base of every error the system shows to its user: it keeps its case and payload and
// builds its text when asked, in the language asked for (the stored one by default), so a
// language change reaches errors that were raised before it.

#include "platform/AppLanguage.h"

#include <QString>

#include <exception>
#include <string>

class LocalizedError : public std::exception {
public:
    virtual QString description(AppLanguage language) const = 0;
    QString description() const { return description(AppLanguages::stored()); }

    // The English description, for logs and test failures.
    const char* what() const noexcept override;

private:
    mutable std::string english;
};

// The text the user sees for any caught error: a LocalizedError's description, else the
// library's own message. Empty for a null pointer.
QString localizedDescription(const std::exception& error,
                             AppLanguage language = AppLanguages::stored());
QString localizedDescription(const std::exception_ptr& error,
                             AppLanguage language = AppLanguages::stored());
