#pragma once

// Whether this machine can play audio at all, asked of Qt Multimedia directly (none of our code),
// so that a preview test skips for a missing sound stack and never for what the product did.

#include <QString>

#include <optional>

namespace TestSupport {

// Empty when a bare player reaches the playing state on the file; otherwise why not.
std::optional<QString> audioPlaybackUnavailable(const QString& audioFile);

} // namespace TestSupport
