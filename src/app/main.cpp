#include "app/LorvanelApp.h"
#include "platform/GLibAllocator.h"

#include <QApplication>

LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lorvanel"));
    QApplication::setApplicationName(QStringLiteral("Lorvanel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lorvanel"));
    QApplication::setDesktopFileName(QStringLiteral("io.lorvanel.Lorvanel"));
    LorvanelApp::applyAppearance();

    LorvanelApp app;
    app.show();
    return QApplication::exec();
}
