#include "Console.h"

#include <windows.h>

#include <csignal>
#include <io.h>

namespace {
volatile LONG caught = 0;

BOOL WINAPI OnControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    InterlockedExchange(&caught, SIGINT);
    return TRUE;
}
} // namespace

void Console::InstallInterruptHandlers() {
    SetConsoleCtrlHandler(OnControl, TRUE);
}

int Console::Interrupted() {
    return static_cast<int>(InterlockedCompareExchange(&caught, 0, 0));
}

bool Console::IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}
