// The Get_Wave page's "keep every coin": runs longer than the store's 200 records go
// on into numbered files instead of losing the coins past the 200th.
#include "WavePage.h"

#include "Messages.h"
#include "WaveFile.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>

void TWavePage::CreateKeepEveryCoin() {
    // Under the plot, right of the two counts.
    KeepEveryCoin = new QCheckBox(QStringLiteral("keep every coin"), this);
    KeepEveryCoin->setGeometry(380, 701, 120, 18);
    KeepEveryCoinFile = new QLabel(this);
    KeepEveryCoinFile->setGeometry(504, 703, 480, 14);
    ShowKeepEveryCoin();
    // Capture asks only when a coin finds the store full; unticked, it is refused and
    // the page behaves as it always did.
    capture.MakeRoom = [this](TWaveStore& full, TPlotRequests& requests) {
        return RollOver(full, requests);
    };
    connect(KeepEveryCoin, &QCheckBox::clicked, this, &TWavePage::KeepEveryCoinClick);
}

void TWavePage::KeepEveryCoinClick(bool checked) {
    rollover.reset();
    if (checked) {
        const QString chosen = SaveD(WaveFile::DefaultName(Clock()));
        // Numbered on from the files an earlier run left under the same name.
        if (!chosen.isEmpty()) {
            rollover =
                std::make_unique<TWaveRollover>(chosen, TWaveRollover::NextFreeNumber(chosen));
            rollover->Labels = &labels;
        }
    }
    ShowKeepEveryCoin();
}

void TWavePage::ShowKeepEveryCoin() {
    KeepEveryCoin->setChecked(rollover != nullptr);
    const QString next = rollover ? QDir::toNativeSeparators(rollover->NextPath()) : QString();
    KeepEveryCoinFile->setText(
        rollover ? QStringLiteral("a full store goes to %1").arg(QFileInfo(next).fileName())
                 : QString());
    KeepEveryCoinFile->setToolTip(next);
    KeepEveryCoin->setToolTip(
        QStringLiteral("When the store is full, save it to the next numbered file, empty it "
                       "and go on capturing"));
}

bool TWavePage::RollOver(TWaveStore& full, TPlotRequests& requests) {
    if (!rollover)
        return false;
    if (rollover->MakeRoom(full, requests, capture)) {
        Label2->setText(QStringLiteral("0"));
        ShowKeepEveryCoin();
        return true;
    }
    // The store stays full and as it was; the coins that come now are told lost, once.
    const QString error = rollover->Error();
    rollover.reset();
    ShowKeepEveryCoin();
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            Messages::Show(
                this,
                {QStringLiteral("The full store could not be saved: capture stopped."), QString(),
                 error + QStringLiteral("\nThe store keeps its records; coins that come now "
                                        "are not kept. Save the store, or tick \"keep every "
                                        "coin\" again to choose another folder."),
                 false});
        },
        Qt::QueuedConnection);
    return false;
}
