// What the command-line tool needs of the console it runs in: Ctrl-C caught as a
// request to stop, and whether a stream is a terminal. One file per OS.
#pragma once

#include <cstdio>

namespace Console {
// From now on Ctrl-C (and a plain kill) only sets a flag that the waits look at, so a
// transfer ends between two exchanges with the port closed properly.
void InstallInterruptHandlers();
// The signal that asked to stop, 0 while none has.
int Interrupted();
bool IsTerminal(std::FILE* stream);
} // namespace Console
