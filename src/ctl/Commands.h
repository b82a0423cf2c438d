// The jobs of krv2ctl, one function per command, over the same protocol, memory-image
// and wave libraries as the window's pages. Each returns the process exit code and
// reports through TReporter: results on standard output, progress and errors on
// standard error.
#pragma once

#include "Link.h"
#include "MemoryImage.h"
#include "Reporter.h"
#include "TableJson.h"
#include "WaveRollover.h"

#include <QJsonObject>
#include <QString>

#include <optional>

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
// Capture run again over the bytes a line journal recorded, with their recorded times.
int RunWaveReplay(const QString& journalPath, const TCtlSettings& s, bool coinsGiven, TReporter& r,
                  const QString& outPath);
// What a capture (or its replay) filed: the files, the coins and what was left out.
void ReportCapture(TReporter& r, const std::vector<TWaveSavedFile>& files,
                   const TWaveCapture& capture, QJsonObject json);
// "; the first 400 coins are in X-001.bwv, X-002.bwv", for a run that ended early.
QString SavedSoFar(const TWaveRollover& rollover);
int RunMonitor(TLink& link, const TCtlSettings& s, TReporter& r);
int RunIo(TLink& link, const TCtlSettings& s, TReporter& r);
