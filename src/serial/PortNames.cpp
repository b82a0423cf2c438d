#include "PortNames.h"

#include "PortNamesSystem.h"

#include <QMap>

namespace {

constexpr int highestComNumber = 256;

QMap<int, QString>& Overrides() {
    static QMap<int, QString> overrides;
    return overrides;
}

// "COM7" (any case, no blanks) gives 7; anything else 0.
int ComNumber(const QString& name) {
    if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) || name.size() == 3)
        return 0;
    const QStringView digits = QStringView(name).mid(3);
    for (const QChar c : digits) {
        if (!c.isDigit())
            return 0;
    }
    bool ok = false;
    const int number = digits.toInt(&ok);
    return ok && number >= 1 && number <= highestComNumber ? number : 0;
}

} // namespace

void PortNames::SetOverride(const QString& comName, const QString& device) {
    if (const int number = ComNumber(comName); number != 0)
        Overrides().insert(number, device);
}

void PortNames::ClearOverrides() {
    Overrides().clear();
}

bool PortNames::ParseOverride(const QString& text, QString& error) {
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals < 0) {
        error = QStringLiteral("expected COMn=DEVICE, got \"%1\"").arg(text);
        return false;
    }
    const QString comName = text.left(equals).trimmed();
    const QString device = text.mid(equals + 1).trimmed();
    if (ComNumber(comName) == 0) {
        error = QStringLiteral("\"%1\" is not a port name from COM1 to COM%2")
                    .arg(comName)
                    .arg(highestComNumber);
        return false;
    }
    if (device.isEmpty()) {
        error = QStringLiteral("no device given for %1").arg(comName.toUpper());
        return false;
    }
    SetOverride(comName, device);
    return true;
}

TPortEntry PortNames::Resolve(const QString& comName) {
    const int number = ComNumber(comName);
    if (number == 0)
        return {};
    if (const auto pinned = Overrides().constFind(number); pinned != Overrides().cend())
        return {*pinned, QStringLiteral("pinned to %1").arg(*pinned)};
    return System::Port(number);
}

QList<TPortEntry> PortNames::SystemPorts() {
    return System::Ports();
}
