// krv2ctl's capture, monitor and io: the board enabled or polled for a while, and what
// it sends read as it comes.
#include "Requests.h"

#include "CoinTally.h"
#include "Console.h"
#include "Frame.h"
#include "MonitorReplies.h"
#include "SensorReport.h"
#include "WaveCapture.h"
#include "WaveFile.h"
#include "WaveRollover.h"
#include "WaveStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QMap>
#include <QThread>

#include <algorithm>
#include <memory>
#include <optional>

namespace {
constexpr int MethodDelayMs = 1000; // enable, then the method bytes a second later
constexpr int IoPollMs = 2000;      // the I/O page's poll interval
} // namespace

// ---------------------------------------------------------------- capture

int RunCapture(TLink& link, const TCtlSettings& s, TReporter& r, const QString& outPath) {
    const QMap<QString, uint8_t> methods{{QStringLiteral("all"), Request::RawMethods[0]},
                                         {QStringLiteral("add"), Request::RawMethods[1]},
                                         {QStringLiteral("reject"), Request::RawMethods[2]}};
    if (!methods.contains(s.method))
        return r.Fail(Exit::Usage, QStringLiteral("--method must be all, add or reject"));
    if (const int code = CheckOutputPath(outPath, r))
        return code;
    const int limitMs = (s.seconds < 0 ? 60 : s.seconds) * 1000;

    QElapsedTimer sinceEnable;
    sinceEnable.start();
    if (const int code = AskAck(link, s, r, QStringLiteral("the enable request"), Request::Enable,
                                {}, ProtocolNak))
        return code;
    if (const qint64 left = MethodDelayMs - sinceEnable.elapsed(); left > 0)
        QThread::msleep(static_cast<unsigned long>(left));
    const uint8_t method[] = {Request::RawPrefix, methods.value(s.method)};
    link.DiscardInput();
    if (!link.Send(method))
        return FailWait(r, link, Console::Interrupted() ? TWaitEnd::Interrupted : TWaitEnd::Lost);

    auto store = std::make_unique<TWaveStore>();
    TWaveCapture capture;
    TNoPlot plot;
    // More coins than the store holds: each full store goes to the next NAME-NNN.bwv.
    std::optional<TWaveRollover> rollover;
    if (s.coins > TWaveStore::WaveMaxRecords) {
        rollover.emplace(outPath);
        rollover->Attach(capture);
    }
    const auto captured = [&] {
        return (rollover ? rollover->RecordsSaved() : 0) + store->RecordCount;
    };
    r.Progress(QStringLiteral("capture"), 0, s.coins);
    const TWaitEnd w = link.Stream(limitMs, [&](std::span<const uint8_t> bytes) {
        // The time the delivery was read, as the journal has it: a replay of the
        // journal abandons the same coins.
        capture.ReadWavePackets(bytes, *store, plot, link.DeliveryMicros() / 1000);
        r.Progress(QStringLiteral("capture"), std::min(captured(), s.coins), s.coins);
        return captured() < s.coins && !(rollover && rollover->Failed());
    });
    r.EndProgress();
    // Wave packets off and coins off again, whatever ended the capture.
    const uint8_t none[] = {Request::RawPrefix, Request::RawMethods[3]};
    if (w != TWaitEnd::Lost) {
        link.Send(none);
        link.SendFrame(Request::Disable.code, {}, Request::Disable.withEnd);
    }
    if (rollover && rollover->Failed())
        return r.Fail(Exit::BadFile, QStringLiteral("%1; capture stopped after %2 coins%3")
                                         .arg(rollover->Error())
                                         .arg(captured())
                                         .arg(SavedSoFar(*rollover)));
    if (w == TWaitEnd::TimedOut)
        return r.Fail(Exit::Timeout, QStringLiteral("%1 of %2 coins captured in %3 s%4")
                                         .arg(captured())
                                         .arg(s.coins)
                                         .arg(limitMs / 1000)
                                         .arg(rollover && rollover->RecordsSaved() > 0
                                                  ? SavedSoFar(*rollover)
                                                  : QStringLiteral("; nothing was saved")));
    if (w != TWaitEnd::Reply)
        return FailWait(r, link, w);
    const QJsonObject asked{{QStringLiteral("method"), s.method}};
    if (rollover) {
        if (!rollover->SaveLast(*store, s.coins - rollover->RecordsSaved(), capture))
            return r.Fail(Exit::BadFile, rollover->Error() + SavedSoFar(*rollover));
        ReportCapture(r, rollover->Files(), capture, asked);
        return Exit::Ok;
    }
    store->RecordCount = s.coins;
    QString error;
    if (!WaveFile::Save(outPath, *store, error))
        return r.Fail(Exit::BadFile, error);
    ReportCapture(r, {{outPath, s.coins, capture.DroppedPackets, capture.AbandonedRecords}},
                  capture, asked);
    return Exit::Ok;
}

QString SavedSoFar(const TWaveRollover& rollover) {
    QStringList names;
    for (const TWaveSavedFile& f : rollover.Files())
        names << QDir::toNativeSeparators(f.Path);
    if (names.isEmpty())
        return QStringLiteral("; no file was saved");
    return QStringLiteral("; the first %1 coins are in %2")
        .arg(rollover.RecordsSaved())
        .arg(names.join(QStringLiteral(", ")));
}

void ReportCapture(TReporter& r, const std::vector<TWaveSavedFile>& files,
                   const TWaveCapture& capture, QJsonObject json) {
    int coins = 0;
    QStringList names;
    QJsonArray list;
    for (const TWaveSavedFile& f : files) {
        coins += f.Records;
        names << QDir::toNativeSeparators(f.Path);
        list.append(QJsonObject{{QStringLiteral("file"), QDir::toNativeSeparators(f.Path)},
                                {QStringLiteral("records"), f.Records},
                                {QStringLiteral("droppedPackets"), f.DroppedPackets},
                                {QStringLiteral("abandonedRecords"), f.AbandonedRecords}});
    }
    if (capture.DroppedPackets > 0)
        r.Warn(QStringLiteral("%1 damaged wave packets were left out").arg(capture.DroppedPackets));
    if (capture.AbandonedRecords > 0)
        r.Warn(QStringLiteral("%1 coins with missing packets were left out")
                   .arg(capture.AbandonedRecords));
    if (!names.isEmpty())
        json[QStringLiteral("file")] = names.constFirst();
    json[QStringLiteral("files")] = list;
    json[QStringLiteral("coins")] = coins;
    json[QStringLiteral("droppedPackets")] = capture.DroppedPackets;
    json[QStringLiteral("abandonedRecords")] = capture.AbandonedRecords;
    r.Result(
        json,
        QStringLiteral("%1 coins captured into %2 (%3 packets dropped, %4 coins abandoned)")
            .arg(coins)
            .arg(names.isEmpty() ? QStringLiteral("no file") : names.join(QStringLiteral(", ")))
            .arg(capture.DroppedPackets)
            .arg(capture.AbandonedRecords));
}

// ---------------------------------------------------------------- monitor

int RunMonitor(TLink& link, const TCtlSettings& s, TReporter& r) {
    if (const int code = AskAck(link, s, r, QStringLiteral("the enable request"), Request::Enable,
                                {}, ProtocolNak))
        return code;
    TCoinTally tally;
    TReplyAssembly assembly;
    const TReplyRule rule = *RuleForMode(Mode::Monitor);
    const auto onReply = [&](TReplyEnd, std::span<const uint8_t> reply) {
        const TMonitorResult m = DecodeMonitorReply(reply, true);
        tally.Count(m);
        QJsonObject json;
        QString text;
        if (m.passed) {
            json[QStringLiteral("event")] = QStringLiteral("coin");
            int channel = 0;
            for (int k = 0; k < 8; ++k)
                if (m.lit.test(static_cast<size_t>(mlCoin1 + k)))
                    channel = k + 1;
            json[QStringLiteral("channel")] = channel;
            text = channel > 0 ? QStringLiteral("coin passed, channel %1").arg(channel)
                               : QStringLiteral("coin passed, channel code %1").arg(Hex2(reply[3]));
        } else if (m.notPassed) {
            json[QStringLiteral("event")] = QStringLiteral("rejected");
            text = QStringLiteral("coin rejected");
        } else {
            for (int k = 0; k < 6; ++k) {
                if (m.lit.test(static_cast<size_t>(mlSen1 + k))) {
                    json[QStringLiteral("event")] = QStringLiteral("sensorError");
                    json[QStringLiteral("sensor")] = k + 1;
                    text = QStringLiteral("sensor error: %1")
                               .arg(MonitorLabelText(static_cast<TMonitorLabel>(mlSen1 + k)));
                }
            }
            for (TMonitorLabel l : {mlIdling, mlDisable, mlAck, mlNak}) {
                if (m.lit.test(l)) {
                    json[QStringLiteral("event")] = QStringLiteral("status");
                    json[QStringLiteral("status")] = MonitorLabelText(l);
                    text = QStringLiteral("status %1").arg(MonitorLabelText(l));
                }
            }
        }
        if (!text.isEmpty())
            r.Result(json, text);
        else
            r.Note(QStringLiteral("not understood: %1").arg(HexLine(QString(), reply).trimmed()));
        return TAfterReply::Continue;
    };
    const TWaitEnd w =
        link.Stream(s.seconds < 0 ? -1 : s.seconds * 1000, [&](std::span<const uint8_t> bytes) {
            assembly.Feed(bytes, rule, onReply);
            return true;
        });
    if (w != TWaitEnd::Lost)
        link.SendFrame(Request::Disable.code, {}, Request::Disable.withEnd);
    // The page shows "0" until a coin passes.
    r.Result(QJsonObject{{QStringLiteral("summary"),
                          QJsonObject{{QStringLiteral("pass"), tally.PassCount},
                                      {QStringLiteral("nopass"), tally.NoPassCount},
                                      {QStringLiteral("percent"), tally.Percent().value_or(0)}}}},
             QStringLiteral("PASS %1  NOPASS %2  PERCENT %3")
                 .arg(tally.PassCount)
                 .arg(tally.NoPassCount)
                 .arg(tally.PercentText().value_or(QStringLiteral("0"))));
    if (w == TWaitEnd::TimedOut)
        return Exit::Ok;
    return FailWait(r, link, w);
}

// ---------------------------------------------------------------- io

int RunIo(TLink& link, const TCtlSettings& s, TReporter& r) {
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = s.seconds < 0 ? 0 : qint64{s.seconds} * 1000;
    for (int report = 0;; ++report) {
        if (report > 0) {
            // One poll every 2 s, as the page polls; Ctrl-C ends the pause too.
            const qint64 next = qint64{report} * IoPollMs;
            if (next >= limitMs)
                return Exit::Ok;
            while (clock.elapsed() < next) {
                if (Console::Interrupted())
                    return FailWait(r, link, TWaitEnd::Interrupted);
                QThread::msleep(
                    static_cast<unsigned long>(std::min<qint64>(50, next - clock.elapsed())));
            }
        }
        std::vector<uint8_t> reply;
        if (const int code = Ask(
                link, s, r, TAsk(QStringLiteral("the I/O poll"), Request::SensorPoll),
                [](TReplyEnd, std::span<const uint8_t> a) {
                    return a.size() == SensorReportLength ? TJudge::Good : TJudge::Spoiled;
                },
                reply))
            return code;
        const auto items = DecodeSensorReport(reply);
        QJsonArray rows;
        QStringList lines;
        bool within = true;
        for (int i = 0; i < SensorItemCount; ++i) {
            const TSensorItemInfo& info = SensorItems[static_cast<size_t>(i)];
            const TSensorItem& item = items[static_cast<size_t>(i)];
            const QString verdict = item.verdict == TVerdict::Within    ? QStringLiteral("within")
                                    : item.verdict == TVerdict::Outside ? QStringLiteral("OUTSIDE")
                                                                        : QString();
            within = within && item.verdict != TVerdict::Outside;
            QJsonObject row{{QStringLiteral("item"), QString::fromLatin1(info.item)},
                            {QStringLiteral("value"), item.text}};
            if (!verdict.isEmpty()) {
                row[QStringLiteral("limit")] = QString::fromLatin1(info.reference);
                row[QStringLiteral("verdict")] = verdict.toLower();
            }
            rows.append(row);
            lines << QStringLiteral("%1 %2  %3")
                         .arg(QString::fromLatin1(info.item), -12)
                         .arg(item.text, 8)
                         .arg(verdict.isEmpty() ? QString()
                                                : QStringLiteral("%1 (%2)").arg(
                                                      verdict, QString::fromLatin1(info.reference)))
                         .trimmed();
        }
        r.Result(
            QJsonObject{{QStringLiteral("items"), rows}, {QStringLiteral("withinLimits"), within}},
            lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
}
