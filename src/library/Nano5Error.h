#pragma once

// Failures of the fifth-generation nano writer. The cases and texts are those of the database
// session's error; the description is built when asked for, in the stored language.

#include "platform/AppLanguage.h"

#include <QByteArray>
#include <QString>

#include <exception>

class Nano5Error : public std::exception {
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
    QString description() const;
    QString description(AppLanguage language) const;
    // The English text, for logs and test failures.
    const char* what() const noexcept override;

    static Nano5Error unsupportedDatabase() { return Nano5Error(Kind::unsupportedDatabase); }
    static Nano5Error trackSelectionChanged() { return Nano5Error(Kind::trackSelectionChanged); }

private:
    Kind kind_;
    QByteArray english;
};
