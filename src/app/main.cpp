#include "app/CommandLine.h"
#include "app/LorvanelApp.h"
#include "app/MainWindow.h"
#include "app/QuitConfirmation.h"
#include "app/TerminationSignals.h"
#include "library/StoredCovers.h"
#include "platform/GLibAllocator.h"
#include "platform/Task.h"

#include <QApplication>

LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    CommandLine::openStandardStreams();
    QApplication::setOrganizationName(QStringLiteral("Lorvanel"));
    QApplication::setApplicationName(QStringLiteral("Lorvanel"));
    QApplication::setApplicationVersion(QStringLiteral(LORVANEL_VERSION));
    if (const std::optional<int> exitCode = CommandLine::handle(argc, argv))
        return *exitCode;

    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Lorvanel"));
    QApplication::setDesktopFileName(QStringLiteral("io.lorvanel.Lorvanel"));
    LorvanelApp::applyAppearance();

    // Kept to the end: a second signal while the application quits waits for it, as the first.
    TerminationSignals termination;
    // What the cover processes of runs that were killed left in TMPDIR.
    Task::run(TaskPriority::utility, [] { StoredCovers::removeFoldersLeftBehind(); });
    int result;
    {
        LorvanelApp app;
        // As Quit does, with no one there to answer its question.
        QObject::connect(&termination, &TerminationSignals::received,
                         app.mainWindow().quitConfirmation(), &QuitConfirmation::quitUnattended);
        app.show();
        result = QApplication::exec();
    }
    Task::cancelAllAndWait(std::chrono::seconds(5));
    // No cover process outlives the application.
    StoredCovers::endAll();
    return result;
}
