#include "Requests.h"

#include "Console.h"
#include "Frame.h"
#include "MonitorReplies.h"

#include <QElapsedTimer>
#include <QStringList>

namespace {

// A 5-byte frame answering with `ack` or `nak`; anything longer is an event the
// board sends on its own.
TJudge JudgeAck(std::span<const uint8_t> reply, uint8_t nak) {
    if (reply.size() == 6)
        return TJudge::Ignore;
    if (reply.size() != 5 || !SumRight(reply))
        return TJudge::Spoiled;
    if (reply[2] == ProtocolAck)
        return TJudge::Good;
    return reply[2] == nak ? TJudge::Refused : TJudge::Spoiled;
}

QString Trimmed(const QString& text) {
    QString t = text;
    while (!t.isEmpty() && (t.back() == QChar(0) || t.back().isSpace()))
        t.chop(1);
    return t;
}

} // namespace

int FailWait(TReporter& r, TLink& link, TWaitEnd end) {
    if (end == TWaitEnd::Interrupted)
        return r.Fail(Exit::Interrupted, QStringLiteral("interrupted; the port is closed"));
    return r.Fail(Exit::Port, QStringLiteral("the port was lost: %1").arg(link.Error()));
}

// Sends `q` and waits for a good answer, sending it again after silence or a garbled
// answer, up to the retries.
int Ask(TLink& link, const TCtlSettings& s, TReporter& r, const TAsk& q, const TJudgeFn& judge,
        std::vector<uint8_t>& reply) {
    const TReplyRule rule = *RuleForMode(q.mode);
    bool spoiled = false;
    for (int attempt = 0; attempt <= s.retries; ++attempt) {
        if (attempt > 0)
            r.Note(QStringLiteral("%1: %2, sending it again (%3 of %4)")
                       .arg(q.what, spoiled ? QStringLiteral("garbled answer")
                                            : QStringLiteral("no answer"))
                       .arg(attempt)
                       .arg(s.retries));
        link.DiscardInput();
        if (!link.SendFrame(q.command, q.payload, q.withEnd))
            return FailWait(r, link,
                            Console::Interrupted() ? TWaitEnd::Interrupted : TWaitEnd::Lost);
        QElapsedTimer clock;
        clock.start();
        spoiled = false;
        for (;;) {
            const int left = s.timeoutMs - static_cast<int>(clock.elapsed());
            TReplyEnd end{};
            const TWaitEnd w =
                left > 0 ? link.WaitReply(rule, left, reply, end) : TWaitEnd::TimedOut;
            if (w == TWaitEnd::TimedOut)
                break;
            if (w != TWaitEnd::Reply)
                return FailWait(r, link, w);
            const TJudge j = judge(end, reply);
            if (j == TJudge::Good)
                return Exit::Ok;
            if (j == TJudge::Refused)
                return r.Fail(Exit::Refused, QStringLiteral("the board refused %1 (NAK: %2)")
                                                 .arg(q.what, HexLine(QString(), reply).trimmed()));
            if (j == TJudge::Spoiled) {
                spoiled = true;
                break;
            }
        }
    }
    return r.Fail(
        Exit::Timeout,
        QStringLiteral("%1 to %2 after %3 tries of %4 ms each")
            .arg(spoiled ? QStringLiteral("no good answer") : QStringLiteral("no answer"), q.what)
            .arg(s.retries + 1)
            .arg(s.timeoutMs));
}

bool SumRight(std::span<const uint8_t> reply) {
    return reply.size() >= 2 && SumMatches(reply, static_cast<int>(reply.size()));
}

int AskAck(TLink& link, const TCtlSettings& s, TReporter& r, const QString& what,
           const TRequest& request, std::vector<uint8_t> payload, uint8_t nak) {
    std::vector<uint8_t> reply;
    return Ask(
        link, s, r, TAsk(what, request, std::move(payload)),
        [nak](TReplyEnd, std::span<const uint8_t> a) { return JudgeAck(a, nak); }, reply);
}

QString Hex2(uint8_t b) {
    return HexDigitText(b >> 4) + HexDigitText(b & 15);
}

// ---------------------------------------------------------------- info

int RunInfo(TLink& link, const TCtlSettings& s, TReporter& r) {
    QJsonObject json;
    QStringList text;
    std::vector<uint8_t> reply;
    // Version and ID: 15 bytes; a 5-byte answer ends the collection (a NAK).
    const auto judgeText = [](TReplyEnd end, std::span<const uint8_t> a) {
        if (end == TReplyEnd::Short)
            return SumRight(a.first(5)) && a[2] == ProtocolNak ? TJudge::Refused : TJudge::Spoiled;
        return SumMatches(a, 15) ? TJudge::Good : TJudge::Spoiled;
    };
    const struct {
        const char* key;
        const char* label;
        const TRequest& request;
        const char* what;
    } texts[] = {{"firmware", "firmware  ", Request::Version, "the firmware version request"},
                 {"id", "id        ", Request::DeviceId, "the ID request"}};
    for (const auto& t : texts) {
        if (const int code =
                Ask(link, s, r, TAsk(QString::fromLatin1(t.what), t.request), judgeText, reply))
            return code;
        const QString value = Trimmed(TextReplyChars(reply));
        json[QString::fromLatin1(t.key)] = value;
        text << QString::fromLatin1(t.label) + value;
    }

    if (const int code = Ask(
            link, s, r, TAsk(QStringLiteral("the DIP switch request"), Request::DipSwitch),
            [](TReplyEnd, std::span<const uint8_t> a) {
                if (a.size() == 5 && SumRight(a) && a[2] == ProtocolNak)
                    return TJudge::Refused;
                // The sum covers the first six bytes whatever the length byte says.
                return a.size() >= 6 && SumMatches(a, 6) ? TJudge::Good : TJudge::Spoiled;
            },
            reply))
        return code;
    json[QStringLiteral("dipSwitch")] = BitsMsbFirst(reply[3]);
    json[QStringLiteral("dipSwitchHex")] = Hex2(reply[3]);
    text << QStringLiteral("dipswitch %1 (%2)").arg(BitsMsbFirst(reply[3]), Hex2(reply[3]));

    QString status;
    if (const int code = Ask(
            link, s, r, TAsk(QStringLiteral("the status request"), Request::Status),
            [&status](TReplyEnd, std::span<const uint8_t> a) {
                if (a.size() == 6)
                    return TJudge::Ignore;
                const TMonitorResult m = DecodeMonitorReply(a, false);
                if (m.lit.test(mlNak))
                    return TJudge::Refused;
                for (TMonitorLabel l : {mlIdling, mlDisable, mlAccepting, mlAck}) {
                    if (m.lit.test(l)) {
                        status = MonitorLabelText(l);
                        return TJudge::Good;
                    }
                }
                // A right sum with a code the monitor does not know is still a status.
                if (SumRight(a)) {
                    status = QStringLiteral("code %1").arg(Hex2(a[2]));
                    return TJudge::Good;
                }
                return TJudge::Spoiled;
            },
            reply))
        return code;
    json[QStringLiteral("status")] = status;
    text << QStringLiteral("status    %1").arg(status);
    r.Result(json, text.join(QLatin1Char('\n')));
    return Exit::Ok;
}
