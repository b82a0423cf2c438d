// The jobs of krv2ctl, one function per command, over the same protocol, memory-image
// and wave libraries as the window's pages. Each returns the process exit code and
// reports through TReporter: results on standard output, progress and errors on
// standard error.
#pragma once

#include "Link.h"
#include "MemoryImage.h"
#include "TableJson.h"

#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <optional>

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

struct TAddressRange {
    int from = 0;
    int to = 0;
};

struct TCtlSettings {
    int timeoutMs = 2000; // per answer; also the repeat interval of a memory line
    int retries = 5;      // requests sent again after silence or a spoiled answer
    // image
    int lineLength = 64;
    std::optional<TAddressRange> blocks;
    std::optional<TAddressRange> lines;
    // capture, monitor, io
    QString method = QStringLiteral("all");
    int coins = 1;
    int seconds = -1; // negative: the command's default
};

// Parses "A-B" or "A" with both in 0..255.
std::optional<TAddressRange> ParseRange(const QString& text);

int RunInfo(TLink& link, const TCtlSettings& s, TReporter& r);
int RunTableRead(TLink& link, const TCtlSettings& s, TReporter& r, const QString& outPath);
struct TTableJob {
    QString path;
    TChannelFrames frames{};
};
// Reads and checks `path` before anything is sent (so it takes no link yet).
int CheckTableFile(const QString& path, TReporter& r, TTableJob& job);
int RunTableWrite(TLink& link, const TCtlSettings& s, TReporter& r, const TTableJob& job);

struct TImageJob {
    QString path;
    TMemoryImage image; // about 2 MB, on the heap inside
    int fileLines = 0;
};
// Loads and checks the .bin file and the address range before anything is sent.
int PrepareImage(const QString& path, const TCtlSettings& s, TReporter& r, TImageJob& job);
int RunImageWrite(TLink& link, const TCtlSettings& s, TReporter& r, TImageJob& job);
int RunImageVerify(TLink& link, const TCtlSettings& s, TReporter& r, TImageJob& job);
int PrepareImageRead(const TCtlSettings& s, TReporter& r, TImageJob& job);
int RunImageRead(TLink& link, const TCtlSettings& s, TReporter& r, TImageJob& job,
                 const QString& outPath);

int RunCapture(TLink& link, const TCtlSettings& s, TReporter& r, const QString& outPath);
int RunMonitor(TLink& link, const TCtlSettings& s, TReporter& r);
int RunIo(TLink& link, const TCtlSettings& s, TReporter& r);
