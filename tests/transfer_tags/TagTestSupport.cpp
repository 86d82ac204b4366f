#include "TagTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>

namespace TagTest {

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(data), data.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}

bool haveTool(const QString& name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

namespace {

QByteArray run(const QString& program, const QStringList& arguments, bool* ok) {
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(120000);
    *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!*ok)
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

} // namespace

bool ffmpeg(const QStringList& arguments) {
    bool ok = false;
    run(QStringLiteral("ffmpeg"),
        QStringList{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"),
                    QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y")} +
            arguments,
        &ok);
    return ok;
}

QJsonObject ffprobe(const QString& path) {
    bool ok = false;
    const QByteArray out =
        run(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
             QStringLiteral("json"), QStringLiteral("-show_format"),
             QStringLiteral("-show_streams"), path},
            &ok);
    return QJsonDocument::fromJson(out).object();
}

QString decodedAudioMD5(const QString& path) {
    bool ok = false;
    const QByteArray out =
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
             QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:a"),
             QStringLiteral("-f"), QStringLiteral("md5"), QStringLiteral("-")},
            &ok);
    return QString::fromLatin1(out).trimmed();
}

QByteArray syncsafe(quint32 value) {
    QByteArray out;
    for (int shift = 21; shift >= 0; shift -= 7)
        out.append(char((value >> shift) & 0x7F));
    return out;
}

QByteArray be32(quint32 value) {
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
    return out;
}

QByteArray be24(quint32 value) {
    return be32(value).mid(1);
}

QByteArray frame(int version, const QByteArray& id, const QByteArray& data,
                 const QByteArray& flags) {
    if (version == 2)
        return id + be24(quint32(data.size())) + data;
    return id + (version == 4 ? syncsafe(quint32(data.size())) : be32(quint32(data.size()))) +
           flags + data;
}

QByteArray latin1Text(const QByteArray& text) {
    return QByteArray(1, '\0') + text;
}

QByteArray tag(int version, quint8 flags, const QByteArray& body) {
    QByteArray out("ID3");
    out.append(char(version)).append('\0').append(char(flags));
    return out + syncsafe(quint32(body.size())) + body;
}

std::optional<ParsedFrame> ParsedTag::find(const QByteArray& id) const {
    for (const ParsedFrame& f : frames)
        if (f.id == id)
            return f;
    return std::nullopt;
}

int ParsedTag::count(const QByteArray& id) const {
    int n = 0;
    for (const ParsedFrame& f : frames)
        n += f.id == id;
    return n;
}

ParsedTag parse(const QByteArray& bytes) {
    ParsedTag result;
    if (bytes.size() < 10 || !bytes.startsWith("ID3")) {
        ADD_FAILURE() << "no ID3 header";
        return result;
    }
    result.version = quint8(bytes[3]);
    EXPECT_EQ(quint8(bytes[4]), 0);
    result.flags = quint8(bytes[5]);
    for (int i = 6; i < 10; ++i) {
        EXPECT_LT(quint8(bytes[i]), 0x80) << "header size byte " << i;
        result.size = (result.size << 7) | (quint8(bytes[i]) & 0x7F);
    }
    EXPECT_EQ(result.size + 10, bytes.size()) << "the header size counts everything after it";
    const QByteArray body = bytes.mid(10);
    const int idBytes = result.version == 2 ? 3 : 4;
    const int headerBytes = result.version == 2 ? 6 : 10;
    qint64 pos = 0;
    while (pos < body.size() && body[pos] != '\0') {
        if (pos + headerBytes > body.size()) {
            ADD_FAILURE() << "frame header past the body at " << pos;
            return result;
        }
        qint64 size = 0;
        for (int i = 0; i < idBytes; ++i) {
            const quint8 b = quint8(body[pos + idBytes + i]);
            size = result.version == 4 ? (size << 7) | (b & 0x7F) : (size << 8) | b;
        }
        if (pos + headerBytes + size > body.size()) {
            ADD_FAILURE() << "frame past the body at " << pos;
            return result;
        }
        ParsedFrame f;
        f.id = body.mid(pos, idBytes);
        f.flags = result.version == 2 ? QByteArray() : body.mid(pos + 2 * idBytes, 2);
        f.data = body.mid(pos + headerBytes, size);
        result.frames.push_back(f);
        pos += headerBytes + size;
    }
    result.padding = body.mid(pos);
    return result;
}

QString utf16Text(const QByteArray& data) {
    if (data.size() < 3 || data[0] != '\x01' || quint8(data[1]) != 0xFF ||
        quint8(data[2]) != 0xFE) {
        ADD_FAILURE() << "not UTF-16 with a little-endian byte-order mark";
        return {};
    }
    QString text;
    for (qint64 i = 3; i + 1 < data.size(); i += 2)
        text.append(QChar(char16_t(quint8(data[i]) | (quint8(data[i + 1]) << 8))));
    return text;
}

} // namespace TagTest
