// Captures longer than the store: when a coin comes to a full store, the store goes to
// the next numbered file (NAME-001.bwv, NAME-002.bwv, ...) and is emptied as New
// empties it, and capture goes on with that coin. A save that fails leaves the store
// as it was and stops the rolling over; the caller says so and stops capture.
#pragma once

#include "PlotRequests.h"
#include "WaveCapture.h"
#include "WaveLabels.h"
#include "WaveStore.h"

#include <QString>

#include <vector>

struct TWaveSavedFile {
    QString Path;
    int32_t Records = 0;
    // What capture could not file so far, when this file was saved.
    int32_t DroppedPackets = 0;
    int32_t AbandonedRecords = 0;
};

class TWaveRollover {
public:
    // `base` is NAME.bwv (or NAME); the files are NAME-001.bwv on from `first`.
    explicit TWaveRollover(QString base, int first = 1);

    // NAME.bwv and 7 give NAME-007.bwv; past 999 the number takes more digits.
    static QString NumberedPath(const QString& base, int number);
    // The number after the highest NAME-NNN.bwv already beside `base`, 1 when none is:
    // a second run into the same name keeps the first run's files.
    static int NextFreeNumber(const QString& base);

    // Makes `capture` roll the store over when a coin finds it full.
    void Attach(TWaveCapture& capture);

    // Saves the full store to the next file and empties it. False when the save
    // failed (Error() says why): the store is left untouched, and so is every later
    // store, until the caller makes another rollover.
    bool MakeRoom(TWaveStore& store, TPlotRequests& plot, const TWaveCapture& capture);
    // The end of a run: the first `records` records go to the next file (nothing is
    // written for none).
    bool SaveLast(TWaveStore& store, int records, const TWaveCapture& capture);

    int RecordsSaved() const { return recordsSaved; }
    const std::vector<TWaveSavedFile>& Files() const { return files; }
    QString NextPath() const { return NumberedPath(base, next); }
    bool Failed() const { return failed; }
    // The labels that go with the store (none on the command line): saved in each
    // file and emptied with the store.
    TWaveLabels* Labels = nullptr;
    QString Error() const { return error; }

private:
    bool Save(const TWaveStore& store, const TWaveCapture& capture);

    QString base;
    int next = 1;
    int recordsSaved = 0;
    std::vector<TWaveSavedFile> files;
    bool failed = false;
    QString error;
};
