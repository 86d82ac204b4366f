#include "transfer/IPodTransfer.h"

#include "library/IPodDatabaseError.h"
#include "library/Nano5Error.h"
#include "platform/Task.h"
#include "platform/audio/AudioError.h"
#include "transfer/TransferError.h"

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

QString errorDescription(const std::exception& error, AppLanguage language) {
    if (const auto* e = dynamic_cast<const TransferError*>(&error))
        return e->description(language);
    if (const auto* e = dynamic_cast<const IPodDatabaseError*>(&error))
        return e->description(language);
    if (const auto* e = dynamic_cast<const AudioError*>(&error))
        return e->description(language);
    if (const auto* e = dynamic_cast<const Nano5Error*>(&error))
        return e->description(language);
    if (dynamic_cast<const CancellationError*>(&error))
        return localizedString(LZ("The operation was cancelled."), language);
    return QString::fromLocal8Bit(error.what());
}

QString errorDescription(const std::exception& error) {
    return errorDescription(error, AppLanguages::stored());
}

QString failureLine(const QString& name, const std::exception& error) {
    return name + QStringLiteral(" \u2014 ") + errorDescription(error);
}

std::int64_t roundHalfAway(double value) {
    return std::int64_t(std::round(value)); // std::round rounds halves away from zero
}

} // namespace IPodTransfer
