#pragma once

// The common base of the transfer's errors: each holds its case and payload and builds its
// user text when asked, in the language stored at that moment unless one is given.

#include "platform/AppLanguage.h"

#include <QString>

#include <exception>
#include <string>

class TransferError : public std::exception {
public:
    QString description() const { return description(AppLanguages::stored()); }
    virtual QString description(AppLanguage language) const = 0;
    const char* what() const noexcept override;

private:
    mutable std::string what_;
};
