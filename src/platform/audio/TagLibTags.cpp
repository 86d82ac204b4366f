#include "platform/audio/TagLibTags.h"

#include "platform/audio/AudioMetadata.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <taglib/apetag.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>

#include <exception>
#include <type_traits>

namespace {

// ID3v1 and INFO text has no declared encoding; read it as our own tag readers do (UTF-8 when
// the bytes are valid UTF-8, else Latin-1), up to the first zero byte.
QString singleByteText(const TagLib::ByteVector& data) {
    const int end = data.find('\0');
    const auto size = end < 0 ? data.size() : unsigned(end);
    return decodeTagText(QByteArrayView(data.data(), qsizetype(size))).trimmed();
}

TagLib::String toTagLib(const QString& text) {
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

class ID3v1Text : public TagLib::ID3v1::StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector& data) const override {
        return toTagLib(singleByteText(data));
    }
};

class InfoText : public TagLib::RIFF::Info::StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector& data) const override {
        return toTagLib(singleByteText(data));
    }
};

void installStringHandlers() {
    static const bool installed = [] {
        static const ID3v1Text id3v1;
        static const InfoText info;
        TagLib::ID3v1::Tag::setStringHandler(&id3v1);
        TagLib::RIFF::Info::Tag::setStringHandler(&info);
        return true;
    }();
    (void)installed;
}

// Fills what is still missing from one tag's properties. Tag::properties() is not virtual:
// only the concrete tag's own gives the album artist and the other fields beyond the basic
// seven, so each caller passes its tag as the type it is.
template <typename ConcreteTag> void fill(TagLibTags::Tags& tags, const ConcreteTag* tag) {
    static_assert(std::is_base_of_v<TagLib::Tag, ConcreteTag> &&
                  !std::is_same_v<TagLib::Tag, ConcreteTag>);
    if (!tag)
        return;
    const TagLib::PropertyMap properties = tag->properties();
    const auto values = [&](const char* key) -> std::optional<QString> {
        const auto it = properties.find(key);
        if (it == properties.end())
            return std::nullopt;
        QStringList list;
        for (const TagLib::String& value : it->second)
            if (!value.isEmpty())
                list.append(QString::fromStdString(value.to8Bit(true)));
        if (list.isEmpty())
            return std::nullopt;
        return joinTagValues(list);
    };
    if (!tags.title)
        tags.title = values("TITLE");
    if (!tags.artist)
        tags.artist = values("ARTIST");
    if (!tags.album)
        tags.album = values("ALBUM");
    if (!tags.albumArtist)
        tags.albumArtist = values("ALBUMARTIST");
    if (!tags.genre)
        tags.genre = values("GENRE");
}

bool complete(const TagLibTags::Tags& tags) {
    return tags.title && tags.artist && tags.album && tags.albumArtist && tags.genre;
}

// Zero bytes a writer may leave between a first ID3v2 tag and a second one.
constexpr unsigned maxGapBytes = 64 * 1024;

} // namespace

namespace TagLibTags {

Tags readMpeg(const QString& path) {
    Tags tags;
    try {
        installStringHandlers();
        const QByteArray name = QFile::encodeName(path);
        TagLib::MPEG::File file(name.constData(), false);
        if (!file.isValid())
            return tags;
        if (file.hasID3v2Tag())
            fill(tags, file.ID3v2Tag());
        if (file.hasAPETag())
            fill(tags, file.APETag());
        if (file.hasID3v1Tag())
            fill(tags, file.ID3v1Tag());
        if (complete(tags) || !file.hasID3v2Tag())
            return tags;
        // TagLib reads the tag at the head of the file only; some writers add a second one
        // behind it, after padding.
        const long end = long(file.ID3v2Tag()->header()->completeTagSize());
        file.seek(end);
        const TagLib::ByteVector gap = file.readBlock(maxGapBytes);
        unsigned at = 0;
        while (at < gap.size() && gap[at] == '\0')
            ++at;
        if (at + 3 <= gap.size() && gap.mid(at, 3) == TagLib::ByteVector("ID3", 3)) {
            const TagLib::ID3v2::Tag second(&file, end + long(at));
            fill(tags, &second);
        }
    } catch (const std::exception&) {
        return {};
    }
    return tags;
}

Tags readWave(const QString& path) {
    Tags tags;
    try {
        installStringHandlers();
        const QByteArray name = QFile::encodeName(path);
        TagLib::RIFF::WAV::File file(name.constData(), false);
        if (!file.isValid())
            return tags;
        if (file.hasID3v2Tag())
            fill(tags, file.ID3v2Tag());
        if (file.hasInfoTag())
            fill(tags, file.InfoTag());
    } catch (const std::exception&) {
        return {};
    }
    return tags;
}

QString genreName(const QString& value) {
    static const QRegularExpression reference(QStringLiteral("^(?:\\((\\d{1,3})\\)|(\\d{1,3})$)"));
    const QRegularExpressionMatch match = reference.match(value);
    if (!match.hasMatch())
        return value;
    const QString number = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const TagLib::String name = TagLib::ID3v1::genre(number.toInt());
    return name.isEmpty() ? value : QString::fromStdString(name.to8Bit(true));
}

} // namespace TagLibTags
