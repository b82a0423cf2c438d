// Linux: COMn is the n-th serial port present, in an order that stays the same
// across reboots as long as the same adapters are plugged in.
#include "PortNamesPosix.h"
#include "PortNamesSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// Names of `dir` of the form <prefix><digits>, in numeric order (ttyACM10 after ttyACM9).
QStringList NumberedDevices(const QString& dir, const QString& prefix) {
    const QRegularExpression pattern(
        QStringLiteral("^%1(\\d+)$").arg(QRegularExpression::escape(prefix)));
    QList<std::pair<int, QString>> found;
    const QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (match.hasMatch())
            found.append({match.captured(1).toInt(), name});
    }
    std::sort(found.begin(), found.end());
    QStringList sorted;
    for (const auto& entry : found)
        sorted.append(entry.second);
    return sorted;
}

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI FT232R USB UART A50285BI".
QString ReadableUsbName(QString byIdName) {
    if (byIdName.startsWith(QLatin1String("usb-")))
        byIdName.remove(0, 4);
    static const QRegularExpression interfaceSuffix(QStringLiteral("(-if\\d+)?(-port\\d+)?$"));
    byIdName.remove(interfaceSuffix);
    return byIdName.replace(QLatin1Char('_'), QLatin1Char(' ')).trimmed();
}

QString WithName(const QString& kind, const QString& name) {
    return name.isEmpty() ? kind : kind + QLatin1Char(' ') + name;
}

// Most PCs register ttyS0..ttyS31 whether or not a UART is fitted; only the
// ones whose driver found a chip are ports.
bool HasUart(const QString& sysTtyDir, const QString& device, const QString& name) {
    QFile type(sysTtyDir + QLatin1Char('/') + name + QLatin1String("/type"));
    if (type.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int uartType = type.readAll().trimmed().toInt(&ok);
        return ok && uartType != PORT_UNKNOWN;
    }
    // Kernels without the type attribute: ask the driver. Opening may pulse DTR on
    // such old systems; there is no other way to tell.
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // Cannot tell (no permission, held by another program): list it, so that
        // opening it says why it is out of reach.
        return errno == EACCES || errno == EBUSY;
    }
    serial_struct info{};
    const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return real;
}

} // namespace

QList<TPortEntry> PortNames::Linux::ScanPorts(const QString& devDir, const QString& sysTtyDir) {
    QList<TPortEntry> ports;
    QStringList listed; // canonical device paths already given a COM name

    // by-id names carry vendor, model and serial number, so their order follows the
    // adapters rather than the order they happened to be plugged in.
    const QString byIdDir = devDir + QLatin1String("/serial/by-id");
    QStringList byIdNames =
        QDir(byIdDir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    std::sort(byIdNames.begin(), byIdNames.end());
    QHash<QString, QString> acmNames; // ACM devices go with their own group
    for (const QString& name : byIdNames) {
        const QString device = QFileInfo(byIdDir + QLatin1Char('/') + name).canonicalFilePath();
        if (device.isEmpty() || listed.contains(device))
            continue;
        if (QFileInfo(device).fileName().startsWith(QLatin1String("ttyACM"))) {
            acmNames.insert(device, ReadableUsbName(name));
            continue;
        }
        ports.append({device, WithName(QStringLiteral("USB adapter"), ReadableUsbName(name))});
        listed.append(device);
    }
    // Without udev there is no by-id directory; the adapters are still there.
    for (const QString& name : NumberedDevices(devDir, QStringLiteral("ttyUSB"))) {
        const QString device = QFileInfo(devDir + QLatin1Char('/') + name).canonicalFilePath();
        if (!device.isEmpty() && !listed.contains(device)) {
            ports.append({device, QStringLiteral("USB adapter")});
            listed.append(device);
        }
    }
    for (const QString& name : NumberedDevices(devDir, QStringLiteral("ttyACM"))) {
        const QString device = QFileInfo(devDir + QLatin1Char('/') + name).canonicalFilePath();
        if (!device.isEmpty() && !listed.contains(device)) {
            ports.append({device, WithName(QStringLiteral("ACM device"), acmNames.value(device))});
            listed.append(device);
        }
    }
    for (const QString& name : NumberedDevices(sysTtyDir, QStringLiteral("ttyS"))) {
        const QString device = devDir + QLatin1Char('/') + name;
        if (QFileInfo::exists(device) && HasUart(sysTtyDir, device, name))
            ports.append({device, QStringLiteral("on-board UART")});
    }
    return ports;
}

QList<TPortEntry> PortNames::System::Ports() {
    return Linux::ScanPorts(QStringLiteral("/dev"), QStringLiteral("/sys/class/tty"));
}

TPortEntry PortNames::System::Port(int number) {
    const QList<TPortEntry> ports = Ports();
    return number >= 1 && number <= ports.size() ? ports.at(number - 1) : TPortEntry{};
}
