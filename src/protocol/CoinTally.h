// The counting test's tally of coin results: PASS, NOPASS and the pass percentage, as
// the Protocol Test page shows them and `krv2ctl monitor` prints them.
#pragma once

#include "MonitorReplies.h"

#include <QString>

#include <optional>

struct TCoinTally {
    int PassCount = 0;
    int NoPassCount = 0;

    // Counts the coin result of a decoded monitor reply; false when it carried none.
    bool Count(const TMonitorResult& result);
    void Clear();

    // Whole percent of the counted coins that passed, the remainder dropped; none
    // while nothing passed (the page's label then keeps its text).
    std::optional<int> Percent() const;
    // The percentage as the page shows it: "66 %".
    std::optional<QString> PercentText() const;
};

// The percentage of TCoinTally::Percent for any two counts, without overflow.
std::optional<int> PassPercent(int passCount, int noPassCount);
