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

// Whether a system error number means the disk is full.
bool isFullDiskError(int code);
// The text of a system error number: a full disk in our own words (the system's text goes with
// the name of some file of ours), anything else as the system says it.
QString systemErrorDescription(int code, AppLanguage language = AppLanguages::stored());
