#pragma once

// How an import treats audio, read from the settings once per operation.

#include "platform/Settings.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

struct TransferSettings {
    enum class Bitrate : std::uint8_t { kbps128, kbps192, kbps256, kbps320 };

    struct Key {
        static inline const QString bitrate = Settings::Keys::aacBitrate;
        static inline const QString onlyUnsupported = Settings::Keys::onlyUnsupported;
        static inline const QString autoEject = Settings::Keys::autoEject;
        static inline const QString parseFilenameTags = Settings::Keys::parseFilenameTags;
    };

    Bitrate bitrate = Bitrate::kbps320;
    bool onlyUnsupported = true;
    bool autoEject = false;
    bool parseFilenameTags = true;

    // 320 kbit/s, only unsupported files converted, no eject, tags from file names.
    static TransferSettings defaults() { return {}; }
    // The stored settings; a missing or unusable value reads as its default.
    static TransferSettings load();

    // The four bytes an import is handed: the bitrate's case index, then the three flags.
    std::array<std::uint8_t, 4> packed() const;
    // Keeps the case index and the lowest bit of each flag byte.
    static TransferSettings unpacked(const std::array<std::uint8_t, 4>& bytes);

    static constexpr std::array<Bitrate, 4> allBitrates = {Bitrate::kbps128, Bitrate::kbps192,
                                                           Bitrate::kbps256, Bitrate::kbps320};
    // kbit/s: 128 + 64 × case index.
    static int rawValue(Bitrate bitrate) { return 128 + 64 * int(bitrate); }
    // Exactly 128, 192, 256 and 320.
    static std::optional<Bitrate> bitrateFromRawValue(int kbps);

    friend bool operator==(const TransferSettings&, const TransferSettings&) = default;
};
