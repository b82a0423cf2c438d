#include "SimulatorLauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

QString DefaultSimulatorProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("krv2sim"));
}

TSimulator::~TSimulator() {
    Stop();
}

bool TSimulator::Start(const QString& program, const QStringList& arguments, QString& error) {
    if (!QFileInfo(program).isExecutable()) {
        error = QStringLiteral("the simulated board %1 is not there or cannot be run").arg(program);
        return false;
    }
    const pid_t parent = getpid();
    process.setChildProcessModifier([parent] {
        // The kernel ends the board when the tool dies, however it dies; the check
        // covers a tool that died before the request took effect.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
    });
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) {
        error = QStringLiteral("%1 did not start: %2").arg(program, process.errorString());
        return false;
    }
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(5000)) {
            error = QStringLiteral("%1 did not report its serial line").arg(program);
            Stop();
            return false;
        }
    }
    devicePath = QString::fromLocal8Bit(process.readLine()).trimmed();
    if (devicePath.isEmpty()) {
        error = QStringLiteral("%1 reported an empty serial line").arg(program);
        Stop();
        return false;
    }
    return true;
}

void TSimulator::Stop() {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}
