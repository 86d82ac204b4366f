// The installed binary's command line, run the way a terminal user runs it: without a display.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Answer {
    int exitCode = -1;
    QString out;
    QString err;
};

Answer runLorvanel(const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(LORVANEL_APP_PATH), arguments);
    if (!process.waitForFinished(30'000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace

TEST(CommandLine, HelpAndVersionAnswerWithoutADisplay) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--help")}, QStringList{QStringLiteral("-h")},
          QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen"),
                      QStringLiteral("--help")}}) {
        const Answer answer = runLorvanel(arguments);
        EXPECT_EQ(answer.exitCode, 0)
            << arguments.join(' ').toStdString() << answer.err.toStdString();
        EXPECT_TRUE(answer.out.contains(QStringLiteral("Usage: "))) << answer.out.toStdString();
        EXPECT_TRUE(answer.out.contains(QStringLiteral("--version"))) << answer.out.toStdString();
        EXPECT_TRUE(answer.err.isEmpty()) << answer.err.toStdString();
    }
    const Answer version = runLorvanel({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, QStringLiteral("Lorvanel " LORVANEL_VERSION "\n"));
}

TEST(CommandLine, UnknownOptionsAndFileArgumentsGiveTheUsageOnStderr) {
    const Answer unknown = runLorvanel({QStringLiteral("--frobnicate")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Unknown option 'frobnicate'")))
        << unknown.err.toStdString();
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Usage: "))) << unknown.err.toStdString();
    EXPECT_TRUE(unknown.out.isEmpty()) << unknown.out.toStdString();

    // No file opens from the command line.
    const Answer file = runLorvanel({QStringLiteral("/tmp/song.mp3")});
    EXPECT_EQ(file.exitCode, 2);
    EXPECT_TRUE(file.err.contains(QStringLiteral("Unexpected argument '/tmp/song.mp3'")))
        << file.err.toStdString();
}

// Started with its standard error closed, the application puts /dev/null there before the
// display connection (or any file) could take that number.
TEST(CommandLine, AClosedStandardStreamGetsDevNull) {
    const int standardError = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ASSERT_GE(standardError, 0);
    ::close(STDERR_FILENO);
    CommandLine::openStandardStreams();
    struct stat opened {};
    const bool isOpen = ::fstat(STDERR_FILENO, &opened) == 0;
    ::dup2(standardError, STDERR_FILENO);
    ::close(standardError);
    struct stat null {};
    ASSERT_TRUE(isOpen);
    ASSERT_EQ(::stat("/dev/null", &null), 0);
    EXPECT_EQ(opened.st_rdev, null.st_rdev);
}
