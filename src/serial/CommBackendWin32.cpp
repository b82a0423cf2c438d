// Serial port access on Windows: the Win32 communication calls themselves, on a
// handle opened for synchronous (not overlapped) I/O.
#include "CommBackend.h"

#include <windows.h>

#include <timeapi.h>

#include <string>

namespace {

std::string SystemText(DWORD err) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, err, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr)
        return "system error " + std::to_string(err);
    std::string message(text, length);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message;
}

std::string OpenErrorText(const std::string& device, DWORD err) {
    const std::string head = "cannot open " + device + ": ";
    switch (err) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        // Ports are opened without sharing, so "denied" means someone else has it.
        return head + "the port is in use by another program";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return head + "the device does not exist";
    default:
        return head + SystemText(err);
    }
}

// The errors a port reports once its USB adapter has been pulled.
bool MeansGone(DWORD err) {
    switch (err) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_INVALID_HANDLE:
        return true;
    default:
        return false;
    }
}

class TWin32CommBackend final : public TCommBackend {
public:
    TWin32CommBackend() = default;
    TWin32CommBackend(const TWin32CommBackend&) = delete;
    TWin32CommBackend& operator=(const TWin32CommBackend&) = delete;
    ~TWin32CommBackend() override { close(); }

    bool open(const std::string& device, std::string& error) override;
    bool isOpen() const override { return handle != INVALID_HANDLE_VALUE; }
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
    // A comm handle is nothing an event loop's socket notifier can watch: the
    // component keeps its 10 ms poll.
    int readyDescriptor() const override { return -1; }

    std::string lastError() const override { return lastErrorText; }

private:
    // Records the reason right after the failing call; false for the caller to pass on.
    bool Fail(const char* call) {
        lastErrorCode = GetLastError();
        lastErrorText = device + ": " + call + ": " + SystemText(lastErrorCode);
        return false;
    }
    TIoResult IoFail(const char* call) {
        Fail(call);
        if (!MeansGone(lastErrorCode))
            return TIoResult::failed;
        lastErrorText = device + ": the device was disconnected";
        return TIoResult::gone;
    }
    bool NotOpen() {
        lastErrorText = "the port is not open";
        return false;
    }

    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string device;
    std::string lastErrorText;
    DWORD lastErrorCode = 0;
};

bool TWin32CommBackend::open(const std::string& name, std::string& error) {
    close();
    // No sharing gives the exclusive use; no FILE_FLAG_OVERLAPPED keeps every
    // read and write synchronous.
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        lastErrorCode = GetLastError();
        error = lastErrorText = OpenErrorText(name, lastErrorCode);
        return false;
    }
    handle = h;
    device = name;
    // Writes stay synchronous but give up when the port takes nothing for a while
    // (the far end holds off, the adapter hangs); read time-outs stay the driver's.
    COMMTIMEOUTS timeouts{};
    if (GetCommTimeouts(handle, &timeouts)) {
        // A byte takes about 1 ms at 9600 baud: long writes get their own time.
        timeouts.WriteTotalTimeoutMultiplier = 2;
        timeouts.WriteTotalTimeoutConstant = writeStallMs;
        SetCommTimeouts(handle, &timeouts);
    }
    return true;
}

void TWin32CommBackend::close() {
    if (handle == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

bool TWin32CommBackend::setupQueues(uint32_t inSize, uint32_t outSize) {
    if (!isOpen())
        return NotOpen();
    return SetupComm(handle, inSize, outSize) || Fail("SetupComm");
}

bool TWin32CommBackend::purge(uint32_t flags) {
    if (!isOpen())
        return NotOpen();
    return PurgeComm(handle, flags) || Fail("PurgeComm");
}

bool TWin32CommBackend::getState(TLineSettings& settings) {
    if (!isOpen())
        return NotOpen();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb))
        return Fail("GetCommState");
    settings.baudRate = static_cast<int32_t>(dcb.BaudRate);
    settings.binary = dcb.fBinary != 0;
    settings.parity = dcb.Parity;
    settings.parityInUse = dcb.fParity != 0;
    settings.rtsControl = static_cast<uint8_t>(dcb.fRtsControl);
    settings.ctsOutFlow = dcb.fOutxCtsFlow != 0;
    settings.xonXoffOut = dcb.fOutX != 0;
    settings.xonXoffIn = dcb.fInX != 0;
    settings.byteSize = dcb.ByteSize;
    settings.stopBits = dcb.StopBits;
    return true;
}

bool TWin32CommBackend::setState(const TLineSettings& settings) {
    if (!isOpen())
        return NotOpen();
    // Start from the driver's DCB so every member not named here keeps its value.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb))
        return Fail("GetCommState");
    dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
    dcb.fBinary = settings.binary ? TRUE : FALSE;
    dcb.Parity = settings.parity;
    // Parity is recorded as in use but never checked by the driver.
    if (settings.parityInUse)
        dcb.fParity = FALSE;
    dcb.fRtsControl = settings.rtsControl;
    dcb.fOutxCtsFlow = settings.ctsOutFlow ? TRUE : FALSE;
    dcb.fOutX = settings.xonXoffOut ? TRUE : FALSE;
    dcb.fInX = settings.xonXoffIn ? TRUE : FALSE;
    dcb.ByteSize = settings.byteSize;
    dcb.StopBits = settings.stopBits;
    return SetCommState(handle, &dcb) || Fail("SetCommState");
}

bool TWin32CommBackend::escape(int code) {
    if (!isOpen())
        return NotOpen();
    return EscapeCommFunction(handle, static_cast<DWORD>(code)) || Fail("EscapeCommFunction");
}

TIoResult TWin32CommBackend::clearError(uint32_t& errors, uint32_t& waiting) {
    errors = 0;
    waiting = 0;
    if (!isOpen()) {
        NotOpen();
        return TIoResult::failed;
    }
    DWORD flags = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &flags, &status))
        return IoFail("ClearCommError");
    errors = flags;
    waiting = status.cbInQue;
    return TIoResult::ok;
}

bool TWin32CommBackend::modemStatus(uint32_t& lines) {
    if (!isOpen())
        return NotOpen();
    DWORD status = 0;
    if (!GetCommModemStatus(handle, &status))
        return Fail("GetCommModemStatus");
    lines = status;
    return true;
}

TIoResult TWin32CommBackend::read(uint8_t* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    if (!isOpen()) {
        NotOpen();
        return TIoResult::failed;
    }
    DWORD received = 0;
    if (!ReadFile(handle, buffer, count, &received, nullptr))
        return IoFail("ReadFile");
    got = received;
    return TIoResult::ok;
}

TIoResult TWin32CommBackend::write(const uint8_t* data, uint32_t count) {
    if (!isOpen()) {
        NotOpen();
        return TIoResult::failed;
    }
    DWORD written = 0;
    if (!WriteFile(handle, data, count, &written, nullptr))
        return IoFail("WriteFile");
    if (written < count) {
        lastErrorText =
            device + ": the port took no data for " + std::to_string(writeStallMs / 1000) + " s";
        return TIoResult::stalled;
    }
    return TIoResult::ok;
}

TIoResult TWin32CommBackend::waitReadable(int timeoutMs) {
    if (!isOpen()) {
        NotOpen();
        return TIoResult::failed;
    }
    // WaitCommEvent has no time-out on a handle opened without overlapped I/O, so look
    // at the input queue every millisecond: a line byte takes about 1 ms at 9600 baud.
    // Sleep(1) lasts a whole system tick (15.6 ms) unless the timer is set finer; the
    // setting lasts until the process ends, and only a waiting reader asks for it.
    static const bool fineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)fineTimer;
    const ULONGLONG deadline =
        GetTickCount64() + static_cast<ULONGLONG>(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        DWORD flags = 0;
        COMSTAT status{};
        if (!ClearCommError(handle, &flags, &status))
            return IoFail("ClearCommError");
        if (status.cbInQue > 0 || GetTickCount64() >= deadline)
            return TIoResult::ok;
        Sleep(1);
    }
}

} // namespace

std::unique_ptr<TCommBackend> makeSystemCommBackend() {
    return std::make_unique<TWin32CommBackend>();
}
