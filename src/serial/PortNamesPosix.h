// Linux port enumeration over given /dev and /sys/class/tty directories, so the
// ordering rules can be checked on a made-up tree.
#pragma once

#include "PortNames.h"

namespace PortNames::Linux {
// Serial ports in COM order: USB adapters by their sorted /dev/serial/by-id names,
// then ttyACM* by number, then the on-board ttyS* that have a UART behind them.
QList<TPortEntry> ScanPorts(const QString& devDir, const QString& sysTtyDir);
} // namespace PortNames::Linux
