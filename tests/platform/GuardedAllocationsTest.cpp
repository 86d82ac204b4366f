// The open helper's allocator, run in GuardedAllocationsProbe (a read past a block's end must
// end the process that makes it; in a sanitizer build the sanitizer ends it), and the helper
// itself, whose libraries must allocate through it.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <sys/resource.h>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

struct Outcome {
    bool crashed = false;
    int code = -1;
    QByteArray output;
    QByteArray errors;
};

Outcome run(const QString& program, const QStringList& arguments,
            const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    // Faults are expected here: no core files for them.
    process.setChildProcessModifier([] {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
    });
    process.start(program, arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::CrashExit, process.exitCode(),
            process.readAllStandardOutput(), process.readAllStandardError()};
}

Outcome probe(const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The probe asks for what cannot be had and expects a null, as glibc gives, and takes again
    // under its memory limit what it freed.
    environment.insert(
        QStringLiteral("ASAN_OPTIONS"),
        QStringLiteral("allocator_may_return_null=1:detect_leaks=0:quarantine_size_mb=0"));
    return run(QStringLiteral(LORVANEL_GUARD_PROBE_PATH), arguments, environment);
}

TEST(GuardedAllocationsTest, AReadPastABlockUnderAScopeEndsTheProcess) {
    struct Case {
        const char* allocator;
        int size;
    };
    for (const Case& test : {Case{"malloc", 1}, Case{"malloc", 15}, Case{"malloc", 16},
                             Case{"g_malloc", 30000}, Case{"new", 64}, Case{"malloc", 200000}}) {
        SCOPED_TRACE(std::string(test.allocator) + " " + std::to_string(test.size));
        const Outcome outcome = probe({QStringLiteral("past-end"), QLatin1String(test.allocator),
                                       QString::number(test.size)});
        EXPECT_TRUE(outcome.output.contains("read the block")) << outcome.errors.toStdString();
        EXPECT_FALSE(outcome.output.contains("read past its end"));
        if (sanitized)
            EXPECT_TRUE(outcome.errors.contains("AddressSanitizer: heap-buffer-overflow"))
                << outcome.errors.toStdString();
        else
            EXPECT_TRUE(outcome.crashed && outcome.code == SIGSEGV) << outcome.code;
    }
}

TEST(GuardedAllocationsTest, BlocksKeepWhatCallersRelyOnInsideAndOutsideAScope) {
    for (const char* mode : {"blocks", "limited"}) {
        SCOPED_TRACE(mode);
        const Outcome outcome = probe({QLatin1String(mode)});
        EXPECT_FALSE(outcome.crashed);
        EXPECT_EQ(outcome.code, 0) << outcome.errors.toStdString();
    }
    EXPECT_TRUE(probe({QStringLiteral("blocks")})
                    .output.contains(sanitized ? "guarded: no" : "guarded: yes"));
}

// The dynamic loader's account of where the helper's libraries bind malloc and the rest: to the
// helper's own, or in a sanitizer build to the sanitizer's. (gdk-pixbuf allocates through GLib,
// its decoders through libpng and libjpeg.)
TEST(GuardedAllocationsTest, TheOpenHelpersLibrariesAllocateThroughIt) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("bindings"));
    environment.insert(QStringLiteral("LD_BIND_NOW"), QStringLiteral("1"));
    // Without arguments the helper stops at once, after the loader has bound everything.
    const Outcome outcome = run(QStringLiteral(LORVANEL_OPEN_HELPER_PATH), {}, environment);
    ASSERT_FALSE(outcome.crashed);
    const QString provider = sanitized
                                 ? QStringLiteral("libasan")
                                 : QFileInfo(QStringLiteral(LORVANEL_OPEN_HELPER_PATH)).fileName();
    const QRegularExpression binding(QStringLiteral(
        R"(binding file (\S+) \[\d+\] to (\S+) \[\d+\]: normal symbol `(malloc|calloc|realloc|)"
        R"(free|posix_memalign|memalign|aligned_alloc|valloc|pvalloc|malloc_usable_size|)"
        R"(reallocarray)')"));
    QStringList seen;
    for (auto it = binding.globalMatch(QString::fromUtf8(outcome.errors)); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString library = QFileInfo(match.captured(1)).fileName();
        // Not the helper's own lines: the allocator looks up glibc's malloc_usable_size.
        if (library == QFileInfo(QStringLiteral(LORVANEL_OPEN_HELPER_PATH)).fileName())
            continue;
        seen << library + u' ' + match.captured(3);
        EXPECT_TRUE(match.captured(2).contains(provider))
            << library.toStdString() << " binds " << match.captured(3).toStdString() << " to "
            << match.captured(2).toStdString();
    }
    for (const char* expected :
         {"libglib-2.0.so.0 malloc", "libglib-2.0.so.0 calloc", "libglib-2.0.so.0 realloc",
          "libglib-2.0.so.0 free", "libglib-2.0.so.0 posix_memalign", "libgpod.so.4 malloc",
          "libpng16.so.16 malloc", "libjpeg.so.62 malloc", "libstdc++.so.6 malloc",
          "libstdc++.so.6 free", "libc.so.6 malloc"})
        EXPECT_TRUE(seen.contains(QLatin1String(expected))) << expected;
}

// Exported whether or not a library linked in asks for them, for those loaded later.
TEST(GuardedAllocationsTest, TheOpenHelperExportsEveryAllocationFunction) {
    const Outcome outcome = run(QStringLiteral("nm"),
                                {QStringLiteral("-D"), QStringLiteral("--defined-only"),
                                 QStringLiteral(LORVANEL_OPEN_HELPER_PATH)},
                                QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(outcome.code, 0) << outcome.errors.toStdString();
    const QStringList lines = QString::fromUtf8(outcome.output).split(u'\n');
    for (const char* function :
         {"malloc", "free", "calloc", "realloc", "reallocarray", "memalign", "aligned_alloc",
          "posix_memalign", "valloc", "pvalloc", "malloc_usable_size"}) {
        const bool exported =
            lines.filter(QRegularExpression(QStringLiteral(" T %1$").arg(QLatin1String(function))))
                .size() == 1;
        // In a sanitizer build the sanitizer's library has them, and the helper none.
        EXPECT_EQ(exported, !sanitized) << function;
    }
}

} // namespace
