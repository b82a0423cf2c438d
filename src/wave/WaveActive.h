// The Get_Wave page's store operations: New, Del This, Next, Last, the loads and the
// single-record browse. Each changes the store and asks the plot for its layers in
// a fixed order, since the order decides how the layers stack. Confirmations,
// dialogs and labels are the page's; these run after the user has confirmed.
#pragma once

#include "PlotRequests.h"
#include "WaveStore.h"

#include <QByteArray>

// One record's samples and length, to tell whether a slot still holds it.
struct TWaveRecord {
    std::array<std::array<int32_t, TWaveStore::Samples>, TWaveStore::Channels> Samples{};
    int32_t Length = 0;
    bool operator==(const TWaveRecord&) const = default;
};

namespace WaveActive {
TWaveRecord RecordAt(const TWaveStore& store, int record);

// Frees the plot layers of the view in force and zeroes every sample slot; the count
// becomes 0. Shared by New, Load and Load one.
void EmptyStore(TWaveStore& store, TPlotRequests& plot);

// New, once confirmed.
void New(TWaveStore& store, TPlotRequests& plot);

// Deletes the current record: the last record moves into its place, nothing shifts.
void DelThis(TWaveStore& store, TPlotRequests& plot);

// Move the current record; false when it did not move.
bool Next(TWaveStore& store, TPlotRequests& plot);
bool Last(TWaveStore& store, TPlotRequests& plot);
// Makes any record current with the redraws of Next and Last; false when it is outside
// the store or current already.
bool MakeCurrent(TWaveStore& store, TPlotRequests& plot, int record);

// Fills the emptied store from a checked file block and draws it, overlay view.
void Load(TWaveStore& store, TPlotRequests& plot, const QByteArray& block);
// The same for the single-record view: record 0 alone is drawn.
void LoadOne(TWaveStore& store, TPlotRequests& plot, const QByteArray& block);

// Single-record view: show the following / preceding record. False when nothing moved.
bool BrowseNext(TWaveStore& store, TPlotRequests& plot);
bool BrowseLast(TWaveStore& store, TPlotRequests& plot);
// Single-record view: show any record. False when it is outside the store or shown.
bool BrowseTo(TWaveStore& store, TPlotRequests& plot, int record);
} // namespace WaveActive
