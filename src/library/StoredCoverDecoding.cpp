#include "library/StoredCoverDecoding.h"

#include "library/ArtworkDBImages.h"
#include "library/ArtworkFormats.h"
#include "library/CoverProcessProtocol.h"
#include "library/DatabasePreflight.h"
#include "library/GLibHandles.h"
#include "library/IPodDatabase.h"
#include "platform/GuardedAllocations.h"
#include "platform/OwnedFd.h"

#include <QFile>
#include <QHash>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include <poll.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

namespace Protocol = CoverProcessProtocol;
using PixbufPtr = GLibHandles::ObjectPtr<GdkPixbuf>;

// How the process ends; the client only sees the socket close.
enum Exit : int { idle = 0, notSetUp = 4, brokenRequest = 5, clientGone = 6 };

// Reads the first three channels of a pixbuf's pixels.
class Pixels {
public:
    explicit Pixels(const GdkPixbuf* pixbuf)
        : data_(gdk_pixbuf_read_pixels(pixbuf))
        , width_(gdk_pixbuf_get_width(pixbuf))
        , height_(gdk_pixbuf_get_height(pixbuf))
        , stride_(gdk_pixbuf_get_rowstride(pixbuf))
        , channels_(gdk_pixbuf_get_n_channels(pixbuf)) {}
    bool isValid() const { return data_ && channels_ >= 3; }
    int width() const { return width_; }
    int height() const { return height_; }
    const guint8* at(int row, int column) const {
        return data_ + qsizetype(row) * stride_ + qsizetype(column) * channels_;
    }

private:
    const guint8* data_;
    int width_;
    int height_;
    int stride_;
    int channels_;
};

int difference(const guint8* a, const guint8* b) {
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

constexpr int strongDifference = 139;

PixbufPtr thumbnailOf(Itdb_Track* track, int width, int height) {
    // A read past a buffer libgpod made here faults at once (where the guarded allocator is
    // linked) rather than turning other bytes into a cover.
    const GuardedAllocations::Scope guarded;
    return PixbufPtr(static_cast<GdkPixbuf*>(itdb_track_get_thumbnail(track, width, height)));
}

class Decoder {
public:
    explicit Decoder(const IPodDatabase& database)
        : generation_(database.generation())
        , formats_(ArtworkFormats::ofDatabase(database.database())) {
        for (GList* link = database.database()->tracks; link; link = link->next) {
            auto* track = static_cast<Itdb_Track*>(link->data);
            if (track)
                tracks_.insert(track->dbid, track);
        }
        const QByteArray mountPoint = QFile::encodeName(database.mountPoint());
        const GLibHandles::CharPtr path(itdb_get_artworkdb_path(mountPoint.constData()));
        const GLibHandles::CharPtr folder(itdb_get_artwork_dir(mountPoint.constData()));
        if (path && folder)
            stored_ = ArtworkDBImages::read(QFile::decodeName(path.get()),
                                            QFile::decodeName(folder.get()));
    }

    // The answer for one track, as the protocol sends it.
    QByteArray answer(quint64 id) const {
        QByteArray bytes;
        Protocol::appendU64(bytes, id);
        const auto state = [&bytes](Protocol::State value) {
            bytes += char(value);
            Protocol::appendU32(bytes, 0);
            return bytes;
        };
        Itdb_Track* track = tracks_.value(id);
        if (!track || !itdb_track_has_thumbnails(track))
            return state(Protocol::State::none);
        const Itdb_Artwork* artwork = track->artwork;
        PixbufPtr pixbuf;
        QList<QSize> sizes;
        if (stored_.isSound(artwork ? artwork->id : 0, track->mhii_link, track->dbid)) {
            // Every thumbnail passes: libgpod takes the largest.
            pixbuf = thumbnailOf(track, -1, -1);
        } else {
            // Those that pass are asked for alone, the largest first; the cover is damaged
            // only when none does.
            if (artwork)
                sizes = stored_.decodableSizes(artwork->id, artwork->dbid, formats_);
            if (sizes.isEmpty())
                return state(Protocol::State::damaged);
            pixbuf = thumbnailOf(track, sizes.first().width(), sizes.first().height());
        }
        if (!pixbuf || StoredCoverDecoding::isNoisy(pixbuf.get()) ||
            isDamagedNano2(pixbuf, track, sizes))
            return state(Protocol::State::damaged);
        const Pixels pixels(pixbuf.get());
        const std::optional<qsizetype> size =
            Protocol::pixelBytes(quint32(pixels.width()), quint32(pixels.height()));
        if (!pixels.isValid() || !size)
            return state(Protocol::State::damaged);
        bytes += char(Protocol::State::image);
        Protocol::appendU32(bytes, quint32(pixels.width()));
        Protocol::appendU32(bytes, quint32(pixels.height()));
        bytes.reserve(bytes.size() + *size);
        for (int row = 0; row < pixels.height(); ++row) {
            for (int column = 0; column < pixels.width(); ++column) {
                const guint8* pixel = pixels.at(row, column);
                bytes.append(reinterpret_cast<const char*>(pixel), Protocol::bytesPerPixel);
            }
        }
        return bytes;
    }

private:
    // decodable: the sizes that may be asked for, or every size when empty.
    bool isDamagedNano2(const PixbufPtr& large, Itdb_Track* track,
                        const QList<QSize>& decodable) const {
        if (generation_ != ITDB_IPOD_GENERATION_NANO_2 ||
            gdk_pixbuf_get_width(large.get()) != 100 || gdk_pixbuf_get_height(large.get()) != 100 ||
            (!decodable.isEmpty() && !decodable.contains(QSize(42, 42))))
            return false;
        const PixbufPtr small = thumbnailOf(track, 42, 42);
        return small && StoredCoverDecoding::isDamagedNano2Thumbnail(large.get(), small.get());
    }

    int generation_ = 0;
    std::optional<QSet<quint32>> formats_;
    QHash<quint64, Itdb_Track*> tracks_;
    ArtworkDBImages stored_;
};

} // namespace

namespace StoredCoverDecoding {

void allowCPUSeconds(int seconds) {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    // Whole seconds, rounded up from the sum: rounding each part down would leave the cover
    // as little as a second less than its allowance.
    const auto microseconds = [](const timeval& time) {
        return qint64(time.tv_sec) * 1000000 + time.tv_usec;
    };
    const qint64 spent = microseconds(usage.ru_utime) + microseconds(usage.ru_stime);
    const rlim_t used = rlim_t((spent + 999999) / 1000000);
    rlimit cpu{};
    if (::getrlimit(RLIMIT_CPU, &cpu) != 0)
        return;
    cpu.rlim_cur = used + rlim_t(std::max(seconds, 1));
    if (cpu.rlim_max != RLIM_INFINITY)
        cpu.rlim_cur = std::min(cpu.rlim_cur, cpu.rlim_max);
    ::setrlimit(RLIMIT_CPU, &cpu);
}

bool isNoisy(const GdkPixbuf* pixbuf) {
    const Pixels pixels(pixbuf);
    const int width = pixels.width();
    const int height = pixels.height();
    if (width < 24 || height < 24 || !pixels.isValid())
        return false;
    const int band = height < 40 ? 4 : height / 10;
    const qint64 needed = 7LL * band * (width - 1);
    for (int start = 0; start < height; start += band) {
        const int first = std::min(start, height - 1 - band);
        qint64 horizontal = 0;
        qint64 vertical = 0;
        quint64 buckets = 0;
        for (int row = first; row < first + band; ++row) {
            for (int x = 0; x + 1 < width; ++x) {
                const guint8* pixel = pixels.at(row, x);
                horizontal += difference(pixel, pixels.at(row, x + 1)) > strongDifference;
                vertical += difference(pixel, pixels.at(row + 1, x)) > strongDifference;
                buckets |= quint64(1)
                           << ((pixel[0] >> 6) * 16 + (pixel[1] >> 6) * 4 + (pixel[2] >> 6));
            }
        }
        if (__builtin_popcountll(buckets) >= 48 && 10 * horizontal >= needed &&
            10 * vertical >= needed)
            return true;
    }
    return false;
}

bool isDamagedNano2Thumbnail(const GdkPixbuf* largePixbuf, const GdkPixbuf* smallPixbuf) {
    const Pixels large(largePixbuf);
    const Pixels small(smallPixbuf);
    if (large.width() != 100 || large.height() != 100 || !large.isValid() || small.width() != 42 ||
        small.height() != 42 || !small.isValid())
        return false;

    int matching = 0;
    int broken = 0;
    for (int band = 0; band < 6; ++band) {
        qint64 sum = 0;
        int brokenLarge = 0;
        int brokenSmall = 0;
        for (int m = band * 6; m < band * 6 + 6; ++m) {
            const int row = (200 * m + 100) / 84;
            for (int c = 0; c < 42; ++c) {
                const int column = (200 * c + 100) / 84;
                const guint8* big = large.at(row, column);
                const guint8* little = small.at(m, c);
                sum += difference(big, little);
                brokenLarge += difference(big, large.at(row + 1, column)) > strongDifference;
                brokenSmall += difference(little, small.at(m + 1, c)) > strongDifference;
            }
        }
        matching += sum <= 8820;
        broken += sum > 45'359 && brokenLarge >= 42 && brokenSmall <= 12;
    }
    return matching > 1 && broken > 1;
}

int runProcess(int argc, char** argv) {
    QString mountPoint;
    std::optional<int> productID;
    bool withSysInfoExtended = false;
    qint64 memoryBytes = 0;
    int openCPUSeconds = 20;
    int coverCPUSeconds = 5;
    int idleSeconds = 60;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        const bool hasValue = i + 1 < argc;
        if (argument == "--covers")
            continue;
        if (argument == "--mount" && hasValue)
            mountPoint = QFile::decodeName(argv[++i]);
        else if (argument == "--product-id" && hasValue)
            productID = QByteArray(argv[++i]).toInt();
        else if (argument == "--memory-bytes" && hasValue)
            memoryBytes = QByteArray(argv[++i]).toLongLong();
        else if (argument == "--open-cpu-seconds" && hasValue)
            openCPUSeconds = QByteArray(argv[++i]).toInt();
        else if (argument == "--cover-cpu-seconds" && hasValue)
            coverCPUSeconds = QByteArray(argv[++i]).toInt();
        else if (argument == "--idle-seconds" && hasValue)
            idleSeconds = QByteArray(argv[++i]).toInt();
        else if (argument == "--sysinfo-extended")
            withSysInfoExtended = true;
        else
            return notSetUp;
    }
    if (mountPoint.isEmpty() || idleSeconds < 1)
        return notSetUp;
    const int out = DatabasePreflight::setUpHelperProcess(memoryBytes);
    if (out < 0)
        return notSetUp;
    const int in = STDIN_FILENO;

    std::optional<QByteArray> sysInfoExtended;
    if (withSysInfoExtended) {
        char length[4];
        if (!DescriptorIO::readExactly(in, length, 4) ||
            Protocol::u32At(length) > Protocol::maxDescriptionBytes)
            ::_exit(notSetUp);
        sysInfoExtended = QByteArray(qsizetype(Protocol::u32At(length)), Qt::Uninitialized);
        if (!DescriptorIO::readExactly(in, sysInfoExtended->data(), sysInfoExtended->size()))
            ::_exit(notSetUp);
    }
    allowCPUSeconds(openCPUSeconds);
    // Opened as the helper's first read opens it. Nothing is freed: the process is ended.
    const IPodDatabase* database = nullptr;
    try {
        database = new IPodDatabase(
            mountPoint, sysInfoExtended, [productID] { return productID; }, {}, false,
            SessionAccess::reading);
    } catch (...) {
        ::_exit(notSetUp);
    }
    const auto* decoder = new Decoder(*database);
    if (!DescriptorIO::writeAll(out, QByteArray(1, Protocol::ready)))
        ::_exit(clientGone);

    while (true) {
        pollfd wait{in, POLLIN, 0};
        const int polled = ::poll(&wait, 1, idleSeconds * 1000);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0)
            ::_exit(idle);
        char head[4];
        if (!DescriptorIO::readExactly(in, head, 4))
            ::_exit(clientGone);
        const quint32 count = Protocol::u32At(head);
        if (count < 1 || count > Protocol::maxIDs)
            ::_exit(brokenRequest);
        QByteArray ids(qsizetype(count) * 8, Qt::Uninitialized);
        if (!DescriptorIO::readExactly(in, ids.data(), ids.size()) ||
            !DescriptorIO::writeAll(out, QByteArray(head, 4)))
            ::_exit(clientGone);
        for (quint32 i = 0; i < count; ++i) {
            allowCPUSeconds(coverCPUSeconds);
            if (!DescriptorIO::writeAll(out,
                                        decoder->answer(Protocol::u64At(ids.constData() + 8 * i))))
                ::_exit(clientGone);
        }
    }
}

} // namespace StoredCoverDecoding
