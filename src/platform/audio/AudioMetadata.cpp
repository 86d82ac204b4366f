#include "platform/audio/AudioMetadata.h"

#include <QStringDecoder>

QString decodeTagText(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

QString joinTagValues(const QStringList& values) {
    QStringList distinct = values;
    distinct.removeDuplicates();
    return distinct.join(QLatin1Char('/'));
}
