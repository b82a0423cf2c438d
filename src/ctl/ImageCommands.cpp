// krv2ctl's image write, verify and read: memory lines one by one, each repeated after
// silence as the window repeats it, between the transfer's Start and Finish.
#include "Requests.h"

#include "Console.h"
#include "Frame.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <optional>

namespace {
constexpr int WireBaud = 9600;
} // namespace

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

namespace {
// Ctrl-C in the middle of a memory transfer: the board is told the transfer is over
// (its Finish command, unanswered) before the port is closed.
int StopTransfer(TReporter& r, TLink& link, TWaitEnd w, uint8_t finish) {
    if (w == TWaitEnd::Interrupted)
        link.SendFrame(finish, {}, true);
    return FailWait(r, link, w);
}

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
    const uint8_t finish = (x.write ? Request::WriteFinish : Request::ReadFinish).code;
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
    if (!link.SendFrame((x.write ? Request::WriteLine : Request::ReadLine).code,
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
                   write ? Request::WriteStart : Request::ReadStart, {}, MemoryNak))
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
                  write ? Request::WriteFinish : Request::ReadFinish, {}, MemoryNak);
}

int AskVerify(TLink& link, const TCtlSettings& s, TReporter& r, TImageJob& job, QJsonObject& json,
              QString& text) {
    std::vector<uint8_t> reply;
    if (const int code = Ask(
            link, s, r, TAsk(QStringLiteral("the verify request"), Request::Verify),
            [](TReplyEnd, std::span<const uint8_t> a) {
                if (!FrameSumRight(a))
                    return TJudge::Spoiled;
                if (DecodeAck(a) == TAckCode::Nak)
                    return TJudge::Refused;
                return a.size() >= 6 && a[2] == Request::Verify.code ? TJudge::Good
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
