// What a device page may use of the main window, which owns all shared state: the
// operation mode, the frame buffer and senders, the serial port and the reply
// assembly. Pages read the replies of their own modes.
#pragma once

#include "CommandTable.h"
#include "Frame.h"
#include "ReplyAssembly.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <span>

// The memo a request's TX line goes to.
enum class TLogTarget {
    None = 0,
    Parameters = 1, // Memo1
    ProtocolTx = 2, // Memo2
    ProtocolRx = 3, // Memo3
    IoTest = 4,     // Memo4
    Binary = 5,     // Memo5 in hex and Memo6 in decimal
};

class TPageHost {
public:
    virtual ~TPageHost() = default;

    virtual int OperationMode() const = 0;
    virtual void SetOperationMode(int mode) = 0;

    // Payload goes at offset 3, then SendFrameEtx/SendFrameNoEtx frame, log and send it.
    virtual TFrameBuffer& FrameBuffer() = 0;
    virtual void SendFrameEtx(int payloadLength, uint8_t command, TLogTarget logTarget) = 0;
    virtual void SendFrameNoEtx(int payloadLength, uint8_t command, TLogTarget logTarget) = 0;
    // One byte straight to the port, whether or not the window counts it open. False
    // when it did not go out (port closed or lost, or taking no data): a sequence of
    // such bytes should stop there.
    virtual bool OutputChar(char c) = 0;

    virtual TReplyAssembly& ReplyAssembly() = 0;

    // The window title after a valid firmware version reply.
    virtual void ShowFirmwareVersion(const QString& version) = 0;

    // Holds the window's thread; bytes that arrive meanwhile wait in the driver.
    virtual void BlockingWait(int milliseconds) = 0;
};

// A page that reads the board's replies in some operation modes: the window hands it
// every delivery that arrives while one of its modes is in force.
class TModeReader {
public:
    virtual ~TModeReader() = default;
    virtual std::span<const int> ReadModes() const = 0;
    virtual void ReadDelivery(int mode, std::span<const uint8_t> bytes) = 0;
};

// A page whose memos show the TX lines of some log targets.
class TTxLog {
public:
    virtual ~TTxLog() = default;
    virtual void LogTx(TLogTarget target, std::span<const uint8_t> frame) = 0;
};

// Sends a request of the command table: its mode first (unless it keeps the mode),
// then its frame, with or without the end byte, from the payload already in place.
void SendRequest(TPageHost& host, const TRequest& request, int payloadLength, TLogTarget logTarget);

// Hands one delivery to the host's reply assembly under the rule of `mode` and calls
// `onReply` for each reply completed in it, in order, as it completes. Once a reply has
// moved the operation mode away from `mode`, the rest of the delivery is not collected:
// in mode 0 bytes are only logged. Returns the number of bytes read.
size_t
ReadReplies(TPageHost& host, int mode, std::span<const uint8_t> bytes,
            const std::function<void(TReplyEnd end, std::span<const uint8_t> reply)>& onReply);
