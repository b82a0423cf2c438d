// The command table against the simulated board's own model of the protocol: every
// request, framed as the table says, is one the board acts on, and the board's answer
// is read whole by the reply rule of the mode the request selects.
#include "CommandTable.h"
#include "Frame.h"
#include "ReplyAssembly.h"

#include "Board.h"
#include "RequestParser.h"

#include <QTest>

#include <vector>

Q_DECLARE_METATYPE(TRequest)

class TstCommandTable : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void boardAnswersInTheModeTheRequestSelects_data();
    void boardAnswersInTheModeTheRequestSelects();
};

void TstCommandTable::boardAnswersInTheModeTheRequestSelects_data() {
    QTest::addColumn<TRequest>("request");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("replies"); // complete replies the mode's rule reads
    const QByteArray none;
    const QByteArray key("\x55", 1);
    for (const TRequest& r :
         {Request::Disable, Request::Version, Request::Reset, Request::Status, Request::DeviceId,
          Request::DipSwitch, Request::ReadFinish, Request::ReadStart, Request::Verify,
          Request::WriteFinish, Request::WriteStart, Request::SensorPoll})
        QTest::newRow(r.name) << r << none << 1;
    QTest::newRow("read parameters") << Request::ReadParameters << key << 1;
    QTest::newRow("store parameters") << Request::StoreParameters << key << 1;
    QTest::newRow("read memory line") << Request::ReadLine << QByteArray::fromHex("000040") << 1;
    QTest::newRow("write memory line")
        << Request::WriteLine << QByteArray::fromHex("0000") + QByteArray(64, '\x5A') << 1;
}

void TstCommandTable::boardAnswersInTheModeTheRequestSelects() {
    QFETCH(TRequest, request);
    QFETCH(QByteArray, payload);
    QFETCH(int, replies);
    TFrameBuffer buffer{};
    std::copy(payload.begin(), payload.end(), buffer.begin() + PayloadOffset);
    const int length =
        BuildFrame(buffer, static_cast<int>(payload.size()), request.code, request.withEnd);
    QVERIFY(length > 0);

    krv2sim::Board board(krv2sim::BoardConfig{});
    krv2sim::RequestParser parser;
    std::vector<krv2sim::Request> parsed;
    parser.feed(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(length)),
                krv2sim::Micros(0), parsed);
    QCOMPARE(parsed.size(), size_t{1});
    QVERIFY(board.handle(parsed.front(), krv2sim::Micros(0)));

    std::vector<uint8_t> answer;
    for (const auto& message : board.output())
        answer.insert(answer.end(), message.bytes.begin(), message.bytes.end());
    const auto rule = RuleForMode(request.mode);
    QVERIFY(rule);
    TReplyAssembly assembly;
    int read = 0;
    assembly.Feed(answer, *rule, [&](TReplyEnd end, std::span<const uint8_t>) {
        read += end == TReplyEnd::Complete;
        return TAfterReply::Continue;
    });
    QCOMPARE(read, replies);
    QCOMPARE(assembly.ReplyCount, 0); // nothing left half read
}

QTEST_GUILESS_MAIN(TstCommandTable)
#include "tst_command_table.moc"
