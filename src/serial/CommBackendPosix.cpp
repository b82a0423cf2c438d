// Serial port access on Linux through termios and the tty ioctls, one method per
// Win32 communication call that TComm is modelled on.
#include "CommBackendPosix.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace {

std::string SystemText(int err) {
    return std::generic_category().message(err);
}

struct TSpeed {
    int32_t rate;
    speed_t code;
};
constexpr std::array<TSpeed, 15> standardSpeeds{{{50, B50},
                                                 {75, B75},
                                                 {110, B110},
                                                 {134, B134},
                                                 {150, B150},
                                                 {200, B200},
                                                 {300, B300},
                                                 {600, B600},
                                                 {1200, B1200},
                                                 {1800, B1800},
                                                 {2400, B2400},
                                                 {4800, B4800},
                                                 {9600, B9600},
                                                 {19200, B19200},
                                                 {38400, B38400}}};
constexpr std::array<TSpeed, 2> highSpeeds{{{57600, B57600}, {115200, B115200}}};

bool RateToSpeed(int32_t rate, speed_t& code) {
    for (const TSpeed& s : standardSpeeds) {
        if (s.rate == rate) {
            code = s.code;
            return true;
        }
    }
    for (const TSpeed& s : highSpeeds) {
        if (s.rate == rate) {
            code = s.code;
            return true;
        }
    }
    return false;
}

int32_t SpeedToRate(speed_t code) {
    for (const TSpeed& s : standardSpeeds) {
        if (s.code == code)
            return s.rate;
    }
    for (const TSpeed& s : highSpeeds) {
        if (s.code == code)
            return s.rate;
    }
    return 0;
}

std::string OpenErrorText(const std::string& device, int err) {
    const std::string head = "cannot open " + device + ": ";
    switch (err) {
    case EACCES:
        return head + SystemText(err) +
               " (your user must be in the dialout group; log in again after adding it)";
    case EBUSY:
    case EWOULDBLOCK:
        return head + "the port is in use by another program";
    case ENOENT:
        return head + "the device does not exist";
    case ENOTTY:
        return head + "it is not a serial port";
    default:
        return head + SystemText(err);
    }
}

class TPosixCommBackend final : public TCommBackend {
public:
    TPosixCommBackend() = default;
    TPosixCommBackend(const TPosixCommBackend&) = delete;
    TPosixCommBackend& operator=(const TPosixCommBackend&) = delete;
    ~TPosixCommBackend() override { close(); }

    bool open(const std::string& device, std::string& error) override;
    bool isOpen() const override { return fd >= 0; }
    void close() override;

    bool setupQueues(uint32_t inSize, uint32_t outSize) override;
    bool purge(uint32_t flags) override;
    bool getState(TLineSettings& settings) override;
    bool setState(const TLineSettings& settings) override;
    bool escape(int code) override;
    TIoResult clearError(uint32_t& errors, uint32_t& waiting) override;
    bool modemStatus(uint32_t& lines) override;
    TIoResult read(uint8_t* buffer, uint32_t count, uint32_t& got) override;
    TIoResult write(const uint8_t* data, uint32_t count) override;
    TIoResult waitReadable(int timeoutMs) override;
    int readyDescriptor() const override { return fd; }

    std::string lastError() const override { return lastErrorText; }

private:
    bool Fail(const std::string& what, int err) {
        lastErrorText = devicePath + ": " + what + ": " + SystemText(err);
        return false;
    }
    TIoResult Gone() {
        lastErrorText = devicePath + ": the device was disconnected";
        return TIoResult::gone;
    }
    bool NotOpen() {
        lastErrorText = "the port is not open";
        return false;
    }
    bool HungUp() const;
    bool ChangeModemLines(unsigned long request, int bits);
    uint32_t ErrorsSinceLastQuery();
    void WaitForOutputSent();
    void RestoreFoundSettings();

    int fd = -1;
    std::string devicePath;
    // The line as the port was found, put back at close for the next program.
    termios found{};
    std::string lastErrorText;
    serial_icounter_struct counters{};
    bool countersKnown = false;
    // Pseudo-terminals and many USB adapters have no error counters or no modem
    // lines; once the driver says so, the 10 ms poll stops asking.
    bool hasCounters = true;
    bool hasModemLines = true;
};

// The driver does not know the request at all (as opposed to failing it now).
bool NotSupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

bool TPosixCommBackend::open(const std::string& device, std::string& error) {
    close();
    // O_NONBLOCK: without it the open of a port with CLOCAL still off waits for
    // carrier detect. It stays on so that no call can stall the window's thread.
    const int handle = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        error = lastErrorText = OpenErrorText(device, errno);
        return false;
    }
    bool exclusive = false;
    const auto failOpen = [&](int err) {
        error = lastErrorText = OpenErrorText(device, err);
        if (exclusive)
            ::ioctl(handle, TIOCNXCL);
        ::close(handle);
        return false;
    };
    termios settings{};
    if (::tcgetattr(handle, &settings) != 0)
        return failOpen(errno);
    const termios asFound = settings;
    // Exclusive use takes both locks: TIOCEXCL makes the kernel refuse any further
    // open of the tty, but not to root; flock holds for root too, but is advisory:
    // it only keeps out programs that take it as well.
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0)
        return failOpen(errno);
    if (::ioctl(handle, TIOCEXCL) != 0)
        return failOpen(errno);
    exclusive = true;

    // A tty starts in the terminal's cooked mode, where IXON alone would swallow
    // every 0x11 and 0x13 of the board's binary data. Start from raw mode without
    // flow control, as a port opened on Windows does: the settings TComm leaves
    // "as the driver had them" then mean that.
    PosixLine::MakeBaseline(settings);
    if (::tcsetattr(handle, TCSANOW, &settings) != 0)
        return failOpen(errno);

    fd = handle;
    devicePath = device;
    found = asFound;
    hasModemLines = true;
    countersKnown = ::ioctl(fd, TIOCGICOUNT, &counters) == 0;
    hasCounters = countersKnown || !NotSupported(errno);
    return true;
}

void TPosixCommBackend::close() {
    if (fd < 0)
        return;
    RestoreFoundSettings();
    // The exclusive flag belongs to the tty, not to this descriptor: a pseudo-terminal
    // whose other side stays open would keep it, and the next non-root open would
    // then fail with EBUSY.
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    fd = -1;
    countersKnown = false;
}

// Bytes still queued would go out at the restored settings (another rate, parity or
// size): wait until the driver has sent them, but no longer than they take at the
// port's rate, since a line held by flow control would hold the window for good.
void TPosixCommBackend::WaitForOutputSent() {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0)
        queued = 0;
    termios t{};
    const int32_t rate = ::tcgetattr(fd, &t) == 0 ? SpeedToRate(::cfgetospeed(&t)) : 0;
    // Ten bits a byte, and the UART's own FIFO (not counted in TIOCOUTQ) of up to 64.
    const auto lineTime =
        std::chrono::milliseconds((queued + 64) * 10'000LL / (rate > 0 ? rate : 9600) + 1);
    const auto deadline = std::chrono::steady_clock::now() + lineTime;
    const auto pause = [deadline] {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    };
    while (queued > 0 && pause() && ::ioctl(fd, TIOCOUTQ, &queued) == 0) {
    }
    // Drivers that report the transmitter itself say when the FIFO is empty too.
    unsigned int lsr = 0;
    while (::ioctl(fd, TIOCSERGETLSR, &lsr) == 0 && (lsr & TIOCSER_TEMT) == 0 && pause()) {
    }
}

void TPosixCommBackend::RestoreFoundSettings() {
    WaitForOutputSent();
    // HUPCL stays clear whatever was found: with it, this very close would drop DTR,
    // and a board that resets on DTR would restart under the next program.
    termios back = found;
    back.c_cflag &= ~HUPCL;
    if (::tcsetattr(fd, TCSANOW, &back) != 0) {
        const int err = errno;
        // A device that is gone keeps no settings to restore.
        if (err != EIO)
            Fail("restoring the line settings found at open", err);
    }
}

bool TPosixCommBackend::setupQueues(uint32_t, uint32_t) {
    // The tty layer sizes its buffers itself; there is nothing to ask for.
    return fd >= 0 || NotOpen();
}

bool TPosixCommBackend::purge(uint32_t flags) {
    if (fd < 0)
        return NotOpen();
    // Writes are synchronous, so there is never a transfer to abort: abort and
    // clear both come down to dropping what the driver holds.
    const bool input = (flags & (purgeRxAbort | purgeRxClear)) != 0;
    const bool output = (flags & (purgeTxAbort | purgeTxClear)) != 0;
    if (!input && !output)
        return true;
    const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(fd, queue) == 0 || Fail("tcflush", errno);
}

bool TPosixCommBackend::getState(TLineSettings& settings) {
    if (fd < 0)
        return NotOpen();
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return Fail("tcgetattr", errno);
    settings = PosixLine::FromTermios(t);
    int lines = 0;
    if (settings.rtsControl == 0 && ::ioctl(fd, TIOCMGET, &lines) == 0 && (lines & TIOCM_RTS))
        settings.rtsControl = 1;
    return true;
}

bool TPosixCommBackend::setState(const TLineSettings& settings) {
    if (fd < 0)
        return NotOpen();
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return Fail("tcgetattr", errno);
    const bool speedKnown = PosixLine::ToTermios(settings, t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return Fail("tcsetattr", errno);
    // tcsetattr succeeds when any part was taken; a driver that cannot do the rate
    // keeps its own, which only reading back shows.
    termios now{};
    const bool speedTaken =
        !speedKnown || (::tcgetattr(fd, &now) == 0 && ::cfgetospeed(&now) == ::cfgetospeed(&t));

    // Like a DCB's RTS control: disabled drops RTS, enabled raises it.
    if (settings.rtsControl == 0)
        ChangeModemLines(TIOCMBIC, TIOCM_RTS);
    else if (settings.rtsControl == 1)
        ChangeModemLines(TIOCMBIS, TIOCM_RTS);

    if (!speedKnown) {
        lastErrorText = devicePath + ": " + std::to_string(settings.baudRate) +
                        " baud is not a standard bit rate";
        return false;
    }
    if (!speedTaken) {
        lastErrorText = devicePath + ": the device does not take " +
                        std::to_string(settings.baudRate) + " baud";
        return false;
    }
    return true;
}

bool TPosixCommBackend::ChangeModemLines(unsigned long request, int bits) {
    // Pseudo-terminals have no modem lines and refuse; that changes nothing.
    return ::ioctl(fd, request, &bits) == 0 || Fail("modem lines", errno);
}

bool TPosixCommBackend::escape(int code) {
    if (fd < 0)
        return NotOpen();
    switch (code) {
    case escSetRts:
        return ChangeModemLines(TIOCMBIS, TIOCM_RTS);
    case escClrRts:
        return ChangeModemLines(TIOCMBIC, TIOCM_RTS);
    case escSetDtr:
        return ChangeModemLines(TIOCMBIS, TIOCM_DTR);
    case escClrDtr:
        return ChangeModemLines(TIOCMBIC, TIOCM_DTR);
    default:
        lastErrorText = "escape code " + std::to_string(code) + " is not supported";
        return false;
    }
}

bool TPosixCommBackend::HungUp() const {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

uint32_t TPosixCommBackend::ErrorsSinceLastQuery() {
    // Only UART drivers keep these counters; ptys and many USB adapters have none.
    if (!hasCounters)
        return 0;
    serial_icounter_struct now{};
    if (::ioctl(fd, TIOCGICOUNT, &now) != 0) {
        hasCounters = !NotSupported(errno);
        return 0;
    }
    if (!countersKnown) {
        counters = now;
        countersKnown = true;
        return 0;
    }
    uint32_t errors = 0;
    if (now.overrun != counters.overrun)
        errors |= ceOverrun;
    if (now.buf_overrun != counters.buf_overrun)
        errors |= ceRxOver;
    if (now.parity != counters.parity)
        errors |= ceRxParity;
    if (now.frame != counters.frame)
        errors |= ceFrame;
    if (now.brk != counters.brk)
        errors |= ceBreak;
    counters = now;
    return errors;
}

TIoResult TPosixCommBackend::clearError(uint32_t& errors, uint32_t& waiting) {
    errors = 0;
    waiting = 0;
    if (fd < 0) {
        NotOpen();
        return TIoResult::failed;
    }
    // One poll answers the quiet tick: nothing waiting and no hang-up. Only then are
    // the bytes counted.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) == 0) {
        errors = ErrorsSinceLastQuery();
        return TIoResult::ok;
    }
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) != 0) {
        const int err = errno;
        // After a hang-up the kernel answers every ioctl on the tty with EIO.
        if (err == EIO)
            return Gone();
        Fail("FIONREAD", err);
        return TIoResult::failed;
    }
    waiting = count > 0 ? static_cast<uint32_t>(count) : 0;
    errors = ErrorsSinceLastQuery();
    // Checked after the count, so bytes that came before the hang-up are still
    // reported as waiting and can be read.
    return HungUp() ? Gone() : TIoResult::ok;
}

bool TPosixCommBackend::modemStatus(uint32_t& lines) {
    if (fd < 0)
        return NotOpen();
    if (!hasModemLines)
        return false;
    int bits = 0;
    if (::ioctl(fd, TIOCMGET, &bits) != 0) {
        const int err = errno;
        hasModemLines = !NotSupported(err);
        return Fail("TIOCMGET", err);
    }
    lines = ((bits & TIOCM_CTS) ? msCtsOn : 0) | ((bits & TIOCM_DSR) ? msDsrOn : 0) |
            ((bits & TIOCM_RNG) ? msRingOn : 0) | ((bits & TIOCM_CAR) ? msRlsdOn : 0);
    return true;
}

TIoResult TPosixCommBackend::read(uint8_t* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    if (fd < 0) {
        NotOpen();
        return TIoResult::failed;
    }
    if (count == 0)
        return TIoResult::ok;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, count);
        if (n > 0) {
            got = static_cast<uint32_t>(n);
            return TIoResult::ok;
        }
        if (n == 0) {
            // With VMIN and VTIME at 0 an empty queue also reads as 0 bytes; only a
            // hang-up makes it the end.
            return HungUp() ? Gone() : TIoResult::ok;
        }
        const int err = errno;
        if (err == EINTR)
            continue;
        if (err == EAGAIN)
            return TIoResult::ok;
        if (err == EIO)
            return Gone();
        Fail("read", err);
        return TIoResult::failed;
    }
}

TIoResult TPosixCommBackend::write(const uint8_t* data, uint32_t count) {
    if (fd < 0) {
        NotOpen();
        return TIoResult::failed;
    }
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, data + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        const int err = n < 0 ? errno : EAGAIN;
        if (err == EINTR)
            continue;
        if (err == EIO)
            return Gone();
        if (err != EAGAIN) {
            Fail("write", err);
            return TIoResult::failed;
        }
        // The driver's buffer is full (flow control held, or the line is slower
        // than the writer): wait for room, as a synchronous write would.
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, writeStallMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            Fail("poll", errno);
            return TIoResult::failed;
        }
        if (ready == 0) {
            lastErrorText = devicePath + ": the port took no data for " +
                            std::to_string(writeStallMs / 1000) + " s";
            return TIoResult::stalled;
        }
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return Gone();
    }
    return TIoResult::ok;
}

TIoResult TPosixCommBackend::waitReadable(int timeoutMs) {
    if (fd < 0) {
        NotOpen();
        return TIoResult::failed;
    }
    pollfd p{fd, POLLIN, 0};
    // A signal (Ctrl-C) ends the wait early: the caller looks at why before waiting again.
    const int ready = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (ready < 0 && errno != EINTR) {
        Fail("poll", errno);
        return TIoResult::failed;
    }
    // Bytes that came before a hang-up are still read first; clearError reports the end.
    return TIoResult::ok;
}

} // namespace

void PosixLine::MakeBaseline(termios& t) {
    // Binary: no line editing, no echo, no CR/LF translation, no signal characters.
    ::cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    // HUPCL drops DTR at close, which resets a board wired to reset on DTR.
    t.c_cflag &= ~(CRTSCTS | HUPCL);
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    // Reads return at once with whatever waits; TComm only reads what FIONREAD counted.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

bool PosixLine::ToTermios(const TLineSettings& settings, termios& t) {
    ::cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cflag &= ~HUPCL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    // A rate termios has no code for is refused; the rest still applies, so the
    // port is never left in cooked mode.
    speed_t speed = B9600;
    const bool speedKnown = RateToSpeed(settings.baudRate, speed);
    if (speedKnown) {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }

    t.c_cflag &= ~CSIZE;
    switch (settings.byteSize) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    // 1.5 stop bits has no flag of its own: with five data bits the UART sends
    // one and a half for CSTOPB.
    if (settings.stopBits != 0)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~CSTOPB;

    // The parity bit is generated and expected, but never checked (no INPCK): bytes
    // with a wrong parity bit are handed over unchanged.
    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    t.c_iflag &= ~INPCK;
    switch (settings.parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }

    // termios couples both directions of the RTS/CTS handshake in one flag.
    if (settings.rtsControl == 2 || settings.ctsOutFlow)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
    if (settings.xonXoffOut)
        t.c_iflag |= IXON;
    else
        t.c_iflag &= ~IXON;
    if (settings.xonXoffIn)
        t.c_iflag |= IXOFF;
    else
        t.c_iflag &= ~IXOFF;
    return speedKnown;
}

TLineSettings PosixLine::FromTermios(const termios& t) {
    TLineSettings settings;
    if (const int32_t rate = SpeedToRate(::cfgetospeed(&t)); rate != 0)
        settings.baudRate = rate;
    settings.binary = (t.c_lflag & ICANON) == 0;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        settings.byteSize = 5;
        break;
    case CS6:
        settings.byteSize = 6;
        break;
    case CS7:
        settings.byteSize = 7;
        break;
    default:
        settings.byteSize = 8;
        break;
    }
    settings.stopBits = (t.c_cflag & CSTOPB) == 0 ? 0 : settings.byteSize == 5 ? 1 : 2;
    if ((t.c_cflag & PARENB) == 0)
        settings.parity = 0;
    else if ((t.c_cflag & CMSPAR) != 0)
        settings.parity = (t.c_cflag & PARODD) != 0 ? 3 : 4;
    else
        settings.parity = (t.c_cflag & PARODD) != 0 ? 1 : 2;
    settings.parityInUse = settings.parity != 0;
    settings.ctsOutFlow = (t.c_cflag & CRTSCTS) != 0;
    settings.rtsControl = settings.ctsOutFlow ? 2 : 0;
    settings.xonXoffOut = (t.c_iflag & IXON) != 0;
    settings.xonXoffIn = (t.c_iflag & IXOFF) != 0;
    return settings;
}

std::unique_ptr<TCommBackend> makeSystemCommBackend() {
    return std::make_unique<TPosixCommBackend>();
}
