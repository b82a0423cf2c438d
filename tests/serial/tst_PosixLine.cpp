// The termios translation of the line settings, on plain termios values: what a
// pseudo-terminal cannot show (data bits, parity) is checked here.
#include "CommBackendPosix.h"

#include <QTest>

namespace {

// A line left behind by a terminal or another program: cooked, with flow control,
// parity checking, seven bits and odd parity.
termios DirtyLine() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | PARODD | CRTSCTS;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    ::cfsetispeed(&t, B38400);
    ::cfsetospeed(&t, B38400);
    return t;
}

TLineSettings Settings(int32_t baud, uint8_t bits, uint8_t parity, uint8_t stop, uint8_t rts,
                       bool xonXoff) {
    TLineSettings s;
    s.baudRate = baud;
    s.byteSize = bits;
    s.parity = parity;
    s.parityInUse = parity != 0;
    s.stopBits = stop;
    s.rtsControl = rts;
    s.ctsOutFlow = rts == 2;
    s.xonXoffOut = xonXoff;
    s.xonXoffIn = xonXoff;
    return s;
}

} // namespace

Q_DECLARE_METATYPE(TLineSettings)

class TPosixLineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void toTermios_data() {
        QTest::addColumn<TLineSettings>("settings");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<uint>("speed");
        QTest::addColumn<uint>("size");
        QTest::addColumn<uint>("cflagOn");
        QTest::addColumn<uint>("cflagOff");
        QTest::addColumn<uint>("iflagOn");
        const uint parityBits = PARENB | PARODD | CMSPAR;
        QTest::newRow("9600 8N1") << Settings(9600, 8, 0, 0, 0, false) << true << uint(B9600)
                                  << uint(CS8) << uint(CREAD | CLOCAL)
                                  << uint(parityBits | CSTOPB | CRTSCTS) << 0u;
        QTest::newRow("odd parity") << Settings(9600, 7, 1, 0, 0, false) << true << uint(B9600)
                                    << uint(CS7) << uint(PARENB | PARODD) << uint(CMSPAR) << 0u;
        QTest::newRow("even parity") << Settings(9600, 8, 2, 0, 0, false) << true << uint(B9600)
                                     << uint(CS8) << uint(PARENB) << uint(PARODD | CMSPAR) << 0u;
        QTest::newRow("mark parity") << Settings(9600, 8, 3, 0, 0, false) << true << uint(B9600)
                                     << uint(CS8) << parityBits << 0u << 0u;
        QTest::newRow("space parity") << Settings(9600, 8, 4, 0, 0, false) << true << uint(B9600)
                                      << uint(CS8) << uint(PARENB | CMSPAR) << uint(PARODD) << 0u;
        QTest::newRow("5 bits, 1.5 stop") << Settings(1200, 5, 0, 1, 0, false) << true
                                          << uint(B1200) << uint(CS5) << uint(CSTOPB) << 0u << 0u;
        QTest::newRow("RTS/CTS") << Settings(57600, 8, 0, 0, 2, false) << true << uint(B57600)
                                 << uint(CS8) << uint(CRTSCTS) << 0u << 0u;
        QTest::newRow("XON/XOFF") << Settings(4800, 8, 0, 0, 0, true) << true << uint(B4800)
                                  << uint(CS8) << 0u << uint(CRTSCTS) << uint(IXON | IXOFF);
        QTest::newRow("rate without a code")
            << Settings(250000, 8, 0, 0, 0, false) << false << uint(B38400) << uint(CS8)
            << uint(CREAD | CLOCAL) << uint(parityBits) << 0u;
    }
    void toTermios() {
        QFETCH(TLineSettings, settings);
        QFETCH(bool, accepted);
        QFETCH(uint, speed);
        QFETCH(uint, size);
        QFETCH(uint, cflagOn);
        QFETCH(uint, cflagOff);
        QFETCH(uint, iflagOn);
        termios t = DirtyLine();
        QCOMPARE(PosixLine::ToTermios(settings, t), accepted);
        QCOMPARE(uint(::cfgetospeed(&t)), speed);
        QCOMPARE(uint(::cfgetispeed(&t)), speed);
        QCOMPARE(uint(t.c_cflag & CSIZE), size);
        QCOMPARE(uint(t.c_cflag & cflagOn), cflagOn);
        QCOMPARE(uint(t.c_cflag & cflagOff), 0u);
        QCOMPARE(uint(t.c_iflag & (IXON | IXOFF)), iflagOn);
        // Binary whatever was there before, and parity never checked.
        QCOMPARE(uint(t.c_iflag & (INPCK | ICRNL | ISTRIP)), 0u);
        QCOMPARE(uint(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)), 0u);
        QCOMPARE(uint(t.c_oflag & OPOST), 0u);
        QCOMPARE(int(t.c_cc[VMIN]), 0);
        QCOMPARE(int(t.c_cc[VTIME]), 0);

        // What was written reads back the same, so that settings the component leaves
        // alone survive a re-apply.
        if (accepted) {
            const TLineSettings back = PosixLine::FromTermios(t);
            QCOMPARE(back.baudRate, settings.baudRate);
            QCOMPARE(back.byteSize, settings.byteSize);
            QCOMPARE(back.parity, settings.parity);
            QCOMPARE(back.parityInUse, settings.parityInUse);
            QCOMPARE(back.stopBits, settings.stopBits);
            QCOMPARE(back.rtsControl, settings.rtsControl);
            QCOMPARE(back.ctsOutFlow, settings.ctsOutFlow);
            QCOMPARE(back.xonXoffOut, settings.xonXoffOut);
            QCOMPARE(back.xonXoffIn, settings.xonXoffIn);
        }
    }
};

QTEST_GUILESS_MAIN(TPosixLineTest)
#include "tst_PosixLine.moc"
