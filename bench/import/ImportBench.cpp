// A whole import of 200 files that all need converting, into a small iPod and into one that
// already holds 40,000 tracks, against the same conversions made by the ffmpeg tool one after
// the other and side by side on every core (xargs -P), with the ratios.

#include "BenchArguments.h"
#include "device/DeviceImportTarget.h"
#include "device/IPodDevice.h"
#include "library/IPodDatabase.h"
#include "platform/GLibAllocator.h"
#include "support/IPodVolume.h"
#include "transfer/AudioImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

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

LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    QString base = QDir::tempPath();
    int count = 200;
    BenchArguments arguments(
        "lorvanel_import_bench",
        "A whole import of files that all need converting, into a small iPod and into one "
        "that\nholds 40,000 tracks, against the ffmpeg tool one file after the other and on "
        "every core.");
    arguments.value("work-dir", "DIR",
                    "Where the files and volumes go (default: the temporary folder)",
                    [&base](const QString& v) { return QDir(v).exists() && (base = v, true); });
    arguments.value("files", "N", "How many files to import (default: 200)",
                    [&count](const QString& v) { return BenchArguments::toCount(v, count); });
    arguments.parse(argc, argv);
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("LORVANEL_OPEN_HELPER"))
        qputenv("LORVANEL_OPEN_HELPER", LORVANEL_OPEN_HELPER_PATH);
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

    // The best a user could do by hand: the same conversions on every core at once.
    const int cores = QThread::idealThreadCount();
    QDir().mkpath(dir.filePath(QStringLiteral("parallel")));
    const QString list = dir.filePath(QStringLiteral("sources.txt"));
    {
        QFile file(list);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(sources.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    timer.restart();
    QProcess xargs;
    xargs.start(
        QStringLiteral("xargs"),
        {QStringLiteral("-P"), QString::number(cores), QStringLiteral("-a"), list,
         QStringLiteral("-I"), QStringLiteral("{}"), QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("ffmpeg -nostdin -loglevel error -y -i \"$1\" -c:a aac -b:a 320k "
                        "-ar 44100 -ac 2 \"$2/$(basename \"$1\").m4a\""),
         QStringLiteral("sh"), QStringLiteral("{}"), dir.filePath(QStringLiteral("parallel"))});
    xargs.waitForFinished(-1);
    const double parallel = timer.elapsed() / 1000.0;
    if (xargs.exitCode() != 0) {
        std::fprintf(stderr, "xargs ffmpeg failed: %s\n", xargs.readAllStandardError().constData());
        return 1;
    }

    std::printf("%d FLAC files (10 s each, 320k AAC): ffmpeg one after the other %.2f s, "
                "ffmpeg on %d cores (xargs -P) %.2f s; our import runs %d preparations side by "
                "side\n",
                count, cli, cores, parallel, IPodTransfer::importPreparationWidth());
    bool faster = true;
    for (const int libraryTracks : {1, 40'000}) {
        // A 40,000-track library only fits a classic.
        TestSupport::IPodVolume volume(libraryTracks > 1 ? QStringLiteral("MB029")
                                                         : QStringLiteral("MA477"));
        if (libraryTracks > 1)
            volume.addTracksWithoutFiles(libraryTracks, 0x3000'0000'0000ULL, {});
        else
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
            failures = IPodTransfer::importAudio({dir.filePath(QStringLiteral("in"))},
                                                 importTarget(*device),
                                                 TransferSettings::defaults(), {}, {})
                           .failures;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "import failed: %s\n", e.what());
            return 1;
        }
        const double ours = timer.elapsed() / 1000.0;
        const auto tracks = IPodDatabase(volume.mountPoint()).loadTracks().size();
        std::printf("  into an iPod with %5d tracks: ours %.2f s (%lld added, %lld failures), "
                    "ratio %.3f to one after the other, %.3f to all cores (targets < 1)\n",
                    libraryTracks, ours, (long long)(tracks - libraryTracks),
                    (long long)failures.size(), ours / cli, ours / parallel);
        faster = faster && ours < cli && ours < parallel && failures.isEmpty() &&
                 tracks - libraryTracks == count;
    }
    return faster ? 0 : 1;
}
