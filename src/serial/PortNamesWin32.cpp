// Windows: the COM names are the system's own, opened through the \\.\ device
// namespace (plain "COM10" and up would be taken for file names).
#include "PortNamesSystem.h"

#include <windows.h>

#include <QMap>

namespace {

QString DevicePath(int number) {
    return QStringLiteral("\\\\.\\COM%1").arg(number);
}

// The serial ports the drivers have registered: COM number -> kernel device name.
QMap<int, QString> RegisteredPorts() {
    QMap<int, QString> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD valueNameSize = sizeof valueName;
        BYTE data[256];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        if (RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        data[dataSize] = 0;
        const QString comName = QString::fromLocal8Bit(reinterpret_cast<const char*>(data));
        bool ok = false;
        const int number = comName.mid(3).toInt(&ok);
        if (comName.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) && ok)
            ports.insert(number, QString::fromLocal8Bit(valueName));
    }
    RegCloseKey(key);
    return ports;
}

} // namespace

QList<TPortEntry> PortNames::System::Ports() {
    QList<TPortEntry> ports;
    const QMap<int, QString> registered = RegisteredPorts();
    for (auto it = registered.cbegin(); it != registered.cend(); ++it)
        ports.append({DevicePath(it.key()), QStringLiteral("COM%1 (%2)").arg(it.key()).arg(*it)});
    return ports;
}

TPortEntry PortNames::System::Port(int number) {
    // Not listed in the registry still gets a try: opening it gives the system's reason.
    const QMap<int, QString> registered = RegisteredPorts();
    const QString kernelName = registered.value(number);
    return {DevicePath(number), kernelName.isEmpty()
                                    ? QStringLiteral("serial port")
                                    : QStringLiteral("serial port %1").arg(kernelName)};
}
