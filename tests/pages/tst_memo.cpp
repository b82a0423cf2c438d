#include "Memo.h"

#include <QTest>

class TstMemo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newestLineOnTop();
    void appendedLinesIncludingEmptyOnes();
    void limitDropsTheOldestLines_data();
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

// Steps: "T:text" inserts on top, "B:text" appends at the bottom ("B:" an empty line).
void TstMemo::limitDropsTheOldestLines_data() {
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("top only") << 3 << QStringList{"T:0", "T:1", "T:2", "T:3", "T:4"}
                              << QStringList{"4", "3", "2"};
    QTest::newRow("bottom only") << 3 << QStringList{"B:0", "B:1", "B:2", "B:3", "B:4"}
                                 << QStringList{"2", "3", "4"};
    // A send logs on top, its answer below and an empty line after it, as the
    // parameter log does: the memo is at its cap and ends in an empty line.
    QTest::newRow("both ends, empty last line")
        << 4 << QStringList{"T:a", "B:b", "B:", "T:c", "B:d", "B:"}
        << QStringList{"c", "", "d", ""};
    QTest::newRow("a new top line drops the oldest bottom line, not the newest")
        << 3 << QStringList{"B:x", "B:y", "T:t1", "T:t2"} << QStringList{"t2", "t1", "y"};
    QTest::newRow("the oldest is the top run's last line")
        << 3 << QStringList{"T:a", "B:b", "T:c", "T:d"} << QStringList{"d", "c", "b"};
    QTest::newRow("one line, empty ones around it")
        << 1 << QStringList{"B:", "B:", "T:x"} << QStringList{"x"};
    QTest::newRow("the last line dropped is empty")
        << 2 << QStringList{"T:a", "B:", "T:b", "T:c"} << QStringList{"c", "b"};
}

void TstMemo::limitDropsTheOldestLines() {
    QFETCH(int, limit);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, lines);
    TMemo memo;
    memo.SetLineLimit(limit);
    for (const QString& step : steps) {
        const QString text = step.mid(2);
        if (step.startsWith(QLatin1Char('T')))
            memo.InsertFirstLine(text);
        else
            memo.AppendLine(text);
        QVERIFY(memo.document()->blockCount() <= limit);
    }
    QCOMPARE(memo.Lines(), lines);
    QCOMPARE(memo.document()->blockCount(), lines.size());
}

QTEST_MAIN(TstMemo)
#include "tst_memo.moc"
