#pragma once

// A failed system call: its error number and the path it concerned. The text is the system's.

#include "transfer/TransferError.h"

class PosixError : public TransferError {
public:
    PosixError(int code, QString path = {})
        : code_(code)
        , path_(std::move(path)) {}

    // The error number of the calling thread.
    static PosixError fromErrno(const QString& path = {});

    int code() const { return code_; }
    const QString& path() const { return path_; }
    using TransferError::description;
    QString description(AppLanguage language) const override;

private:
    int code_;
    QString path_;
};
