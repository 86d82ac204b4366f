#include "transfer/TagReader.h"

#include "library/IPodDatabaseError.h"
#include "platform/OwnedFd.h"
#include "transfer/IPodTransfer.h"
#include "transfer/PosixError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longer album texts are cut; no tag needs more and the read stays bounded.
constexpr std::uint64_t maxProductBytes = 64 * 1024;

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path)
        : path_(path) {
        fd_.reset(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
        if (!fd_.isValid())
            throw PosixError::fromErrno(path);
        struct stat st {};
        if (fstat(fd_.get(), &st) != 0)
            throw PosixError::fromErrno(path);
        size_ = std::uint64_t(st.st_size);
    }

    std::uint64_t size() const { return size_; }

    // Exactly n bytes at offset, which the caller has checked lie inside the file.
    QByteArray read(std::uint64_t offset, std::uint64_t n) const {
        QByteArray out(qsizetype(n), '\0');
        std::uint64_t done = 0;
        while (done < n) {
            const ssize_t got =
                ::pread(fd_.get(), out.data() + done, size_t(n - done), off_t(offset + done));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw PosixError::fromErrno(path_);
            }
            if (got == 0)
                throw IPodDatabaseError::invalidTrack(); // the file shrank under us
            done += std::uint64_t(got);
        }
        return out;
    }

private:
    QString path_;
    OwnedFd fd_;
    std::uint64_t size_ = 0;
};

std::uint32_t le32(const QByteArray& b, int at) {
    const auto* u = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 |
           std::uint32_t(u[3]) << 24;
}

QString decodeProduct(QByteArray bytes) {
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    return text.trimmed();
}

} // namespace

std::optional<std::pair<QString, QString>> splitAtDashSeparator(const QString& text) {
    const qsizetype at = text.indexOf(QLatin1String(" - "));
    if (at < 0)
        return std::nullopt;
    QString left = text.left(at).trimmed();
    QString right = text.mid(at + 3).trimmed();
    if (left.isEmpty() || right.isEmpty())
        return std::nullopt;
    return std::make_pair(std::move(left), std::move(right));
}

std::optional<QString> parseWaveInfo(const QString& path) {
    const ReadOnlyFile file(path);
    const std::uint64_t length = file.size();
    if (length < 12)
        return std::nullopt;
    const QByteArray header = file.read(0, 12);
    if (!header.startsWith("RIFF") || header.mid(8, 4) != "WAVE")
        return std::nullopt;
    // Every offset is 64-bit: a 32-bit size near 4 GiB must not wrap around.
    std::uint64_t pos = 12;
    while (pos + 8 <= length) {
        const QByteArray chunk = file.read(pos, 8);
        const std::uint64_t size = le32(chunk, 4);
        const std::uint64_t end = pos + 8 + size;
        if (end > length)
            throw IPodDatabaseError::invalidTrack();
        if (chunk.startsWith("LIST") && size > 3 && file.read(pos + 8, 4) == "INFO") {
            std::uint64_t s = pos + 12;
            while (s + 8 <= end) {
                const QByteArray sub = file.read(s, 8);
                const std::uint64_t subSize = le32(sub, 4);
                if (s + 8 + subSize > end)
                    throw IPodDatabaseError::invalidTrack();
                if (sub.startsWith("IPRD")) {
                    const QString text =
                        decodeProduct(file.read(s + 8, std::min(subSize, maxProductBytes)));
                    if (!text.isEmpty())
                        return text;
                }
                s += 8 + subSize + (subSize % 2);
            }
        }
        pos = end + (size % 2);
    }
    return std::nullopt;
}

FileTags readTags(const QString& path, const AudioMetadata& commonMetadata,
                  const AudioMetadata& metadata, bool parseFilenameTags) {
    using namespace IPodTransfer;
    const QFileInfo info(path);
    const QString baseName =
        info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
    const auto commonTitle = metadataString(MetadataIdentifier::commonTitle, commonMetadata);
    const auto commonArtist = metadataString(MetadataIdentifier::commonArtist, commonMetadata);
    const auto commonAlbum = metadataString(MetadataIdentifier::commonAlbumName, commonMetadata);
    const auto id3Title = metadataString(MetadataIdentifier::id3Title, metadata);
    const auto id3Artist = metadataString(MetadataIdentifier::id3LeadPerformer, metadata);
    const auto id3Album = metadataString(MetadataIdentifier::id3AlbumTitle, metadata);

    const std::optional<QString> tagTitle = commonTitle ? commonTitle : id3Title;
    const QString tagArtist = commonArtist.value_or(id3Artist.value_or(QString()));
    QString rawAlbum;
    if (commonAlbum) {
        rawAlbum = *commonAlbum;
    } else if (id3Album) {
        rawAlbum = *id3Album;
    } else if (info.suffix().toLower() == QLatin1String("wav")) {
        try {
            rawAlbum = parseWaveInfo(path).value_or(QString());
        } catch (const std::exception&) {
            // A damaged or unreadable INFO list counts as no album.
        }
    }

    FileTags tags;
    QString fallbackArtist;
    bool titleFromFileName = false;
    if (parseFilenameTags) {
        const auto split = splitAtDashSeparator(baseName);
        if (tagTitle) {
            tags.title = *tagTitle;
        } else if (split) {
            tags.title = split->second;
            titleFromFileName = true;
        } else {
            tags.title = baseName;
        }
        if (split)
            fallbackArtist = split->first;
    } else {
        tags.title = tagTitle.value_or(baseName);
    }
    const QString chosenArtist = !tagArtist.isEmpty() ? tagArtist : fallbackArtist;
    tags.artist = stripLinkTail(chosenArtist);
    tags.album = albumOrDefault(stripLinkTail(rawAlbum));
    tags.tagsComplete = !titleFromFileName && tags.album == rawAlbum && tags.artist == tagArtist;
    return tags;
}
