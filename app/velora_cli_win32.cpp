// velora-cli on Windows: the command-line program over the transfer engine
// and the Win32 serial device, without Qt.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "platform/prompt_wake_ups.h"
#include "serial_win32/win32_serial.h"

namespace {

std::atomic<bool> interrupted{false};

// Ctrl-C and Ctrl-Break raise the flag the run watches; the run ends itself
// with its own status. Closing the console or logging off is left to the
// system.
BOOL WINAPI onConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        interrupted.store(true);
        return TRUE;
    }
    return FALSE;
}

std::string utf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return out;
}

// The progress line needs a console that is not redirected and understands
// the cursor controls the line is drawn with.
bool progressConsole() {
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err == INVALID_HANDLE_VALUE || err == nullptr || !::GetConsoleMode(err, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(utf8(argv[i]));

    // The messages are UTF-8, as the names they quote; a show as text and the
    // data files go through the standard streams byte for byte.
    ::SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);

    auto options = velora::cli::parseArguments(args, std::cerr);
    if (!options) return velora::cli::kError;

    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
    // Each exchange waits for a reply or a silence on the line; a wake-up
    // that comes late adds its delay to every exchange of a transfer.
    velora::askForPromptWakeUps();

    velora::SteadyClock clock;
    velora::Win32SerialPortFactory factory(clock);
    return velora::cli::run(*options, factory, clock, std::cout, std::cerr, progressConsole(), interrupted);
}
