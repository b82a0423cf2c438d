// How krv2ctl reports: its exit codes, results on standard output (text or one JSON
// object each), progress and errors on standard error, and output files that are
// written whole or not at all.
#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdio>

namespace Exit {
constexpr int Ok = 0;
constexpr int Usage = 1;
constexpr int Port = 2;    // could not be opened, or was lost
constexpr int Timeout = 3; // no answer within the time-out
constexpr int Refused = 4; // the board answered NAK
constexpr int Verify = 5;  // table read back or CRC did not match
constexpr int BadFile =
    6; // an input file that cannot be used (or an output that cannot be written)
constexpr int Interrupted = 130;
} // namespace Exit

class TReporter {
public:
    TReporter(bool json, bool verbose, std::FILE* out = stdout, std::FILE* err = stderr);

    // One result: a JSON object on one line, or the text.
    void Result(const QJsonObject& json, const QString& text);
    // Said on standard error with --verbose only.
    void Note(const QString& text);
    void Warn(const QString& text);
    // Says why the command failed and returns `code`.
    int Fail(int code, const QString& message);
    // A bar on a terminal, plain "NN %" lines otherwise.
    void Progress(const QString& what, int done, int total);
    void EndProgress();

    bool Json() const { return json; }
    bool Verbose() const { return verbose; }

private:
    void Line(std::FILE* stream, const QString& text);

    bool json;
    bool verbose;
    std::FILE* out;
    std::FILE* err;
    bool errTerminal;
    int lastPercent = -1;
    bool barShown = false;
};

// The output's folder must exist before the board is asked for anything.
int CheckOutputPath(const QString& path, TReporter& r);
// Writes `data` whole or not at all.
bool SaveAtomically(const QString& path, const QByteArray& data, QString& error);
