// Feeds arbitrary bytes to the simulated board's request parser, with arbitrary gaps
// between them. Input: chunks, each a size byte, a gap byte (milliseconds before the
// chunk) and up to 64 bytes. Whatever comes, every byte leaves the parser exactly once
// and in order, and every request it makes has the shape of its kind.
#include "FuzzCheck.h"
#include "RequestParser.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

using namespace krv2sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    RequestParser parser;
    std::vector<Request> out;
    Bytes sent;
    Micros now{0};
    size_t at = 0;
    while (at + 2 <= input.size()) {
        const size_t wanted = input[at] % 65;
        now += std::chrono::milliseconds(input[at + 1]);
        at += 2;
        const auto chunk = input.subspan(at, std::min(wanted, input.size() - at));
        at += chunk.size();
        parser.expire(now, out);
        parser.feed(chunk, now, out);
        sent.insert(sent.end(), chunk.begin(), chunk.end());
        if (const auto deadline = parser.deadline())
            FUZZ_REQUIRE(*deadline > now);
    }
    // Long after the last byte nothing may be left held.
    now += std::chrono::seconds(10);
    parser.expire(now, out);
    FUZZ_REQUIRE(!parser.deadline());

    Bytes received;
    for (const Request& r : out) {
        FUZZ_REQUIRE(!r.bytes.empty());
        switch (r.kind) {
        case Request::Kind::frame:
            FUZZ_REQUIRE(r.bytes.size() >= 3 && r.bytes[0] == frameStart);
            FUZZ_REQUIRE(r.bytes.size() == r.bytes[1]);
            FUZZ_REQUIRE(r.checksumOk == (frameSum(std::span(r.bytes).first(r.bytes.size() - 1)) ==
                                          r.bytes.back()));
            break;
        case Request::Kind::raw:
            FUZZ_REQUIRE(r.bytes.size() == 2 && r.bytes[0] == rawPrefix);
            break;
        case Request::Kind::ignored:
            break;
        }
        received.insert(received.end(), r.bytes.begin(), r.bytes.end());
    }
    FUZZ_REQUIRE(received == sent);
    return 0;
}
