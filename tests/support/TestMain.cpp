// Test entry shared by every suite: each run gets a private HOME, settings and runtime
// folder, so no test reads or writes the user's real configuration. A normal user's run goes
// into a user namespace of its own, where it is root and may mount what the mount tests need.
#include "platform/GLibAllocator.h"
#include "platform/Task.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtGlobal>

#ifdef LORVANEL_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sched.h>
#include <string_view>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

LORVANEL_GLIB_SYSTEM_MALLOC

// The sanitizers' settings, however a suite is started. Allocations are unwound the slow way
// (GLib and libgpod keep no frame pointers), so that a leak suppression can name the library
// call a leak came from; ten frames reach it and keep that unwinding affordable.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0:"
           "fast_unwind_on_malloc=0:malloc_context_size=10";
}
extern "C" const char* __lsan_default_options() {
    return "suppressions=" LORVANEL_LSAN_SUPPRESSIONS ":print_suppressions=0";
}
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

namespace {

bool writeProcFile(const char* path, const QByteArray& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    return written;
}

// Mounting needs root. Where the kernel lets a normal user have a user namespace, the suite
// runs as root inside one (with a mount namespace of its own, so its mounts stay private):
// tmpfs and FUSE mounts work there, loop devices do not. Returns why not when it cannot.
// LORVANEL_TEST_USER_NAMESPACE=0 keeps the run outside, as on a kernel that refuses.
std::optional<QByteArray> enterUserNamespace() {
    if (::geteuid() == 0)
        return std::nullopt;
    if (qgetenv("LORVANEL_TEST_USER_NAMESPACE") == "0")
        return QByteArray("LORVANEL_TEST_USER_NAMESPACE=0");
    const QByteArray uid = QByteArray::number(::geteuid());
    const QByteArray gid = QByteArray::number(::getegid());
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return QByteArray("no unprivileged user namespace: ") + std::strerror(errno);
    if (!writeProcFile("/proc/self/setgroups", "deny") ||
        !writeProcFile("/proc/self/uid_map", "0 " + uid + " 1") ||
        !writeProcFile("/proc/self/gid_map", "0 " + gid + " 1"))
        return QByteArray("cannot map the user into its namespace: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QByteArray("cannot make the mounts private: ") + std::strerror(errno);
    return std::nullopt;
}

// A threadsafe death test runs in a fresh copy of this program, which may leave without
// unwinding: it uses the home of the run that started it, which that run removes.
bool isDeathTestChild(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).starts_with("--gtest_internal_run_death_test"))
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::optional<QTemporaryDir> home;
    if (!isDeathTestChild(argc, argv)) {
        if (const auto why = enterUserNamespace())
            std::fprintf(stderr, "the mount tests skip here (%s)\n", why->constData());
        home.emplace(QDir::tempPath() + QStringLiteral("/lorvanel-test-home-XXXXXX"));
        if (!home->isValid())
            return 2;
        const QByteArray homePath = QFile::encodeName(home->path());
        const QByteArray runtime = homePath + "/runtime";
        ::mkdir(runtime.constData(), 0700);
        qputenv("HOME", homePath);
        qputenv("XDG_CONFIG_HOME", homePath + "/config");
        qputenv("XDG_DATA_HOME", homePath + "/data");
        qputenv("XDG_CACHE_HOME", homePath + "/cache");
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef LORVANEL_OPEN_HELPER_PATH
    if (qEnvironmentVariableIsEmpty("LORVANEL_OPEN_HELPER"))
        qputenv("LORVANEL_OPEN_HELPER", LORVANEL_OPEN_HELPER_PATH);
#endif
    // A test run never follows the machine's language unless a test asks for it.
    qputenv("LANGUAGE", "en_US");
    qputenv("LC_ALL", "C.UTF-8");

    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("Lorvanel"));
    TestApplication::setApplicationName(QStringLiteral("Lorvanel"));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    Task::cancelAllAndWait(std::chrono::seconds(10));
    return result;
}
