// The line journal: what the writer puts in the file, line for line, and what the
// reader takes back, refuses, or replays up to a cut.
#include "Journal.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct TRead {
    QList<TJournalEvent> events;
    QString writer;
    QString note;
    QString error; // empty when the whole journal was read
};

TRead ReadAll(QByteArray text) {
    QBuffer in(&text);
    in.open(QIODevice::ReadOnly);
    TJournalReader reader(in, QStringLiteral("j.txt"));
    TRead r;
    if (!reader.ReadHeader(r.error))
        return r;
    r.writer = reader.Writer();
    TJournalEvent event;
    for (;;) {
        const auto step = reader.Next(event, r.error);
        if (step != TJournalReader::TStep::Event)
            break;
        r.events.append(event);
    }
    r.note = reader.CutNote();
    return r;
}

QByteArray Hex(const TJournalEvent& e) {
    return QByteArray(reinterpret_cast<const char*>(e.Bytes.data()),
                      static_cast<qsizetype>(e.Bytes.size()))
        .toHex(' ')
        .toUpper();
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray Header = "krv2-journal 1 krv2ctl capture --coins 3\n";
} // namespace

class TstJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writtenLineForLine();
    void readBack_data();
    void readBack();
    void longestEvent_data();
    void longestEvent();
    void writerStopsAtAFullDisk();

private:
    QTemporaryDir dir;
};

void TstJournal::writtenLineForLine() {
    TJournalWriter w;
    QString error;
    const QString path = dir.filePath("j.txt");
    QVERIFY2(w.Open(path, QStringLiteral("krv2tool --journal j.txt\nx"), error), qPrintable(error));
    const uint8_t frame[] = {0x90, 0x05, 0x01, 0x03, 0x99};
    const uint8_t wave[] = {0x55, 0xAA, 0x08};
    const uint8_t ack[] = {0x50};
    QVERIFY(w.Write(TJournalDirection::Tx, frame, 1234));
    QVERIFY(w.Write(TJournalDirection::Rx, wave, 1234567));
    QVERIFY(w.Write(TJournalDirection::Rx, {}, 1234568)); // nothing to record
    // A stamp from before the last one is written at the last one's time.
    QVERIFY(w.Write(TJournalDirection::Rx, ack, 1000));
    QVERIFY(w.Write(TJournalDirection::Rx, ack, 4'000'000'000));
    // Each line is in the file before Write returns: nothing waits in a buffer.
    QCOMPARE(ReadFile(path), QByteArray("krv2-journal 1 krv2tool --journal j.txt?x\n"
                                        "000001234 TX 90 05 01 03 99\n"
                                        "001234567 RX 55 AA 08\n"
                                        "001234567 RX 50\n"
                                        "4000000000 RX 50\n"));
}

void TstJournal::readBack_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("events");
    QTest::addColumn<QByteArray>("lastBytes");
    QTest::addColumn<QString>("note");  // the cut note, empty for none
    QTest::addColumn<QString>("error"); // part of the refusal, empty for none

    const QByteArray two = Header + "000000010 TX 90 05 01 03 99\n000000020 RX 90 05 50 03 E8\n";
    QTest::newRow("whole") << two << 2 << QByteArray("90 05 50 03 E8") << ""
                           << "";
    QTest::newRow("lines ended CR LF")
        << QByteArray(two).replace("\n", "\r\n") << 2 << QByteArray("90 05 50 03 E8") << ""
        << "";

    // Cut: what the cut line holds of whole bytes is replayed, with one note.
    const QString cut = "j.txt line 4 is cut short";
    QTest::newRow("cut after a byte")
        << two + "000000030 RX 55 AA" << 3 << QByteArray("55 AA") << cut << "";
    QTest::newRow("cut inside a byte")
        << two + "000000030 RX 55 A" << 3 << QByteArray("55") << cut << "";
    QTest::newRow("cut after the direction")
        << two + "000000030 RX" << 2 << QByteArray("90 05 50 03 E8") << cut << "";
    QTest::newRow("cut inside the time")
        << two + "0000" << 2 << QByteArray("90 05 50 03 E8") << cut << "";
    QTest::newRow("last line whole but unended")
        << two + "000000030 RX 55 AA 08" << 3 << QByteArray("55 AA 08") << cut << "";
    QTest::newRow("header cut") << QByteArray("krv2-journal 1 krv2ctl cap") << 0 << QByteArray()
                                << "j.txt line 1 is cut short"
                                << "";

    // Refused, naming the line.
    QTest::newRow("empty file") << QByteArray() << 0 << QByteArray() << ""
                                << "not a line journal";
    QTest::newRow("newer version")
        << QByteArray("krv2-journal 2 krv2tool\n") << 0 << QByteArray() << ""
        << "version \"2\"";
    QTest::newRow("time goes back") << two + "000000019 RX 01\n"
                                    << 2 << QByteArray() << ""
                                    << "line 4: the time goes back";
    QTest::newRow("time of 8 digits") << Header + "00000010 RX 01\n"
                                      << 0 << QByteArray() << ""
                                      << "line 2: the time must be";
    QTest::newRow("direction lowercase") << Header + "000000010 rx 01\n"
                                         << 0 << QByteArray() << ""
                                         << "expected RX or TX";
    QTest::newRow("no bytes") << Header + "000000010 RX\n"
                              << 0 << QByteArray() << ""
                              << "an event with no bytes";
    QTest::newRow("byte not hex") << Header + "000000010 RX 01 G2\n"
                                  << 0 << QByteArray() << ""
                                  << "byte 2 is not";
    QTest::newRow("three digits") << Header + "000000010 RX 012\n"
                                  << 0 << QByteArray() << ""
                                  << "byte 2 is not";
    QTest::newRow("empty line amid events") << Header + "000000010 RX 01\n\n000000020 RX 02\n"
                                            << 1 << QByteArray() << ""
                                            << "line 3: an empty line";
    // A bad line stops the reading even when good lines follow and the file is cut.
    QTest::newRow("cut line whose time goes back")
        << two + "000000019 RX 55 A" << 2 << QByteArray() << ""
        << "line 4: the time goes back";
    QTest::newRow("bad line before a cut")
        << two + "x\n000000030 RX 55 A" << 2 << QByteArray() << ""
        << "line 4";
}

void TstJournal::readBack() {
    QFETCH(QByteArray, text);
    QFETCH(int, events);
    QFETCH(QByteArray, lastBytes);
    QFETCH(QString, note);
    QFETCH(QString, error);
    const TRead r = ReadAll(text);
    QCOMPARE(r.events.size(), events);
    if (error.isEmpty()) {
        QCOMPARE(r.error, QString());
        if (events > 0)
            QCOMPARE(Hex(r.events.last()), lastBytes);
        QVERIFY2(note.isEmpty() ? r.note.isEmpty() : r.note.startsWith(note), qPrintable(r.note));
    } else {
        QVERIFY2(r.error.contains(error), qPrintable(r.error));
        QVERIFY2(r.error.startsWith("j.txt"), qPrintable(r.error));
        QCOMPARE(r.note, QString()); // refused, not replayed up to a cut
    }
}

void TstJournal::longestEvent_data() {
    QTest::addColumn<int>("bytes");
    QTest::addColumn<bool>("read");
    QTest::newRow("65536 bytes") << 65536 << true;
    QTest::newRow("65537 bytes") << 65537 << false;
}

void TstJournal::longestEvent() {
    QFETCH(int, bytes);
    QFETCH(bool, read);
    QByteArray line = "000000010 RX";
    for (int i = 0; i < bytes; ++i)
        line += " 5A";
    const TRead r = ReadAll(Header + line + "\n");
    QCOMPARE(r.error.isEmpty(), read);
    QCOMPARE(r.events.size(), read ? 1 : 0);
    if (!read)
        QVERIFY2(r.error.contains("longer than any event"), qPrintable(r.error));

    // The writer never writes what the reader would refuse: it splits instead.
    TJournalWriter w;
    QString error;
    const QString path = dir.filePath("long.txt");
    QVERIFY(w.Open(path, QStringLiteral("test"), error));
    const std::vector<uint8_t> delivery(static_cast<size_t>(bytes), 0x5A);
    QVERIFY(w.Write(TJournalDirection::Rx, delivery, 10));
    w.Close();
    const TRead back = ReadAll(ReadFile(path));
    QCOMPARE(back.error, QString());
    QCOMPARE(back.events.size(), read ? 1 : 2);
    size_t total = 0;
    for (const TJournalEvent& e : back.events)
        total += e.Bytes.size();
    QCOMPARE(total, delivery.size());
}

void TstJournal::writerStopsAtAFullDisk() {
    TJournalWriter w;
    QString error;
    QVERIFY(!w.Open(dir.filePath("no-such-folder/j.txt"), QStringLiteral("test"), error));
    QVERIFY2(error.contains("no-such-folder"), qPrintable(error));
    // The header does not fit: nothing is kept open to write into.
    QVERIFY(!w.Open(QStringLiteral("/dev/full"), QStringLiteral("test"), error));
    QVERIFY2(error.contains("/dev/full"), qPrintable(error));
    QVERIFY(!w.IsOpen());
}

QTEST_GUILESS_MAIN(TstJournal)
#include "tst_journal.moc"
