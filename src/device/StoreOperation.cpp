#include "device/StoreOperation.h"

#include "device/IPodDeviceError.h"
#include "library/IPodDatabaseError.h"
#include "platform/LocalizedError.h"

#include <atomic>

namespace {

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

QString StoreOperation::endingLine(const std::exception_ptr& error, bool deviceGone,
                                   const Ending& ending, AppLanguage language) {
    const QString disconnected = IPodDeviceError().description(language);
    if (deviceGone)
        return disconnected;
    QString reason;
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return disconnected;
    } catch (const ImportError& e) {
        if (e.kind() == ImportError::Case::disconnected)
            return disconnected;
        reason = e.description(language);
    } catch (const IPodDatabaseError& e) {
        if (e.errorCase() == IPodDatabaseError::Case::deviceInUse) {
            // Its text says what to do, not that the edit or import did not happen.
            reason = e.description(language);
            if (ending.actionKey.isEmpty() && !ending.notDoneKey.isEmpty())
                return localizedString(ending.notDoneKey, language, reason);
        } else if (e.errorCase() != IPodDatabaseError::Case::library) {
            return e.description(language);
        } else {
            // The action named below says more than the database step it failed in.
            reason = ending.actionKey.isEmpty() ? e.description(language) : e.detailText(language);
        }
    } catch (...) {
        reason = localizedDescription(error, language);
    }
    if (ending.actionKey.isEmpty())
        return reason;
    return localizedString(LZ("%1 failed: %2"), language,
                           localizedString(ending.actionKey, language, ending.actionArgument),
                           reason);
}

OperationReporter::OperationReporter(StoreOperation* op)
    : receiver(TaskDetail::Receiver::watch(op))
    , operation(op) {
}

void OperationReporter::post(std::function<void(StoreOperation&)> fn) const {
    receiver->post([o = operation, fn = std::move(fn)] { fn(*o); });
}

void OperationReporter::progress(const ImportProgress& value) const {
    post([value](StoreOperation& o) { Q_EMIT o.progressed(value); });
}

void OperationReporter::stagedTrack(const Track& track) const {
    post([track](StoreOperation& o) { Q_EMIT o.trackStaged(track); });
}

void OperationReporter::skippedIdentical(int count) const {
    if (count > 0)
        post([count](StoreOperation& o) { Q_EMIT o.skippedIdentical(count); });
}

StoreOperation::StoreOperation(Task t)
    : task(std::move(t)) {
}

void StoreOperation::stop() {
    stopped = true;
    cancel();
}

std::unique_ptr<StoreOperation> StoreOperation::start(Work work, Ending ending, bool stoppable) {
    std::unique_ptr<StoreOperation> operation(new StoreOperation());
    operation->stoppable = stoppable;
    StoreOperation* self = operation.get();
    const auto deviceGone = std::make_shared<std::atomic<bool>>(false);
    operation->task = Task::run(
        TaskPriority::userInitiated, self,
        [work = std::move(work), reporter = OperationReporter(self),
         deviceHolds = ending.deviceHolds, deviceGone] {
            try {
                return work(reporter);
            } catch (...) {
                // Asked here, off the main thread: a volume that went away can be slow to answer.
                try {
                    *deviceGone = deviceHolds && !deviceHolds();
                } catch (...) {
                    *deviceGone = true;
                }
                throw;
            }
        },
        [self, ending, deviceGone](std::optional<QStringList> failures, std::exception_ptr error) {
            if (failures && !error)
                Q_EMIT self->finished(*failures, true);
            else if (self->stopped && isCancellation(error))
                Q_EMIT self->finished({}, false); // the user's stop tells nothing
            else
                Q_EMIT self->finished(
                    {endingLine(error, *deviceGone, ending, AppLanguages::stored())}, false);
        });
    return operation;
}
