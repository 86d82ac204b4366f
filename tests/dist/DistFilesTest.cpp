// The files that install the application into a Linux desktop, checked by the desktop's own
// validators, and kept consistent with one another.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <unistd.h>

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

// udev itself reads the rule and applies it to a stand-in device (umockdev): in a private mount
// namespace whose rule folders hold this rule alone, so nothing of the machine's udev changes.
Outcome udevTest(const QString& device, const QString& sysPath) {
    QTemporaryDir scratch;
    QFile file(scratch.filePath(QStringLiteral("device.umockdev")));
    if (!file.open(QIODevice::WriteOnly) || file.write(device.toUtf8()) != device.toUtf8().size())
        return {};
    file.close();
    const QString script = QStringLiteral(
        "set -e; mount -t tmpfs none /run; "
        "for d in /etc/udev/rules.d /usr/local/lib/udev/rules.d /usr/lib/udev/rules.d "
        "/lib/udev/rules.d; do if [ -d $d ]; then mount -t tmpfs none $d; fi; done; "
        "cp \"$1\" /etc/udev/rules.d/; "
        "umockdev-run -d \"$2\" -- udevadm test --action=add \"$3\"");
    QStringList namespaceArguments = {QStringLiteral("--mount")};
    if (::geteuid() != 0)
        namespaceArguments = {QStringLiteral("--user"), QStringLiteral("--map-root-user"),
                              QStringLiteral("--mount")};
    return run(QStringLiteral("unshare"),
               namespaceArguments + QStringList{QStringLiteral("sh"), QStringLiteral("-c"), script,
                                                QStringLiteral("sh"),
                                                distFile(QStringLiteral("70-lorvanel.rules")),
                                                file.fileName(), sysPath});
}

bool tagsForUaccess(const QString& output) {
    static const QRegularExpression tags(QStringLiteral("^TAGS=.*:uaccess:"),
                                         QRegularExpression::MultilineOption);
    return output.contains(tags);
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
    // The strict check of newer udev versions, where there is one.
    if (run(QStringLiteral("udevadm"), {QStringLiteral("verify"), QStringLiteral("--help")})
            .exitCode == 0) {
        const Outcome outcome =
            run(QStringLiteral("udevadm"),
                {QStringLiteral("verify"), distFile(QStringLiteral("70-lorvanel.rules"))});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.output.toStdString();
    }
    if (QProcess::execute(
            QStringLiteral("unshare"),
            ::geteuid() == 0
                ? QStringList{QStringLiteral("--mount"), QStringLiteral("true")}
                : QStringList{QStringLiteral("--user"), QStringLiteral("--map-root-user"),
                              QStringLiteral("--mount"), QStringLiteral("true")}) != 0)
        GTEST_SKIP() << "no private mount namespace here to stage the rule for udevadm test";

    const QString usbPath = QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1");
    const auto usbDevice = [](const char* vendor) {
        return QStringLiteral("P: /devices/pci0000:00/0000:00:14.0/usb1/1-1\n"
                              "N: bus/usb/001/002\n"
                              "E: DEVNAME=/dev/bus/usb/001/002\nE: DEVTYPE=usb_device\n"
                              "E: DRIVER=usb\nE: SUBSYSTEM=usb\n"
                              "A: idVendor=%1\nA: idProduct=1261\n")
            .arg(QLatin1String(vendor));
    };
    const Outcome iPod = udevTest(usbDevice("05ac"), usbPath);
    ASSERT_EQ(iPod.exitCode, 0) << iPod.output.toStdString();
    EXPECT_TRUE(iPod.output.contains(
        QStringLiteral("Reading rules file: /etc/udev/rules.d/70-lorvanel.rules")))
        << iPod.output.toStdString();
    // udev names each line it cannot read: "<file>:<line> <what is wrong>".
    static const QRegularExpression complaint(
        QStringLiteral("^/etc/udev/rules\\.d/70-lorvanel\\.rules:\\d+ "),
        QRegularExpression::MultilineOption);
    EXPECT_FALSE(iPod.output.contains(complaint)) << iPod.output.toStdString();
    EXPECT_TRUE(tagsForUaccess(iPod.output)) << iPod.output.toStdString();

    // Another vendor's device is left alone; the iPod's disk is the user's too.
    const Outcome other = udevTest(usbDevice("046d"), usbPath);
    ASSERT_EQ(other.exitCode, 0) << other.output.toStdString();
    EXPECT_FALSE(tagsForUaccess(other.output)) << other.output.toStdString();
    const Outcome disk = udevTest(
        QStringLiteral("P: /devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/"
                       "6:0:0:0/block/sdb\nN: sdb\nE: DEVNAME=/dev/sdb\nE: DEVTYPE=disk\n"
                       "E: SUBSYSTEM=block\nE: ID_VENDOR_ID=05ac\n"),
        QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/"
                       "6:0:0:0/block/sdb"));
    ASSERT_EQ(disk.exitCode, 0) << disk.output.toStdString();
    EXPECT_TRUE(tagsForUaccess(disk.output)) << disk.output.toStdString();
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
