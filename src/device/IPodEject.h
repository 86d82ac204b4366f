#pragma once

// Ejecting a mounted iPod volume: flush it, then unmount it (and power its drive off) through
// udisks2 where that service runs, else unmount it directly where this process may.
// Blocking: runs on a background task, never on the main thread.

#include "platform/LocalizedError.h"

#include <QString>

#include <functional>

// Why an eject failed. Keeps the case and its payload; the text is built when asked for.
class IPodEjectError : public LocalizedError {
public:
    enum class Kind {
        notMounted, // nothing is mounted at the path (already ejected or unplugged)
        busy,       // files on the volume are still open
        notAllowed, // no permission to unmount
        syncFailed, // the volume's data could not be written out (errno in code)
        system,     // another unmount failure (errno in code)
        service,    // udisks2 refused; detail holds its message
    };

    IPodEjectError(Kind kind, int code = 0, QString detail = {});

    Kind kind() const { return kind_; }
    int code() const { return code_; }
    QString detail() const { return detail_; }

    using LocalizedError::description;
    QString description(AppLanguage language) const override;

private:
    Kind kind_;
    int code_;
    QString detail_;
};

namespace IPodEject {

// Throws when the volume at the mount point is no longer the device the caller means.
using IdentityCheck = std::function<void()>;

// Ejects the volume mounted at mountPath. identityCheck runs first and its exception passes
// through untouched (nothing is flushed or unmounted then). Throws IPodEjectError otherwise.
void eject(const QString& mountPath, const IdentityCheck& identityCheck);

// "Could not eject <name>.\n<reason>", in the given language; reason is already localised.
QString failureMessage(const QString& name, const QString& reason, AppLanguage language);

} // namespace IPodEject
