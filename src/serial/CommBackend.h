// The operating-system side of one serial port, one call per Win32 communication
// call that TComm is modelled on. One implementation per OS (CommBackendPosix.cpp,
// CommBackendWin32.cpp); plain C++ so the Windows file compiles without Qt.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Line settings as TComm applies them; fields mirror the DCB members it touches.
struct TLineSettings {
    int32_t baudRate = 9600;
    bool binary = true;
    uint8_t parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
    bool parityInUse = false; // recorded only: parity checking is never turned on
    uint8_t rtsControl = 0;   // 0 held low, 1 held high, 2 handshake
    bool ctsOutFlow = false;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    uint8_t byteSize = 8; // 5..8
    uint8_t stopBits = 0; // 0 one, 1 one and a half, 2 two
};

// Outcome of a call on an open port. `gone` means the device has disappeared
// (USB adapter unplugged, far end of a pseudo-terminal closed): the port is dead.
// `stalled` means a write found the port taking no data within the write time-out
// (the far end holds off, or the adapter hangs).
enum class TIoResult { ok, failed, gone, stalled };

// How long a write waits for the port to take a byte before it gives up.
constexpr int writeStallMs = 1000;

// PurgeComm flags.
constexpr uint32_t purgeTxAbort = 0x0001;
constexpr uint32_t purgeRxAbort = 0x0002;
constexpr uint32_t purgeTxClear = 0x0004;
constexpr uint32_t purgeRxClear = 0x0008;

// EscapeCommFunction codes.
constexpr int escSetRts = 3;
constexpr int escClrRts = 4;
constexpr int escSetDtr = 5;
constexpr int escClrDtr = 6;

// GetCommModemStatus bits as the driver reports them.
constexpr uint32_t msCtsOn = 0x10;
constexpr uint32_t msDsrOn = 0x20;
constexpr uint32_t msRingOn = 0x40;
constexpr uint32_t msRlsdOn = 0x80;

// ClearCommError flags.
constexpr uint32_t ceRxOver = 0x0001;
constexpr uint32_t ceOverrun = 0x0002;
constexpr uint32_t ceRxParity = 0x0004;
constexpr uint32_t ceFrame = 0x0008;
constexpr uint32_t ceBreak = 0x0010;

class TCommBackend {
public:
    virtual ~TCommBackend() = default;

    // CreateFileA: open `device` (a path or a Windows port name) exclusively.
    // On failure returns false and fills `error` with the system's reason.
    virtual bool open(const std::string& device, std::string& error) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0; // CloseHandle

    virtual bool setupQueues(uint32_t inSize, uint32_t outSize) = 0; // SetupComm
    virtual bool purge(uint32_t flags) = 0;                          // PurgeComm
    virtual bool getState(TLineSettings& settings) = 0;              // GetCommState
    virtual bool setState(const TLineSettings& settings) = 0;        // SetCommState
    virtual bool escape(int code) = 0;                               // EscapeCommFunction
    // ClearCommError: line error flags since the last call and bytes waiting.
    // Returns `gone` once the device has hung up; `waiting` still counts the bytes
    // that arrived before and can yet be read.
    virtual TIoResult clearError(uint32_t& errors, uint32_t& waiting) = 0;
    // GetCommModemStatus; false when the port has no modem lines (a pseudo-terminal).
    virtual bool modemStatus(uint32_t& lines) = 0;
    // ReadFile: reads up to `count` bytes; `got` is what arrived.
    virtual TIoResult read(uint8_t* buffer, uint32_t count, uint32_t& got) = 0;
    // WriteFile: all of `data`, or `stalled` when the port takes nothing for
    // writeStallMs.
    virtual TIoResult write(const uint8_t* data, uint32_t count) = 0;
    // Blocks until bytes are waiting, the device hangs up or `timeoutMs` has passed,
    // for a reader that waits on the port instead of polling it on a timer. `ok`
    // also after a time-out or a signal: the caller asks clearError what is there.
    // A backend that cannot wait returns at once.
    virtual TIoResult waitReadable(int timeoutMs) {
        (void)timeoutMs;
        return TIoResult::ok;
    }
    // A descriptor that polls readable while bytes wait and once the device hangs up,
    // for a reader that sleeps in its event loop until the port has something instead
    // of polling it. -1 when the system has none to watch: the reader keeps polling.
    virtual int readyDescriptor() const { return -1; }

    // The reason of the last failure, in the system's words.
    virtual std::string lastError() const = 0;
};

// The backend of the system the program was built for.
std::unique_ptr<TCommBackend> makeSystemCommBackend();
