#pragma once

// Failures of the fifth-generation nano writer: a subset of the database session's errors,
// with their texts, named by the writer's own kinds.

#include "library/IPodDatabaseError.h"

class Nano5Error : public IPodDatabaseError {
public:
    enum class Kind {
        unsupportedDatabase,
        readOnlyVolume,
        invalidTrack,
        trackSelectionChanged,
        invalidTrackLocation,
    };

    explicit Nano5Error(Kind kind);

    Kind kind() const { return kind_; }

    static Nano5Error unsupportedDatabase() { return Nano5Error(Kind::unsupportedDatabase); }
    static Nano5Error trackSelectionChanged() { return Nano5Error(Kind::trackSelectionChanged); }

private:
    Kind kind_;
};
