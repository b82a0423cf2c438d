// The command-line tool's end of the serial line: opens the port at 9600 8N1 and
// waits on it for replies as they arrive (no polling tick), with a time-out on every
// wait and Ctrl-C honoured between deliveries.
#pragma once

#include "CommBackend.h"
#include "ReplyAssembly.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class TJournalWriter;

enum class TWaitEnd {
    Reply,       // the wanted reply (or the sink's stop) came
    TimedOut,    // the time ran out first
    Lost,        // the port failed or the device went away
    Interrupted, // Ctrl-C
};

class TLink {
public:
    explicit TLink(std::unique_ptr<TCommBackend> backend = makeSystemCommBackend());

    // `device` is a path or a COMn name as the tool maps it.
    bool Open(const QString& device, QString& error);
    void Close();

    bool Send(std::span<const uint8_t> bytes);
    // A command frame with or without its end byte around `payload`.
    bool SendFrame(uint8_t command, std::span<const uint8_t> payload, bool withEnd);
    // Drops what has arrived and not been read: a late answer to an earlier request
    // must not be taken for the answer to the next one.
    void DiscardInput();

    // Waits up to `timeoutMs` for one reply assembled by `rule`.
    TWaitEnd WaitReply(const TReplyRule& rule, int timeoutMs, std::vector<uint8_t>& reply,
                       TReplyEnd& end);
    // Hands every delivery to `sink` until it returns false or `timeoutMs` has passed
    // (negative: no limit).
    TWaitEnd Stream(int timeoutMs, const std::function<bool(std::span<const uint8_t>)>& sink);

    // Every delivery read and every write from now on go to `writer` (none: null).
    void SetJournal(TJournalWriter* writer) { journal = writer; }
    // When the latest delivery was read: microseconds on the journal's clock when one
    // is kept (so a replay of the journal sees the same times), else on the link's.
    int64_t DeliveryMicros() const { return deliveryUs; }

    QString Error() const { return error; }
    qint64 BytesOut() const { return bytesOut; }
    qint64 BytesIn() const { return bytesIn; }

private:
    TWaitEnd Fill(int timeoutMs);
    TWaitEnd LostOrInterrupted(const QString& why);
    int64_t NowUs() const;

    std::unique_ptr<TCommBackend> port;
    std::vector<uint8_t> pending; // the unread rest of the latest delivery
    size_t pendingPos = 0;
    bool hungUp = false;
    QString error;
    qint64 bytesOut = 0;
    qint64 bytesIn = 0;
    TJournalWriter* journal = nullptr;
    QElapsedTimer linkClock;
    int64_t deliveryUs = 0;
};
