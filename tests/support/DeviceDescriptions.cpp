#include "support/DeviceDescriptions.h"

#include "support/IPodVolume.h"

#include <QStringEncoder>

#include <stdexcept>

namespace TestSupport {

namespace {

QByteArray coverFormat(int id, int side) {
    return "<dict><key>FormatId</key><integer>" + QByteArray::number(id) +
           "</integer><key>RenderWidth</key><integer>" + QByteArray::number(side) +
           "</integer><key>RenderHeight</key><integer>" + QByteArray::number(side) +
           "</integer><key>PixelFormat</key><string>4C353635</string></dict>";
}

QByteArray plainDescription() {
    return sysInfoExtendedXML({
        {QStringLiteral("FamilyID"), QByteArray("<integer>11</integer>")},
        {QStringLiteral("SerialNumber"), QStringLiteral("8K0000ABYMX")},
        {QStringLiteral("FireWireGUID"), QStringLiteral("000A2700138B0D2E")},
        {QStringLiteral("AlbumArt"),
         QByteArray("<array>" + coverFormat(1027, 128) + coverFormat(1031, 320) + "</array>")},
    });
}

QByteArray replaced(QByteArray description, const QByteArray& from, const QByteArray& to) {
    if (!description.contains(from))
        throw std::logic_error("no " + from.toStdString() + " in the description");
    return description.replace(description.indexOf(from), from.size(), to);
}

} // namespace

QList<DescriptionForm> unplainDescriptions() {
    const QByteArray plain = plainDescription();
    const QByteArray family = "<integer>11</integer>";
    const QByteArray width = "<key>RenderWidth</key><integer>320</integer>";
    const QByteArray type = "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">";
    const auto with = [&](const QByteArray& from, const QByteArray& to) {
        return replaced(plain, from, to);
    };
    return {
        // libgpod's reader crashes on these.
        {"a trailing space", with(family, "<integer>11 </integer>")},
        {"a trailing space in a cover width",
         with(width, "<key>RenderWidth</key><integer>320 </integer>")},
        {"a trailing line feed", with(family, "<integer>11\n</integer>")},
        {"a decimal comma", with(family, family + "<key>Gamma</key><real>2,2</real>")},
        {"an exponent", with(family, "<integer>1e1</integer>")},
        {"an 8 after a leading zero", with(family, "<integer>018</integer>")},
        {"a real with two points", with(family, family + "<key>Gamma</key><real>2.2.</real>")},
        {"a date", with(family, family + "<key>Made</key><date>2009-01-01T00:00:00Z</date>")},
        {"a key without its value",
         with("<key>FamilyID</key>\n\t" + family, "<key>FamilyID</key>")},
        {"text for a number", with(family, "<integer>eleven</integer>")},
        // It reads these otherwise than libplist, or reads what libplist would not.
        {"a character reference", with(width, "<key>RenderWidth</key><integer>32&#48;</integer>")},
        {"an entity of the document type",
         replaced(with(type, "<!DOCTYPE plist [<!ENTITY side \"3200\">]>"), width,
                  "<key>RenderWidth</key><integer>&side;</integer>")},
        {"CDATA", with(width, "<key>RenderWidth</key><integer><![CDATA[320]]></integer>")},
        {"a comment", with(width, "<key>RenderWidth</key><integer>32<!-- -->0</integer>")},
        {"a leading space", with(family, "<integer> 11</integer>")},
        {"a leading zero", with(family, "<integer>013</integer>")},
        {"hexadecimal", with(family, "<integer>0xB</integer>")},
        {"a plus sign", with(family, "<integer>+11</integer>")},
        {"an empty number", with(family, "<integer/>")},
        {"whitespace in a key", with("<key>FamilyID</key>", "<key>FamilyID </key>")},
        {"a key twice", with(family, family + "<key>FamilyID</key><integer>12</integer>")},
    };
}

QByteArray descriptionOfSize(qint64 bytes, qint64 textNode) {
    const QByteArray plain = plainDescription();
    const QByteArray end = "</dict>";
    const qsizetype at = plain.lastIndexOf(end);
    QByteArray keys;
    if (textNode > 0)
        keys += "<key>Text</key><string>" + QByteArray(textNode, 'x') + "</string>";
    const qint64 room = bytes - plain.size();
    for (quint64 i = 0;; ++i) {
        const QByteArray key = "<key>" + QByteArray::number(i, 36) + "</key><true/>";
        if (keys.size() + key.size() > room)
            break;
        keys += key;
    }
    if (keys.size() > room)
        throw std::logic_error("no room for the text node");
    // Whitespace between elements makes up the rest.
    keys += QByteArray(room - keys.size(), '\n');
    return plain.left(at) + keys + plain.mid(at);
}

QList<DescriptionForm> otherEncodings(const QByteArray& description) {
    const QString utf16 =
        QString::fromUtf8(replaced(description, "encoding=\"UTF-8\"", "encoding=\"UTF-16\""));
    const auto encoded = [&](QStringConverter::Encoding encoding) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::Stateless);
        return QByteArray(encoder(utf16));
    };
    return {
        {"UTF-8 after a byte-order mark", "\xEF\xBB\xBF" + description},
        {"UTF-16LE after a byte-order mark", "\xFF\xFE" + encoded(QStringConverter::Utf16LE)},
        {"UTF-16BE after a byte-order mark", "\xFE\xFF" + encoded(QStringConverter::Utf16BE)},
        {"UTF-16LE without a byte-order mark", encoded(QStringConverter::Utf16LE)},
    };
}

} // namespace TestSupport
