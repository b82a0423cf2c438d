// krv2ctl's table read and table write.
#include "Requests.h"

#include "Console.h"

#include <QDir>
#include <QJsonDocument>
#include <QThread>

namespace {
constexpr int RecordGapMs = 10; // between channel records, as the window paces them

int ReadTable(TLink& link, const TCtlSettings& s, TReporter& r, std::vector<uint8_t>& table) {
    // The table has no checksum; its first byte is the board's check byte.
    return Ask(
        link, s, r,
        TAsk(QStringLiteral("the table read request"), Request::ReadParameters,
             {Request::ParameterKey}),
        [](TReplyEnd, std::span<const uint8_t> a) {
            return a.size() == ParameterTableSize ? TJudge::Good : TJudge::Spoiled;
        },
        table);
}
} // namespace

int RunTableRead(TLink& link, const TCtlSettings& s, TReporter& r, const QString& outPath) {
    if (!outPath.isEmpty())
        if (const int code = CheckOutputPath(outPath, r))
            return code;
    std::vector<uint8_t> table;
    if (const int code = ReadTable(link, s, r, table))
        return code;
    const QJsonObject json = TableToJson(table);
    if (!outPath.isEmpty()) {
        QString error;
        if (!SaveAtomically(outPath, QJsonDocument(json).toJson(QJsonDocument::Indented), error))
            return r.Fail(Exit::BadFile, error);
        r.Note(QStringLiteral("table saved to %1").arg(QDir::toNativeSeparators(outPath)));
    }
    r.Result(json, TableToText(table));
    return Exit::Ok;
}

int CheckTableFile(const QString& path, TReporter& r, TTableJob& job) {
    QString problem;
    const auto frames = ReadTableFile(path, problem);
    if (!frames)
        return r.Fail(Exit::BadFile, QStringLiteral("%1: %2; nothing was sent")
                                         .arg(QDir::toNativeSeparators(path), problem));
    job.path = path;
    job.frames = *frames;
    return Exit::Ok;
}

int RunTableWrite(TLink& link, const TCtlSettings& s, TReporter& r, const TTableJob& job) {
    std::vector<uint8_t> table;
    // A record has no answer, so a lost one shows only in the read back: then the
    // whole table is written again.
    for (int pass = 0; pass <= s.retries; ++pass) {
        if (pass > 0)
            r.Note(QStringLiteral("the table read back differs, writing it again (%1 of %2)")
                       .arg(pass)
                       .arg(s.retries));
        link.DiscardInput();
        for (const auto& frame : job.frames) {
            if (!link.Send(frame))
                return FailWait(r, link,
                                Console::Interrupted() ? TWaitEnd::Interrupted : TWaitEnd::Lost);
            QThread::msleep(RecordGapMs);
        }
        if (Console::Interrupted())
            return FailWait(r, link, TWaitEnd::Interrupted);
        if (const int code = AskAck(link, s, r, QStringLiteral("the store request"),
                                    Request::StoreParameters, {Request::ParameterKey}, ProtocolNak))
            return code;
        if (const int code = ReadTable(link, s, r, table))
            return code;
        if (TableMatches(table, job.frames)) {
            r.Result(QJsonObject{{QStringLiteral("written"), QDir::toNativeSeparators(job.path)},
                                 {QStringLiteral("verified"), true}},
                     QStringLiteral("table written and read back: it matches"));
            return Exit::Ok;
        }
    }
    return r.Fail(Exit::Verify, QStringLiteral("the table read back differs from %1:\n%2")
                                    .arg(QDir::toNativeSeparators(job.path), TableToText(table)));
}
