#include "WaveLiveCheck.h"

void TLiveCheck::UseWindows(TWindowsSet windows, const QString& from) {
    source = QStringLiteral("%1: %2 kind(s)").arg(from).arg(windows.size());
    test = std::move(windows);
    Reset();
}

void TLiveCheck::UseMask(TMask mask, const QString& from) {
    source = QStringLiteral("mask %1 \u00B1%2/\u00B1%3 %4")
                 .arg(mask.Group)
                 .arg(mask.DeltaY)
                 .arg(mask.DeltaX)
                 .arg(from);
    test = std::move(mask);
    Reset();
}

void TLiveCheck::Off() {
    test = std::monostate{};
    source.clear();
    Reset();
}

std::optional<TLiveOutcome> TLiveCheck::RecordClosed(const TWaveStore& store, int record) {
    if (!Active())
        return std::nullopt;
    TLiveOutcome out;
    if (const auto* windows = std::get_if<TWindowsSet>(&test)) {
        const TWindowVerdict v = WaveTeach::Check(*windows, WaveTeach::ValuesOf(store, record));
        out.Pass = v.Pass;
        out.Text = WaveTeach::Describe(v, *windows);
    } else {
        const TMask& mask = std::get<TMask>(test);
        const TMaskVerdict v = WaveTeach::Check(mask, store, record);
        out.Pass = v.Pass;
        out.Text = WaveTeach::Describe(v, mask);
    }
    ++tested;
    if (!out.Pass) {
        ++failed;
        // The coins already on their way close after the stop was sent; one stop is
        // enough for all of them.
        out.Stop = stopOnFail && !stopped;
        stopped = stopped || out.Stop;
    }
    return out;
}

void TLiveCheck::Reset() {
    tested = 0;
    failed = 0;
    stopped = false;
}

void TLiveCheck::SetStopOnFail(bool on) {
    stopOnFail = on;
    stopped = false;
}

QString TLiveCheck::Counts() const {
    return QStringLiteral("%1 tested, %2 failed (%3 %)")
        .arg(tested)
        .arg(failed)
        .arg(tested > 0 ? 100.0 * failed / tested : 0.0, 0, 'f', 1);
}
