// krv2ctl's wave replay: capture run again over what a line journal recorded, each
// delivery as it was read and at the time it was read, so a run that went wrong can be
// looked at again without the board. No port is opened.
#include "Commands.h"
#include "Journal.h"
#include "WaveCapture.h"
#include "WaveRollover.h"
#include "WaveStore.h"

#include <QDir>
#include <QFile>

#include <memory>

namespace {

// The coins a journal's `krv2ctl capture --coins N` asked for, 0 for another writer.
// Its capture stopped with the delivery that brought the Nth coin, and kept N of them.
int RecordedCoins(const QString& writer) {
    const QStringList words = writer.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.value(0) != QLatin1String("krv2ctl") || !words.contains(QLatin1String("capture")))
        return 0;
    for (qsizetype i = 0; i < words.size(); ++i) {
        QString value;
        if (words[i] == QLatin1String("--coins"))
            value = words.value(i + 1);
        else if (words[i].startsWith(QLatin1String("--coins=")))
            value = words[i].mid(8);
        else
            continue;
        bool ok = false;
        const int coins = value.toInt(&ok);
        return ok && coins > 0 ? coins : 0;
    }
    return 0;
}

// Reads the whole journal once, so a bad line is refused before any file is written.
bool CheckJournal(QFile& file, const QString& name, QString& writer, QString& error) {
    TJournalReader reader(file, name);
    if (!reader.ReadHeader(error))
        return false;
    writer = reader.Writer();
    TJournalEvent event;
    for (;;) {
        switch (reader.Next(event, error)) {
        case TJournalReader::TStep::Event:
            continue;
        case TJournalReader::TStep::End:
            return true;
        case TJournalReader::TStep::Bad:
            return false;
        }
    }
}

} // namespace

int RunWaveReplay(const QString& journalPath, const TCtlSettings& s, bool coinsGiven, TReporter& r,
                  const QString& outPath) {
    if (const int code = CheckOutputPath(outPath, r))
        return code;
    const QString name = QDir::toNativeSeparators(journalPath);
    QFile file(journalPath);
    if (!file.open(QIODevice::ReadOnly))
        return r.Fail(Exit::BadFile, QStringLiteral("%1: %2").arg(name, file.errorString()));
    QString writer;
    QString error;
    if (!CheckJournal(file, name, writer, error))
        return r.Fail(Exit::BadFile, error);
    const int coins = coinsGiven ? s.coins : RecordedCoins(writer);

    file.seek(0);
    TJournalReader reader(file, name);
    reader.ReadHeader(error);
    auto store = std::make_unique<TWaveStore>();
    TWaveCapture capture;
    TNoPlot plot;
    TWaveRollover rollover(outPath);
    rollover.Attach(capture);
    const auto captured = [&] { return rollover.RecordsSaved() + store->RecordCount; };
    TJournalEvent event;
    while (reader.Next(event, error) == TJournalReader::TStep::Event) {
        if (event.Direction != TJournalDirection::Rx)
            continue;
        capture.ReadWavePackets(event.Bytes, *store, plot, event.TimeUs / 1000);
        if (rollover.Failed())
            return r.Fail(Exit::BadFile, QStringLiteral("%1; replay stopped after %2 coins%3")
                                             .arg(rollover.Error())
                                             .arg(captured())
                                             .arg(SavedSoFar(rollover)));
        if (coins > 0 && captured() >= coins)
            break;
    }
    // A cut journal ends short of the coins asked for: the cut says why, once.
    if (!reader.CutNote().isEmpty())
        r.Warn(reader.CutNote());
    else if (coins > 0 && captured() < coins)
        r.Warn(QStringLiteral("the journal holds %1 of the %2 coins").arg(captured()).arg(coins));
    const int last =
        (coins > 0 ? std::min(coins, captured()) : captured()) - rollover.RecordsSaved();
    if (!rollover.SaveLast(*store, last, capture))
        return r.Fail(Exit::BadFile, rollover.Error() + SavedSoFar(rollover));
    ReportCapture(r, rollover.Files(), capture, QJsonObject{{QStringLiteral("journal"), name}});
    return Exit::Ok;
}
