#include "platform/audio/AudioError.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>

AudioError::AudioError(Kind kind, int ffmpegCode, QString detail)
    : kind_(kind)
    , code_(ffmpegCode)
    , detail_(std::move(detail)) {
    if (detail_.isEmpty() && code_ != 0)
        detail_ = ffmpegText(code_);
}

bool AudioError::isSystemError() const {
    // AVERROR(e) is -e for the errno range; FFmpeg's own codes are tagged four-byte values.
    return code_ < 0 && -code_ < 4096;
}

QString AudioError::ffmpegText(int code) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, buffer, sizeof buffer) < 0)
        return QStringLiteral("error %1").arg(code);
    return QString::fromUtf8(buffer);
}

QString AudioError::description(AppLanguage language) const {
    QString text;
    switch (kind_) {
    case Kind::open:
        text = localizedString(LZ("The audio file could not be opened."), language);
        break;
    case Kind::noAudio:
        text = localizedString(LZ("The file holds no audio."), language);
        break;
    case Kind::unsupported:
        text = localizedString(LZ("The audio coding is not supported."), language);
        break;
    case Kind::decode:
        text = localizedString(LZ("The audio could not be decoded."), language);
        break;
    case Kind::encode:
        text = localizedString(LZ("The audio could not be written."), language);
        break;
    }
    if (!detail_.isEmpty())
        text += QLatin1Char(' ') + detail_;
    return text;
}
