#include "Console.h"

#include <csignal>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t caught = 0;

void OnSignal(int signal) {
    caught = signal;
}
} // namespace

void Console::InstallInterruptHandlers() {
    // No SA_RESTART: a wait on the port returns at once with EINTR.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int Console::Interrupted() {
    return caught;
}

bool Console::IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}
