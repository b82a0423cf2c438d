// The tool's own serial component against krv2sim: the parameter table read as the
// Parameter Setting page does it, through TComm's 10 ms poll.
#include "Comm.h"
#include "PortNames.h"
#include "SimProcess.h"

#include <QTest>

namespace {

class FakeWindow : public TCommOwner {
public:
    int SelectedPortIndex() const override { return 0; }
    void CommOpenFailed(const QString& port, const QString& reason) override {
        failure = port + ": " + reason;
    }
    QString failure;
};

} // namespace

class TestSimComm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parameterTableThroughTComm();
};

void TestSimComm::parameterTableThroughTComm() {
    SimProcess sim({"--seed", "1"}); // paced like the board
    QVERIFY(!sim.serialPath().isEmpty());
    PortNames::SetOverride("COM1", sim.serialPath());
    FakeWindow window;

    // Twice, with a new component each time, as every page change does.
    for (int visit = 0; visit < 2; ++visit) {
        TComm comm(&window);
        comm.SetCommPort(pnCOM1);
        comm.SetRThreshold(1);
        QByteArray received;
        int deliveries = 0;
        comm.OnReceiveData = [&](QObject*) {
            received += comm.Input();
            ++deliveries;
        };
        comm.SetPortOpen(true);
        QVERIFY2(comm.PortOpen(), qPrintable(window.failure));

        for (char c : hexBytes("90 05 80 55 6A"))
            QVERIFY(comm.OutputChar(c));
        QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 73, 5000);
        QCOMPARE(received.toHex(' '), hexBytes(defaultTableHex).toHex(' '));
        // At 9600 baud the 73 bytes take about 76 ms: several polls' worth.
        QVERIFY(deliveries > 1);
        comm.SetPortOpen(false);
    }
    PortNames::ClearOverrides();
    QVERIFY(sim.running());
}

QTEST_GUILESS_MAIN(TestSimComm)
#include "tst_sim_comm.moc"
