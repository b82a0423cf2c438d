#include "SimulatorLauncher.h"

#include <QCoreApplication>
#include <QDir>

QString DefaultSimulatorProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("krv2sim.exe"));
}

TSimulator::~TSimulator() {
    Stop();
}

bool TSimulator::Start(const QString&, const QStringList&, QString& error) {
    error = QStringLiteral("the simulated board needs a POSIX pseudo-terminal; connect a real "
                           "board or use a virtual COM port pair");
    return false;
}

void TSimulator::Stop() {}
