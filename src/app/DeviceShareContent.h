#pragma once

// What the share button of a selected device shows: the model's name, years, capacities
// (the device's own first), finish and back, from the store's model and the catalogue.

#include "device/IPodDevice.h"
#include "device/MobileDevice.h"
#include "library/IPodModel.h"
#include "platform/AppLanguage.h"
#include "showcase/DeviceShareButton.h"

#include <optional>

namespace DeviceShareContent {

DeviceShareButton::Content forIPod(const IPodDevice& device, const std::optional<IPodModel>& model,
                                   AppLanguage language);
DeviceShareButton::Content forMobileDevice(const MobileDevice& device, AppLanguage language);

} // namespace DeviceShareContent
