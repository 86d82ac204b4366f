#pragma once

// The application's default cover picture and the test that recognises it in a track's
// artwork, also after the iPod stored it smaller or re-encoded.

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>

namespace LorvanelCoverArtwork {

inline constexpr int fingerprintSide = 20;
inline constexpr int fingerprintBytes = fingerprintSide * fingerprintSide * 4;
// A mean difference of at most 6 a byte still shows the default cover.
inline constexpr int maxDifference = 6 * fingerprintBytes;

// The picture drawn into 20 × 20 pixels, RGBA with premultiplied alpha, 80 bytes a row.
using Fingerprint = std::array<std::uint8_t, fingerprintBytes>;

// The bytes of the resource "LorvanelDefaultCover.png", read once; none when it is missing.
// Safe from any thread.
const std::optional<QByteArray>& defaultCoverData();

// Nothing for bytes that are no picture or not square.
std::optional<Fingerprint> fingerprint(const QByteArray& bytes);

// The default cover's own bytes when artwork shows the default cover; none otherwise.
std::optional<QByteArray> matchDefaultCover(const QByteArray& artwork);

// The same test against given default bytes.
std::optional<QByteArray> matchCover(const QByteArray& artwork,
                                     const std::optional<QByteArray>& defaultBytes);

} // namespace LorvanelCoverArtwork
