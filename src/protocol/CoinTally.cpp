#include "CoinTally.h"

bool TCoinTally::Count(const TMonitorResult& result) {
    if (result.passed)
        ++PassCount;
    else if (result.notPassed)
        ++NoPassCount;
    return result.passed || result.notPassed;
}

void TCoinTally::Clear() {
    PassCount = 0;
    NoPassCount = 0;
}

std::optional<int> TCoinTally::Percent() const {
    return PassPercent(PassCount, NoPassCount);
}

std::optional<QString> TCoinTally::PercentText() const {
    return ::PercentText(PassCount, NoPassCount);
}

std::optional<int> PassPercent(int passCount, int noPassCount) {
    // Counts near the int limit must not overflow in the sum or the product.
    const long long total = static_cast<long long>(passCount) + noPassCount;
    if (passCount <= 0 || total <= 0)
        return std::nullopt;
    return static_cast<int>(static_cast<long long>(passCount) * 100 / total);
}
