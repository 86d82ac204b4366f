#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Where the handler writes; -1 while no object is there. Read in the handler, so lock-free.
std::atomic<int> pipeWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);
// The process whose signals these are: a child forked but not yet started on its program still
// has the handler, and must not end the application through the shared pipe.
std::atomic<pid_t> owner{0};

extern "C" void noteSignal(int signalNumber) {
    // Only async-signal-safe calls here; a full pipe loses nothing that matters, as the signals
    // already in it say the same.
    const int savedErrno = errno;
    if (::getpid() != owner.load(std::memory_order_relaxed)) {
        ::signal(signalNumber, SIG_DFL);
        ::raise(signalNumber);
        errno = savedErrno;
        return;
    }
    const int fd = pipeWriteEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent) {
    int ends[2] = {-1, -1};
    // Without a pipe the signals keep their default action.
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readEnd.reset(ends[0]);
    writeEnd.reset(ends[1]);
    int expected = -1;
    if (!pipeWriteEnd.compare_exchange_strong(expected, writeEnd.get()))
        throw std::logic_error("TerminationSignals: one at a time");
    owner.store(::getpid());
    notifier = std::make_unique<QSocketNotifier>(readEnd.get(), QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPending);

    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    // The calls the signal interrupts in other threads go on by themselves.
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction found {};
        if (::sigaction(signalNumber, nullptr, &found) != 0 || found.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(signalNumber, &action, nullptr) == 0)
            replaced.emplace_back(signalNumber, found);
    }
}

TerminationSignals::~TerminationSignals() {
    for (const auto& [signalNumber, found] : replaced)
        ::sigaction(signalNumber, &found, nullptr);
    int mine = writeEnd.get();
    pipeWriteEnd.compare_exchange_strong(mine, -1);
}

void TerminationSignals::readPending() {
    unsigned char numbers[64];
    ssize_t count;
    while ((count = ::read(readEnd.get(), numbers, sizeof numbers)) > 0 ||
           (count < 0 && errno == EINTR)) {
        for (ssize_t i = 0; i < count; ++i)
            Q_EMIT received(numbers[i]);
    }
}
