// Starts the simulated board (krv2sim) as a child process on a pseudo-terminal, so
// the tool can be tried without a board. The child never outlives the tool.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

class TSimulator {
public:
    TSimulator() = default;
    ~TSimulator();
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    // Starts `program` with `arguments` and waits for the path of its serial end.
    // Returns false and says why in `error`.
    bool Start(const QString& program, const QStringList& arguments, QString& error);
    QString DevicePath() const { return devicePath; }
    void Stop();

private:
    QProcess process;
    QString devicePath;
};

// Where krv2sim is: beside the tool's executable.
QString DefaultSimulatorProgram();
