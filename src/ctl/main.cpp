// krv2ctl: the KRV2 board from a script, one command per job, for production lines
// and service benches.
#include "Commands.h"
#include "Console.h"
#include "PortNames.h"
#include "Simulator.h"
#include "WaveCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

const char* const Description = R"(Drives the KRV2 coin acceptor board (9600 8N1) from a script.

Commands:
  info                          firmware version, ID, DIP switch and status
  table read [-o FILE.json]     the nine channel rows (value, disable, sorter, dip)
  table write FILE.json         write the rows, store them, read back and compare;
                                values are checked first: value 0..1000, sorter A..D,
                                dip 3..6 or null; row 9 (Value of Pulse) keeps raw bytes
  image write FILE.bin [--blocks A-B] [--lines C-D] [--length L] [--retries N]
                                Write Start, every line (each sent again after
                                --timeout without answer, at most N more times),
                                Write Finish, then Verify against the file's CRC
  image verify FILE.bin [--blocks A-B] [--lines C-D] [--length L]
  image read -o FILE.bin [--blocks A-B] [--lines C-D] [--length L]
                                (without a range: write and verify use addresses
                                0..n-1 for the file's n lines; read uses block 0,
                                lines 0-3; L is 64 by default)
  capture --coins N -o FILE.bwv [--method all|add|reject] [--seconds S]
                                the wave records of N coins, saved as .bwv
                                (gives up after S seconds, 60 by default)
  monitor [--seconds S]         enable the board, print each event, then the
                                PASS/NOPASS/PERCENT summary (until Ctrl-C without S)
  io [--seconds S]              sensor reports with their limit verdicts, one every
                                2 s for S seconds (one report without S)

Every command needs --port DEVICE (a path, or COMn as krv2tool maps it) or
--simulator. Results go to standard output (one JSON object per result with
--json), progress and errors to standard error. Output files are written whole or
not at all, and nothing is sent before every input has been checked.

Exit codes:
  0  success
  1  usage error
  2  the port could not be opened or was lost
  3  no answer within the time-out
  4  the board refused (NAK)
  5  verification failed (table read back, or CRC)
  6  a bad input file (or an output file that cannot be written)
  130  interrupted by Ctrl-C (the port is closed cleanly))";

int Usage(TReporter& r, const QString& message) {
    return r.Fail(Exit::Usage, message + QStringLiteral(" (see krv2ctl --help)"));
}

bool ParseNumber(const QCommandLineParser& p, const QCommandLineOption& o, int low, int high,
                 int& value, QString& error) {
    if (!p.isSet(o))
        return true;
    bool ok = false;
    value = p.value(o).toInt(&ok);
    if (ok && value >= low && value <= high)
        return true;
    error = QStringLiteral("--%1 must be a whole number from %2 to %3")
                .arg(o.names().constLast())
                .arg(low)
                .arg(high);
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("krv2ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KRV2_VERSION));
    // Offline commands over .bwv files: their own options, and no port.
    if (WaveCommands::Wanted(QCoreApplication::arguments()))
        return WaveCommands::Run(QCoreApplication::arguments());
    Console::InstallInterruptHandlers();

    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version = p.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The board's serial port."),
                                  QStringLiteral("DEVICE"));
    const QCommandLineOption pin(
        QStringLiteral("pin"),
        QStringLiteral("Map a COM name to a device, e.g. COM1=/dev/ttyUSB0."),
        QStringLiteral("COMn=DEVICE"));
    const QCommandLineOption simulator(
        QStringLiteral("simulator"),
        QStringLiteral("Start the simulated board krv2sim and use it."));
    const QCommandLineOption simArg(
        QStringLiteral("sim-arg"),
        QStringLiteral("Pass an option to krv2sim, e.g. --sim-arg=--nak."),
        QStringLiteral("OPTION"));
    const QCommandLineOption simProgram(QStringLiteral("sim-program"),
                                        QStringLiteral("The simulated board's executable."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Results as JSON."));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"), QStringLiteral("Say more on standard error (retries, rates)."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Milliseconds to wait for an answer (2000)."),
                                     QStringLiteral("MS"));
    const QCommandLineOption retries(QStringLiteral("retries"),
                                     QStringLiteral("Times a request is sent again (5)."),
                                     QStringLiteral("N"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Output file."), QStringLiteral("FILE"));
    const QCommandLineOption blocks(QStringLiteral("blocks"),
                                    QStringLiteral("Block range, 0..255."), QStringLiteral("A-B"));
    const QCommandLineOption lines(QStringLiteral("lines"),
                                   QStringLiteral("Line range within each block, 0..255."),
                                   QStringLiteral("C-D"));
    const QCommandLineOption length(QStringLiteral("length"),
                                    QStringLiteral("Bytes per memory line (64)."),
                                    QStringLiteral("L"));
    const QCommandLineOption method(QStringLiteral("method"),
                                    QStringLiteral("Which coins send waves: all, add or reject."),
                                    QStringLiteral("METHOD"));
    const QCommandLineOption coins(QStringLiteral("coins"), QStringLiteral("Coins to capture."),
                                   QStringLiteral("N"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("How long monitor, io or capture run."),
                                     QStringLiteral("S"));
    p.addOptions({port, pin, simulator, simArg, simProgram, json, verbose, timeout, retries, output,
                  blocks, lines, length, method, coins, seconds});
    p.addPositionalArgument(QStringLiteral("command"),
                            QStringLiteral("info, table, image, capture, monitor or io."));

    const bool parsed = p.parse(QCoreApplication::arguments());
    TReporter r(p.isSet(json), p.isSet(verbose));
    if (!parsed)
        return Usage(r, p.errorText());
    if (p.isSet(help)) {
        std::fputs(qPrintable(p.helpText()), stdout);
        return Exit::Ok;
    }
    if (p.isSet(version)) {
        std::printf("krv2ctl %s\n", KRV2_VERSION);
        return Exit::Ok;
    }

    TCtlSettings s;
    QString error;
    if (!ParseNumber(p, timeout, 1, 600000, s.timeoutMs, error) ||
        !ParseNumber(p, retries, 0, 1000, s.retries, error) ||
        !ParseNumber(p, length, 1, TMemoryImage::ImageLineBytes, s.lineLength, error) ||
        !ParseNumber(p, coins, 1, 1000, s.coins, error) ||
        !ParseNumber(p, seconds, 0, 86400 * 365, s.seconds, error))
        return Usage(r, error);
    for (const auto& [option, range] :
         {std::pair{&blocks, &s.blocks}, std::pair{&lines, &s.lines}}) {
        if (!p.isSet(*option))
            continue;
        *range = ParseRange(p.value(*option));
        if (!*range)
            return Usage(r, QStringLiteral("--%1 must be A-B (or A) with 0 <= A <= B <= 255")
                                .arg(option->names().constFirst()));
    }
    if (p.isSet(method))
        s.method = p.value(method).toLower();
    for (const QString& entry : p.values(pin))
        if (!PortNames::ParseOverride(entry, error))
            return Usage(r, QStringLiteral("--pin %1: %2").arg(entry, error));

    const QStringList args = p.positionalArguments();
    const QString command = args.value(0);
    const QString sub = args.value(1);
    const QString outPath = p.value(output);
    const int wantArgs =
        command == QLatin1String("table") || command == QLatin1String("image")
            ? (sub == QLatin1String("write") || sub == QLatin1String("verify") ? 3 : 2)
            : 1;
    if (command.isEmpty())
        return Usage(r, QStringLiteral("no command given"));
    if (args.size() != wantArgs)
        return Usage(r, QStringLiteral("'%1' takes %2 word(s), got: %3")
                            .arg(command)
                            .arg(wantArgs)
                            .arg(args.join(QLatin1Char(' '))));

    // Everything that can be checked is checked before the port is touched.
    TTableJob tableJob;
    auto imageJob = std::make_unique<TImageJob>();
    std::function<int(TLink&)> run;
    if (command == QLatin1String("info")) {
        run = [&](TLink& l) { return RunInfo(l, s, r); };
    } else if (command == QLatin1String("table") && sub == QLatin1String("read")) {
        run = [&](TLink& l) { return RunTableRead(l, s, r, outPath); };
    } else if (command == QLatin1String("table") && sub == QLatin1String("write")) {
        if (const int code = CheckTableFile(args[2], r, tableJob))
            return code;
        run = [&](TLink& l) { return RunTableWrite(l, s, r, tableJob); };
    } else if (command == QLatin1String("image") && sub == QLatin1String("write")) {
        if (const int code = PrepareImage(args[2], s, r, *imageJob))
            return code;
        run = [&](TLink& l) { return RunImageWrite(l, s, r, *imageJob); };
    } else if (command == QLatin1String("image") && sub == QLatin1String("verify")) {
        if (const int code = PrepareImage(args[2], s, r, *imageJob))
            return code;
        run = [&](TLink& l) { return RunImageVerify(l, s, r, *imageJob); };
    } else if (command == QLatin1String("image") && sub == QLatin1String("read")) {
        if (outPath.isEmpty())
            return Usage(r, QStringLiteral("image read needs -o FILE.bin"));
        if (const int code = PrepareImageRead(s, r, *imageJob))
            return code;
        run = [&](TLink& l) { return RunImageRead(l, s, r, *imageJob, outPath); };
    } else if (command == QLatin1String("capture")) {
        if (outPath.isEmpty())
            return Usage(r, QStringLiteral("capture needs -o FILE.bwv"));
        if (!p.isSet(coins))
            return Usage(r, QStringLiteral("capture needs --coins N"));
        run = [&](TLink& l) { return RunCapture(l, s, r, outPath); };
    } else if (command == QLatin1String("monitor")) {
        run = [&](TLink& l) { return RunMonitor(l, s, r); };
    } else if (command == QLatin1String("io")) {
        run = [&](TLink& l) { return RunIo(l, s, r); };
    } else {
        return Usage(r, QStringLiteral("unknown command '%1'").arg(args.join(QLatin1Char(' '))));
    }

    if (p.isSet(port) == p.isSet(simulator))
        return Usage(r, QStringLiteral("give either --port DEVICE or --simulator"));
    TSimulator board;
    QString device = p.value(port);
    if (p.isSet(simulator)) {
        const QString program =
            p.isSet(simProgram) ? p.value(simProgram) : DefaultSimulatorProgram();
        if (!board.Start(program, p.values(simArg), error))
            return r.Fail(Exit::Port, error);
        device = board.DevicePath();
    }
    TLink link;
    if (!link.Open(device, error))
        return r.Fail(Exit::Port, error);
    const int code = run(link);
    link.Close();
    return code;
}
