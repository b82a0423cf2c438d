// krv2tool --simulator starts the simulated board as its child; the board must not
// outlive the tool, however the tool ends.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace {

// Children of `parent`, read from /proc.
QList<qint64> ChildrenOf(qint64 parent) {
    QList<qint64> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks, so split after ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent && fields[0] != "Z")
            children.append(pid);
    }
    return children;
}

bool Alive(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

} // namespace

class TstSimulatorOption : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void boardEndsWithTheTool_data();
    void boardEndsWithTheTool();
};

void TstSimulatorOption::boardEndsWithTheTool_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("killed") << int(SIGKILL);
    QTest::newRow("terminated") << int(SIGTERM);
}

void TstSimulatorOption::boardEndsWithTheTool() {
    QFETCH(int, signal);
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(KRV2TOOL_PATH),
               {QStringLiteral("--simulator"), QStringLiteral("--sim-program"),
                QStringLiteral(KRV2SIM_PATH)});
    QVERIFY(tool.waitForStarted(5000));
    QList<qint64> board;
    QVERIFY(QTest::qWaitFor(
        [&] {
            board = ChildrenOf(tool.processId());
            return !board.isEmpty();
        },
        10000));
    ::kill(static_cast<pid_t>(tool.processId()), signal);
    QVERIFY(tool.waitForFinished(5000));
    QVERIFY(QTest::qWaitFor([&] { return !Alive(board.first()); }, 5000));
}

QTEST_GUILESS_MAIN(TstSimulatorOption)
#include "tst_simulator_option.moc"
