// The Get_Wave page against the simulated board over a pseudo-terminal, paced at
// 9600 baud: capture coins, save them, empty the store and load the file again.
#include "BinaryPage.h"
#include "Form1.h"
#include "Memo.h"
#include "Messages.h"
#include "Modes.h"
#include "PortNames.h"
#include "SimulatorLauncher.h"
#include "WavePage.h"

#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Everything the board sent, in order, from the one RX line per receive event.
QByteArray Received(const TMemo& memo) {
    QByteArray all;
    const QStringList lines = memo.Lines(); // newest on top
    for (auto line = lines.crbegin(); line != lines.crend(); ++line)
        all += QByteArray::fromHex(line->mid(4).remove(QLatin1Char(' ')).toLatin1());
    return all;
}

// The wave packets in the stream, found by their header alone: 308 bytes each.
QList<QByteArray> Packets(const QByteArray& stream) {
    QList<QByteArray> packets;
    const QByteArray header("\x55\xAA\x08", 3);
    for (qsizetype at = stream.indexOf(header); at >= 0 && at + 308 <= stream.size();
         at = stream.indexOf(header, at + 308))
        packets << stream.mid(at, 308);
    return packets;
}
} // namespace

class TstWaveBoard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void captureSaveNewLoad();
};

void TstWaveBoard::captureSaveNewLoad() {
    TSimulator simulator;
    QString error;
    QVERIFY2(simulator.Start(QStringLiteral(KRV2SIM_PATH),
                             {QStringLiteral("--seed"), QStringLiteral("11"),
                              QStringLiteral("--coin-interval"), QStringLiteral("100-200")},
                             error),
             qPrintable(error));
    PortNames::SetOverride(QStringLiteral("COM1"), simulator.DevicePath());
    QList<TMessage> shown;
    Messages::SetHandler([&](const TMessage& m) {
        shown.append(m);
        return QMessageBox::Ok;
    });
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    auto form = std::make_unique<TForm1>();
    form->show();
    form->Button2Click();
    QVERIFY(form->PortOpened);
    form->PageControl1->setCurrentIndex(3);
    QCOMPARE(form->OperationMode(), Mode::Wave);
    TWavePage* page = form->TabSheet4;
    const TWaveStore& store = *form->WaveStore;

    page->MethodItems[0]->click(); // "All"
    QVERIFY(QTest::qWaitFor([&] { return store.RecordCount >= 3; }, 30000));
    QCOMPARE(form->WaveCapture.DroppedPackets, 0);

    page->SaveD = [&](const QString&) { return dir.filePath(QStringLiteral("coins")); };
    page->BtnSaveClick();
    const int saved = store.RecordCount;
    page->btnNewClick();
    QCOMPARE(store.RecordCount, 0);
    page->OpenD = [&] { return dir.filePath(QStringLiteral("coins.bwv")); };
    page->BtnOpenClick();
    QCOMPARE(store.RecordCount, saved);
    QCOMPARE(page->Label2->text(), QString::number(saved));

    // Records are the board's packets six at a time, in the order they came.
    const QList<QByteArray> packets = Packets(Received(*form->TabSheet5->Memo7));
    QVERIFY(packets.size() >= 6 * saved);
    for (int r = 0; r < saved; ++r) {
        for (int p = 6 * r; p < 6 * r + 6; ++p) {
            const auto& packet = packets[p];
            const auto channel = static_cast<size_t>(static_cast<uint8_t>(packet[7]));
            QVERIFY(channel < 6);
            const auto& row = store.WaveSamples[channel][static_cast<size_t>(r)];
            for (int k = 0; k < 299; ++k)
                QCOMPARE(row[static_cast<size_t>(k)], static_cast<uint8_t>(packet[8 + k]));
        }
        const QByteArray& last = packets[6 * r + 5];
        QCOMPARE(store.RecordLength[static_cast<size_t>(r)],
                 static_cast<uint8_t>(last[5]) * 256 + static_cast<uint8_t>(last[6]));
    }
    // "Result" is channel 0's sample 255: a coin channel 1..8, or 88 hex for a reject.
    const int result = store.WaveSamples[0][0][255];
    QVERIFY2((result >= 1 && result <= 8) || result == 0x88, qPrintable(QString::number(result)));

    form.reset();
    simulator.Stop();
    Messages::SetHandler({});
    // Only the confirmations of New and of Load over the records captured meanwhile.
    for (const TMessage& m : shown)
        QVERIFY2(m.okCancel, qPrintable(m.text));
}

QTEST_MAIN(TstWaveBoard)
#include "tst_wave_board.moc"
