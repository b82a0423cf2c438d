#include "Memo.h"

#include <QTest>

class TstMemo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newestLineOnTop();
    void appendedLinesIncludingEmptyOnes();
    void limitDropsTheOldestLines();
};

void TstMemo::newestLineOnTop() {
    TMemo memo;
    QVERIFY(memo.Lines().isEmpty());
    memo.InsertFirstLine(QStringLiteral("TX: 1 "));
    memo.InsertFirstLine(QStringLiteral("TX: 2 "));
    QCOMPARE(memo.Lines(), (QStringList{QStringLiteral("TX: 2 "), QStringLiteral("TX: 1 ")}));
    memo.Clear();
    QVERIFY(memo.Lines().isEmpty());
}

void TstMemo::appendedLinesIncludingEmptyOnes() {
    TMemo memo;
    memo.AppendLine(QString());
    memo.AppendLine(QStringLiteral("RX: 90 "));
    memo.AppendLine(QString());
    memo.InsertFirstLine(QStringLiteral("TX: 90 05 80 55 6A "));
    QCOMPARE(memo.Lines(), (QStringList{QStringLiteral("TX: 90 05 80 55 6A "), QString(),
                                        QStringLiteral("RX: 90 "), QString()}));
}

void TstMemo::limitDropsTheOldestLines() {
    TMemo top;
    top.SetLineLimit(3);
    for (int i = 0; i < 5; ++i)
        top.InsertFirstLine(QString::number(i));
    QCOMPARE(top.Lines(), (QStringList{"4", "3", "2"}));
    TMemo bottom;
    bottom.SetLineLimit(3);
    for (int i = 0; i < 5; ++i)
        bottom.AppendLine(QString::number(i));
    QCOMPARE(bottom.Lines(), (QStringList{"2", "3", "4"}));
}

QTEST_MAIN(TstMemo)
#include "tst_memo.moc"
