#include "PageHost.h"

size_t
ReadReplies(TPageHost& host, int mode, std::span<const uint8_t> bytes,
            const std::function<void(TReplyEnd end, std::span<const uint8_t> reply)>& onReply) {
    const auto rule = RuleForMode(mode);
    if (!rule)
        return 0;
    return host.ReplyAssembly().Feed(
        bytes, *rule, [&](TReplyEnd end, std::span<const uint8_t> reply) {
            onReply(end, reply);
            return host.OperationMode() == mode ? TAfterReply::Continue : TAfterReply::Stop;
        });
}
