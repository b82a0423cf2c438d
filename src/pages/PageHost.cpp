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

void SendRequest(TPageHost& host, const TRequest& request, int payloadLength,
                 TLogTarget logTarget) {
    if (request.mode != Request::KeepMode)
        host.SetOperationMode(request.mode);
    if (request.withEnd)
        host.SendFrameEtx(payloadLength, request.code, logTarget);
    else
        host.SendFrameNoEtx(payloadLength, request.code, logTarget);
}
