#include "app/CommandLine.h"
#include "app/LorvanelApp.h"
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

    int result;
    {
        LorvanelApp app;
        app.show();
        result = QApplication::exec();
    }
    Task::cancelAllAndWait(std::chrono::seconds(5));
    // No cover process outlives the application.
    StoredCovers::endAll();
    return result;
}
