#include "device/StoreOperation.h"

#include "device/IPodDeviceError.h"
#include "platform/LocalizedError.h"

namespace {

// The lines an operation ends with when it throws.
QStringList endingLines(const std::exception_ptr& error, bool stopped) {
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        if (stopped)
            return {};
        return {localizedDescription(IPodDeviceError())};
    } catch (...) {
        return {localizedDescription(error)};
    }
}

} // namespace

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

std::unique_ptr<StoreOperation> StoreOperation::start(Work work, bool stoppable) {
    std::unique_ptr<StoreOperation> operation(new StoreOperation());
    operation->stoppable = stoppable;
    StoreOperation* self = operation.get();
    operation->task = Task::run(
        TaskPriority::userInitiated, self,
        [work = std::move(work), reporter = OperationReporter(self)] { return work(reporter); },
        [self](std::optional<QStringList> failures, std::exception_ptr error) {
            if (failures && !error)
                Q_EMIT self->finished(*failures, true);
            else
                Q_EMIT self->finished(endingLines(error, self->stopped), false);
        });
    return operation;
}
