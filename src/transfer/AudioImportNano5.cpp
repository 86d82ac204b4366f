// The fifth-generation nano's import: MP3 files the device plays as they are (44.1 kHz, one or
// two channels) go to the nano's own writer one by one, which places the file and commits the
// library itself. Nothing is converted; a file already on the device is skipped.

#include "transfer/AudioImport.h"

#include "library/IPodDatabase.h"
#include "library/Nano5Writer.h"
#include "library/VolumeWriteLock.h"
#include "platform/Task.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/AudioFile.h"
#include "platform/audio/FFmpegHandles.h"
#include "transfer/AudioFolderScan.h"
#include "transfer/AudioInspection.h"
#include "transfer/IPodTransfer.h"
#include "transfer/ImportError.h"
#include "transfer/PosixError.h"
#include "transfer/TagReader.h"
#include "transfer/TemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace IPodTransfer {

namespace {

const QString albumArtistIdentifier = QStringLiteral("id3/TPE2");
const QStringList nano5Extensions{QStringLiteral("mp3")};

std::filesystem::path pathOf(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

std::optional<qint64> sizeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.st_size);
}

// The first non-empty value under identifier, or none.
std::optional<QString> firstStringValue(const QString& identifier, const AudioMetadata& metadata) {
    for (const AudioMetadataItem& item : metadata) {
        if (item.identifier() == identifier && !item.value.isEmpty())
            return item.value;
    }
    return std::nullopt;
}

void checkAudio(int rc) {
    if (rc < 0)
        throw AudioError(AudioError::Kind::decode, rc);
}

// Decodes the whole audio stream to prove it plays, keeping nothing; returns the frames
// decoded (the length after the encoder's gapless trimming, which the stream's duration is not).
std::int64_t decodedFrameCount(AudioFile& file) {
    AVStream* stream = file.context()->streams[file.audioStreamIndex()];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        throw ImportError::nano5UnsupportedMP3();
    FFmpeg::Codec decoder(avcodec_alloc_context3(codec));
    FFmpeg::Packet packet(av_packet_alloc());
    FFmpeg::Frame frame(av_frame_alloc());
    if (!decoder || !packet || !frame)
        throw AudioError(AudioError::Kind::decode, AVERROR(ENOMEM));
    checkAudio(avcodec_parameters_to_context(decoder.get(), stream->codecpar));
    decoder->pkt_timebase = stream->time_base;
    checkAudio(avcodec_open2(decoder.get(), codec, nullptr));

    std::int64_t frames = 0;
    const auto drain = [&] {
        for (;;) {
            const int rc = avcodec_receive_frame(decoder.get(), frame.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc == AVERROR_INVALIDDATA)
                continue;
            checkAudio(rc);
            frames += frame->nb_samples;
            av_frame_unref(frame.get());
        }
    };
    for (;;) {
        Task::checkCancellation();
        // A disk error throws with the system's text; only the file's end ends the audio.
        const AudioFile::Read read = file.readPacket(packet.get());
        if (read == AudioFile::Read::end)
            break;
        if (read == AudioFile::Read::damaged)
            throw AudioError(AudioError::Kind::decode, AVERROR_INVALIDDATA);
        if (packet->stream_index == stream->index) {
            const int sent = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            // A damaged frame is skipped, as players do; the count then tells what decoded.
            if (sent != AVERROR_INVALIDDATA)
                checkAudio(sent);
            drain();
        } else {
            av_packet_unref(packet.get());
        }
    }
    checkAudio(avcodec_send_packet(decoder.get(), nullptr));
    drain();
    return frames;
}

class Nano5ImportRun {
public:
    Nano5ImportRun(const ImportTarget& device, const QByteArray& sysInfoExtended,
                   bool parseFilenameTags, const ImportProgressSink& progress)
        : device(device)
        , sysInfoExtended(sysInfoExtended)
        , parseFilenameTags(parseFilenameTags)
        , progress(progress) {}

    ImportResult run(const QStringList& urls);

private:
    void publish(const QString& name, const QString& stage, int index, double fraction) {
        if (progress)
            progress({name, stage, index + 1, fileCount, fraction});
    }
    void checkpoint() {
        Task::checkCancellation();
        device.verifyIdentity();
        // The nano's writer refuses to write through a link; the run ends at one rather than
        // failing every file after it.
        if (const std::optional<QString> linked =
                IPodDatabase::linkedLibraryFolder(device.mountPoint))
            throw ImportError::linkedFolder(*linked);
    }
    bool isOnDevice(const QString& staging, qint64 size) const;
    void importFile(int index);

    const ImportTarget& device;
    const QByteArray& sysInfoExtended;
    const bool parseFilenameTags;
    const ImportProgressSink& progress;

    QStringList files;
    int fileCount = 0;
    QHash<qint64, QStringList> sizeIndex;
    QString temporaryFolder;
    ImportResult result;
};

bool Nano5ImportRun::isOnDevice(const QString& staging, qint64 size) const {
    const auto found = sizeIndex.constFind(size);
    if (found == sizeIndex.constEnd())
        return false;
    for (const QString& candidate : *found) {
        if (contentsEqual(staging, candidate))
            return true;
    }
    return false;
}

void Nano5ImportRun::importFile(int index) {
    const QString& source = files[index];
    const QString name = QFileInfo(source).fileName();
    const QString staging = QDir(temporaryFolder).filePath(QStringLiteral("%1.mp3").arg(index));
    try {
        struct stat info {};
        if (::stat(QFile::encodeName(source).constData(), &info) != 0)
            throw PosixError::fromErrno(source);
        if (QFileInfo(source).suffix().toLower() != QLatin1String("mp3") || !S_ISREG(info.st_mode))
            throw ImportError::nano5UnsupportedMP3();

        publish(name, ImportStage::copying, index, double(index) / fileCount);
        std::error_code copyError;
        std::filesystem::copy_file(pathOf(source), pathOf(staging), copyError);
        if (copyError)
            throw PosixError(copyError.value(), source);

        const std::optional<qint64> size = sizeOf(staging);
        if (!size)
            throw PosixError::fromErrno(staging);
        if (isOnDevice(staging, *size)) {
            ++result.skippedIdentical;
            publish(name, ImportStage::skippedIdenticalFile, index, double(index + 1) / fileCount);
            QFile::remove(staging);
            return;
        }

        std::int64_t frames = 0;
        int channels = 0;
        AudioMetadata common;
        AudioMetadata metadata;
        {
            AudioFile audio = openImportedAudio(staging);
            if (!audio.hasAudio() || audio.formatID() != AudioFormatID::mpegLayer3 ||
                audio.sampleRate() != 44100 || audio.channels() < 1 || audio.channels() > 2)
                throw ImportError::nano5UnsupportedMP3();
            frames = decodedFrameCount(audio);
            if (frames < 1)
                throw ImportError::unsupportedAudio();
            channels = audio.channels();
            common = audio.commonMetadata();
            metadata = audio.metadata();
        }
        // Names inferred from the file name are the source's, not the staging copy's.
        const FileTags tags = readTags(source, common, metadata, parseFilenameTags);
        const QString albumArtist =
            firstStringValue(albumArtistIdentifier, metadata).value_or(QString());

        publish(name, ImportStage::savingLibrary, index, (index + 0.75) / fileCount);
        const std::filesystem::path added = Nano5Playlist::importTrack(
            pathOf(staging), tags.title, tags.artist, tags.album, albumArtist, frames, 44100,
            std::uint32_t(channels), sysInfoExtended, pathOf(device.mountPoint),
            device.verifyIdentity);
        // A second copy of the same bytes later in this run is skipped.
        sizeIndex[*size].append(QFile::decodeName(added.c_str()));
        publish(name, ImportStage::savingLibrary, index, double(index + 1) / fileCount);
        QFile::remove(staging);
    } catch (const CancellationError&) {
        QFile::remove(staging);
        throw;
    } catch (const std::exception& error) {
        QFile::remove(staging);
        checkpoint(); // a cancel or a lost device ends the run rather than failing one file
        result.failures.append(failureLine(name, error));
    }
}

ImportResult Nano5ImportRun::run(const QStringList& urls) {
    for (const QString& url : urls) {
        if (QFileInfo(url).isDir())
            files += scanAudioFolder(url, nano5Extensions);
        else
            files.append(url);
    }
    fileCount = int(files.size());
    if (fileCount == 0)
        throw ImportError::emptyAudioFolder();

    checkpoint();
    // Held for the whole run, which reads the device's files to skip copies of them.
    const VolumeWriteLock lock(device.mountPoint);
    Nano5Playlist::recoverTransactions(pathOf(device.mountPoint), device.verifyIdentity);
    {
        // The session only tells which files the device holds; the writer reads the library
        // itself for every file.
        const std::unique_ptr<IPodDatabase> database = device.openDatabase();
        for (const QString& file : database->allTrackFileURLs()) {
            if (const auto size = sizeOf(file))
                sizeIndex[*size].append(file);
        }
    }

    const TemporaryFolder temporary;
    temporaryFolder = temporary.path();
    for (int index = 0; index < fileCount; ++index) {
        checkpoint();
        importFile(index);
    }
    return result;
}

} // namespace

ImportResult importNano5Audio(const QStringList& urls, const ImportTarget& device,
                              const QByteArray& sysInfoExtended, bool parseFilenameTags,
                              const ImportProgressSink& progress) {
    Nano5ImportRun run(device, sysInfoExtended, parseFilenameTags, progress);
    return run.run(urls);
}

} // namespace IPodTransfer
