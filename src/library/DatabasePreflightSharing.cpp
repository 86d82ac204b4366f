// Reads of one volume never overlap: at start the sidebar's name lookup and the library load
// each ask for the same database, and two helpers at once would take twice the memory the
// limit allows one of them.

#include "library/DatabasePreflight.h"

#include "platform/Task.h"

#include <QFile>
#include <QScopeGuard>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct Flight {
    // What the running read was asked.
    std::optional<int> productID;
    std::optional<QByteArray> sysInfoExtended;
    bool done = false;
    // Its outcome, once done.
    std::optional<LibrarySnapshot> snapshot;
    std::exception_ptr error;
    bool cancelled = false; // its own caller gave up: there is nothing to share
    int waiting = 0;        // callers waiting for it
};

std::mutex flightsLock;
std::condition_variable flightEnded;

std::map<QByteArray, std::shared_ptr<Flight>>& flights() {
    static std::map<QByteArray, std::shared_ptr<Flight>> running;
    return running;
}

QByteArray volumeOf(const DatabasePreflight::Request& request) {
    return request.volumeIdentity + '\0' + QFile::encodeName(request.mountPoint);
}

bool isCancellation(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

std::optional<LibrarySnapshot>
DatabasePreflight::runShared(const Request& request, const Limits& limits, bool sendsSnapshot) {
    const QByteArray volume = volumeOf(request);
    const auto mine = std::make_shared<Flight>();
    mine->productID = request.productID;
    mine->sysInfoExtended = request.sysInfoExtended;
    {
        std::unique_lock lock(flightsLock);
        for (auto found = flights().find(volume); found != flights().end();
             found = flights().find(volume)) {
            const std::shared_ptr<Flight> running = found->second;
            ++running->waiting;
            const auto leave = qScopeGuard([&running] { --running->waiting; });
            while (!running->done) {
                flightEnded.wait_for(lock, std::chrono::milliseconds(50));
                Task::checkCancellation();
            }
            const bool sameRequest = running->productID == request.productID &&
                                     running->sysInfoExtended == request.sysInfoExtended;
            if (sameRequest && !running->cancelled) {
                if (running->error)
                    std::rethrow_exception(running->error);
                // A read that sent no library still tells that the files read cleanly.
                if (!sendsSnapshot)
                    return std::nullopt;
                if (running->snapshot)
                    return running->snapshot;
            }
        }
        flights().emplace(volume, mine);
    }

    std::optional<LibrarySnapshot> snapshot;
    std::exception_ptr error;
    try {
        snapshot = run(request, limits, sendsSnapshot);
    } catch (...) {
        error = std::current_exception();
    }
    {
        const std::lock_guard lock(flightsLock);
        mine->done = true;
        mine->snapshot = snapshot;
        mine->error = error;
        mine->cancelled = error && isCancellation(error);
        flights().erase(volume);
    }
    flightEnded.notify_all();
    if (error)
        std::rethrow_exception(error);
    return snapshot;
}

int DatabasePreflight::waitingReads(const Request& request) {
    const std::lock_guard lock(flightsLock);
    const auto found = flights().find(volumeOf(request));
    return found == flights().end() ? 0 : found->second->waiting;
}
