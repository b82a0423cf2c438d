#include "MemoryImage.h"

#include "Frame.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <climits>

namespace {
constexpr int ReplyBufferBytes = 76; // the receive side's reply buffer
constexpr int LineFrameExtra = 7;    // 0x90, length, code, two address bytes, 0x03, sum
constexpr int LineDataOffset = 5;
} // namespace

uint16_t Crc16Xmodem(std::span<const uint8_t> bytes, uint16_t crc) {
    for (uint8_t b : bytes) {
        crc = static_cast<uint16_t>(crc ^ (b << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

QString CrcText(uint16_t crc) {
    return QStringLiteral("%1 %2")
        .arg(crc >> 8, 2, 16, QLatin1Char('0'))
        .arg(crc & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

bool FrameSumRight(std::span<const uint8_t> reply) {
    if (reply.size() < 3 || reply[1] != reply.size())
        return false;
    return Checksum(reply.first(reply.size() - 1)) == reply.back();
}

TAckCode DecodeAck(std::span<const uint8_t> reply) {
    if (!FrameSumRight(reply) || reply.size() < 4)
        return TAckCode::Other;
    switch (reply[2]) {
    case MemoryAck:
        return TAckCode::Ack;
    case MemoryNak:
        return TAckCode::Nak;
    default:
        return TAckCode::Other;
    }
}

std::optional<QString> LineLengthProblem(int length, TLineUse use) {
    int most = TMemoryImage::ImageLineBytes;
    QString what = QStringLiteral("a line of the memory image");
    if (use == TLineUse::Read) {
        most = ReplyBufferBytes - LineFrameExtra;
        what = QStringLiteral("a line read reply");
    } else if (use == TLineUse::Write) {
        most = 255 - LineFrameExtra;
        what = QStringLiteral("a line write frame");
    }
    if (length >= 1 && length <= most)
        return std::nullopt;
    return QStringLiteral("A line length of %1 bytes does not fit %2: use 1 to %3 bytes.")
        .arg(length)
        .arg(what)
        .arg(most);
}

TMemoryImage::TMemoryImage()
    : AddressList(std::make_unique<std::array<int32_t, MaxAddresses>>()),
      ReadImage(std::make_unique<TImage>()), WriteImage(std::make_unique<TImage>()) {}

bool TMemoryImage::BuildAddressList(int blockFrom, int blockTo, int lineFrom, int lineTo) {
    AddressCount = 0;
    for (int v : {blockFrom, blockTo, lineFrom, lineTo})
        if (v < 0 || v > 255)
            return false;
    for (int block = blockFrom; block <= blockTo; ++block)
        for (int line = lineFrom; line <= lineTo; ++line)
            (*AddressList)[static_cast<size_t>(AddressCount++)] = block * 256 + line;
    return true;
}

int TMemoryImage::AddressAt(int index) const {
    return index >= 0 && index < MaxAddresses ? (*AddressList)[static_cast<size_t>(index)] : 0;
}

void TMemoryImage::BeginTransfer(bool writing) {
    Writing = writing;
    LineIndex = 0;
    Repeats = 0;
    Phase = TTransferPhase::Running;
}

int TMemoryImage::FillLineRead(std::span<uint8_t> payload, int length) const {
    if (!LineToSend() || LineLengthProblem(length, TLineUse::Read) || payload.size() < 3)
        return 0;
    const int address = AddressAt(LineIndex);
    payload[0] = static_cast<uint8_t>(address >> 8);
    payload[1] = static_cast<uint8_t>(address);
    payload[2] = static_cast<uint8_t>(length);
    return 3;
}

int TMemoryImage::FillLineWrite(std::span<uint8_t> payload, int length) const {
    if (!LineToSend() || LineIndex >= ImageLines || LineLengthProblem(length, TLineUse::Write) ||
        payload.size() < static_cast<size_t>(length + 2))
        return 0;
    const int address = AddressAt(LineIndex);
    payload[0] = static_cast<uint8_t>(address >> 8);
    payload[1] = static_cast<uint8_t>(address);
    const auto& line = (*WriteImage)[static_cast<size_t>(LineIndex)];
    std::copy_n(line.begin(), length, payload.begin() + 2);
    return length + 2;
}

TLineStep TMemoryImage::TakeReadReply(std::span<const uint8_t> reply) {
    // A late answer (one the board sent to a repeat as well) after the transfer ended,
    // was finished or saved must not start requests of its own.
    if (!InFlight() || !LineToSend())
        return TLineStep::Ignore;
    if (LineIndex >= ImageLines) {
        Phase = TTransferPhase::ImageFull;
        return TLineStep::ImageFull;
    }
    if (!FrameSumRight(reply)) {
        Phase = TTransferPhase::Running;
        return TLineStep::SendAgain;
    }
    // Any frame counts as the line, also a short one (an acknowledgement): then the
    // length goes below zero and the line holds no data.
    ReadLineLength = reply[1] - LineFrameExtra;
    const int stored =
        std::clamp(std::min(ReadLineLength, static_cast<int>(reply.size()) - LineDataOffset - 2), 0,
                   ImageLineBytes);
    std::copy_n(reply.begin() + LineDataOffset, stored,
                (*ReadImage)[static_cast<size_t>(LineIndex)].begin());
    return LineTaken();
}

TLineStep TMemoryImage::TakeWriteReply(std::span<const uint8_t> reply) {
    // An acknowledgement after the transfer ended (the board answered a repeat too) or
    // after it was finished must not send lines by itself.
    if (!InFlight() || !LineToSend())
        return TLineStep::Ignore;
    if (!FrameSumRight(reply)) {
        Phase = TTransferPhase::Running;
        return TLineStep::SendAgain;
    }
    if (DecodeAck(reply) != TAckCode::Ack) {
        Phase = TTransferPhase::Refused;
        return TLineStep::Refused;
    }
    return LineTaken();
}

TLineStep TMemoryImage::LineTaken() {
    ++LineIndex;
    Repeats = 0;
    if (LineIndex == AddressCount) {
        Phase = TTransferPhase::Done;
        return TLineStep::Complete;
    }
    Phase = TTransferPhase::Running;
    return TLineStep::SendNext;
}

void TMemoryImage::NoteRepeat() {
    Phase = TTransferPhase::Repeating;
    ++Repeats;
}

void TMemoryImage::NoteFinish() {
    if (Phase == TTransferPhase::Running || Phase == TTransferPhase::Repeating ||
        Phase == TTransferPhase::Refused)
        Phase = TTransferPhase::Stopped;
}

std::optional<uint16_t> TMemoryImage::WriteImageCrc(int length) const {
    if (LineLengthProblem(length, TLineUse::Image) || AddressCount > ImageLines)
        return std::nullopt;
    uint16_t crc = 0;
    for (int i = 0; i < AddressCount; ++i)
        crc = Crc16Xmodem(std::span<const uint8_t>((*WriteImage)[static_cast<size_t>(i)])
                              .first(static_cast<size_t>(length)),
                          crc);
    return crc;
}

TFileOutcome TMemoryImage::OpenBinary(const QString& path, int length) {
    QByteArray lines;
    TFileOutcome outcome = ReadBinary(path, length, lines);
    if (outcome.status == TFileOutcome::Status::Ok && outcome.lines > 0)
        LoadBinary(lines, length);
    return outcome;
}

TFileOutcome TMemoryImage::ReadBinary(const QString& path, int length, QByteArray& lines) const {
    if (const auto problem = LineLengthProblem(length, TLineUse::Image))
        return {TFileOutcome::Status::Failed, *problem, 0, 0};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {TFileOutcome::Status::Failed, file.errorString(), 0, 0};
    const qint64 count = file.size() / length;
    const int extra = static_cast<int>(file.size() % length);
    if (count > ImageLines)
        return {TFileOutcome::Status::TooManyLines, QString(),
                static_cast<int>(std::min<qint64>(count, INT_MAX)), extra};
    if (count == 0)
        return {TFileOutcome::Status::Ok, QString(), 0, extra};
    // Read whole before anything is copied: a failed read loads nothing.
    lines = file.read(count * length);
    if (lines.size() != count * length)
        return {TFileOutcome::Status::Failed,
                file.error() != QFileDevice::NoError ? file.errorString()
                                                     : QStringLiteral("The file ended early."),
                0, 0};
    return {TFileOutcome::Status::Ok, QString(), static_cast<int>(count), extra};
}

void TMemoryImage::LoadBinary(const QByteArray& lines, int length) {
    for (auto& line : *WriteImage)
        line.fill(0);
    const qsizetype count = length > 0 ? std::min<qsizetype>(lines.size() / length, ImageLines) : 0;
    for (qsizetype i = 0; i < count; ++i)
        std::copy_n(lines.constData() + i * length, length,
                    (*WriteImage)[static_cast<size_t>(i)].begin());
    BinaryLoaded = true;
}

TFileOutcome TMemoryImage::SaveBinary(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {TFileOutcome::Status::Failed, file.errorString(), 0};
    const int lines = std::min(LineIndex, ImageLines);
    const int bytes = std::clamp(ReadLineLength, 0, ImageLineBytes);
    for (int i = 0; i < lines && bytes > 0; ++i) {
        const auto& line = (*ReadImage)[static_cast<size_t>(i)];
        if (file.write(reinterpret_cast<const char*>(line.data()), bytes) != bytes) {
            const QString error = file.errorString();
            file.cancelWriting();
            return {TFileOutcome::Status::Failed, error, 0};
        }
    }
    if (!file.commit())
        return {TFileOutcome::Status::Failed, file.errorString(), 0};
    LineIndex = 0;
    return {TFileOutcome::Status::Ok, QString(), lines};
}

QString TMemoryImage::ProgressText() const {
    const QString verb = Writing ? QStringLiteral("Writing") : QStringLiteral("Reading");
    const int line = std::min(LineIndex + 1, std::max(AddressCount, 1));
    switch (Phase) {
    case TTransferPhase::Idle:
        return QStringLiteral("No transfer");
    case TTransferPhase::Running:
        return QStringLiteral("%1 line %2 of %3").arg(verb).arg(line).arg(AddressCount);
    case TTransferPhase::Repeating:
        return QStringLiteral("%1 line %2 of %3: no answer, sent again every 2 s (%4 %5)")
            .arg(verb)
            .arg(line)
            .arg(AddressCount)
            .arg(Repeats)
            .arg(Repeats == 1 ? QStringLiteral("repeat") : QStringLiteral("repeats"));
    case TTransferPhase::Refused:
        return QStringLiteral("Stopped at line %1 of %2: the board refused it (NAK)")
            .arg(line)
            .arg(AddressCount);
    case TTransferPhase::Done:
        return QStringLiteral("%1 done: %2 lines")
            .arg(Writing ? QStringLiteral("Write") : QStringLiteral("Read"))
            .arg(AddressCount);
    case TTransferPhase::Stopped:
        return QStringLiteral("Finished at line %1 of %2").arg(line).arg(AddressCount);
    case TTransferPhase::ImageFull:
        return QStringLiteral("Read stopped: the read image holds %1 lines").arg(ImageLines);
    }
    return {};
}
