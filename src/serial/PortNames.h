// Maps the COM names of the port list ("COM1".."COM16") to the devices of this
// machine. On Linux COMn is the n-th serial port present, in a stable order;
// `--port COMn=DEVICE` pins an entry to a device.
#pragma once

#include <QString>
#include <QStringList>

struct TPortEntry {
    QString device;      // empty when no device is behind the name
    QString description; // what the device is, for the port list's tooltip
};

namespace PortNames {
// Pins `comName` (e.g. "COM3") to `device`; later calls override earlier ones.
void SetOverride(const QString& comName, const QString& device);
void ClearOverrides();
// Parses "COMn=DEVICE"; returns false (and says why in `error`) when malformed.
bool ParseOverride(const QString& text, QString& error);
// The device behind `comName` now, overrides first, then the machine's ports.
TPortEntry Resolve(const QString& comName);
// The machine's serial ports in COM order (OS-specific enumeration).
QList<TPortEntry> SystemPorts();
} // namespace PortNames
