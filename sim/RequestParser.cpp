#include "RequestParser.h"

namespace krv2sim {

void RequestParser::feed(std::span<const uint8_t> bytes, Micros now, std::vector<Request>& out) {
    if (bytes.empty())
        return;
    pending.insert(pending.end(), bytes.begin(), bytes.end());
    lastByte = now;
    scan(out);
}

void RequestParser::expire(Micros now, std::vector<Request>& out) {
    if (pending.empty() || now < lastByte + timeout)
        return;
    // Nothing more is coming for what is held: its first byte cannot start a request,
    // but a request may still hide behind it (a stray 0x90 before a real frame).
    while (!pending.empty()) {
        ignored.push_back(pending.front());
        pending.erase(pending.begin());
        scan(out);
    }
    flushIgnored(out);
}

std::optional<Micros> RequestParser::deadline() const {
    if (pending.empty())
        return std::nullopt;
    return lastByte + timeout;
}

void RequestParser::flushIgnored(std::vector<Request>& out) {
    if (ignored.empty())
        return;
    out.push_back({Request::Kind::ignored, std::move(ignored), true});
    ignored.clear();
}

void RequestParser::scan(std::vector<Request>& out) {
    size_t pos = 0;
    while (pos < pending.size()) {
        const size_t avail = pending.size() - pos;
        const uint8_t first = pending[pos];
        if (first == frameStart) {
            if (avail < 3)
                break;
            const uint8_t length = pending[pos + 1];
            const CommandShape shape = commandShape(pending[pos + 2]);
            // A start byte whose length and command do not fit together is noise:
            // resynchronise on the next 0x90 rather than wait for a frame that
            // will never complete.
            if (!shape.known || length < shape.minLength || length > shape.maxLength) {
                ignored.push_back(first);
                ++pos;
                continue;
            }
            if (avail < length)
                break;
            Bytes frame(pending.begin() + static_cast<std::ptrdiff_t>(pos),
                        pending.begin() + static_cast<std::ptrdiff_t>(pos + length));
            const bool ok = frameSum(std::span(frame).first(length - 1u)) == frame.back();
            flushIgnored(out);
            out.push_back({Request::Kind::frame, std::move(frame), ok});
            pos += length;
        } else if (first == rawPrefix) {
            if (avail < 2)
                break;
            if (isRawCommand(pending[pos + 1])) {
                flushIgnored(out);
                out.push_back({Request::Kind::raw, {first, pending[pos + 1]}, true});
                pos += 2;
            } else {
                ignored.push_back(first);
                ++pos;
            }
        } else {
            ignored.push_back(first);
            ++pos;
        }
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pos));
    flushIgnored(out);
}

} // namespace krv2sim
