#pragma once

// A failure of the audio layer. The description is built when it is asked for, in the stored
// interface language, from the system's own texts: FFmpeg's error texts, meant for developers
// and often wrong about bad data, are never shown (ffmpegCode keeps the number).

#include "platform/LocalizedError.h"

#include <QString>

class AudioError : public LocalizedError {
public:
    enum class Kind {
        open,        // the file could not be opened or probed
        noAudio,     // it holds no audio stream
        unsupported, // a coding the writer cannot take
        decode,      // reading or decoding failed
        encode,      // encoding or writing failed
    };

    AudioError(Kind kind, int ffmpegCode);
    // A failure of one of our own system calls, with its errno.
    static AudioError fromErrno(Kind kind, int errnoValue);

    Kind kind() const { return kind_; }
    // FFmpeg's error number (an AVERROR value), 0 when there is none.
    int ffmpegCode() const { return code_; }
    // True when FFmpeg passed on a failure of the system (a disk error, a missing permission, a
    // full disk) rather than of the data. FFmpeg reports some damaged data with such numbers
    // too (a broken FLAC header as an input/output error); a reader that can should check the
    // file itself. Out of memory never counts: FFmpeg gives it for absurd sizes in headers, and
    // neither does FFmpeg's bare -1, its generic failure, which equals AVERROR(EPERM).
    bool isSystemError() const;

    using LocalizedError::description;
    QString description(AppLanguage language) const override;

private:
    Kind kind_;
    int code_;
    bool fromSystemCall_ = false;
};
