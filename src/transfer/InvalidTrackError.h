#pragma once

// The database layer's "invalid track" failure, raised here for files whose sizes or chunks the
// transfer cannot take. It has the database error's text so the two read alike.

#include "transfer/TransferError.h"

class InvalidTrackError : public TransferError {
public:
    using TransferError::description;
    QString description(AppLanguage language) const override;
};
