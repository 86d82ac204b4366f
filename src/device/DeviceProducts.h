#pragma once

// The USB product IDs (vendor 0x05AC) the device layer tells apart, and the test that a product
// is an iPod this system handles.

namespace DeviceProducts {

inline constexpr int appleVendorID = 0x05AC;

inline constexpr int nano1 = 0x120A;
inline constexpr int nano2 = 0x1260;
inline constexpr int classic = 0x1261;
inline constexpr int nano5 = 0x1265;
inline constexpr int nano6 = 0x1266;
inline constexpr int shuffle2 = 0x1301;
inline constexpr int shuffle3 = 0x1302;
inline constexpr int shuffle4 = 0x1303;

// The early range 0x1201-0x1209 (but 0x1205) and every product the model catalogue knows.
constexpr bool isIPodUSBProductID(int productID) {
    if (productID >= 0x1201 && productID <= 0x1209)
        return productID != 0x1205;
    switch (productID) {
    case 0x120A:
    case 0x1260:
    case 0x1261:
    case 0x1262:
    case 0x1263:
    case 0x1265:
    case 0x1266:
    case 0x1267:
    case 0x1300:
    case 0x1301:
    case 0x1302:
    case 0x1303:
        return true;
    default:
        return false;
    }
}

} // namespace DeviceProducts
