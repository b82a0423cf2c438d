// The two memory images of the R/W Binary page and the line-by-line transfer that
// fills and sends them: the address list, the line requests, what each line reply
// means, the CRC the board's verification is checked against, and the ".bin" file.
// No widgets and no timers: the page runs the buttons and timers and asks this what
// to send next.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

constexpr uint8_t MemoryAck = 0x50;
constexpr uint8_t MemoryNak = 0x48;

// CRC-16/XMODEM: polynomial 0x1021, initial 0, most significant bit first, no final
// XOR; continues from `crc`.
uint16_t Crc16Xmodem(std::span<const uint8_t> bytes, uint16_t crc = 0);

// "HH LL": the CRC as `Label78` shows it.
QString CrcText(uint16_t crc);

// A complete reply whose length byte matches its size and whose last byte is the
// sum of the others.
bool FrameSumRight(std::span<const uint8_t> reply);

enum class TAckCode { Other, Ack, Nak };
// The code of an acknowledgement; Other also for a wrong checksum.
TAckCode DecodeAck(std::span<const uint8_t> reply);

// What a line length has to fit.
enum class TLineUse {
    Read,  // the reply, L + 7 bytes, must fit the 76-byte reply buffer
    Write, // the request's length byte L + 7 must stay within 255
    Image, // a line of an image: 1000 bytes
};
// Why `length` cannot be used for `use`; nothing when it can.
std::optional<QString> LineLengthProblem(int length, TLineUse use);

enum class TTransferPhase {
    Idle,
    Running,   // a line request is out
    Repeating, // no answer yet: the line is sent again every 2 s
    Refused,   // the board answered a line write with NAK or another code
    Done,
    Stopped,   // the Finish button ended it
    ImageFull, // a read beyond the read image's 1000 lines
};

// What the page does after a line reply.
enum class TLineStep {
    Ignore,    // no transfer under way (it is complete): nothing changes
    SendNext,  // send the line at LineIndex, start the timer
    SendAgain, // wrong checksum: the same line again, start the timer
    Complete,  // every line is through; nothing more is sent
    Refused,   // a line write was not acknowledged: stand still
    ImageFull, // a read reply beyond line 999: the read ends
};

struct TFileOutcome {
    enum class Status { Ok, TooManyLines, Failed };
    Status status = Status::Ok;
    QString error;      // the platform's text, for Failed
    int lines = 0;      // lines loaded or saved
    int extraBytes = 0; // bytes after the last whole line, never sent
};

class TMemoryImage {
public:
    static constexpr int ImageLines = 1000;
    static constexpr int ImageLineBytes = 1000;
    static constexpr int MaxAddresses = 65536;
    using TImage = std::array<std::array<uint8_t, ImageLineBytes>, ImageLines>;

    TMemoryImage();

    // For every block from `blockFrom` to `blockTo`, every line from `lineFrom` to
    // `lineTo`: block·256 + line. A range whose first value is above its last gives
    // no entry. Block and line are one byte each on the wire: a value outside 0..255
    // leaves the list empty and returns false.
    bool BuildAddressList(int blockFrom, int blockTo, int lineFrom, int lineTo);
    int AddressAt(int index) const;

    // A new pass over the address list from its first line.
    void BeginTransfer(bool writing);
    // Whether LineIndex names a line of the list (one is still to be sent).
    bool LineToSend() const { return LineIndex >= 0 && LineIndex < AddressCount; }
    // A line request is out and its answer is awaited.
    bool InFlight() const {
        return Phase == TTransferPhase::Running || Phase == TTransferPhase::Repeating;
    }

    // The payload of the request for the line at LineIndex: address high, address
    // low, then the length (read) or L bytes of the write image (write). Returns the
    // payload length, 0 when there is no such line or `length` does not fit.
    int FillLineRead(std::span<uint8_t> payload, int length) const;
    int FillLineWrite(std::span<uint8_t> payload, int length) const;

    // A complete reply in the read (mode 40) or write (mode 140) transfer.
    TLineStep TakeReadReply(std::span<const uint8_t> reply);
    TLineStep TakeWriteReply(std::span<const uint8_t> reply);
    // The repeat timer sent the line again.
    void NoteRepeat();
    // Read Finish or Write Finish.
    void NoteFinish();

    // CRC over write-image lines 0 to AddressCount-1, `length` bytes each; nothing
    // when the list or the length does not fit the image.
    std::optional<uint16_t> WriteImageCrc(int length) const;

    // Open Binary: floor(size / length) lines of `length` bytes into the write image,
    // refused above 1000 lines. A file with no whole line loads nothing (Ok, 0 lines).
    // The image is cleared first, so no line of an earlier file is sent with this one.
    TFileOutcome OpenBinary(const QString& path, int length);
    // The two halves of OpenBinary, for a caller that asks the user in between:
    // reading the file changes nothing; loading it replaces the whole write image.
    TFileOutcome ReadBinary(const QString& path, int length, QByteArray& lines) const;
    void LoadBinary(const QByteArray& lines, int length);
    // Save Binary: lines 0 to LineIndex-1 of the read image, ReadLineLength bytes
    // each. An existing file is replaced only once all of it is written. LineIndex
    // becomes 0 when the save succeeds.
    TFileOutcome SaveBinary(const QString& path);

    // "Writing line 3 of 64" and the like, for the progress bar.
    QString ProgressText() const;

    std::unique_ptr<std::array<int32_t, MaxAddresses>> AddressList;
    int AddressCount = 0;
    int LineIndex = 0;
    std::unique_ptr<TImage> ReadImage;
    int ReadLineLength = 0;
    std::unique_ptr<TImage> WriteImage;
    bool BinaryLoaded = false;

    TTransferPhase Phase = TTransferPhase::Idle;
    bool Writing = false; // direction of the last transfer
    int Repeats = 0;      // repeats of the current line

private:
    // The line at LineIndex is taken: on to the next one, or the transfer is done.
    TLineStep LineTaken();
};
