#include "device/IPodDeviceError.h"

QString IPodDeviceError::description() const {
    return description(AppLanguages::stored());
}

QString IPodDeviceError::description(AppLanguage language) const {
    switch (errorCase) {
    case Case::disconnected:
        break;
    }
    return localizedString(LZ("The iPod was disconnected."), language);
}

const char* IPodDeviceError::what() const noexcept {
    return "The iPod was disconnected.";
}
