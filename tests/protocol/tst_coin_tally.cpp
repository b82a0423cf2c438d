// The counting test's tally over the monitor replies of a run: which replies count,
// and the percentage the page shows, remainder dropped, kept while nothing passed.
#include "ByteLiterals.h"
#include "CoinTally.h"

#include <QTest>

#include <climits>

class TstCoinTally : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replies_data();
    void replies();
    void largeCounts();
};

void TstCoinTally::replies_data() {
    QTest::addColumn<QList<QByteArray>>("run");
    QTest::addColumn<bool>("counting");
    QTest::addColumn<int>("pass");
    QTest::addColumn<int>("noPass");
    QTest::addColumn<QString>("percent"); // empty: none, the label keeps its text

    const QByteArray coin3 = Raw("90 06 12 03 03 AE");
    const QByteArray coin1 = Raw("90 06 12 01 03 AC");
    const QByteArray rejected = Raw("90 06 12 88 03 33");
    QTest::newRow("one coin") << QList{coin3} << true << 1 << 0 << "100 %";
    QTest::newRow("then a rejected one") << QList{coin3, rejected} << true << 1 << 1 << "50 %";
    QTest::newRow("remainder dropped") << QList{coin3, rejected, coin1} << true << 2 << 1 << "66 %";
    QTest::newRow("only rejected") << QList{rejected, rejected} << true << 0 << 2 << QString();
    QTest::newRow("coin code outside 1 to 8 passes")
        << QList{Raw("90 06 12 09 03 B4")} << true << 1 << 0 << "100 %";
    QTest::newRow("not counting") << QList{coin3, rejected} << false << 0 << 0 << QString();
    QTest::newRow("status and sensor replies")
        << QList{Raw("90 05 11 03 A9"), Raw("90 06 16 07 03 B6")} << true << 0 << 0 << QString();
    QTest::newRow("wrong sum") << QList{Raw("90 06 12 03 03 AF")} << true << 0 << 0 << QString();
}

void TstCoinTally::replies() {
    QFETCH(QList<QByteArray>, run);
    QFETCH(bool, counting);
    QFETCH(int, pass);
    QFETCH(int, noPass);
    QFETCH(QString, percent);
    TCoinTally tally;
    int counted = 0;
    for (const QByteArray& reply : run)
        counted += tally.Count(DecodeMonitorReply(AsSpan(reply), counting)) ? 1 : 0;
    QCOMPARE(tally.PassCount, pass);
    QCOMPARE(tally.NoPassCount, noPass);
    QCOMPARE(counted, pass + noPass);
    QCOMPARE(tally.PercentText().value_or(QString()), percent);
    tally.Clear();
    QCOMPARE(tally.PassCount + tally.NoPassCount, 0);
    QVERIFY(!tally.Percent());
}

void TstCoinTally::largeCounts() {
    // Neither the sum of the counts nor the product by 100 may overflow.
    TCoinTally tally{INT_MAX, INT_MAX};
    QCOMPARE(tally.Percent(), std::optional<int>(50));
    tally = {INT_MAX, 0};
    QCOMPARE(tally.PercentText(), std::optional<QString>(QStringLiteral("100 %")));
    tally = {1, INT_MAX};
    QCOMPARE(tally.Percent(), std::optional<int>(0));
}

QTEST_APPLESS_MAIN(TstCoinTally)
#include "tst_coin_tally.moc"
