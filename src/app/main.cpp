#include "app/LorvanelApp.h"
#include "platform/GLibAllocator.h"
#include "platform/Task.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    QApplication::setOrganizationName(QStringLiteral("Lorvanel"));
    QApplication::setApplicationName(QStringLiteral("Lorvanel"));
    QApplication::setApplicationVersion(QStringLiteral(LORVANEL_VERSION));
    // Read before the window system is reached, so that --version answers without a display.
    // Qt's own options (-platform, -reverse, ...) are left to QApplication.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(arguments);
    if (parser.isSet(version))
        parser.showVersion();

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
    return result;
}
