#pragma once

#include "platform/AppLanguage.h"

#include <QString>

#include <cstdint>
#include <optional>

// The model of an iPod, told either by its USB product ID or by libgpod's device information.
struct IPodModel {
    enum class Family {
        classic,
        shuffle,
        nano,
    };
    static QString familyRawValue(Family family);
    static std::optional<Family> familyFromRawValue(const QString& raw);

    // USB product IDs of vendor 0x05AC.
    static constexpr int nano1ProductID = 0x120A;
    static constexpr int nano2ProductID = 0x1260;
    static constexpr int classicProductID = 0x1261;
    static constexpr int nano5ProductID = 0x1265;
    static constexpr int nano6ProductID = 0x1266;
    static constexpr int shuffle2ProductID = 0x1301;
    static constexpr int shuffle3ProductID = 0x1302;
    static constexpr int shuffle4ProductID = 0x1303;

    Family family = Family::classic;
    int generationNumber = 1; // 1-based within the family; classics carry 6
    std::optional<QString> colorName;
    QString iconName;

    bool operator==(const IPodModel&) const = default;

    static std::optional<IPodModel> fromProductID(int productID,
                                                  const std::optional<QString>& serialNumber);
    static std::optional<IPodModel> fromGeneration(std::int32_t generation,
                                                   const std::optional<QString>& serialNumber,
                                                   const std::optional<QString>& modelNumber,
                                                   std::optional<std::int32_t> model);

    bool hasScreen() const { return family != Family::shuffle; }
    QString generationName(AppLanguage language) const;
    QString displayName(AppLanguage language) const;
};

// Whether a USB device of vendor 0x05AC is an iPod that this system handles.
bool isIPodUSBProductID(int productID);
