#include "Link.h"

#include "Console.h"
#include "Frame.h"
#include "Journal.h"
#include "PortNames.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <algorithm>
#include <array>

TLink::TLink(std::unique_ptr<TCommBackend> backend) : port(std::move(backend)) {
    linkClock.start();
}

int64_t TLink::NowUs() const {
    return journal ? journal->NowUs() : linkClock.nsecsElapsed() / 1000;
}

bool TLink::Open(const QString& device, QString& why) {
    QString path = device;
    static const QRegularExpression comName(QStringLiteral("^COM[0-9]+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (comName.match(device).hasMatch()) {
        path = PortNames::Resolve(device.toUpper()).device;
        if (path.isEmpty()) {
            why = QStringLiteral("%1: no serial port of this machine is behind that name")
                      .arg(device);
            return false;
        }
    }
    std::string reason;
    if (!port->open(path.toStdString(), reason)) {
        why = QString::fromStdString(reason);
        return false;
    }
    // 9600 baud, 8 data bits, no parity, one stop bit, no flow control.
    if (!port->setState(TLineSettings{})) {
        why = QString::fromStdString(port->lastError());
        port->close();
        return false;
    }
    port->purge(purgeRxClear | purgeTxClear);
    hungUp = false;
    return true;
}

void TLink::Close() {
    port->close();
}

TWaitEnd TLink::LostOrInterrupted(const QString& why) {
    // Ctrl-C on a terminal also ends a simulated board started beside us; its hang-up
    // is then a consequence, not the reason.
    if (Console::Interrupted() != 0)
        return TWaitEnd::Interrupted;
    error = why;
    return TWaitEnd::Lost;
}

bool TLink::Send(std::span<const uint8_t> bytes) {
    const TIoResult r = port->write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (r != TIoResult::ok) {
        LostOrInterrupted(QString::fromStdString(port->lastError()));
        return false;
    }
    bytesOut += static_cast<qint64>(bytes.size());
    if (journal)
        journal->Write(TJournalDirection::Tx, bytes);
    return true;
}

bool TLink::SendFrame(uint8_t command, std::span<const uint8_t> payload, bool withEnd) {
    TFrameBuffer buffer{};
    std::copy(payload.begin(), payload.end(), buffer.begin() + PayloadOffset);
    const int length = BuildFrame(buffer, static_cast<int>(payload.size()), command, withEnd);
    if (length == 0) {
        error = QStringLiteral("a payload of %1 bytes does not fit a frame").arg(payload.size());
        return false;
    }
    return Send(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(length)));
}

void TLink::DiscardInput() {
    pending.clear();
    pendingPos = 0;
    port->purge(purgeRxClear);
}

TWaitEnd TLink::Fill(int timeoutMs) {
    pending.clear();
    pendingPos = 0;
    if (Console::Interrupted() != 0)
        return TWaitEnd::Interrupted;
    if (hungUp)
        return LostOrInterrupted(QString::fromStdString(port->lastError()));
    // In slices, so Ctrl-C is seen soon also where a signal does not cut a wait short.
    if (port->waitReadable(std::min(timeoutMs, 250)) != TIoResult::ok)
        return LostOrInterrupted(QString::fromStdString(port->lastError()));
    uint32_t errors = 0;
    uint32_t waiting = 0;
    const TIoResult state = port->clearError(errors, waiting);
    if (state == TIoResult::failed)
        return LostOrInterrupted(QString::fromStdString(port->lastError()));
    // Bytes that came before a hang-up are read first; the next wait reports it.
    hungUp = state == TIoResult::gone;
    std::array<uint8_t, 4096> buffer{};
    uint32_t got = 0;
    const TIoResult r = port->read(buffer.data(), static_cast<uint32_t>(buffer.size()), got);
    if (r == TIoResult::failed)
        return LostOrInterrupted(QString::fromStdString(port->lastError()));
    if (r == TIoResult::gone)
        hungUp = true;
    pending.assign(buffer.begin(), buffer.begin() + got);
    bytesIn += got;
    deliveryUs = NowUs();
    if (journal)
        journal->Write(TJournalDirection::Rx, pending, deliveryUs);
    if (got == 0 && hungUp)
        return LostOrInterrupted(QString::fromStdString(port->lastError()));
    return TWaitEnd::Reply;
}

TWaitEnd TLink::WaitReply(const TReplyRule& rule, int timeoutMs, std::vector<uint8_t>& reply,
                          TReplyEnd& end) {
    TReplyAssembly assembly;
    bool done = false;
    const TReplySink sink = [&](TReplyEnd e, std::span<const uint8_t> r) {
        reply.assign(r.begin(), r.end());
        end = e;
        done = true;
        return TAfterReply::Stop;
    };
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (pendingPos < pending.size()) {
            const std::span<const uint8_t> rest(pending.data() + pendingPos,
                                                pending.size() - pendingPos);
            pendingPos += assembly.Feed(rest, rule, sink);
            if (done)
                return TWaitEnd::Reply;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return TWaitEnd::TimedOut;
        if (const TWaitEnd e = Fill(static_cast<int>(left)); e != TWaitEnd::Reply)
            return e;
    }
}

TWaitEnd TLink::Stream(int timeoutMs, const std::function<bool(std::span<const uint8_t>)>& sink) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (pendingPos < pending.size()) {
            const std::span<const uint8_t> rest(pending.data() + pendingPos,
                                                pending.size() - pendingPos);
            pendingPos = pending.size();
            if (!sink(rest))
                return TWaitEnd::Reply;
        }
        int wait = 1000;
        if (timeoutMs >= 0) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0)
                return TWaitEnd::TimedOut;
            wait = static_cast<int>(std::min<qint64>(left, wait));
        }
        if (const TWaitEnd e = Fill(wait); e != TWaitEnd::Reply)
            return e;
    }
}
