// The built application ended from outside the way a logout (SIGTERM), Ctrl+C (SIGINT) or a
// closed terminal (SIGHUP) ends it, while it reads an iPod's library: it quits as Quit does,
// with status 0, and leaves no helper process and no temporary folder behind, nor the one a
// killed run had left, which goes as it starts. The iPod is a libgpod volume bound onto a
// folder in a mount namespace of the application's own, where it finds it as it finds a real
// one.

#include "support/IPodVolume.h"
#include "support/WaitingHelper.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// In a new process: a mount namespace of its own, where from is bound onto onto.
bool bindPrivately(const char* from, const char* onto) {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(from, onto, nullptr, MS_BIND, nullptr) == 0;
}

// Whether a child may mount privately here (root, or root in the suite's user namespace).
bool canBindPrivately(const QByteArray& from, const QByteArray& onto) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(bindPrivately(from.constData(), onto.constData()) ? 0 : 1);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A zombie whose parent has gone counts as gone.
bool isRunning(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && stat.readAll().split(')').value(1).trimmed() != "Z";
}

QList<qint64> loggedIDs(const QString& log) {
    QList<qint64> ids;
    QFile file(log);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                ids.append(line.toLongLong());
    }
    return ids;
}

} // namespace

TEST(TerminationSignals, EndTheApplicationAsQuitDoesAndLeaveNothingBehind) {
    TestSupport::IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("Song"), .artwork = true});
    volume.write();
    const QByteArray helper = qgetenv("LORVANEL_OPEN_HELPER");
    ASSERT_FALSE(helper.isEmpty());
    {
        const QTemporaryDir probe;
        ASSERT_TRUE(probe.isValid());
        if (!canBindPrivately(QFile::encodeName(volume.mountPoint()),
                              QFile::encodeName(probe.path())))
            GTEST_SKIP() << "no mount namespace of its own here";
    }

    const std::pair<const char*, int> cases[] = {
        {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}};
    for (const auto& [name, signalNumber] : cases) {
        SCOPED_TRACE(name);
        const QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        const QDir at(home.path());
        for (const char* folder : {"runtime", "tmp", "Pod"})
            ASSERT_TRUE(at.mkdir(QString::fromLatin1(folder)));
        ASSERT_TRUE(QFile::setPermissions(at.filePath(QStringLiteral("runtime")),
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // Every helper started logs itself and waits on a fifo nobody writes, so that the first
        // library read surely runs when the signal comes.
        const QString log = at.filePath(QStringLiteral("helpers"));
        const QString hold = at.filePath(QStringLiteral("hold"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(hold).constData(), 0600), 0);
        const QString wrapper = at.filePath(QStringLiteral("helper.sh"));
        ASSERT_TRUE(TestSupport::writeWaitingHelper(wrapper, log, hold, helper));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), home.path());
        for (const auto& [variable, folder] :
             {std::pair{"XDG_CONFIG_HOME", "config"}, std::pair{"XDG_DATA_HOME", "data"},
              std::pair{"XDG_CACHE_HOME", "cache"}, std::pair{"XDG_RUNTIME_DIR", "runtime"},
              std::pair{"TMPDIR", "tmp"}})
            environment.insert(QString::fromLatin1(variable),
                               at.filePath(QString::fromLatin1(folder)));
        environment.insert(QStringLiteral("LORVANEL_OPEN_HELPER"), wrapper);
        // A cover process's folder, as a killed run leaves it.
        ASSERT_TRUE(at.mkpath(QStringLiteral("tmp/lorvanel-covers-Ki11ed/shadow")));
        // The suites' leak rules: what libgpod drops is no fault of the application's.
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           QStringLiteral("fast_unwind_on_malloc=0:malloc_context_size=10"));
        environment.insert(
            QStringLiteral("LSAN_OPTIONS"),
            QStringLiteral("suppressions=" LORVANEL_LSAN_SUPPRESSIONS ":print_suppressions=0"));

        QProcess application;
        application.setProcessEnvironment(environment);
        application.setStandardOutputFile(QProcess::nullDevice());
        const QByteArray from = QFile::encodeName(volume.mountPoint());
        const QByteArray onto = QFile::encodeName(at.filePath(QStringLiteral("Pod")));
        application.setChildProcessModifier([from, onto] {
            if (!bindPrivately(from.constData(), onto.constData()))
                ::_exit(126);
        });
        application.start(QStringLiteral(LORVANEL_APP_PATH), {});
        ASSERT_TRUE(application.waitForStarted());
        const QDeadlineTimer started(60'000);
        while (loggedIDs(log).isEmpty() && application.state() == QProcess::Running &&
               !started.hasExpired())
            application.waitForFinished(100);
        ASSERT_EQ(application.state(), QProcess::Running)
            << "ended with " << application.exitCode() << ": "
            << application.readAllStandardError().toStdString();
        ASSERT_FALSE(loggedIDs(log).isEmpty()) << "no library read";

        ASSERT_EQ(::kill(pid_t(application.processId()), signalNumber), 0);
        if (!application.waitForFinished(60'000)) {
            application.kill();
            application.waitForFinished();
        }
        EXPECT_EQ(application.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(application.exitCode(), 0) << application.readAllStandardError().toStdString();
        for (const qint64 pid : loggedIDs(log)) {
            EXPECT_FALSE(isRunning(pid)) << "helper " << pid << " left running";
            if (isRunning(pid))
                ::kill(pid_t(pid), SIGKILL);
        }
        EXPECT_EQ(
            QDir(at.filePath(QStringLiteral("tmp")))
                .entryList({QStringLiteral("lorvanel-covers-*")}, QDir::AllEntries | QDir::Hidden)
                .join(u' ')
                .toStdString(),
            "");
    }
}
