// The line journal: every delivery read from the board's port and every write to it,
// one text line each, stamped in microseconds from the journal's start. The writer
// appends and hands each line to the system as it happens, so a crash loses at most
// the event being written; the reader takes a journal back, strictly, for replay.
//
//   krv2-journal 1 krv2ctl --journal run.txt --simulator capture --coins 450 -o X.bwv
//   000000000 TX 90 05 01 03 99
//   000003512 RX 90 05 50 03 E8
#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class TJournalDirection : uint8_t {
    Rx, // read from the port: what the board sent
    Tx, // written to the port
};

struct TJournalEvent {
    int64_t TimeUs = 0;
    TJournalDirection Direction = TJournalDirection::Rx;
    std::vector<uint8_t> Bytes;
};

namespace Journal {
inline constexpr char Magic[] = "krv2-journal";
inline constexpr int Version = 1;
// A delivery is at most the serial component's 8 KB read; a longer line is not ours.
inline constexpr int MaxEventBytes = 65536;
inline constexpr int TimeDigits = 9;     // zero-padded; longer after 1000 s
inline constexpr int MaxTimeDigits = 18; // still fits 64 bits

// The header line, newline included. Control characters in `writer` become '?' so
// the header stays one line.
std::string HeaderLine(const QString& writer);
// Appends one event line, newline included.
void AppendEvent(std::string& out, int64_t timeUs, TJournalDirection direction,
                 std::span<const uint8_t> bytes);
// The program's name and its arguments, as the header names the writer.
QString WriterText(const QStringList& arguments);
} // namespace Journal

class TJournalWriter {
public:
    // Creates or replaces `path` and writes the header; the clock starts here.
    bool Open(const QString& path, const QString& writer, QString& error);
    void Close();
    bool IsOpen() const { return file.isOpen(); }

    // Microseconds since Open, on a monotonic clock.
    int64_t NowUs() const { return clock.nsecsElapsed() / 1000; }
    // Appends one event stamped `timeUs` (now when negative); an empty one is not
    // written. False once a write has failed: Error() says why and nothing more is
    // written.
    bool Write(TJournalDirection direction, std::span<const uint8_t> bytes, int64_t timeUs = -1);

    bool Failed() const { return failed; }
    QString Error() const { return error; }
    QString Path() const { return file.fileName(); }

private:
    QFile file;
    QElapsedTimer clock;
    std::string line; // reused: no allocation per event once it has grown
    int64_t lastUs = 0;
    bool failed = false;
    QString error;
};

// Reads a journal line by line. Everything is checked: a line that is not an event
// stops the reading with a message naming it. A last line cut short (the writer was
// stopped while writing it) gives the bytes it holds and a note, once.
class TJournalReader {
public:
    enum class TStep { Event, End, Bad };

    // `name` is how messages name the journal (its file name).
    TJournalReader(QIODevice& in, QString name);

    // Reads the header line; false with `error` when it is not a journal this reads.
    bool ReadHeader(QString& error);
    QString Writer() const { return writer; }

    TStep Next(TJournalEvent& event, QString& error);
    // After End: says where the journal was cut, empty when it was not.
    QString CutNote() const { return cutNote; }

private:
    QString Where() const;
    bool ParseEvent(const QByteArray& text, bool cut, TJournalEvent& event, QString& error);

    QIODevice& in;
    QString name;
    QString writer;
    QString cutNote;
    int64_t lastUs = 0;
    qint64 lineNumber = 0;
    bool ended = false;
};
