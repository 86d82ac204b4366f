// A whole import of 200 files that all need converting, against the same conversions made one
// after the other by the ffmpeg tool, with the ratio.
// Usage: lorvanel_import_bench [work folder] [file count] (defaults: the temporary folder, 200).

#include "device/DeviceImportTarget.h"
#include "device/IPodDevice.h"
#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"
#include "transfer/AudioImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool run(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                        QStringLiteral("error"), QStringLiteral("-y")} +
                args);
    p.waitForFinished(-1);
    if (p.exitCode() != 0)
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
    return p.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    QTemporaryDir dir(base + QStringLiteral("/import-bench-XXXXXX"));
    QDir().mkpath(dir.filePath(QStringLiteral("in")));
    QDir().mkpath(dir.filePath(QStringLiteral("cli")));

    // Ten seconds of a different music-like signal per file, as FLAC, which is always converted.
    QStringList sources;
    for (int i = 0; i < count; ++i) {
        const QString source =
            dir.filePath(QStringLiteral("in/%1.flac").arg(i, 3, 10, QLatin1Char('0')));
        const QString f = QString::number(180 + i);
        run({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral(
                 "aevalsrc=0.2*sin(2*PI*%1*t)*(1+0.5*sin(2*PI*0.5*t))+0.1*sin(2*PI*330*t)+"
                 "0.02*(random(0)-0.5)|0.2*sin(2*PI*%1*1.26*t)+0.02*(random(1)-0.5)"
                 ":s=44100:d=10")
                 .arg(f),
             QStringLiteral("-c:a"), QStringLiteral("flac"), source});
        sources.append(source);
    }

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        run({QStringLiteral("-i"), sources[i], QStringLiteral("-c:a"), QStringLiteral("aac"),
             QStringLiteral("-b:a"), QStringLiteral("320k"), QStringLiteral("-ar"),
             QStringLiteral("44100"), QStringLiteral("-ac"), QStringLiteral("2"),
             dir.filePath(QStringLiteral("cli/%1.m4a").arg(i))});
    const double cli = timer.elapsed() / 1000.0;

    TestSupport::IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({});
    volume.write();
    const auto device = IPodDevice::fromMountPoint(volume.mountPoint());
    if (!device) {
        std::fprintf(stderr, "no iPod volume\n");
        return 1;
    }
    timer.restart();
    QStringList failures;
    try {
        failures =
            IPodTransfer::importAudio({dir.filePath(QStringLiteral("in"))}, importTarget(*device),
                                      TransferSettings::defaults(), {}, {})
                .failures;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "import failed: %s\n", e.what());
        return 1;
    }
    const double ours = timer.elapsed() / 1000.0;
    const auto tracks = IPodDatabase(volume.mountPoint()).loadTracks().size();
    std::printf("import of %d FLAC files (10 s each, 320k AAC, %d preparations side by side): "
                "ours %.2f s (%lld tracks, %lld failures), ffmpeg one after the other %.2f s, "
                "ratio %.3f (target < 1)\n",
                count, IPodTransfer::importPreparationWidth(), ours, (long long)tracks - 1,
                (long long)failures.size(), cli, ours / cli);
    return 0;
}
