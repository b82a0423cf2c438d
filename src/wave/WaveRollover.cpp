#include "WaveRollover.h"

#include "WaveActive.h"
#include "WaveFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {
const QString Extension = QStringLiteral(".bwv");

// NAME.bwv and NAME both name the run NAME.
QString Stem(const QString& base) {
    return base.endsWith(Extension, Qt::CaseInsensitive) ? base.chopped(Extension.size()) : base;
}
} // namespace

TWaveRollover::TWaveRollover(QString basePath, int first)
    : base(std::move(basePath)), next(std::max(1, first)) {}

QString TWaveRollover::NumberedPath(const QString& base, int number) {
    return QStringLiteral("%1-%2%3")
        .arg(Stem(base))
        .arg(number, 3, 10, QLatin1Char('0'))
        .arg(Extension);
}

int TWaveRollover::NextFreeNumber(const QString& base) {
    const QFileInfo stem(Stem(base));
    const QRegularExpression numbered(
        QStringLiteral("^%1-([0-9]{3,9})\\.bwv$").arg(QRegularExpression::escape(stem.fileName())),
        QRegularExpression::CaseInsensitiveOption);
    int highest = 0;
    const QStringList names = stem.dir().entryList(QDir::Files);
    for (const QString& name : names)
        if (const auto m = numbered.match(name); m.hasMatch())
            highest = std::max(highest, m.captured(1).toInt());
    return highest + 1;
}

void TWaveRollover::Attach(TWaveCapture& capture) {
    capture.MakeRoom = [this, &capture](TWaveStore& store, TPlotRequests& plot) {
        return MakeRoom(store, plot, capture);
    };
}

bool TWaveRollover::Save(const TWaveStore& store, const TWaveCapture& capture) {
    if (failed)
        return false;
    const QString path = NextPath();
    const bool saved =
        Labels ? WaveFile::Save(path, store, *Labels, error) : WaveFile::Save(path, store, error);
    if (!saved) {
        failed = true;
        return false;
    }
    files.push_back({path, store.RecordCount, capture.DroppedPackets, capture.AbandonedRecords});
    recordsSaved += store.RecordCount;
    ++next;
    return true;
}

bool TWaveRollover::MakeRoom(TWaveStore& store, TPlotRequests& plot, const TWaveCapture& capture) {
    if (!Save(store, capture))
        return false;
    WaveActive::New(store, plot);
    if (Labels)
        Labels->Clear();
    return true;
}

bool TWaveRollover::SaveLast(TWaveStore& store, int records, const TWaveCapture& capture) {
    if (records <= 0)
        return !failed;
    store.RecordCount = std::min(records, store.RecordCount);
    return Save(store, capture);
}
