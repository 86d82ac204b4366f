#include "transfer/TransferSettings.h"

std::optional<TransferSettings::Bitrate> TransferSettings::bitrateFromRawValue(int kbps) {
    const int offset = kbps - 128;
    if (offset < 0 || offset >= 256 || offset % 64 != 0)
        return std::nullopt;
    return Bitrate(offset / 64);
}

TransferSettings TransferSettings::load() {
    TransferSettings s;
    s.bitrate = bitrateFromRawValue(Settings::aacBitrate()).value_or(Bitrate::kbps320);
    s.onlyUnsupported = Settings::onlyUnsupported();
    s.autoEject = Settings::autoEject();
    s.parseFilenameTags = Settings::parseFilenameTags();
    return s;
}

std::array<std::uint8_t, 4> TransferSettings::packed() const {
    return {std::uint8_t(bitrate), std::uint8_t(onlyUnsupported), std::uint8_t(autoEject),
            std::uint8_t(parseFilenameTags)};
}

TransferSettings TransferSettings::unpacked(const std::array<std::uint8_t, 4>& bytes) {
    TransferSettings s;
    s.bitrate = bytes[0] < 4 ? Bitrate(bytes[0]) : Bitrate::kbps320;
    s.onlyUnsupported = bytes[1] & 1;
    s.autoEject = bytes[2] & 1;
    s.parseFilenameTags = bytes[3] & 1;
    return s;
}
