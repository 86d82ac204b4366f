#include "library/Nano5Error.h"

namespace {

// clang-format off
QString key(Nano5Error::Kind kind) {
    switch (kind) {
    case Nano5Error::Kind::unsupportedDatabase:
        return LZ("Editing is disabled because the iPod model or database compatibility could not be verified.");
    case Nano5Error::Kind::readOnlyVolume:
        return LZ("This iPod volume is mounted read-only.");
    case Nano5Error::Kind::invalidTrack:
        return LZ("Provide an MP3 or AAC (.m4a) file with a valid duration that has been copied to the iPod music folder.");
    case Nano5Error::Kind::trackSelectionChanged:
        return LZ("The selected tracks could not be found in the current library. Reselect them and try again.");
    case Nano5Error::Kind::invalidTrackLocation:
        return LZ("The selected tracks contain audio paths that cannot be safely deleted.");
    }
    return {};
}
// clang-format on

} // namespace

Nano5Error::Nano5Error(Kind kind)
    : kind_(kind)
    , english(key(kind).toUtf8()) {
}

QString Nano5Error::description() const {
    return description(AppLanguages::stored());
}

QString Nano5Error::description(AppLanguage language) const {
    return localizedString(key(kind_), language);
}

const char* Nano5Error::what() const noexcept {
    return english.constData();
}
