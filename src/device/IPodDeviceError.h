#pragma once

// The one failure of the device layer: the volume at a device's mount point is no longer the
// device that was identified there.

#include "platform/AppLanguage.h"

#include <QString>

#include <exception>

class IPodDeviceError : public std::exception {
public:
    enum class Case {
        disconnected,
    };

    explicit IPodDeviceError(Case c = Case::disconnected)
        : errorCase(c) {}

    Case kind() const { return errorCase; }
    // Built when asked, so it follows the language stored at that moment.
    QString description() const;
    QString description(AppLanguage language) const;
    const char* what() const noexcept override;

private:
    Case errorCase;
};
