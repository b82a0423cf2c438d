// krv2tool: service and test tool for the KRV2 coin acceptor board.
#include "Form1.h"
#include "Messages.h"
#include "PortNames.h"
#include "SimulatorLauncher.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("krv2tool"));
    // The desktop entry's name lets Wayland shells match the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.krv2tool.krv2tool"));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/krv2tool-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Service and test tool for the KRV2 coin acceptor board (9600 8N1)."));
    parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Pin a port list entry to a device, e.g. COM1=/dev/ttyUSB0. Repeatable. "
                       "Without it COMn is the n-th serial port of this machine."),
        QStringLiteral("COMn=DEVICE"));
    const QCommandLineOption simulatorOption(
        QStringLiteral("simulator"),
        QStringLiteral("Start the simulated board (krv2sim) and put it on COM1, unless "
                       "--port names COM1."));
    const QCommandLineOption simArgOption(
        QStringLiteral("sim-arg"),
        QStringLiteral("Pass an option to the simulated board, e.g. --sim-arg=--fast. "
                       "Repeatable."),
        QStringLiteral("OPTION"));
    const QCommandLineOption simProgramOption(QStringLiteral("sim-program"),
                                              QStringLiteral("The simulated board's executable."),
                                              QStringLiteral("PATH"));
    const QCommandLineOption journalOption(
        QStringLiteral("journal"),
        QStringLiteral("Record every byte read from and written to the port in FILE (the "
                       "line journal; the check box in the top row does the same)."),
        QStringLiteral("FILE"));
    parser.addOptions({portOption, simulatorOption, simArgOption, simProgramOption, journalOption});
    parser.process(app);

    bool com1Pinned = false;
    for (const QString& pin : parser.values(portOption)) {
        QString error;
        if (!PortNames::ParseOverride(pin, error)) {
            std::fprintf(stderr, "krv2tool: --port %s: %s\n", qPrintable(pin), qPrintable(error));
            return 2;
        }
        com1Pinned =
            com1Pinned || pin.section(QLatin1Char('='), 0, 0)
                                  .compare(QStringLiteral("COM1"), Qt::CaseInsensitive) == 0;
    }

    TSimulator simulator;
    if (parser.isSet(simulatorOption)) {
        const QString program = parser.isSet(simProgramOption) ? parser.value(simProgramOption)
                                                               : DefaultSimulatorProgram();
        QString error;
        if (!simulator.Start(program, parser.values(simArgOption), error)) {
            std::fprintf(stderr, "krv2tool: %s\n", qPrintable(error));
            Messages::Show(nullptr, {QStringLiteral("The simulated board could not be started."),
                                     QString(), error, false});
        } else if (!com1Pinned) {
            PortNames::SetOverride(QStringLiteral("COM1"), simulator.DevicePath());
        }
    }

    TForm1 form;
    if (parser.isSet(journalOption)) {
        QString error;
        if (!form.StartJournal(parser.value(journalOption), error)) {
            std::fprintf(stderr, "krv2tool: --journal: %s\n", qPrintable(error));
            simulator.Stop();
            return 2;
        }
    }
    form.show();
    const int result = QApplication::exec();
    simulator.Stop();
    return result;
}
