#pragma once

#include "transfer/TransferError.h"

namespace IPodTransfer {

// The export's own failures.
class ExportError : public TransferError {
public:
    enum class Case { artwork, lossless };

    static ExportError artwork() { return ExportError(Case::artwork); }
    static ExportError lossless() { return ExportError(Case::lossless); }

    Case kind() const { return kind_; }
    using TransferError::description;
    QString description(AppLanguage language) const override;

private:
    explicit ExportError(Case kind)
        : kind_(kind) {}
    Case kind_;
};

} // namespace IPodTransfer
