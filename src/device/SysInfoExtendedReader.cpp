#include "device/SysInfoExtendedReader.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

namespace SysInfoExtendedReader {

std::optional<QString> stringValue(const QByteArray& plist, const QString& key) {
    QXmlStreamReader xml(plist);
    // Find <plist><dict>.
    if (!xml.readNextStartElement() || xml.name() != u"plist")
        return std::nullopt;
    if (!xml.readNextStartElement() || xml.name() != u"dict")
        return std::nullopt;
    std::optional<QString> result;
    bool found = false;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"key")
            return std::nullopt; // a value without its key: not a dictionary
        const QString name = xml.readElementText();
        if (xml.hasError() || !xml.readNextStartElement())
            return std::nullopt;
        if (name == key && !found) {
            found = true;
            if (xml.name() == u"string") {
                result = xml.readElementText();
                if (xml.hasError())
                    return std::nullopt;
                continue;
            }
        }
        xml.skipCurrentElement();
    }
    if (xml.hasError())
        return std::nullopt;
    return result;
}

std::optional<QString> serialNumber(const QByteArray& plist) {
    return stringValue(plist, QStringLiteral("SerialNumber"));
}

std::optional<QString> normalizedVersion(const QString& text) {
    QString version = text.trimmed();
    // Only the first "(" splits.
    const qsizetype open = version.indexOf(u'(');
    if (open >= 0) {
        const QString head = version.left(open);
        const QString tail = version.mid(open + 1);
        QStringList parts;
        if (!head.isEmpty())
            parts.append(head);
        if (!tail.isEmpty())
            parts.append(tail);
        if (parts.size() == 2 && version.endsWith(u')'))
            version = parts[1].chopped(1);
    }
    version = version.trimmed();
    static const QRegularExpression pattern(QStringLiteral("^[0-9]+(?:\\.[0-9]+){1,3}$"));
    if (!pattern.match(version).hasMatch())
        return std::nullopt;
    return version;
}

std::optional<QString> firmwareVersion(const QByteArray& plist) {
    const auto value = stringValue(plist, QStringLiteral("VisibleBuildID"));
    if (!value)
        return std::nullopt;
    return normalizedVersion(*value);
}

} // namespace SysInfoExtendedReader
