#pragma once

// One running import, export or library edit of the store: its background task (and with it
// its cancellation), the progress and staged tracks it reports while it runs, and how it ends.
// Reports reach this object's thread by queued calls, in the order they were made, and the end
// comes after them. The store cancels an operation when its device goes away, so an operation
// that stops on its cancellation ends with the disconnection's text; one the user stopped ends
// on it without a line.

#include "device/IPodDevice.h"
#include "library/Track.h"
#include "platform/Task.h"
#include "transfer/ImportProgress.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class StoreOperation;

// What an operation's work may report from its own thread; nothing arrives once the operation
// is gone.
class OperationReporter {
public:
    explicit OperationReporter(StoreOperation* operation);
    void progress(const ImportProgress& value) const;
    void stagedTrack(const Track& track) const;
    // Files an import left out because their bytes are already on the device.
    void skippedIdentical(int count) const;

private:
    void post(std::function<void(StoreOperation&)> fn) const;
    // Posts nothing once the operation is gone, and Qt drops what was queued for it.
    std::shared_ptr<TaskDetail::Receiver> receiver;
    StoreOperation* operation;
};

class StoreOperation : public QObject {
    Q_OBJECT

public:
    // Returns the failure lines of a run that went through.
    using Work = std::function<QStringList(const OperationReporter&)>;

    // How a run that throws is told.
    struct Ending {
        // The action and what it acted on, as "%1 failed: %2" names them: a key of the string
        // table with one argument. Empty for runs whose failures speak for themselves.
        QString actionKey;
        QString actionArgument;
        // Whether the device is still the one the run started on; asked on the run's thread
        // when it throws.
        std::function<bool()> deviceHolds;
        // For a run with no action to name: what a refusal that changed nothing (the iPod in
        // use by another program) says was not done, around its reason, e.g. "Nothing was
        // imported: %1".
        QString notDoneKey;
    };

    // Starts work on a background task; a stoppable one may be stopped by the user.
    static std::unique_ptr<StoreOperation> start(Work work, Ending ending = {},
                                                 bool stoppable = false);
    // The one line a run that threw ends with: the disconnection whenever the device went away
    // (or the run was cancelled, which happens only then), a refusal as it is (but the iPod in
    // use, which is told after what it kept from being done), any other failure after the
    // action it stopped, its system or libgpod text put in plain words.
    static QString endingLine(const std::exception_ptr& error, bool deviceGone,
                              const Ending& ending, AppLanguage language);
    // Stands for a task started elsewhere; it ends when that task delivers to its own receiver.
    explicit StoreOperation(Task task);

    void cancel() const { task.cancel(); }
    bool isStoppable() const { return stoppable; }
    // The user's stop: a cancellation whose end tells nothing of a disconnection.
    void stop();

Q_SIGNALS:
    void progressed(const ImportProgress& value);
    void trackStaged(const Track& track);
    void skippedIdentical(int count);
    // The failure lines of a run that went through (completed), or the one line of the error
    // that ended it (none when that was the user's stop).
    void finished(const QStringList& lines, bool completed);

private:
    StoreOperation() = default;
    Task task;
    bool stoppable = false;
    bool stopped = false;
};
