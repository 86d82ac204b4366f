#include "platform/audio/AudioError.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <cstring>

AudioError::AudioError(Kind kind, int ffmpegCode)
    : kind_(kind)
    , code_(ffmpegCode) {
}

AudioError AudioError::fromErrno(Kind kind, int errnoValue) {
    AudioError error(kind, -errnoValue);
    error.fromSystemCall_ = true;
    return error;
}

bool AudioError::isSystemError() const {
    // AVERROR(e) is -e; only failures of the disk, the file system or the rights count. FFmpeg
    // returns -1 for failures of every kind, so EPERM counts only from our own system calls.
    if (code_ == AVERROR(EPERM) && !fromSystemCall_)
        return false;
    switch (-code_) {
    case EIO:
    case EACCES:
    case EPERM:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case ENXIO:
    case ENODEV:
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EFBIG:
    case EMFILE:
    case ENFILE:
        return true;
    default:
        return false;
    }
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
    if (isSystemError()) {
        char buffer[256] = {};
        // The GNU strerror_r returns the text, which may not be the buffer.
        text +=
            QLatin1Char(' ') + QString::fromLocal8Bit(strerror_r(-code_, buffer, sizeof buffer));
    }
    return text;
}
