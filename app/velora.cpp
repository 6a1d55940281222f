// velora: the desktop program.

#include <QApplication>
#include <QIcon>

#include "desktop/desktop_program.h"
#include "platform/clock.h"
#include "serial_qt/qt_serial.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velora"));
    // Where the folder and port last used are kept: ~/.config/velora/velora.conf.
    QCoreApplication::setOrganizationName(QStringLiteral("velora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELORA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("velora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/velora.png")));

    velora::SteadyClock clock;
    velora::QtSerialPortFactory ports(clock);
    velora::DesktopProgram program(ports, clock);
    return program.run();
}
