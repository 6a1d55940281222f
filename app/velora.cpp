// velora: the desktop program.

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string_view>

#include "desktop/desktop_program.h"
#include "platform/clock.h"
#include "serial_qt/serial_ports.h"

namespace {

constexpr const char* kUsage =
    "Usage: velora [--help | --version] [Qt options]\n"
    "\n"
    "The desktop program for the Kq318 Velora Tarvane DMX controller: reads, writes and\n"
    "verifies the controller's memory, edits its scenes, programme settings and MIDI\n"
    "assignments, saves and loads them as data files (.K5s, .K5p, .K5m), and installs\n"
    "new firmware.\n"
    "\n"
    "At start-up it searches the serial ports for the controller. On Linux the ports are\n"
    "the serial devices Qt finds plus every device path named in the environment variable\n"
    "VELORA_PORTS (colon-separated). When no controller answers, the message box names\n"
    "each port tried and why it could not be used (permission denied: join the group\n"
    "that owns the device; in use by another program; no such device; nothing answered).\n"
    "\n"
    "No controller at hand? velora-emu emulates one on a pseudo-terminal and prints its\n"
    "device path: velora-emu --demo, then VELORA_PORTS=/dev/pts/N velora.\n"
    "\n"
    "Options:\n"
    "  --help, -h    show this text\n"
    "  --version     show the program's version\n"
    "\n"
    "Qt's own options (e.g. -platform offscreen, -style NAME) are passed on to Qt.\n";

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before the QApplication exists, so they need no display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("velora %s\n", VELORA_VERSION);
            return 0;
        }
    }

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
