// Test side of krv2sim: starts the real program, opens its serial end the way a
// port is opened and reads replies with time-outs. Shared by the sim's tests.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <csignal>

// The table a fresh board reports: check byte 0x55, then nine records.
inline const char* const defaultTableHex = "55 00 05 00 00 00 00 00 00 00 0A 00 00 00 01 00 03"
                                           " 00 14 00 00 00 01 00 04 00 32 00 00 00 02 00 05"
                                           " 00 64 00 00 00 02 00 06 00 C8 00 00 00 03 00 00"
                                           " 01 F4 00 00 00 03 00 00 03 E8 00 01 00 03 00 00"
                                           " 00 05 00 00 00 00 00 00";

// "90 05 80 55 6A" to bytes.
inline QByteArray hexBytes(const char* text) {
    return QByteArray::fromHex(text);
}

class SimProcess {
public:
    explicit SimProcess(const QStringList& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    QString serialPath() const { return path; } // empty when it did not start
    bool running() const { return process.state() == QProcess::Running; }
    // Sends `signal`, waits for the end; the exit code, -1 for a crash or no end.
    int stop(int signal = SIGTERM);
    QByteArray standardError() { return process.readAllStandardError(); }

private:
    QProcess process;
    QString path;
};

// The tool's end of the line, opened raw and non-blocking like a serial port.
class SerialEnd {
public:
    explicit SerialEnd(const QString& path, bool makeRaw = true);
    ~SerialEnd();
    SerialEnd(const SerialEnd&) = delete;
    SerialEnd& operator=(const SerialEnd&) = delete;

    bool isOpen() const { return fd >= 0; }
    int handle() const { return fd; }
    bool send(const QByteArray& bytes);
    // Reads until `count` bytes are in, or none has come for `timeoutMs`.
    QByteArray receive(int count, int timeoutMs = 3000) { return read(count, timeoutMs, -1); }
    // Reads until nothing has come for `quietMs`, the first byte waited for up to
    // `firstMs` (by default as briefly: a check for silence).
    QByteArray receiveUntilQuiet(int quietMs, int firstMs = -1) {
        return read(-1, quietMs, firstMs < 0 ? quietMs : firstMs);
    }
    int lastReads() const { return reads; } // reads that brought data, last receive

private:
    QByteArray read(int count, int waitMs, int firstMs);

    int fd = -1;
    int reads = 0;
};

// CRC-16/XMODEM bit by bit, written apart from the board's own.
quint16 referenceCrc(const QByteArray& bytes, quint16 crc = 0);
QByteArray withSum(QByteArray frame);
