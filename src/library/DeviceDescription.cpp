#include "library/DeviceDescription.h"

#include "library/DatabaseFiles.h"
#include "library/GLibHandles.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

#include <gpod/itdb.h>

namespace DeviceDescription {

namespace {

// Far beyond any iPod's nesting (a list of dictionaries in a dictionary), and a bound on the
// recursion of both readers.
constexpr int maxDepth = 16;

bool isSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The plain document, from its root element on (the XML declaration and document type read
// before): <plist> holding one <dict>, and in it only the property list's elements.
class Scanner {
public:
    Scanner(const QString& text, qsizetype from)
        : s(text)
        , i(from) {}

    bool document() {
        skipSpace();
        if (!skipLiteral(u"<plist") || !plistAttributes())
            return false;
        skipSpace();
        const auto root = startTag();
        if (!root || root->name != u"dict" || !dictionary(*root, 1))
            return false;
        skipSpace();
        if (!skipLiteral(u"</plist>"))
            return false;
        skipSpace();
        return i == s.size();
    }

private:
    struct Tag {
        QString name;
        bool empty = false; // <name/>
    };

    void skipSpace() {
        while (i < s.size() && isSpace(s[i]))
            ++i;
    }

    bool skipLiteral(QStringView literal) {
        if (!QStringView(s).sliced(i).startsWith(literal))
            return false;
        i += literal.size();
        return true;
    }

    // Nothing or version="1.0", then '>'.
    bool plistAttributes() {
        static const QRegularExpression version(
            QStringLiteral(R"re((?:[ \t\r\n]+version[ \t\r\n]*=[ \t\r\n]*(?:"1\.0"|'1\.0'))?>)re"));
        const QRegularExpressionMatch match = version.match(
            s, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (!match.hasMatch())
            return false;
        i = match.capturedEnd();
        return true;
    }

    // <name> or <name/>, with a name of letters only: anything else there (a comment, CDATA, a
    // processing instruction, an attribute) is not plain.
    std::optional<Tag> startTag() {
        if (i >= s.size() || s[i] != u'<')
            return std::nullopt;
        qsizetype end = i + 1;
        while (end < s.size() && s[end].isLetter() && s[end].unicode() < 0x80)
            ++end;
        Tag tag{s.sliced(i + 1, end - i - 1)};
        if (tag.name.isEmpty())
            return std::nullopt;
        if (QStringView(s).sliced(end).startsWith(u"/>")) {
            tag.empty = true;
            i = end + 2;
        } else if (end < s.size() && s[end] == u'>') {
            i = end + 1;
        } else {
            return std::nullopt;
        }
        return tag;
    }

    bool endTag(const QString& name) {
        return skipLiteral(u"</") && skipLiteral(name) && skipLiteral(u">");
    }

    // The characters up to the next '<', which must close the element: literal characters
    // only, no references, no carriage return (libxml2 turns it into a line feed, libplist keeps
    // it), nothing XML forbids.
    std::optional<QStringView> text(const QString& name) {
        const qsizetype from = i;
        while (i < s.size() && s[i] != u'<') {
            const char16_t c = s[i].unicode();
            if (c == u'&' || c == u'\r' || (c < 0x20 && c != u'\t' && c != u'\n') || c == 0xFFFE ||
                c == 0xFFFF)
                return std::nullopt;
            if (c == u'>' && from + 2 <= i && s[i - 1] == u']' && s[i - 2] == u']')
                return std::nullopt; // "]]>" outside CDATA
            ++i;
        }
        const QStringView content = QStringView(s).sliced(from, i - from);
        if (!endTag(name))
            return std::nullopt;
        return content;
    }

    bool dictionary(const Tag& tag, int depth) {
        if (tag.empty)
            return true;
        QSet<QString> keys;
        for (;;) {
            skipSpace();
            if (skipLiteral(u"</dict>"))
                return true;
            const auto key = startTag();
            if (!key || key->name != u"key" || key->empty)
                return false;
            const auto name = text(key->name);
            if (!name || name->isEmpty() ||
                std::any_of(name->cbegin(), name->cend(), [](QChar c) { return isSpace(c); }))
                return false;
            const QString keyName = name->toString();
            if (keys.contains(keyName))
                return false;
            keys.insert(keyName);
            skipSpace();
            if (!value(depth))
                return false;
        }
    }

    bool array(const Tag& tag, int depth) {
        if (tag.empty)
            return true;
        for (;;) {
            skipSpace();
            if (skipLiteral(u"</array>"))
                return true;
            if (!value(depth))
                return false;
        }
    }

    bool value(int depth) {
        const auto tag = startTag();
        if (!tag)
            return false;
        const QString& name = tag->name;
        if (name == u"dict" || name == u"array") {
            if (depth >= maxDepth)
                return false;
            return name == u"dict" ? dictionary(*tag, depth + 1) : array(*tag, depth + 1);
        }
        if (name == u"true" || name == u"false")
            return tag->empty || endTag(name);
        if (name == u"string")
            return tag->empty || text(name).has_value();
        if (tag->empty)
            return false; // an empty number or data is no value both read alike
        static const QRegularExpression integer(QStringLiteral(R"re(\A(?:0|-?[1-9][0-9]*)\z)re"));
        static const QRegularExpression real(
            QStringLiteral(R"re(\A-?(?:0|[1-9][0-9]*)(?:\.[0-9]+)?\z)re"));
        static const QRegularExpression data(QStringLiteral(R"re(\A[A-Za-z0-9+/=\t\n ]*\z)re"));
        const QRegularExpression* form = name == u"integer" ? &integer
                                         : name == u"real"  ? &real
                                         : name == u"data"  ? &data
                                                            : nullptr;
        // Anything else, a date among them, is no element libgpod reads without crashing.
        if (!form)
            return false;
        const auto content = text(name);
        if (!content || !form->match(*content).hasMatch())
            return false;
        if (form != &integer)
            return true;
        bool fits = false; // both read 64 bits
        static_cast<void>(content->toLongLong(&fits));
        return fits;
    }

    const QString& s;
    qsizetype i;
};

enum class Encoding { utf8, utf16LE, utf16BE };

// The encoding libxml2 takes the bytes to be in, and how many bytes of byte-order mark lead.
std::pair<Encoding, qsizetype> detectedEncoding(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {Encoding::utf8, 3};
    if (bytes.startsWith("\xFF\xFE"))
        return {Encoding::utf16LE, 2};
    if (bytes.startsWith("\xFE\xFF"))
        return {Encoding::utf16BE, 2};
    if (bytes.startsWith(QByteArrayView("<\0?\0", 4)))
        return {Encoding::utf16LE, 0};
    if (bytes.startsWith(QByteArrayView("\0<\0?", 4)))
        return {Encoding::utf16BE, 0};
    return {Encoding::utf8, 0};
}

} // namespace

std::optional<QByteArray> plainText(QByteArrayView bytes) {
    if (bytes.size() > maxBytes)
        return std::nullopt;
    const auto [encoding, bom] = detectedEncoding(bytes);
    // A second byte-order mark stays a character, which no plain document starts with.
    QStringDecoder decoder(encoding == Encoding::utf8      ? QStringConverter::Utf8
                           : encoding == Encoding::utf16LE ? QStringConverter::Utf16LE
                                                           : QStringConverter::Utf16BE,
                           QStringConverter::Flag::Stateless |
                               QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder(bytes.sliced(bom));
    if (decoder.hasError())
        return std::nullopt;

    // The XML declaration, when there is one, must name the encoding the bytes are in; UTF-16
    // without a byte-order mark must be declared.
    static const QRegularExpression declaration(QStringLiteral(
        R"re(\A<\?xml[ \t\r\n]+version[ \t\r\n]*=[ \t\r\n]*(?:"1\.0"|'1\.0'))re"
        R"re((?:[ \t\r\n]+encoding[ \t\r\n]*=[ \t\r\n]*(?:"([A-Za-z0-9._-]+)"|'([A-Za-z0-9._-]+)'))?)re"
        R"re((?:[ \t\r\n]+standalone[ \t\r\n]*=[ \t\r\n]*(?:"(?:yes|no)"|'(?:yes|no)'))?)re"
        R"re([ \t\r\n]*\?>)re"));
    qsizetype body = 0;
    std::optional<QString> declared;
    if (text.startsWith(u"<?")) {
        const QRegularExpressionMatch match = declaration.match(text);
        if (!match.hasMatch())
            return std::nullopt; // any other processing instruction, or a malformed declaration
        body = match.capturedEnd();
        const QString name = match.captured(1) + match.captured(2);
        if (!name.isEmpty())
            declared = name.toUpper();
    }
    const QLatin1StringView expected(encoding == Encoding::utf8 ? "UTF-8" : "UTF-16");
    if ((declared && *declared != expected) ||
        (encoding != Encoding::utf8 && bom == 0 && !declared))
        return std::nullopt;

    // A document type without an internal subset (which could declare entities); libgpod never
    // loads an external one.
    static const QRegularExpression documentType(QStringLiteral(
        R"re([ \t\r\n]*<!DOCTYPE[ \t\r\n]+plist)re"
        R"re((?:[ \t\r\n]+(?:PUBLIC[ \t\r\n]+"[-A-Za-z0-9 ./:()+,=?;!*#@$_%']*"|SYSTEM))re"
        R"re([ \t\r\n]+"[-A-Za-z0-9._:/+]*")?[ \t\r\n]*>)re"));
    const QRegularExpressionMatch type = documentType.match(
        text, body, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
    const qsizetype root = type.hasMatch() ? type.capturedEnd() : body;
    if (!Scanner(text, root).document())
        return std::nullopt;

    QString plain = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    plain += QStringView(text).sliced(body);
    // Carriage returns are left only between elements and in the document type.
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(u'\r', u'\n');
    return plain.toUtf8();
}

std::optional<PropertyList> dictionary(QByteArrayView bytes) {
    const std::optional<QByteArray> text = plainText(bytes);
    return text ? PropertyList::parseDictionary(*text) : std::nullopt;
}

namespace {

// The file named name in the Device folder at the mount point, read up to limit + 1 bytes.
File deviceFile(const QString& mountPoint, const char* name, qint64 limit) {
    File file;
    const QByteArray mount = QFile::encodeName(mountPoint);
    const GLibHandles::CharPtr deviceDir{itdb_get_device_dir(mount.constData())};
    const GLibHandles::CharPtr path{deviceDir ? itdb_get_path(deviceDir.get(), name) : nullptr};
    if (!path)
        return file;
    file.path = QFile::decodeName(path.get());
    file.text = DatabaseFiles::read(file.path, limit + 1);
    return file;
}

} // namespace

File read(const QString& mountPoint) {
    File file = deviceFile(mountPoint, "SysInfoExtended", maxBytes);
    if (file.text)
        file.text = plainText(*file.text);
    return file;
}

File readSysInfo(const QString& mountPoint) {
    File file = deviceFile(mountPoint, "SysInfo", maxSysInfoBytes);
    if (file.text && file.text->size() > maxSysInfoBytes)
        file.text.reset();
    return file;
}

} // namespace DeviceDescription
