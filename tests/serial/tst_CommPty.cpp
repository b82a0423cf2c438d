// TComm with the system backend on a real pseudo-terminal: the test holds the
// master side and plays the board; the component opens the slave through a COM name.
#include "ByteLiterals.h"
#include "Comm.h"
#include "CommFakes.h"
#include "PortNames.h"
#include "PtyPair.h"

#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// The tty's exclusive flag as the kernel holds it; -1 when it cannot be read.
int ExclusiveFlag(const QString& device) {
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY ? 1 : -1; // refused by the flag itself (not root)
    int flag = -1;
    if (::ioctl(fd, TIOCGEXCL, &flag) != 0)
        flag = -1;
    ::close(fd);
    return flag;
}

// A line another program left behind: cooked, with flow control, parity, seven bits,
// 4800 baud, and the hang-up on close that drops DTR.
termios DirtyLine() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | PARODD | CRTSCTS | CREAD | HUPCL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    ::cfsetispeed(&t, B4800);
    ::cfsetospeed(&t, B4800);
    return t;
}

} // namespace

class TCommPtyTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TPtyPair> pty;
    TFakeOwner owner;

    std::unique_ptr<TComm> OpenComm() {
        auto comm = std::make_unique<TComm>(&owner);
        comm->SetPortOpen(true);
        return comm;
    }
    // Waits until the component counts `count` bytes in the receive queue.
    static bool WaitForQueued(TComm& comm, uint32_t count) {
        return QTest::qWaitFor([&] { return comm.ReadInDataCount() == count; });
    }
    // The same without running the event loop, so that no poll tick runs meanwhile.
    static bool WaitForQueuedNoTicks(TComm& comm, uint32_t count) {
        for (int i = 0; i < 1000; ++i) {
            if (comm.ReadInDataCount() == count)
                return true;
            QTest::qSleep(1);
        }
        return false;
    }

private Q_SLOTS:
    void init() {
        pty = std::make_unique<TPtyPair>();
        QVERIFY(pty->Ok());
        owner.failures.clear();
        PortNames::ClearOverrides();
        PortNames::SetOverride(QStringLiteral("COM1"), pty->SlavePath());
    }
    void cleanup() {
        pty.reset();
        PortNames::ClearOverrides();
    }

    void openAndClose() {
        auto comm = OpenComm();
        QVERIFY(comm->PortOpen());
        QVERIFY(owner.failures.isEmpty());
        QCOMPARE(comm->DeviceName(), pty->SlavePath());
        QCOMPARE(ExclusiveFlag(pty->SlavePath()), 1);

        comm->SetPortOpen(false);
        QVERIFY(!comm->PortOpen());
        // The master stays open, so the tty lives on: its exclusive flag must be gone.
        QCOMPARE(ExclusiveFlag(pty->SlavePath()), 0);
        QVERIFY(!comm->OutputChar('x'));

        comm->SetPortOpen(true); // a closed component opens again
        QVERIFY(comm->PortOpen());
    }

    void lineSettingsReachTheTty() {
        auto comm = OpenComm();
        comm->SetBaudRate(19200); // changed while open: applied a second time
        comm->SetHwHandShaking(hhRTSCTS);
        // On the master side the mode ioctls act on the slave's settings. A new
        // tty starts cooked with IXON on, which would eat the board's 0x11 and 0x13.
        termios t{};
        QCOMPARE(::tcgetattr(pty->Master(), &t), 0);
        QCOMPARE(::cfgetospeed(&t), speed_t(B19200));
        QCOMPARE(uint(t.c_cflag & (CRTSCTS | CSTOPB | CREAD | CLOCAL)),
                 uint(CRTSCTS | CREAD | CLOCAL));
        QCOMPARE(uint(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK)), 0u);
        QCOMPARE(uint(t.c_lflag & (ICANON | ECHO | ISIG)), 0u);
        QCOMPARE(uint(t.c_oflag & OPOST), 0u);
        QCOMPARE(int(t.c_cc[VMIN]) + int(t.c_cc[VTIME]), 0);
    }

    // The line is handed back as it was found, except HUPCL: set, our own close would
    // drop DTR and reset a board wired to reset on DTR. While open it is clear.
    void lineSettingsLeftAsFound_data() {
        QTest::addColumn<bool>("dirty");
        QTest::newRow("as the kernel made it") << false;
        QTest::newRow("left by another program") << true;
    }
    void lineSettingsLeftAsFound() {
        QFETCH(bool, dirty);
        if (dirty) {
            const termios t = DirtyLine();
            QCOMPARE(::tcsetattr(pty->Master(), TCSANOW, &t), 0);
        }
        termios found{};
        QCOMPARE(::tcgetattr(pty->Master(), &found), 0);
        QCOMPARE(bool(found.c_cflag & HUPCL), dirty);

        auto comm = OpenComm();
        QVERIFY(comm->PortOpen());
        termios now{};
        QCOMPARE(::tcgetattr(pty->Master(), &now), 0);
        QCOMPARE(uint(now.c_cflag & HUPCL), 0u);
        comm->SetBaudRate(19200); // settings applied again keep it clear
        QCOMPARE(::tcgetattr(pty->Master(), &now), 0);
        QCOMPARE(uint(now.c_cflag & HUPCL), 0u);
        QCOMPARE(::cfgetospeed(&now), speed_t(B19200));

        comm->SetPortOpen(false);
        QCOMPARE(::tcgetattr(pty->Master(), &now), 0);
        QCOMPARE(now.c_iflag, found.c_iflag);
        QCOMPARE(now.c_oflag, found.c_oflag);
        QCOMPARE(now.c_lflag, found.c_lflag);
        QCOMPARE(now.c_cflag, found.c_cflag & ~tcflag_t(HUPCL));
        QCOMPARE(::cfgetispeed(&now), ::cfgetispeed(&found));
        QCOMPARE(::cfgetospeed(&now), ::cfgetospeed(&found));
        for (size_t i = 0; i < NCCS; ++i)
            QCOMPARE(now.c_cc[i], found.c_cc[i]);
    }

    // The poll stops after quietTicksBeforeWait ticks in a row that found nothing since
    // the last byte or write, and never while bytes wait unread or a modem-line
    // handler needs it. Ticks are run by
    // hand here, with no event loop to run the timer's own.
    void pollSleepsWhenQuiet_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("sleepsAt"); // the tick after which it sleeps; 0 never
        QTest::newRow("quiet port") << "" << TComm::quietTicksBeforeWait;
        QTest::newRow("a byte read at the fifth tick") << "byte" << 5 + TComm::quietTicksBeforeWait;
        QTest::newRow("a write before the fifth tick")
            << "write" << 4 + TComm::quietTicksBeforeWait;
        QTest::newRow("bytes left unread") << "unread" << 0;
        QTest::newRow("modem-line handler") << "modem" << 0;
    }
    void pollSleepsWhenQuiet() {
        QFETCH(QString, setup);
        QFETCH(int, sleepsAt);
        auto comm = OpenComm();
        if (setup == QLatin1String("modem"))
            comm->OnModemStateChange = [](QObject*, uint32_t) {};
        if (setup == QLatin1String("unread")) {
            QVERIFY(pty->Write("abc"));
            QVERIFY(WaitForQueuedNoTicks(*comm, 3));
        }
        for (int tick = 1; tick <= 3 * TComm::quietTicksBeforeWait; ++tick) {
            if (setup == QLatin1String("byte") && tick == 5) {
                QVERIFY(pty->Write("x"));
                QVERIFY(WaitForQueuedNoTicks(*comm, 1));
            }
            if (setup == QLatin1String("write") && tick == 5)
                QVERIFY(comm->OutputChar('w'));
            comm->ProcTimer();
            if (setup == QLatin1String("byte") && tick == 5)
                QCOMPARE(comm->Input(), QByteArray("x"));
            QCOMPARE(comm->IsWaitingForData(), sleepsAt > 0 && tick >= sleepsAt);
        }
    }

    // Asleep, the component is woken by a byte (read at once), by a hang-up (reported
    // once, the port closed) or by a write of its own (polling for the reply).
    void quietPortWakes_data() {
        QTest::addColumn<QString>("wake");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<bool>("openAfter");
        QTest::newRow("an acknowledgement") << "ack" << QStringList{"data 90 05 50 03 E8"} << true;
        QTest::newRow("hang-up") << "hang-up" << QStringList{"lost"} << false;
        QTest::newRow("a write") << "write" << QStringList{} << true;
    }
    void quietPortWakes() {
        QFETCH(QString, wake);
        QFETCH(QStringList, events);
        QFETCH(bool, openAfter);
        auto comm = OpenComm();
        comm->SetRThreshold(1);
        QStringList seen;
        comm->OnReceiveData = [&](QObject*) {
            seen << QStringLiteral("data ") +
                        QString::fromLatin1(comm->Input().toHex(' ').toUpper());
        };
        comm->OnPortLost = [&](QObject*, const QString&) { seen << QStringLiteral("lost"); };
        QVERIFY(!comm->IsWaitingForData()); // polls first
        QVERIFY(QTest::qWaitFor([&] { return comm->IsWaitingForData(); }));

        if (wake == QLatin1String("ack")) {
            QVERIFY(pty->Write(Raw("90 05 50 03 E8")));
            QVERIFY(QTest::qWaitFor([&] { return !seen.isEmpty(); }));
        } else if (wake == QLatin1String("hang-up")) {
            pty->CloseMaster();
            QVERIFY(QTest::qWaitFor([&] { return !seen.isEmpty(); }));
        } else {
            QVERIFY(comm->OutputChar('A'));
            QVERIFY(!comm->IsWaitingForData());
            QCOMPARE(pty->Read(1000, 1), QByteArray("A"));
        }
        QTest::qWait(50); // a lost port stays reported once
        QCOMPARE(seen, events);
        QCOMPARE(comm->PortOpen(), openAfter);
        if (openAfter) // and once quiet again, it sleeps again
            QVERIFY(QTest::qWaitFor([&] { return comm->IsWaitingForData(); }));
        else
            QVERIFY(!comm->IsWaitingForData());
    }

    void noReceiveEventWithoutThreshold() {
        auto comm = OpenComm();
        int raised = 0;
        comm->OnReceiveData = [&](QObject*) { ++raised; };
        QVERIFY(pty->Write("abc"));
        QVERIFY(WaitForQueued(*comm, 3));
        comm->ProcTimer();
        comm->ProcTimer();
        QCOMPARE(raised, 0);
        QCOMPARE(comm->ReadInDataCount(), 3u); // nothing was read either
    }

    void inputTakesEverythingWaiting() {
        auto comm = OpenComm();
        comm->SetRThreshold(1);
        QObject* sender = nullptr;
        comm->OnReceiveData = [&](QObject* s) { sender = s; };
        QVERIFY(pty->Write("a"));
        QVERIFY(QTest::qWaitFor([&] { return sender != nullptr; }));
        QCOMPARE(sender, comm.get());
        // More arrives after the event; Input takes what waits when it is read.
        QVERIFY(pty->Write("bc"));
        QVERIFY(WaitForQueued(*comm, 3));
        QCOMPARE(comm->Input(), QByteArray("abc"));
        QCOMPARE(comm->ReadInDataCount(), 0u);
    }

    void inputKeepsZeroBytesAndPreviousData() {
        auto comm = OpenComm();
        const QByteArray withZeros("\0A\0\0", 4);
        QVERIFY(pty->Write(withZeros));
        QVERIFY(WaitForQueued(*comm, 4));
        QCOMPARE(comm->Input(), withZeros);
        // Nothing new: the previous read is handed out again.
        QCOMPARE(comm->Input(), withZeros);
        QCOMPARE(comm->ReadInputByte(), (std::vector<uint8_t>{0, 'A', 0, 0}));

        QVERIFY(pty->Write("z"));
        QVERIFY(WaitForQueued(*comm, 1));
        QCOMPARE(comm->Input(), QByteArray("z"));
    }

    void setInDataCount_data() {
        QTest::addColumn<uint>("count");
        QTest::addColumn<uint>("left");
        QTest::newRow("0 purges") << 0u << 0u;
        QTest::newRow("5 does nothing") << 5u << 3u;
    }
    void setInDataCount() {
        QFETCH(uint, count);
        QFETCH(uint, left);
        auto comm = OpenComm();
        QVERIFY(pty->Write("abc"));
        QVERIFY(WaitForQueued(*comm, 3));
        comm->SetInDataCount(count);
        QCOMPARE(comm->ReadInDataCount(), left);
    }

    void outputCharReachesTheFarEnd() {
        TComm comm(&owner);
        QVERIFY(!comm.OutputChar('Q')); // closed: nothing is written
        comm.SetPortOpen(true);
        QVERIFY(comm.OutputChar('Z'));
        QVERIFY(comm.OutputChar('\0'));
        QByteArray received;
        QVERIFY(QTest::qWaitFor([&] {
            received += pty->Take();
            return received.size() >= 2;
        }));
        QCOMPARE(received, QByteArray("Z\0", 2));
        comm.SetPortOpen(false);
        QVERIFY(!comm.OutputChar('Q'));
    }

    void portNameFromOrdinal_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("port"); // -1: keep what the owner's selection gave
        QTest::addColumn<QString>("name");
        QTest::newRow("last of the list") << 7 << -1 << "COM8";
        QTest::newRow("sixteenth port") << 0 << int(pnCOM16) << "COM16";
    }
    void portNameFromOrdinal() {
        QFETCH(int, selected);
        QFETCH(int, port);
        QFETCH(QString, name);
        PortNames::ClearOverrides();
        PortNames::SetOverride(name, pty->SlavePath());
        owner.selected = selected;
        TComm comm(&owner);
        owner.selected = -1;
        if (port >= 0)
            comm.SetCommPort(static_cast<TComPortNumber>(port));
        comm.SetPortOpen(true);
        QVERIFY(comm.PortOpen());
        QCOMPARE(comm.PortName(), name);
        QCOMPARE(comm.DeviceName(), pty->SlavePath());
    }

    void exclusiveOpen() {
        auto first = OpenComm();
        QVERIFY(first->PortOpen());
        auto second = OpenComm();
        QVERIFY(!second->PortOpen());
        QCOMPARE(owner.failures.size(), 1);
        QCOMPARE(owner.failures.first().first, QStringLiteral("COM1"));
        QVERIFY2(owner.failures.first().second.contains(QLatin1String("in use by another program")),
                 qPrintable(owner.failures.first().second));

        first->SetPortOpen(false);
        second->SetPortOpen(true);
        QVERIFY(second->PortOpen());
    }

    void missingPort_data() {
        QTest::addColumn<QString>("device"); // empty: nothing behind the name
        QTest::addColumn<QString>("reason");
        QTest::newRow("no device behind the name") << ""
                                                   << "no serial port is present for COM16";
        QTest::newRow("device path missing") << "/dev/krv2-no-such-port"
                                             << "does not exist";
    }
    void missingPort() {
        QFETCH(QString, device);
        QFETCH(QString, reason);
        // Pinned to nothing, COM16 has no device even on a machine with sixteen ports.
        PortNames::SetOverride(QStringLiteral("COM16"), device);
        TComm comm(&owner);
        comm.SetCommPort(pnCOM16);
        comm.SetPortOpen(true);
        QVERIFY(!comm.PortOpen());
        QCOMPARE(owner.failures.size(), 1);
        QCOMPARE(owner.failures.first().first, QStringLiteral("COM16"));
        QVERIFY2(owner.failures.first().second.contains(reason),
                 qPrintable(owner.failures.first().second));
    }

    void refusedRateIsAnOpenError() {
        TComm comm(&owner);
        comm.SetBaudRate(12345); // no termios code: the tty keeps another rate
        comm.SetPortOpen(true);
        QVERIFY(!comm.PortOpen());
        QCOMPARE(owner.failures.size(), 1);
        QVERIFY2(owner.failures.first().second.contains(QStringLiteral("12345 baud")),
                 qPrintable(owner.failures.first().second));
        QCOMPARE(ExclusiveFlag(pty->SlavePath()), 0); // released for the next try
        comm.SetBaudRate(9600);
        comm.SetPortOpen(true);
        QVERIFY(comm.PortOpen());
    }

    void farEndClosed() {
        auto comm = OpenComm();
        comm->SetRThreshold(1);
        QStringList events;
        comm->OnReceiveData = [&](QObject*) {
            events << QStringLiteral("data ") + QString::fromLatin1(comm->Input());
        };
        comm->OnReceiveError = [&](QObject*, uint32_t) { events << QStringLiteral("error"); };
        comm->OnPortLost = [&](QObject* sender, const QString& reason) {
            QCOMPARE(sender, comm.get());
            QVERIFY(!reason.isEmpty());
            events << QStringLiteral("lost");
        };

        // The kernel drops what a hung-up tty still holds, so the last bytes are
        // only safe once the component has them; then the far end goes.
        QVERIFY(pty->Write("bye"));
        QVERIFY(QTest::qWaitFor([&] { return !events.isEmpty(); }));
        pty->CloseMaster();
        QVERIFY(QTest::qWaitFor([&] { return events.size() >= 2; }));
        QVERIFY(!comm->PortOpen());
        QVERIFY(!comm->OutputChar('x'));

        // Let many ticks' worth of time pass: a dead port must stay quiet.
        QTest::qWait(100);
        comm->ProcTimer();
        QCOMPARE(events, (QStringList{"data bye", "lost"}));
    }
};

QTEST_GUILESS_MAIN(TCommPtyTest)
#include "tst_CommPty.moc"
