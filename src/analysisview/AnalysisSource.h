// What the analysis window works on and asks for: the Get_Wave page's store, labels
// and plot, and the page's operations that the window starts. The page owns all of it;
// the window only reads the store and goes through these calls for every change.
#pragma once

#include "Plot.h"
#include "WaveLabels.h"
#include "WaveStore.h"

#include <QString>

class TAnalysisSource {
public:
    virtual ~TAnalysisSource() = default;

    virtual const TWaveStore& Store() const = 0;
    virtual const TWaveLabels& Labels() const = 0;
    virtual TPlot& Plot() = 0;

    // Gives a record its label; false, changing nothing, when it cannot be kept.
    virtual bool SetLabel(int record, const TRecordLabel& label) = 0;
    // Makes a record current, with the redraws of Next and Last (in the single-record
    // view: shows it).
    virtual void ShowRecord(int record) = 0;

    // "Label the next N coins as KIND / CLASS".
    virtual void StartLabelRun(const TRecordLabel& label, int count) = 0;
    virtual void StopLabelRun() = 0;
    virtual bool LabelRunActive() const = 0;
    // "10c genuine 23/40"; empty before the first run.
    virtual QString LabelRunProgress() const = 0;
};
