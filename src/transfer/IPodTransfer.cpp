#include "transfer/IPodTransfer.h"

#include "platform/LocalizedError.h"

#include <cmath>

namespace IPodTransfer {

QString stripLinkTail(const QString& text) {
    if (!text.contains(QLatin1String("www"), Qt::CaseInsensitive))
        return text;
    const qsizetype amp = text.indexOf(QLatin1Char('&'));
    if (amp < 0)
        return text;
    return text.left(amp).trimmed();
}

QString albumOrDefault(const QString& text) {
    return text.trimmed().isEmpty() ? defaultAlbum : text;
}

std::optional<QString> metadataString(const QString& identifier, const AudioMetadata& items) {
    for (const AudioMetadataItem& item : items) {
        if (item.identifier().compare(identifier, Qt::CaseInsensitive) == 0) {
            if (item.value.isEmpty())
                return std::nullopt;
            return item.value;
        }
    }
    return std::nullopt;
}

QString failureLine(const QString& name, const std::exception& error) {
    return name + QStringLiteral(" \u2014 ") + localizedDescription(error);
}

std::int64_t roundHalfAway(double value) {
    return std::int64_t(std::round(value)); // std::round rounds halves away from zero
}

} // namespace IPodTransfer
