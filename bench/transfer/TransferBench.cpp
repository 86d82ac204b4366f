// Our conversion and copy against the ffmpeg tool and cp + sync, side by side, with ratios.

#include "BenchArguments.h"
#include "platform/audio/AudioFile.h"
#include "transfer/AacConversion.h"
#include "transfer/ChunkedCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double run(const QString& program, const QStringList& args) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(program, args);
    p.waitForFinished(-1);
    if (p.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     p.readAllStandardError().constData());
    return t.elapsed() / 1000.0;
}

template <typename F> double timed(F f) {
    QElapsedTimer t;
    t.start();
    f();
    return t.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char** argv) {
    QString base = QDir::tempPath();
    BenchArguments arguments("lorvanel_transfer_bench",
                             "Our conversion and copy against the ffmpeg tool and cp + sync, "
                             "side by side, with ratios.");
    arguments.value("work-dir", "DIR",
                    "Where the files go, best on ext4 (default: the temporary folder)",
                    [&base](const QString& v) { return QDir(v).exists() && (base = v, true); });
    arguments.parse(argc, argv);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(base + QStringLiteral("/bench-XXXXXX"));
    const auto path = [&](const char* n) { return dir.filePath(QLatin1String(n)); };
    const QStringList quiet{QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                            QStringLiteral("error"), QStringLiteral("-y")};

    // 5 minutes of a music-like signal: chords with a slow tremolo and some noise.
    run(QStringLiteral("ffmpeg"),
        quiet + QStringList{
                    QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral(
                        "aevalsrc=0.2*sin(2*PI*220*t)*(1+0.5*sin(2*PI*0.5*t))+0.1*sin(2*PI*330*t)+"
                        "0.05*sin(2*PI*1760*t)+0.02*(random(0)-0.5)|0.2*sin(2*PI*277*t)+0.1*sin(2*"
                        "PI*440*t)*(1+0.5*sin(2*PI*0.3*t))+0.02*(random(1)-0.5):s=44100:d=300"),
                    QStringLiteral("-c:a"), QStringLiteral("flac"), path("in.flac")});
    double cli = 1e9, ours = 1e9;
    for (int i = 0; i < 3; ++i) {
        QFile::remove(path("cli.m4a"));
        cli = std::min(cli, run(QStringLiteral("ffmpeg"),
                                quiet + QStringList{QStringLiteral("-i"), path("in.flac"),
                                                    QStringLiteral("-c:a"), QStringLiteral("aac"),
                                                    QStringLiteral("-b:a"), QStringLiteral("256k"),
                                                    QStringLiteral("-ar"), QStringLiteral("44100"),
                                                    QStringLiteral("-ac"), QStringLiteral("2"),
                                                    path("cli.m4a")}));
        QFile::remove(path("ours.m4a"));
        ours =
            std::min(ours, timed([&] {
                         AudioFile file = AudioFile::open(path("in.flac"));
                         IPodTransfer::convertToAAC(file, path("ours.m4a"), file.durationSeconds(),
                                                    256, {}, std::nullopt, {});
                     }));
    }
    std::printf("convert 5-min FLAC to 256k AAC: ours %.2f s, ffmpeg %.2f s, ratio %.3f (target <= "
                "1.1); sizes %lld / %lld bytes\n",
                ours, cli, ours / cli, QFile(path("ours.m4a")).size(),
                QFile(path("cli.m4a")).size());

    run(QStringLiteral("dd"),
        {QStringLiteral("if=/dev/urandom"), QStringLiteral("of=") + path("big"),
         QStringLiteral("bs=1M"), QStringLiteral("count=1024"), QStringLiteral("status=none")});
    run(QStringLiteral("sync"), {});
    double cp = 1e9, copy = 1e9;
    for (int i = 0; i < 3; ++i) {
        QFile::remove(path("cp.out"));
        run(QStringLiteral("sync"), {});
        cp = std::min(cp, timed([&] {
                          run(QStringLiteral("cp"), {path("big"), path("cp.out")});
                          run(QStringLiteral("sync"), {});
                      }));
        QFile::remove(path("ours.out"));
        run(QStringLiteral("sync"), {});
        int reports = 0;
        copy = std::min(copy, timed([&] {
                            copyFileWithProgress(
                                path("big"), path("ours.out"), [] {}, {}, 0,
                                [&](double) { ++reports; });
                        }));
        if (i == 0)
            std::printf("copy reported progress %d times\n", reports);
    }
    std::printf("copy 1 GiB: ours %.2f s, cp + sync %.2f s, ratio %.3f (target <= 1.5)\n", copy, cp,
                copy / cp);
    return 0;
}
