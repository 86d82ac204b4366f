#include "AudioFixtures.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace TestSupport {

namespace {

QByteArray be32(quint32 v) {
    QByteArray b(4, '\0');
    b[0] = char(v >> 24);
    b[1] = char(v >> 16);
    b[2] = char(v >> 8);
    b[3] = char(v);
    return b;
}

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    b[0] = char(v);
    b[1] = char(v >> 8);
    b[2] = char(v >> 16);
    b[3] = char(v >> 24);
    return b;
}

QByteArray syncsafe(quint32 v) {
    QByteArray b(4, '\0');
    b[0] = char((v >> 21) & 0x7F);
    b[1] = char((v >> 14) & 0x7F);
    b[2] = char((v >> 7) & 0x7F);
    b[3] = char(v & 0x7F);
    return b;
}

QByteArray frame(const char* id, const QByteArray& body) {
    return QByteArray(id, 4) + be32(quint32(body.size())) + QByteArray(2, '\0') + body;
}

// UTF-16 with a byte-order mark, the ID3v2.3 way of writing any text.
QByteArray utf16(const QString& text) {
    QByteArray out("\xFF\xFE", 2);
    out.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return out;
}

QByteArray textFrame(const char* id, const QString& text) {
    return frame(id, QByteArray(1, '\x01') + utf16(text));
}

QString expression(double amplitude, double frequency) {
    return QStringLiteral("%1*sin(2*PI*%2*t)").arg(amplitude).arg(frequency);
}

} // namespace

bool hasFFmpegTool() {
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

bool runFFmpeg(const QStringList& arguments) {
    QProcess process;
    QStringList args{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"),
                     QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y")};
    args += arguments;
    process.start(QStringLiteral("ffmpeg"), args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << "ffmpeg " << args.join(QLatin1Char(' ')).toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

QByteArray id3v23Tag(const AudioTags& tags, const QByteArray& picture,
                     const QByteArray& pictureMime) {
    QByteArray frames;
    if (!tags.title.isEmpty())
        frames += textFrame("TIT2", tags.title);
    if (!tags.artist.isEmpty())
        frames += textFrame("TPE1", tags.artist);
    if (!tags.album.isEmpty())
        frames += textFrame("TALB", tags.album);
    if (!tags.albumArtist.isEmpty())
        frames += textFrame("TPE2", tags.albumArtist);
    if (!tags.genre.isEmpty())
        frames += textFrame("TCON", tags.genre);
    if (!tags.lyrics.isEmpty())
        frames += frame("USLT", QByteArray(1, '\x01') + QByteArray("eng") + utf16(QString()) +
                                    QByteArray(2, '\0') + utf16(tags.lyrics));
    if (!picture.isEmpty())
        frames += frame("APIC", QByteArray(1, '\0') + pictureMime + QByteArray(1, '\0') +
                                    QByteArray(1, '\x03') + QByteArray(1, '\0') + picture);
    return QByteArray("ID3\x03\x00\x00", 6) + syncsafe(quint32(frames.size())) + frames;
}

bool makeTone(const QString& path, const ToneSpec& spec) {
    QStringList exprs;
    for (int c = 0; c < spec.channels; ++c)
        exprs << expression(spec.amplitude, spec.frequency * (1 + 0.25 * c));
    QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("aevalsrc=%1:s=%2:d=%3")
                         .arg(exprs.join(QLatin1Char('|')))
                         .arg(spec.sampleRate)
                         .arg(spec.seconds)};
    const bool mp3 = spec.codec == QLatin1String("mp3");
    const bool withCover = !spec.coverPath.isEmpty() && !mp3;
    if (withCover)
        args << QStringLiteral("-i") << spec.coverPath << QStringLiteral("-map")
             << QStringLiteral("0:a") << QStringLiteral("-map") << QStringLiteral("1:v")
             << QStringLiteral("-c:v") << QStringLiteral("copy")
             << QStringLiteral("-disposition:v:0") << QStringLiteral("attached_pic");
    QString codec = spec.codec;
    if (mp3)
        codec = QStringLiteral("libmp3lame");
    args << QStringLiteral("-c:a") << codec;
    if (mp3) {
        args << QStringLiteral("-id3v2_version") << QStringLiteral("0");
    } else {
        const QPair<const char*, QString> items[] = {
            {"title", spec.tags.title}, {"artist", spec.tags.artist},
            {"album", spec.tags.album}, {"album_artist", spec.tags.albumArtist},
            {"genre", spec.tags.genre}, {"lyrics", spec.tags.lyrics},
        };
        for (const auto& [key, value] : items)
            if (!value.isEmpty())
                args << QStringLiteral("-metadata")
                     << QStringLiteral("%1=%2").arg(QLatin1String(key), value);
    }
    args += spec.extraArgs;
    args << path;
    if (!runFFmpeg(args))
        return false;
    if (!mp3)
        return true;
    const AudioTags& t = spec.tags;
    QByteArray picture;
    QByteArray mime = QByteArrayLiteral("image/png");
    if (!spec.coverPath.isEmpty()) {
        QFile cover(spec.coverPath);
        if (!cover.open(QIODevice::ReadOnly))
            return false;
        picture = cover.readAll();
        if (picture.startsWith("\xFF\xD8"))
            mime = QByteArrayLiteral("image/jpeg");
    }
    if (t.title.isEmpty() && t.artist.isEmpty() && t.album.isEmpty() && t.albumArtist.isEmpty() &&
        t.genre.isEmpty() && t.lyrics.isEmpty() && picture.isEmpty())
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray audio = file.readAll();
    file.seek(0);
    file.write(id3v23Tag(t, picture, mime) + audio);
    return true;
}

bool makePicture(const QString& path, int width, int height, const QString& colour) {
    QStringList args{QStringLiteral("-f"),
                     QStringLiteral("lavfi"),
                     QStringLiteral("-i"),
                     QStringLiteral("color=c=%1:s=%2x%3:d=1").arg(colour).arg(width).arg(height),
                     QStringLiteral("-frames:v"),
                     QStringLiteral("1")};
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        args << QStringLiteral("-pix_fmt") << QStringLiteral("yuvj420p");
    if (ext == QLatin1String("gif"))
        args << QStringLiteral("-pix_fmt") << QStringLiteral("rgb8");
    args << QStringLiteral("-update") << QStringLiteral("1") << path;
    return runFFmpeg(args);
}

bool setFlacComments(const QString& path, const QList<QPair<QString, QString>>& fields) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    file.close();
    if (!bytes.startsWith("fLaC"))
        return false;
    QList<QPair<int, QByteArray>> blocks;
    qsizetype pos = 4;
    for (;;) {
        if (pos + 4 > bytes.size())
            return false;
        const auto* h = reinterpret_cast<const unsigned char*>(bytes.constData() + pos);
        const int type = h[0] & 0x7F;
        const qsizetype length = qsizetype(h[1]) << 16 | qsizetype(h[2]) << 8 | h[3];
        if (type != 4)
            blocks.append({type, bytes.mid(pos + 4, length)});
        pos += 4 + length;
        if (h[0] & 0x80)
            break;
    }
    QByteArray comment = le32(9) + QByteArray("Lorvanel ");
    comment += le32(quint32(fields.size()));
    for (const auto& [name, value] : fields) {
        const QByteArray field = name.toUtf8() + '=' + value.toUtf8();
        comment += le32(quint32(field.size())) + field;
    }
    blocks.insert(1, {4, comment});
    QByteArray out("fLaC");
    for (int i = 0; i < blocks.size(); ++i) {
        const auto& [type, body] = blocks[i];
        const quint32 length = quint32(body.size());
        out += char((i == blocks.size() - 1 ? 0x80 : 0) | type);
        out += char(length >> 16);
        out += char(length >> 8);
        out += char(length);
        out += body;
    }
    out += bytes.mid(pos);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(out) == out.size();
}

QByteArray riffWave(const QList<QPair<QByteArray, QByteArray>>& chunks, bool padOdd) {
    QByteArray body("WAVE");
    for (const auto& [id, data] : chunks) {
        body += id.left(4) + le32(quint32(data.size())) + data;
        if (padOdd && data.size() % 2)
            body += '\0';
    }
    return QByteArray("RIFF") + le32(quint32(body.size())) + body;
}

} // namespace TestSupport
