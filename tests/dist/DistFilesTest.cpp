// The files that install the application into a Linux desktop, checked by the desktop's own
// validators, and kept consistent with one another.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>

namespace {

const QString id = QStringLiteral("io.lorvanel.Lorvanel");

QString distFile(const QString& name) {
    return QStringLiteral(LORVANEL_SOURCE_DIR "/dist/") + name;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Outcome {
    int exitCode = -1;
    QString output;
};

// Runs a validator; a missing one fails the test (scripts/install-deps.sh installs them).
Outcome run(const QString& program, const QStringList& arguments) {
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        ADD_FAILURE() << program.toStdString() << " is not installed";
        return {};
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60'000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

} // namespace

TEST(DistFiles, TheDesktopEntryValidates) {
    const Outcome outcome =
        run(QStringLiteral("desktop-file-validate"), {distFile(id + QStringLiteral(".desktop"))});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output.toStdString();
    // The validator also passes hints and warnings; none is acceptable.
    EXPECT_EQ(outcome.output.trimmed(), QString()) << outcome.output.toStdString();
}

TEST(DistFiles, TheMetainfoValidatesStrictly) {
    const Outcome outcome =
        run(QStringLiteral("appstreamcli"),
            {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--strict"),
             distFile(id + QStringLiteral(".metainfo.xml"))});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output.toStdString();
}

TEST(DistFiles, TheUdevRuleVerifies) {
    if (run(QStringLiteral("udevadm"), {QStringLiteral("verify"), QStringLiteral("--help")})
            .exitCode != 0)
        GTEST_SKIP() << "this udevadm has no verify command (systemd before 253)";
    const Outcome outcome =
        run(QStringLiteral("udevadm"),
            {QStringLiteral("verify"), distFile(QStringLiteral("70-lorvanel.rules"))});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output.toStdString();
}

TEST(DistFiles, TheEntryTheMetainfoAndTheIconShareOneName) {
    const QString entry = QString::fromUtf8(readAll(distFile(id + QStringLiteral(".desktop"))));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=") + id + QLatin1Char('\n')));
    const QString metainfo =
        QString::fromUtf8(readAll(distFile(id + QStringLiteral(".metainfo.xml"))));
    EXPECT_TRUE(metainfo.contains(QStringLiteral("<id>") + id + QStringLiteral("</id>")));
    EXPECT_TRUE(metainfo.contains(QStringLiteral("<launchable type=\"desktop-id\">") + id +
                                  QStringLiteral(".desktop</launchable>")));
    // The install rule names the icon after the id; the application sets the same desktop name.
    EXPECT_TRUE(QString::fromUtf8(readAll(distFile(QStringLiteral("CMakeLists.txt"))))
                    .contains(QStringLiteral("RENAME ") + id + QStringLiteral(".svg")));
    // Both languages of the interface describe the application.
    for (const char* tag : {"name", "summary", "p"})
        EXPECT_TRUE(
            metainfo.contains(QStringLiteral("<%1 xml:lang=\"zh-CN\">").arg(QLatin1String(tag))))
            << tag;
}
