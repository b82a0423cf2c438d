// The operating system's side of PortNames: which devices stand behind the COM
// names. One implementation per OS (PortNamesPosix.cpp, PortNamesWin32.cpp).
#pragma once

#include "PortNames.h"

namespace PortNames::System {
// The machine's serial ports in COM order.
QList<TPortEntry> Ports();
// The device behind COM<number>; an empty device when there is none.
TPortEntry Port(int number);
} // namespace PortNames::System
