#pragma once

// A failure of the audio layer, carrying FFmpeg's own detail. The description is built when it
// is asked for, in the stored interface language.

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

    AudioError(Kind kind, int ffmpegCode, QString detail = {});

    Kind kind() const { return kind_; }
    // FFmpeg's error number (an AVERROR value), 0 when there is none.
    int ffmpegCode() const { return code_; }
    // True when FFmpeg reported a system error (AVERROR(errno)) rather than bad data.
    bool isSystemError() const;

    using LocalizedError::description;
    QString description(AppLanguage language) const override;

    // FFmpeg's text for an error number.
    static QString ffmpegText(int code);

private:
    Kind kind_;
    int code_;
    QString detail_;
};
