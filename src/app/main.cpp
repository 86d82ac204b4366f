#include "app/LorvanelApp.h"
#include "platform/Task.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lorvanel"));
    QApplication::setApplicationName(QStringLiteral("Lorvanel"));
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
