// The pass/fail test of every coin as its record closes on the Get_Wave page, against
// a windows file or a waveform mask, with the counts of the run and the stop on the
// first failure, which the page is told about once until it is armed again.
#pragma once

#include "WaveTeach.h"

#include <QString>

#include <optional>
#include <variant>

struct TLiveOutcome {
    bool Pass = false;
    QString Text;      // "PASS 10c", "FAIL near 10c: Width 31 outside 34..40 (1 out)"
    bool Stop = false; // the first failure since the stop was armed: stop the reports now
};

class TLiveCheck {
public:
    // A new test starts the counts afresh.
    void UseWindows(TWindowsSet windows, const QString& source);
    void UseMask(TMask mask, const QString& source);
    void Off();
    bool Active() const { return !std::holds_alternative<std::monostate>(test); }
    // What the records are tested against: "w.json: 2 kinds", "mask 3/genuine ±4/±2 a.bwv".
    const QString& Source() const { return source; }

    // Record `record` of `store` closed. Nothing when no test is set.
    std::optional<TLiveOutcome> RecordClosed(const TWaveStore& store, int record);

    // New: counts from 0, the stop armed again.
    void Reset();
    void SetStopOnFail(bool on);
    bool StopOnFail() const { return stopOnFail; }
    // The board reports coins again (a Method other than None): a later failure may
    // stop it again.
    void Rearm() { stopped = false; }

    int Tested() const { return tested; }
    int Failed() const { return failed; }
    // "12 tested, 1 failed (8.3 %)"
    QString Counts() const;

private:
    std::variant<std::monostate, TWindowsSet, TMask> test;
    QString source;
    int tested = 0;
    int failed = 0;
    bool stopOnFail = false;
    bool stopped = false;
};
