#include "library/Nano5Error.h"

namespace {

IPodDatabaseError::Case caseOf(Nano5Error::Kind kind) {
    switch (kind) {
    case Nano5Error::Kind::unsupportedDatabase:
        return IPodDatabaseError::Case::unsupportedDatabase;
    case Nano5Error::Kind::readOnlyVolume:
        return IPodDatabaseError::Case::readOnlyVolume;
    case Nano5Error::Kind::invalidTrack:
        return IPodDatabaseError::Case::invalidTrack;
    case Nano5Error::Kind::trackSelectionChanged:
        return IPodDatabaseError::Case::trackSelectionChanged;
    case Nano5Error::Kind::invalidTrackLocation:
        return IPodDatabaseError::Case::invalidTrackLocation;
    }
    return IPodDatabaseError::Case::unsupportedDatabase;
}

} // namespace

Nano5Error::Nano5Error(Kind kind)
    : IPodDatabaseError(caseOf(kind))
    , kind_(kind) {
}
