// TComm's own logic against a recording backend: the order of driver calls, when
// line settings are re-applied, the read rules and the events of a poll tick.
#include "Comm.h"
#include "CommFakes.h"
#include "PortNames.h"

#include <QTest>

#include <map>

namespace {

const QString fakeDevice = QStringLiteral("/dev/fake-krv2");

std::map<QString, int> Fields(const TLineSettings& s) {
    return {{QStringLiteral("baudRate"), s.baudRate},
            {QStringLiteral("binary"), s.binary},
            {QStringLiteral("parity"), s.parity},
            {QStringLiteral("parityInUse"), s.parityInUse},
            {QStringLiteral("rtsControl"), s.rtsControl},
            {QStringLiteral("ctsOutFlow"), s.ctsOutFlow},
            {QStringLiteral("xonXoffOut"), s.xonXoffOut},
            {QStringLiteral("xonXoffIn"), s.xonXoffIn},
            {QStringLiteral("byteSize"), s.byteSize},
            {QStringLiteral("stopBits"), s.stopBits}};
}

// "rtsControl=2 ctsOutFlow=1": every named field must hold its value.
void CheckFields(const TLineSettings& settings, const QString& expected) {
    const auto fields = Fields(settings);
    const QStringList pairs = expected.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& pair : pairs) {
        const QStringList parts = pair.split(QLatin1Char('='));
        QCOMPARE(parts.size(), 2);
        const auto field = fields.find(parts[0]);
        QVERIFY2(field != fields.end(), qPrintable(parts[0]));
        QCOMPARE(QStringLiteral("%1=%2").arg(parts[0]).arg(field->second), pair);
    }
}

struct TRig {
    std::shared_ptr<TFakePort> port = std::make_shared<TFakePort>();
    TFakeOwner owner;
    std::unique_ptr<TComm> comm;
    QStringList events;

    explicit TRig(int selected = 0) {
        owner.selected = selected;
        comm = std::make_unique<TComm>(&owner, nullptr, std::make_unique<TFakeBackend>(port));
        comm->OnReceiveData = [this](QObject*) {
            events << QStringLiteral("data %1").arg(QString::fromLatin1(comm->Input()));
        };
        comm->OnModemStateChange = [this](QObject*, uint32_t mask) {
            events << QStringLiteral("modem %1").arg(mask, 0, 16);
        };
        comm->OnReceiveError = [this](QObject*, uint32_t mask) {
            events << QStringLiteral("error %1").arg(mask, 0, 16);
        };
        comm->OnPortLost = [this](QObject*, const QString& reason) {
            events << QStringLiteral("lost %1").arg(reason);
        };
        comm->OnWriteStalled = [this](QObject*, const QString& reason) {
            events << QStringLiteral("stalled %1").arg(reason);
        };
    }
    void Open() {
        comm->SetPortOpen(true);
        QVERIFY(comm->PortOpen());
        port->calls.clear();
    }
};

} // namespace

class TCommLogicTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        for (int n = 1; n <= 8; ++n)
            PortNames::SetOverride(QStringLiteral("COM%1").arg(n), fakeDevice);
    }
    void cleanupTestCase() { PortNames::ClearOverrides(); }

    void portFromOwnerSelection_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("portName");
        QTest::newRow("nothing selected") << -1 << "COM1";
        QTest::newRow("first entry") << 0 << "COM1";
        QTest::newRow("fourth entry") << 3 << "COM4";
        QTest::newRow("last entry") << 7 << "COM8";
        QTest::newRow("past the list") << 8 << "COM1";
    }
    void portFromOwnerSelection() {
        QFETCH(int, selected);
        QFETCH(QString, portName);
        TRig rig(selected);
        QCOMPARE(rig.comm->PortName(), portName);
        QVERIFY(rig.port->calls.isEmpty()); // constructing opens nothing
    }

    void openSequence_data() {
        QTest::addColumn<bool>("rtsBefore");
        QTest::addColumn<QStringList>("calls");
        const QStringList head{
            QStringLiteral("open ") + fakeDevice, QStringLiteral("setupQueues 8192 8192"),
            QStringLiteral("purge 15"),           QStringLiteral("getState"),
            QStringLiteral("setState"),           QStringLiteral("escape 5")};
        QTest::newRow("RTS low after construction") << false << head + QStringList{"escape 4"};
        QTest::newRow("RTS set before opening") << true << head + QStringList{"escape 3"};
    }
    void openSequence() {
        QFETCH(bool, rtsBefore);
        QFETCH(QStringList, calls);
        TRig rig;
        rig.comm->SetRTSStatus(rtsBefore);
        QVERIFY(rig.port->calls.isEmpty()); // no handle yet: the line is only stored
        rig.comm->SetPortOpen(true);
        QCOMPARE(rig.port->calls, calls);
        QVERIFY(rig.comm->PortOpen());
        QVERIFY(rig.comm->GetDTRStatus());
        QCOMPARE(rig.comm->DeviceName(), fakeDevice);
        QCOMPARE(rig.port->applied.size(), 1);
        CheckFields(rig.port->applied.first(),
                    QStringLiteral("baudRate=9600 byteSize=8 parity=0 parityInUse=0 stopBits=0 "
                                   "binary=1 rtsControl=0"));
    }

    void lineSettingsKeepDriverFields() {
        // What the component does not set must stay as the driver had it.
        TRig rig;
        rig.port->driver.baudRate = 19200;
        rig.port->driver.xonXoffOut = true;
        rig.port->driver.xonXoffIn = true;
        rig.port->driver.ctsOutFlow = true;
        rig.comm->SetPortOpen(true);
        QCOMPARE(rig.port->applied.size(), 1);
        CheckFields(rig.port->applied.first(),
                    QStringLiteral("baudRate=9600 xonXoffOut=1 xonXoffIn=1 ctsOutFlow=1"));
    }

    void openFailureTellsTheOwner() {
        TRig rig;
        rig.port->openFails = true;
        rig.comm->SetCommPort(pnCOM2);
        rig.comm->SetPortOpen(true);
        QVERIFY(!rig.comm->PortOpen());
        QCOMPARE(rig.port->calls, QStringList{QStringLiteral("open ") + fakeDevice});
        QCOMPARE(rig.owner.failures,
                 (QList<std::pair<QString, QString>>{{"COM2", "cannot open: refused"}}));
        QVERIFY(!rig.comm->OutputChar('x'));
    }

    // A rate the driver refuses is an open error, not a port silently at another rate;
    // refused while open, the rate in effect stays the one reported.
    void refusedRate_data() {
        QTest::addColumn<bool>("atOpen");
        QTest::newRow("at open") << true;
        QTest::newRow("while open") << false;
    }
    void refusedRate() {
        QFETCH(bool, atOpen);
        TRig rig;
        rig.port->refusedRate = 115200;
        if (atOpen) {
            rig.comm->SetBaudRate(115200);
            rig.comm->SetPortOpen(true);
            QVERIFY(!rig.comm->PortOpen());
            QVERIFY(!rig.port->open);
            QCOMPARE(rig.owner.failures, (QList<std::pair<QString, QString>>{{"COM1", "refused"}}));
            QVERIFY(!rig.comm->OutputChar('x'));
            rig.comm->ProcTimer();
            QVERIFY(rig.events.isEmpty());
            return;
        }
        rig.Open();
        rig.comm->SetBaudRate(115200);
        QCOMPARE(rig.comm->BaudRate(), 9600);
        QCOMPARE(rig.port->driver.baudRate, 9600);
        QVERIFY(rig.comm->PortOpen());
        QVERIFY(rig.owner.failures.isEmpty());
    }

    void settingSetters_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("whileOpen");
        QTest::addColumn<bool>("reapplied");
        QTest::addColumn<QString>("fields");
        QTest::newRow("same bit rate") << "baud" << 9600 << true << false << "";
        QTest::newRow("new bit rate") << "baud" << 19200 << true << true << "baudRate=19200";
        QTest::newRow("new bit rate while closed")
            << "baud" << 19200 << false << false << "baudRate=19200";
        QTest::newRow("RTS/CTS handshake")
            << "hw" << int(hhRTSCTS) << true << true << "rtsControl=2 ctsOutFlow=1";
        QTest::newRow("RTS held high")
            << "hw" << int(hhNoneRTSON) << true << true << "rtsControl=1 ctsOutFlow=0";
        QTest::newRow("XON/XOFF") << "sw" << int(shXonXoff) << true << true
                                  << "xonXoffOut=1 xonXoffIn=1";
        QTest::newRow("7 data bits") << "data" << int(DB7) << true << true << "byteSize=7";
        QTest::newRow("even parity")
            << "parity" << int(Even) << true << true << "parity=2 parityInUse=1";
        QTest::newRow("same parity") << "parity" << int(None) << true << false << "";
        QTest::newRow("two stop bits") << "stop" << int(SB2) << true << true << "stopBits=2";
    }
    void settingSetters() {
        QFETCH(QString, setting);
        QFETCH(int, value);
        QFETCH(bool, whileOpen);
        QFETCH(bool, reapplied);
        QFETCH(QString, fields);
        TRig rig;
        if (whileOpen)
            rig.Open();
        if (setting == QLatin1String("baud"))
            rig.comm->SetBaudRate(value);
        else if (setting == QLatin1String("hw"))
            rig.comm->SetHwHandShaking(static_cast<THwHandShaking>(value));
        else if (setting == QLatin1String("sw"))
            rig.comm->SetSwHandShaking(static_cast<TSwHandShaking>(value));
        else if (setting == QLatin1String("data"))
            rig.comm->SetDataBits(static_cast<TDataBits>(value));
        else if (setting == QLatin1String("parity"))
            rig.comm->SetParity(static_cast<TParity>(value));
        else if (setting == QLatin1String("stop"))
            rig.comm->SetStopBits(static_cast<TStopBits>(value));

        const QStringList reapply{"getState", "setState"};
        QCOMPARE(rig.port->calls, reapplied ? reapply : QStringList());
        if (!whileOpen)
            rig.Open(); // a stored setting takes effect at the next open
        if (!fields.isEmpty())
            CheckFields(rig.port->applied.last(), fields);
    }

    void readRules_data() {
        QTest::addColumn<int>("waiting");
        QTest::addColumn<int>("inputLen");
        QTest::addColumn<int>("readCount"); // 0: the queue is purged instead
        QTest::newRow("whole read buffer") << 8192 << 0 << 8192;
        QTest::newRow("one byte past the buffer") << 8193 << 0 << 0;
        QTest::newRow("InputLen limits the read") << 5 << 2 << 2;
    }
    void readRules() {
        QFETCH(int, waiting);
        QFETCH(int, inputLen);
        QFETCH(int, readCount);
        TRig rig;
        rig.Open();
        rig.port->incoming = "AB";
        QCOMPARE(rig.comm->Input(), QByteArray("AB"));

        QByteArray fresh(waiting, 'x');
        fresh[0] = 'y';
        rig.port->incoming = fresh;
        rig.comm->SetInputLen(inputLen);
        rig.port->calls.clear();
        const uint64_t reads = rig.comm->ReadCount();
        const QByteArray input = rig.comm->Input();
        // Only a read that brought data counts, so the window never takes old data for new.
        QCOMPARE(rig.comm->ReadCount(), reads + (readCount == 0 ? 0 : 1));
        if (readCount == 0) {
            QCOMPARE(rig.port->calls, QStringList{"purge 8"});
            QCOMPARE(input, QByteArray("AB"));
            QCOMPARE(rig.comm->ReadInputByte(), (std::vector<uint8_t>{'A', 'B'}));
            QCOMPARE(rig.comm->ReadInDataCount(), 0u);
        } else {
            QCOMPARE(rig.port->calls, QStringList{QStringLiteral("read %1").arg(readCount)});
            QCOMPARE(input, fresh.left(readCount));
        }
    }

    void modemLines_data() {
        QTest::addColumn<uint32_t>("lines"); // as the driver reports them
        QTest::addColumn<uint32_t>("mask");
        QTest::addColumn<QString>("holding"); // lines that read as held: C D R T
        QTest::newRow("none") << 0u << 0u << "";
        QTest::newRow("CTS") << msCtsOn << evCTS << "T";
        QTest::newRow("DSR") << msDsrOn << evDSR << "D";
        QTest::newRow("RI") << msRingOn << evRING << "R";
        QTest::newRow("CD") << msRlsdOn << evRLSD << "C";
        QTest::newRow("all four") << (msCtsOn | msDsrOn | msRingOn | msRlsdOn)
                                  << (evCTS | evDSR | evRING | evRLSD) << "CDRT";
    }
    void modemLines() {
        QFETCH(uint32_t, lines);
        QFETCH(uint32_t, mask);
        QFETCH(QString, holding);
        TRig rig;
        rig.Open();
        rig.port->lines = lines;
        rig.comm->ProcTimer();
        rig.comm->ProcTimer();
        QCOMPARE(rig.comm->ReadCommEvent(), mask);
        QCOMPARE(rig.comm->ReadCDHolding(), holding.contains(QLatin1Char('C')));
        QCOMPARE(rig.comm->ReadDSRHolding(), holding.contains(QLatin1Char('D')));
        QCOMPARE(rig.comm->ReadRIHolding(), holding.contains(QLatin1Char('R')));
        QCOMPARE(rig.comm->ReadCTSHolding(), holding.contains(QLatin1Char('T')));
        // Raised on every tick while a line is on, not only when one changes.
        const QString event = QStringLiteral("modem %1").arg(mask, 0, 16);
        QCOMPARE(rig.events, mask == 0 ? QStringList() : QStringList({event, event}));

        rig.port->lines = 0;
        rig.events.clear();
        rig.comm->ProcTimer();
        QCOMPARE(rig.comm->ReadCommEvent(), 0u);
        QVERIFY(rig.events.isEmpty());
    }

    void receiveErrors_data() {
        QTest::addColumn<uint32_t>("flags");
        QTest::newRow("none") << 0u;
        QTest::newRow("overrun") << ceOverrun;
        QTest::newRow("frame and break") << (ceFrame | ceBreak);
        QTest::newRow("receive queue overflow") << ceRxOver;
    }
    void receiveErrors() {
        QFETCH(uint32_t, flags);
        TRig rig;
        rig.Open();
        rig.port->errors = flags;
        rig.comm->ProcTimer();
        QCOMPARE(rig.comm->ReadCommError(), flags);
        QCOMPARE(rig.events, flags == 0
                                 ? QStringList{}
                                 : QStringList{QStringLiteral("error %1").arg(flags, 0, 16)});
        // The driver clears its flags when queried; the next tick reports nothing.
        rig.events.clear();
        rig.comm->ProcTimer();
        QCOMPARE(rig.comm->ReadCommError(), 0u);
        QVERIFY(rig.events.isEmpty());
    }

    void deviceGone_data() {
        QTest::addColumn<QByteArray>("pending");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QStringList>("events");
        const QString lost = QStringLiteral("lost the device was disconnected");
        QTest::newRow("data before the hang-up")
            << QByteArray("xyz") << 1 << QStringList{"data xyz", lost};
        QTest::newRow("hang-up alone") << QByteArray() << 1 << QStringList{lost};
        QTest::newRow("nobody reading") << QByteArray("xyz") << 0 << QStringList{lost};
    }
    void deviceGone() {
        QFETCH(QByteArray, pending);
        QFETCH(int, threshold);
        QFETCH(QStringList, events);
        TRig rig;
        rig.Open();
        rig.comm->SetRThreshold(threshold);
        rig.port->incoming = pending;
        rig.port->hungUp = true;
        rig.port->errors = ceFrame;
        rig.comm->ProcTimer();
        QCOMPARE(rig.events, events);
        QVERIFY(!rig.comm->PortOpen());
        QVERIFY(!rig.port->open);
        // A dead port stays quiet: no more ticks do anything.
        rig.port->calls.clear();
        rig.comm->ProcTimer();
        rig.comm->ProcTimer();
        QCOMPARE(rig.events, events);
        QVERIFY(rig.port->calls.isEmpty());
    }

    // A backend with no descriptor to watch (the Windows one) keeps polling however
    // long the port stays quiet: bytes that come late still arrive.
    void quietPortWithoutDescriptorKeepsPolling() {
        TRig rig;
        rig.comm->OnModemStateChange = nullptr;
        rig.comm->SetRThreshold(1);
        rig.Open();
        QTest::qWait(30 * TComm::quietTicksBeforeWait);
        QVERIFY(!rig.comm->IsWaitingForData());
        rig.port->incoming = "late";
        QVERIFY(QTest::qWaitFor([&] { return !rig.events.isEmpty(); }));
        QCOMPARE(rig.events, QStringList{"data late"});
    }

    void lossSeenByWriteIsReportedOnce() {
        TRig rig;
        rig.Open();
        rig.port->hungUp = true;
        QVERIFY(!rig.comm->OutputChar('a'));
        QVERIFY(!rig.comm->OutputByte({1, 2, 3}));
        QCOMPARE(rig.port->calls, (QStringList{"write 1", "write 1"})); // stops at the loss
        rig.comm->ProcTimer();
        rig.comm->ProcTimer();
        QCOMPARE(rig.events, QStringList{"lost the device was disconnected"});
    }

    // The first byte the port does not take ends the frame and everything sent after
    // it until the next tick has closed the port and told the owner, once.
    void stalledWriteEndsTheSending() {
        TRig rig;
        rig.Open();
        rig.port->writeStalls = true;
        QVERIFY(!rig.comm->OutputByte({0x90, 0x05, 0x80, 0x55, 0x6A}));
        QVERIFY(rig.comm->WriteStalled());
        // The head of the frame that the driver still holds is dropped.
        QCOMPARE(rig.port->calls, (QStringList{"write 1", "purge 5"}));
        rig.port->writeStalls = false; // the line moving again changes nothing now
        QVERIFY(!rig.comm->OutputChar('\x90'));
        QVERIFY(!rig.comm->OutputString("AB"));
        QVERIFY(!rig.comm->OutputStringchar("AB"));
        QVERIFY(!rig.comm->OutputByte({1}));
        QCOMPARE(rig.port->calls.size(), 2);
        QVERIFY(rig.port->written.isEmpty());
        rig.port->writeStalls = true; // for the reason the backend gives
        rig.comm->ProcTimer();
        rig.comm->ProcTimer();
        QCOMPARE(rig.events, QStringList{"stalled the port took no data"});
        QVERIFY(!rig.comm->PortOpen());
        QVERIFY(!rig.port->open);
        // A new open starts clean.
        rig.port->writeStalls = false;
        rig.Open();
        QVERIFY(rig.comm->OutputChar('A'));
        QCOMPARE(rig.port->written, QByteArray("A"));
    }

    void output_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("whileOpen");
        QTest::addColumn<bool>("writeFails");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QByteArray>("written");
        const QStringList none;
        QTest::newRow("char, closed") << "char" << false << false << false << none << QByteArray();
        QTest::newRow("char") << "char" << true << false << true << QStringList{"write 1"}
                              << QByteArray("A");
        QTest::newRow("char, write fails")
            << "char" << true << true << false << QStringList{"write 1"} << QByteArray();
        QTest::newRow("string with zero bytes")
            << "string" << true << false << true << QStringList{"write 4"}
            << QByteArray("A\0B\0", 4);
        QTest::newRow("text without terminator")
            << "text" << true << false << true << QStringList{"write 2"} << QByteArray("AB");
        QTest::newRow("bytes one per write")
            << "bytes" << true << false << true << QStringList{"write 1", "write 1", "write 1"}
            << QByteArray("\x01\x02\x03");
        QTest::newRow("bytes, the first write fails")
            << "bytes" << true << true << false << QStringList{"write 1"} << QByteArray();
        QTest::newRow("bytes, closed")
            << "bytes" << false << false << false << none << QByteArray();
    }
    void output() {
        QFETCH(QString, kind);
        QFETCH(bool, whileOpen);
        QFETCH(bool, writeFails);
        QFETCH(bool, result);
        QFETCH(QStringList, calls);
        QFETCH(QByteArray, written);
        TRig rig;
        if (whileOpen)
            rig.Open();
        rig.port->writeFails = writeFails;
        bool ok = false;
        if (kind == QLatin1String("char"))
            ok = rig.comm->OutputChar('A');
        else if (kind == QLatin1String("string"))
            ok = rig.comm->OutputString(QByteArray("A\0B\0", 4));
        else if (kind == QLatin1String("text"))
            ok = rig.comm->OutputStringchar("AB");
        else
            ok = rig.comm->OutputByte({1, 2, 3});
        QCOMPARE(ok, result);
        QCOMPARE(rig.port->calls, calls);
        QCOMPARE(rig.port->written, written);
    }
};

QTEST_GUILESS_MAIN(TCommLogicTest)
#include "tst_CommLogic.moc"
