// COM name overrides and the Linux port order, the latter on a made-up /dev and
// /sys/class/tty tree.
#include "PortNames.h"
#include "PortNamesPosix.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TPortNamesTest : public QObject {
    Q_OBJECT

    static bool Touch(const QString& path, const QByteArray& content = {}) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

private Q_SLOTS:
    void cleanup() { PortNames::ClearOverrides(); }

    void parseOverride_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("comName"); // empty: the text is refused
        QTest::addColumn<QString>("device");
        QTest::newRow("plain") << "COM3=/dev/ttyUSB1"
                               << "COM3"
                               << "/dev/ttyUSB1";
        QTest::newRow("lower case and blanks") << "com4 = /dev/ttyACM0"
                                               << "COM4"
                                               << "/dev/ttyACM0";
        QTest::newRow("'=' inside the device") << "COM2=/tmp/a=b"
                                               << "COM2"
                                               << "/tmp/a=b";
        QTest::newRow("no '='") << "/dev/ttyUSB0"
                                << ""
                                << "";
        QTest::newRow("no device") << "COM3="
                                   << ""
                                   << "";
        QTest::newRow("COM0") << "COM0=/dev/x"
                              << ""
                              << "";
        QTest::newRow("number too high") << "COM257=/dev/x"
                                         << ""
                                         << "";
        QTest::newRow("not a number") << "COMX=/dev/x"
                                      << ""
                                      << "";
        QTest::newRow("not a COM name") << "LPT1=/dev/x"
                                        << ""
                                        << "";
    }
    void parseOverride() {
        QFETCH(QString, text);
        QFETCH(QString, comName);
        QFETCH(QString, device);
        QString error;
        const bool ok = PortNames::ParseOverride(text, error);
        QCOMPARE(ok, !comName.isEmpty());
        QCOMPARE(error.isEmpty(), ok);
        if (ok)
            QCOMPARE(PortNames::Resolve(comName).device, device);
    }

    void laterOverrideWins() {
        PortNames::SetOverride(QStringLiteral("COM2"), QStringLiteral("/dev/first"));
        PortNames::SetOverride(QStringLiteral("com2"), QStringLiteral("/dev/second"));
        QCOMPARE(PortNames::Resolve(QStringLiteral("COM2")).device, QStringLiteral("/dev/second"));
        QVERIFY(PortNames::Resolve(QStringLiteral("COM3")).device != QStringLiteral("/dev/second"));
        QVERIFY(PortNames::Resolve(QStringLiteral("nonsense")).device.isEmpty());
    }

    void linuxPortOrder() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString base = QDir(root.path()).canonicalPath();
        const QString dev = base + QStringLiteral("/dev");
        const QString sys = base + QStringLiteral("/sys");
        for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyUSB3", "ttyACM0", "ttyACM2", "ttyACM10",
                                 "ttyS0", "ttyS1", "ttyS2", "ttyS10"})
            QVERIFY(Touch(dev + QLatin1Char('/') + QLatin1String(name)));
        const QString byId = dev + QStringLiteral("/serial/by-id/");
        QVERIFY(QDir().mkpath(byId));
        const QList<std::pair<const char*, const char*>> links{
            {"usb-Prolific_PL2303-if00-port0", "../../ttyUSB1"},
            {"usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0"},
            {"usb-Arduino_Uno_123-if00", "../../ttyACM2"},
            {"usb-Unplugged_Thing-if00-port0", "../../ttyUSB9"}};
        for (const auto& [name, target] : links)
            QVERIFY(QFile::link(QLatin1String(target), byId + QLatin1String(name)));
        // ttyS1 is a phantom (no UART found), ttyS3 has no device node.
        for (const auto& [name, type] :
             QList<std::pair<const char*, const char*>>{{"ttyS0", "4\n"},
                                                        {"ttyS1", "0\n"},
                                                        {"ttyS2", "4\n"},
                                                        {"ttyS3", "4\n"},
                                                        {"ttyS10", "4\n"}})
            QVERIFY(Touch(sys + QLatin1Char('/') + QLatin1String(name) + QStringLiteral("/type"),
                          type));

        const QList<TPortEntry> ports = PortNames::Linux::ScanPorts(dev, sys);
        QStringList got;
        for (const TPortEntry& port : ports)
            got << QDir(dev).relativeFilePath(port.device) + QStringLiteral(": ") +
                       port.description;
        const QStringList expected{"ttyUSB0: USB adapter FTDI FT232R USB UART A50285BI",
                                   "ttyUSB1: USB adapter Prolific PL2303",
                                   "ttyUSB3: USB adapter",
                                   "ttyACM0: ACM device",
                                   "ttyACM2: ACM device Arduino Uno 123",
                                   "ttyACM10: ACM device",
                                   "ttyS0: on-board UART",
                                   "ttyS2: on-board UART",
                                   "ttyS10: on-board UART"};
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TPortNamesTest)
#include "tst_PortNames.moc"
