#include "Commands.h"

#include "CoinTally.h"
#include "Console.h"
#include "Frame.h"
#include "Modes.h"
#include "MonitorReplies.h"
#include "SensorReport.h"
#include "WaveCapture.h"
#include "WaveFile.h"
#include "WaveStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace {

constexpr uint8_t CmdEnable = 0x01;
constexpr uint8_t CmdDisable = 0x02;
constexpr uint8_t CmdVersion = 0x03;
constexpr uint8_t CmdStatus = 0x11;
constexpr uint8_t CmdDeviceId = 0x23;
constexpr uint8_t CmdDipSwitch = 0x24;
constexpr uint8_t CmdSensorPoll = 0x50;
constexpr uint8_t CmdStoreParameters = 0x70;
constexpr uint8_t CmdReadParameters = 0x80;
constexpr uint8_t ParameterKey = 0x55;
constexpr uint8_t ProtocolAck = 0x50;
constexpr uint8_t ProtocolNak = 0x4B;
constexpr int RecordGapMs = 10;     // between channel records, as the window paces them
constexpr int MethodDelayMs = 1000; // enable, then the method bytes a second later
constexpr int IoPollMs = 2000;      // the I/O page's poll interval
constexpr int WireBaud = 9600;

// What an answer means to the request it answers.
enum class TJudge {
    Good,
    Spoiled, // garbled (checksum, length): ask again
    Refused, // NAK
    Ignore,  // not an answer to this request (an event the board sent on its own)
};
using TJudgeFn = std::function<TJudge(TReplyEnd, std::span<const uint8_t>)>;

struct TRequest {
    QString what; // "the firmware version request"
    uint8_t command = 0;
    std::vector<uint8_t> payload;
    bool withEnd = true;
    int mode = Mode::Idle; // whose assembly rule reads the answer
};

int FailWait(TReporter& r, TLink& link, TWaitEnd end) {
    if (end == TWaitEnd::Interrupted)
        return r.Fail(Exit::Interrupted, QStringLiteral("interrupted; the port is closed"));
    return r.Fail(Exit::Port, QStringLiteral("the port was lost: %1").arg(link.Error()));
}

// Ctrl-C in the middle of a memory transfer: the board is told the transfer is over
// (its Finish command, unanswered) before the port is closed.
int StopTransfer(TReporter& r, TLink& link, TWaitEnd w, uint8_t finish) {
    if (w == TWaitEnd::Interrupted)
        link.SendFrame(finish, {}, true);
    return FailWait(r, link, w);
}

// Sends `q` and waits for a good answer, sending it again after silence or a garbled
// answer, up to the retries.
int Ask(TLink& link, const TCtlSettings& s, TReporter& r, const TRequest& q, const TJudgeFn& judge,
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

int AskAck(TLink& link, const TCtlSettings& s, TReporter& r, const QString& what, uint8_t command,
           std::vector<uint8_t> payload, bool withEnd, int mode, uint8_t nak) {
    std::vector<uint8_t> reply;
    return Ask(
        link, s, r, {what, command, std::move(payload), withEnd, mode},
        [nak](TReplyEnd, std::span<const uint8_t> a) { return JudgeAck(a, nak); }, reply);
}

QString Trimmed(const QString& text) {
    QString t = text;
    while (!t.isEmpty() && (t.back() == QChar(0) || t.back().isSpace()))
        t.chop(1);
    return t;
}

// Writes `data` whole or not at all.
bool SaveAtomically(const QString& path, const QByteArray& data, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

// The output's folder must exist before the board is asked for anything.
int CheckOutputPath(const QString& path, TReporter& r) {
    if (path.isEmpty())
        return r.Fail(Exit::Usage, QStringLiteral("-o FILE is required"));
    const QFileInfo info(path);
    if (!info.absoluteDir().exists())
        return r.Fail(
            Exit::BadFile,
            QStringLiteral("%1: the folder does not exist").arg(QDir::toNativeSeparators(path)));
    if (info.isDir())
        return r.Fail(Exit::BadFile,
                      QStringLiteral("%1 is a folder").arg(QDir::toNativeSeparators(path)));
    return Exit::Ok;
}

QString Hex2(uint8_t b) {
    return HexDigitText(b >> 4) + HexDigitText(b & 15);
}

} // namespace

// ---------------------------------------------------------------- reporter

TReporter::TReporter(bool asJson, bool isVerbose, std::FILE* outStream, std::FILE* errStream)
    : json(asJson), verbose(isVerbose), out(outStream), err(errStream),
      errTerminal(Console::IsTerminal(errStream)) {}

void TReporter::Line(std::FILE* stream, const QString& text) {
    if (stream == err)
        EndProgress();
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void TReporter::Result(const QJsonObject& object, const QString& text) {
    Line(out,
         json ? QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) : text);
}

void TReporter::Note(const QString& text) {
    if (verbose)
        Line(err, text);
}

void TReporter::Warn(const QString& text) {
    Line(err, QStringLiteral("krv2ctl: %1").arg(text));
}

int TReporter::Fail(int code, const QString& message) {
    Line(err, QStringLiteral("krv2ctl: %1").arg(message));
    if (json)
        Line(out, QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("error"), message},
                                                              {QStringLiteral("exitCode"), code}})
                                        .toJson(QJsonDocument::Compact)));
    return code;
}

void TReporter::Progress(const QString& what, int done, int total) {
    const int percent = total > 0 ? done * 100 / total : 100;
    if (percent == lastPercent)
        return;
    lastPercent = percent;
    QByteArray text;
    if (errTerminal) {
        constexpr int width = 40;
        const int filled = percent * width / 100;
        text = QStringLiteral("\r%1 [%2%3] %4 % (%5/%6)")
                   .arg(what, QString(filled, QLatin1Char('#')),
                        QString(width - filled, QLatin1Char('.')))
                   .arg(percent, 3)
                   .arg(done)
                   .arg(total)
                   .toUtf8();
        barShown = true;
    } else {
        text = QStringLiteral("%1: %2 %\n").arg(what).arg(percent).toUtf8();
    }
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), err);
    std::fflush(err);
}

void TReporter::EndProgress() {
    lastPercent = -1;
    if (barShown) {
        std::fputc('\n', err);
        barShown = false;
    }
}

std::optional<TAddressRange> ParseRange(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d{1,3})\\s*(?:-\\s*(\\d{1,3})\\s*)?$"));
    const auto m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    TAddressRange range;
    range.from = m.captured(1).toInt();
    range.to = m.captured(2).isEmpty() ? range.from : m.captured(2).toInt();
    if (range.from > 255 || range.to > 255 || range.from > range.to)
        return std::nullopt;
    return range;
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
        uint8_t command;
        int mode;
        const char* what;
    } texts[] = {
        {"firmware", "firmware  ", CmdVersion, Mode::Version, "the firmware version request"},
        {"id", "id        ", CmdDeviceId, Mode::DeviceId, "the ID request"}};
    for (const auto& t : texts) {
        if (const int code =
                Ask(link, s, r, {QString::fromLatin1(t.what), t.command, {}, true, t.mode},
                    judgeText, reply))
            return code;
        const QString value = Trimmed(TextReplyChars(reply));
        json[QString::fromLatin1(t.key)] = value;
        text << QString::fromLatin1(t.label) + value;
    }

    if (const int code = Ask(
            link, s, r,
            {QStringLiteral("the DIP switch request"), CmdDipSwitch, {}, true, Mode::DipSwitch},
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
            link, s, r, {QStringLiteral("the status request"), CmdStatus, {}, true, Mode::Monitor},
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

// ---------------------------------------------------------------- table

namespace {
int ReadTable(TLink& link, const TCtlSettings& s, TReporter& r, std::vector<uint8_t>& table) {
    // The table has no checksum; its first byte is the board's check byte.
    return Ask(
        link, s, r,
        {QStringLiteral("the table read request"),
         CmdReadParameters,
         {ParameterKey},
         false,
         Mode::ParameterTable},
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
        if (const int code =
                AskAck(link, s, r, QStringLiteral("the store request"), CmdStoreParameters,
                       {ParameterKey}, false, Mode::SaveAnswer, ProtocolNak))
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

// ---------------------------------------------------------------- image

namespace {
int BuildAddresses(const TCtlSettings& s, TReporter& r, TImageJob& job, int defaultLines) {
    TMemoryImage& image = job.image;
    if (s.blocks || s.lines) {
        const TAddressRange blocks = s.blocks.value_or(TAddressRange{0, 0});
        const TAddressRange lines = s.lines.value_or(TAddressRange{0, 255});
        image.BuildAddressList(blocks.from, blocks.to, lines.from, lines.to);
    } else {
        // Without a range the lines go to consecutive addresses from 0.
        image.AddressCount = defaultLines;
        for (int i = 0; i < defaultLines; ++i)
            (*image.AddressList)[static_cast<size_t>(i)] = i;
    }
    if (image.AddressCount > TMemoryImage::ImageLines)
        return r.Fail(Exit::Usage,
                      QStringLiteral("the range names %1 lines; at most %2 fit the image")
                          .arg(image.AddressCount)
                          .arg(TMemoryImage::ImageLines));
    return Exit::Ok;
}

// After a line was sent again for want of an answer, the board may yet answer the
// first send as well: let that second answer arrive (the repeat's wire time and its
// answer) and drop it, or it would be taken for the next line's.
void SettleAfterRepeat(TLink& link, int frameBytes) {
    const int wireMs = (frameBytes + 5) * 10 * 1000 / WireBaud;
    QThread::msleep(static_cast<unsigned long>(wireMs * 3 / 2 + 10));
    link.DiscardInput();
}

QString AddressText(int address) {
    return QStringLiteral("block %1 line %2").arg(address >> 8).arg(address & 0xFF);
}

// The state of one memory transfer's current line, shared by image write and read.
struct TLineExchange {
    bool write = true;
    TReplyRule rule;
    std::array<uint8_t, FrameBufferSize> payload{};
    std::vector<uint8_t> reply;
    int tries = 0;         // sends of the current line
    bool repeated = false; // it was sent again after silence
    QString where;         // the line, for messages
};

enum class TLineWait { Reply, Repeat, Stop };

// Sends the current line and waits for its answer. After silence the line is noted as
// repeated, like the page's 2000 ms repeat (Repeat). Stop sets `code`: the retries ran
// out, or the port was lost or Ctrl-C pressed (the board is told the transfer is over).
TLineWait SendLine(TLink& link, const TCtlSettings& s, TReporter& r, TMemoryImage& image,
                   TLineExchange& x, int& code) {
    const int line = image.LineIndex;
    x.where = QStringLiteral("line %1 (%2)").arg(line).arg(AddressText(image.AddressAt(line)));
    const uint8_t finish = x.write ? MemoryCommand::WriteFinish : MemoryCommand::ReadFinish;
    if (x.tries > s.retries) {
        code = r.Fail(Exit::Timeout,
                      QStringLiteral("no good answer to %1 after %2 tries; the %3 "
                                     "stopped there")
                          .arg(x.where)
                          .arg(x.tries)
                          .arg(x.write ? QStringLiteral("write") : QStringLiteral("read")));
        return TLineWait::Stop;
    }
    const int n = x.write ? image.FillLineWrite(x.payload, s.lineLength)
                          : image.FillLineRead(x.payload, s.lineLength);
    link.DiscardInput();
    if (!link.SendFrame(x.write ? MemoryCommand::WriteLine : MemoryCommand::ReadLine,
                        std::span<const uint8_t>(x.payload.data(), size_t(n)), true)) {
        code = StopTransfer(
            r, link, Console::Interrupted() ? TWaitEnd::Interrupted : TWaitEnd::Lost, finish);
        return TLineWait::Stop;
    }
    ++x.tries;
    TReplyEnd end{};
    const TWaitEnd w = link.WaitReply(x.rule, s.timeoutMs, x.reply, end);
    if (w == TWaitEnd::TimedOut) {
        image.NoteRepeat();
        x.repeated = true;
        r.Note(QStringLiteral("%1: no answer, sending it again").arg(x.where));
        return TLineWait::Repeat;
    }
    if (w != TWaitEnd::Reply) {
        code = StopTransfer(r, link, w, finish);
        return TLineWait::Stop;
    }
    return TLineWait::Reply;
}

// A line answered: a repeated one lets the late second answer pass first.
void LineDone(TLink& link, TLineExchange& x, int frameBytes) {
    if (x.repeated)
        SettleAfterRepeat(link, frameBytes);
    x.repeated = false;
    x.tries = 0;
}

// One transfer of a write or a read: the Start request, every line the image asks for,
// then the Finish request. `take` judges a line's answer: the step it led to, or no step
// for an answer to ask again for. `seconds` is the time the lines took.
template <typename Take>
int RunLines(TLink& link, const TCtlSettings& s, TReporter& r, TMemoryImage& image, bool write,
             Take take, double& seconds) {
    const QString what = write ? QStringLiteral("write") : QStringLiteral("read");
    if (const int code =
            AskAck(link, s, r, write ? QStringLiteral("Write Start") : QStringLiteral("Read Start"),
                   write ? MemoryCommand::WriteStart : MemoryCommand::ReadStart, {}, true,
                   write ? Mode::WriteStart : Mode::ReadStart, MemoryNak))
        return code;
    image.BeginTransfer(write);
    TLineExchange x;
    x.write = write;
    x.rule = *RuleForMode(write ? Mode::WriteLine : Mode::ReadLine);
    // The request frame the line sends: the whole line for a write, an address for a read.
    const int requestBytes = write ? s.lineLength + 7 : 8;
    QElapsedTimer clock;
    clock.start();
    r.Progress(what, 0, image.AddressCount);
    while (image.LineToSend()) {
        int code = Exit::Ok;
        const TLineWait sent = SendLine(link, s, r, image, x, code);
        if (sent == TLineWait::Stop)
            return code;
        if (sent == TLineWait::Repeat)
            continue;
        const std::optional<TLineStep> step = take(x.reply, x.where);
        if (!step)
            continue;
        switch (*step) {
        case TLineStep::SendNext:
        case TLineStep::Complete:
            LineDone(link, x, requestBytes);
            r.Progress(what, image.LineIndex, image.AddressCount);
            break;
        case TLineStep::SendAgain:
            r.Note(QStringLiteral("%1: garbled answer, sending it again").arg(x.where));
            break;
        case TLineStep::Refused:
            return r.Fail(Exit::Refused, QStringLiteral("the board refused %1 (%2)")
                                             .arg(x.where, HexLine(QString(), x.reply).trimmed()));
        case TLineStep::ImageFull:
        case TLineStep::Ignore:
            break;
        }
    }
    seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    r.EndProgress();
    return AskAck(link, s, r,
                  write ? QStringLiteral("Write Finish") : QStringLiteral("Read Finish"),
                  write ? MemoryCommand::WriteFinish : MemoryCommand::ReadFinish, {}, true,
                  write ? Mode::WriteFinish : Mode::ReadFinish, MemoryNak);
}

int AskVerify(TLink& link, const TCtlSettings& s, TReporter& r, TImageJob& job, QJsonObject& json,
              QString& text) {
    std::vector<uint8_t> reply;
    if (const int code = Ask(
            link, s, r,
            {QStringLiteral("the verify request"), MemoryCommand::Verify, {}, true, Mode::Verify},
            [](TReplyEnd, std::span<const uint8_t> a) {
                if (!FrameSumRight(a))
                    return TJudge::Spoiled;
                if (DecodeAck(a) == TAckCode::Nak)
                    return TJudge::Refused;
                return a.size() >= 6 && a[2] == MemoryCommand::Verify ? TJudge::Good
                                                                      : TJudge::Spoiled;
            },
            reply))
        return code;
    const uint16_t crc = *job.image.WriteImageCrc(s.lineLength);
    const uint16_t board = static_cast<uint16_t>(reply[3] << 8 | reply[4]);
    json[QStringLiteral("crc")] = CrcText(crc);
    json[QStringLiteral("boardCrc")] = CrcText(board);
    json[QStringLiteral("verified")] = crc == board;
    if (crc != board)
        return r.Fail(Exit::Verify,
                      QStringLiteral("Verify Error!! the board's CRC is %1, the file's %2")
                          .arg(CrcText(board), CrcText(crc)));
    text += QStringLiteral("Verify ok: CRC %1").arg(CrcText(crc));
    return Exit::Ok;
}
} // namespace

int PrepareImage(const QString& path, const TCtlSettings& s, TReporter& r, TImageJob& job) {
    const QString shown = QDir::toNativeSeparators(path);
    if (const auto problem = LineLengthProblem(s.lineLength, TLineUse::Write))
        return r.Fail(Exit::Usage, *problem);
    const TFileOutcome loaded = job.image.OpenBinary(path, s.lineLength);
    switch (loaded.status) {
    case TFileOutcome::Status::TooManyLines:
        return r.Fail(Exit::BadFile,
                      QStringLiteral("%1: Bin error: %2 lines of %3 bytes (Line over 1000)")
                          .arg(shown)
                          .arg(loaded.lines)
                          .arg(s.lineLength));
    case TFileOutcome::Status::Failed:
        return r.Fail(Exit::BadFile, QStringLiteral("%1: %2").arg(shown, loaded.error));
    case TFileOutcome::Status::Ok:
        break;
    }
    if (loaded.lines == 0)
        return r.Fail(
            Exit::BadFile,
            QStringLiteral("%1 holds no whole line of %2 bytes").arg(shown).arg(s.lineLength));
    job.path = path;
    job.fileLines = loaded.lines;
    if (const int code = BuildAddresses(s, r, job, loaded.lines))
        return code;
    if (job.image.AddressCount == 0)
        return r.Fail(Exit::Usage, QStringLiteral("the range names no line"));
    if (job.image.AddressCount > loaded.lines)
        return r.Fail(Exit::Usage, QStringLiteral("the range names %1 lines, %2 holds only %3")
                                       .arg(job.image.AddressCount)
                                       .arg(shown)
                                       .arg(loaded.lines));
    if (job.image.AddressCount < loaded.lines)
        r.Warn(QStringLiteral("the range names %1 lines: the last %2 lines of %3 are left out")
                   .arg(job.image.AddressCount)
                   .arg(loaded.lines - job.image.AddressCount)
                   .arg(shown));
    return Exit::Ok;
}

int RunImageWrite(TLink& link, const TCtlSettings& s, TReporter& r, TImageJob& job) {
    TMemoryImage& image = job.image;
    double seconds = 0;
    if (const int code = RunLines(
            link, s, r, image, true,
            [&image](const std::vector<uint8_t>& reply, const QString&) {
                return std::optional<TLineStep>(image.TakeWriteReply(reply));
            },
            seconds))
        return code;

    const int lines = image.AddressCount;
    const int frameBytes = s.lineLength + 7;
    constexpr int ackBytes = 5;
    const double bytesPerSecond = WireBaud / 10.0;
    const double wireLineSeconds = (frameBytes + ackBytes) / bytesPerSecond;
    const double linesPerSecond = lines / seconds;
    const double wireLinesPerSecond = 1.0 / wireLineSeconds;
    r.Note(QStringLiteral("%1 lines in %2 s: %3 lines/s, %4 % of the wire-limited %5 lines/s "
                          "(%6 bytes out and %7 back a line at %8 B/s)")
               .arg(lines)
               .arg(seconds, 0, 'f', 3)
               .arg(linesPerSecond, 0, 'f', 2)
               .arg(100.0 * linesPerSecond / wireLinesPerSecond, 0, 'f', 1)
               .arg(wireLinesPerSecond, 0, 'f', 2)
               .arg(frameBytes)
               .arg(ackBytes)
               .arg(bytesPerSecond, 0, 'f', 0));

    QJsonObject json{{QStringLiteral("file"), QDir::toNativeSeparators(job.path)},
                     {QStringLiteral("lines"), lines},
                     {QStringLiteral("lineLength"), s.lineLength},
                     {QStringLiteral("seconds"), seconds},
                     {QStringLiteral("linesPerSecond"), linesPerSecond},
                     {QStringLiteral("wireLinesPerSecond"), wireLinesPerSecond}};
    QString text = QStringLiteral("wrote %1 lines of %2 bytes from %3\n")
                       .arg(lines)
                       .arg(s.lineLength)
                       .arg(QDir::toNativeSeparators(job.path));
    if (const int code = AskVerify(link, s, r, job, json, text))
        return code;
    r.Result(json, text);
    return Exit::Ok;
}

int RunImageVerify(TLink& link, const TCtlSettings& s, TReporter& r, TImageJob& job) {
    QJsonObject json{{QStringLiteral("file"), QDir::toNativeSeparators(job.path)},
                     {QStringLiteral("lines"), job.image.AddressCount}};
    QString text;
    if (const int code = AskVerify(link, s, r, job, json, text))
        return code;
    r.Result(json, text);
    return Exit::Ok;
}

int PrepareImageRead(const TCtlSettings& s, TReporter& r, TImageJob& job) {
    if (const auto problem = LineLengthProblem(s.lineLength, TLineUse::Read))
        return r.Fail(Exit::Usage, *problem);
    TCtlSettings range = s;
    // The window's fields: block 0, lines 0 to 3.
    if (!range.blocks && !range.lines) {
        range.blocks = TAddressRange{0, 0};
        range.lines = TAddressRange{0, 3};
    }
    if (const int code = BuildAddresses(range, r, job, 0))
        return code;
    if (job.image.AddressCount == 0)
        return r.Fail(Exit::Usage, QStringLiteral("the range names no line"));
    return Exit::Ok;
}

int RunImageRead(TLink& link, const TCtlSettings& s, TReporter& r, TImageJob& job,
                 const QString& outPath) {
    if (const int code = CheckOutputPath(outPath, r))
        return code;
    TMemoryImage& image = job.image;
    double seconds = 0;
    const auto take = [&](const std::vector<uint8_t>& reply,
                          const QString& where) -> std::optional<TLineStep> {
        // The page takes any frame for the line; a script needs the line itself.
        if (FrameSumRight(reply) && DecodeAck(reply) == TAckCode::Nak)
            return TLineStep::Refused;
        if (FrameSumRight(reply) && reply[1] != s.lineLength + 7) {
            r.Note(QStringLiteral("%1: an answer of %2 bytes, asking again")
                       .arg(where)
                       .arg(reply.size()));
            return std::nullopt;
        }
        return image.TakeReadReply(reply);
    };
    if (const int code = RunLines(link, s, r, image, false, take, seconds))
        return code;
    const int lines = image.LineIndex;
    const TFileOutcome saved = image.SaveBinary(outPath);
    if (saved.status != TFileOutcome::Status::Ok)
        return r.Fail(Exit::BadFile,
                      QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(outPath), saved.error));
    r.Result(QJsonObject{{QStringLiteral("file"), QDir::toNativeSeparators(outPath)},
                         {QStringLiteral("lines"), lines},
                         {QStringLiteral("lineLength"), s.lineLength}},
             QStringLiteral("read %1 lines of %2 bytes into %3")
                 .arg(lines)
                 .arg(s.lineLength)
                 .arg(QDir::toNativeSeparators(outPath)));
    return Exit::Ok;
}

// ---------------------------------------------------------------- capture

int RunCapture(TLink& link, const TCtlSettings& s, TReporter& r, const QString& outPath) {
    const QMap<QString, uint8_t> methods{{QStringLiteral("all"), 0xA3},
                                         {QStringLiteral("add"), 0xA1},
                                         {QStringLiteral("reject"), 0xA2}};
    if (!methods.contains(s.method))
        return r.Fail(Exit::Usage, QStringLiteral("--method must be all, add or reject"));
    if (s.coins < 1 || s.coins > TWaveStore::WaveMaxRecords)
        return r.Fail(Exit::Usage,
                      QStringLiteral("--coins must be 1 to %1").arg(TWaveStore::WaveMaxRecords));
    if (const int code = CheckOutputPath(outPath, r))
        return code;
    const int limitMs = (s.seconds < 0 ? 60 : s.seconds) * 1000;

    QElapsedTimer sinceEnable;
    sinceEnable.start();
    if (const int code = AskAck(link, s, r, QStringLiteral("the enable request"), CmdEnable, {},
                                true, Mode::Monitor, ProtocolNak))
        return code;
    if (const qint64 left = MethodDelayMs - sinceEnable.elapsed(); left > 0)
        QThread::msleep(static_cast<unsigned long>(left));
    const uint8_t method[] = {0x55, methods.value(s.method)};
    link.DiscardInput();
    if (!link.Send(method))
        return FailWait(r, link, Console::Interrupted() ? TWaitEnd::Interrupted : TWaitEnd::Lost);

    auto store = std::make_unique<TWaveStore>();
    TWaveCapture capture;
    TNoPlot plot;
    r.Progress(QStringLiteral("capture"), 0, s.coins);
    const TWaitEnd w = link.Stream(limitMs, [&](std::span<const uint8_t> bytes) {
        capture.ReadWavePackets(bytes, *store, plot);
        r.Progress(QStringLiteral("capture"), std::min(store->RecordCount, s.coins), s.coins);
        return store->RecordCount < s.coins;
    });
    r.EndProgress();
    // Wave packets off and coins off again, whatever ended the capture.
    const uint8_t none[] = {0x55, 0xA0};
    const uint8_t disable[] = {0x90, 0x05, CmdDisable, FrameEnd, 0x9A};
    if (w != TWaitEnd::Lost) {
        link.Send(none);
        link.Send(disable);
    }
    if (w == TWaitEnd::TimedOut)
        return r.Fail(Exit::Timeout,
                      QStringLiteral("%1 of %2 coins captured in %3 s; nothing was saved")
                          .arg(store->RecordCount)
                          .arg(s.coins)
                          .arg(limitMs / 1000));
    if (w != TWaitEnd::Reply)
        return FailWait(r, link, w);
    store->RecordCount = s.coins;
    QString error;
    if (!WaveFile::Save(outPath, *store, error))
        return r.Fail(Exit::BadFile, error);
    if (capture.DroppedPackets > 0)
        r.Warn(QStringLiteral("%1 damaged wave packets were left out").arg(capture.DroppedPackets));
    r.Result(QJsonObject{{QStringLiteral("file"), QDir::toNativeSeparators(outPath)},
                         {QStringLiteral("coins"), s.coins},
                         {QStringLiteral("method"), s.method}},
             QStringLiteral("%1 coins captured into %2")
                 .arg(s.coins)
                 .arg(QDir::toNativeSeparators(outPath)));
    return Exit::Ok;
}

// ---------------------------------------------------------------- monitor

int RunMonitor(TLink& link, const TCtlSettings& s, TReporter& r) {
    if (const int code = AskAck(link, s, r, QStringLiteral("the enable request"), CmdEnable, {},
                                true, Mode::Monitor, ProtocolNak))
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
    if (w != TWaitEnd::Lost) {
        const uint8_t disable[] = {0x90, 0x05, CmdDisable, FrameEnd, 0x9A};
        link.Send(disable);
    }
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
                link, s, r,
                {QStringLiteral("the I/O poll"), CmdSensorPoll, {}, false, Mode::SensorReport},
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
