#pragma once

// The USB product IDs (vendor 0x05AC) the device layer tells apart; the tables themselves belong
// to the library's model types.

#include "library/IPodModel.h"

namespace DeviceProducts {

inline constexpr int appleVendorID = 0x05AC;

inline constexpr int nano1 = IPodModel::nano1ProductID;
inline constexpr int nano2 = IPodModel::nano2ProductID;
inline constexpr int classic = IPodModel::classicProductID;
inline constexpr int nano5 = IPodModel::nano5ProductID;
inline constexpr int nano6 = IPodModel::nano6ProductID;
inline constexpr int shuffle2 = IPodModel::shuffle2ProductID;
inline constexpr int shuffle3 = IPodModel::shuffle3ProductID;
inline constexpr int shuffle4 = IPodModel::shuffle4ProductID;

inline bool isIPodUSBProductID(int productID) {
    return ::isIPodUSBProductID(productID);
}

} // namespace DeviceProducts
