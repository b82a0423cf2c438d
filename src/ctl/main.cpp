// krv2ctl: the KRV2 board from a script, one command per job, for production lines
// and service benches.
#include "Commands.h"
#include "Console.h"
#include "Journal.h"
#include "PortNames.h"
#include "SimulatorLauncher.h"
#include "WaveCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {

const char* const Description = R"(Drives the KRV2 coin acceptor board (9600 8N1) from a script.

Commands:
  info                          firmware version, ID, DIP switch and status
  table read [-o FILE.json]     the nine channel rows (value, disable, sorter, dip)
  table write FILE.json         write the rows, store them, read back and compare;
                                the file is checked first: value 0..1000, disable
                                true/false, sorter A..D, dip 3..6 or null for none,
                                in every row, each key once and none unknown; row 9
                                (Value of Pulse) keeps raw bytes
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
                                (gives up after S seconds, 60 by default); past
                                200 coins FILE-001.bwv, FILE-002.bwv, ... of 200 each
  wave replay JOURNAL -o FILE.bwv [--coins N]
                                capture run over the bytes a --journal recorded:
                                FILE-001.bwv, ... as the recorded run saved them
  monitor [--seconds S]         enable the board, print each event, then the
                                PASS/NOPASS/PERCENT summary (until Ctrl-C without S)
  io [--seconds S]              sensor reports with their limit verdicts, one every
                                2 s for S seconds (one report without S)
  wave stats|export|label|teach|check|compare ...
                                offline, over .bwv files: statistics, CSV and
                                plot export, labels, acceptance windows and their
                                check, two files compared (see krv2ctl wave --help)

Every command but wave needs --port DEVICE (a path, or COMn as krv2tool
maps it) or --simulator; --journal FILE records every byte read and written.
Results go to standard output (one JSON object per result with --json), progress
and errors to standard error. Output files are written whole or not at all, and
nothing is sent before every input has been checked.

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

// What a command works with: the settings, the words and output file of its command
// line, and what its check prepared.
struct TJob {
    TJob(const TCtlSettings& s, TReporter& r, const QStringList& w, const QString& out, bool coins)
        : settings(s), reporter(r), words(w), outPath(out), coinsGiven(coins) {}

    TCtlSettings settings;
    TReporter& reporter;
    QStringList words; // the positional words, files included
    QString outPath;
    bool coinsGiven = false;
    TTableJob table;
    std::unique_ptr<TImageJob> image = std::make_unique<TImageJob>();
};

// One command of the table below. A command runs either with the board's port open
// (`run`) or without any port (`offline`); `check` runs first and checks everything
// that can be checked before a port is touched.
struct TCommand {
    const char* name;
    const char* sub; // empty for a one-word command
    qsizetype words; // positional words, files included
    int (*check)(TJob&);
    int (*run)(TLink&, TJob&);
    int (*offline)(TJob&);
};

// `usage` unless -o names the output file.
int NeedsOutput(TJob& j, const QString& usage) {
    return j.outPath.isEmpty() ? Usage(j.reporter, usage) : Exit::Ok;
}

const TCommand Commands[] = {
    {"info", "", 1, nullptr, [](TLink& l, TJob& j) { return RunInfo(l, j.settings, j.reporter); },
     nullptr},
    {"table", "read", 2, nullptr,
     [](TLink& l, TJob& j) { return RunTableRead(l, j.settings, j.reporter, j.outPath); }, nullptr},
    {"table", "write", 3, [](TJob& j) { return CheckTableFile(j.words[2], j.reporter, j.table); },
     [](TLink& l, TJob& j) { return RunTableWrite(l, j.settings, j.reporter, j.table); }, nullptr},
    {"image", "write", 3,
     [](TJob& j) { return PrepareImage(j.words[2], j.settings, j.reporter, *j.image); },
     [](TLink& l, TJob& j) { return RunImageWrite(l, j.settings, j.reporter, *j.image); }, nullptr},
    {"image", "verify", 3,
     [](TJob& j) { return PrepareImage(j.words[2], j.settings, j.reporter, *j.image); },
     [](TLink& l, TJob& j) { return RunImageVerify(l, j.settings, j.reporter, *j.image); },
     nullptr},
    {"image", "read", 2,
     [](TJob& j) {
         if (const int code = NeedsOutput(j, QStringLiteral("image read needs -o FILE.bin")))
             return code;
         return PrepareImageRead(j.settings, j.reporter, *j.image);
     },
     [](TLink& l, TJob& j) { return RunImageRead(l, j.settings, j.reporter, *j.image, j.outPath); },
     nullptr},
    {"capture", "", 1,
     [](TJob& j) {
         if (const int code = NeedsOutput(j, QStringLiteral("capture needs -o FILE.bwv")))
             return code;
         if (!j.coinsGiven)
             return Usage(j.reporter, QStringLiteral("capture needs --coins N"));
         return Exit::Ok;
     },
     [](TLink& l, TJob& j) { return RunCapture(l, j.settings, j.reporter, j.outPath); }, nullptr},
    {"wave", "replay", 3,
     [](TJob& j) { return NeedsOutput(j, QStringLiteral("wave replay needs -o FILE.bwv")); },
     nullptr,
     [](TJob& j) {
         return RunWaveReplay(j.words[2], j.settings, j.coinsGiven, j.reporter, j.outPath);
     }},
    {"monitor", "", 1, nullptr,
     [](TLink& l, TJob& j) { return RunMonitor(l, j.settings, j.reporter); }, nullptr},
    {"io", "", 1, nullptr, [](TLink& l, TJob& j) { return RunIo(l, j.settings, j.reporter); },
     nullptr},
};

const TCommand* FindCommand(const QStringList& words) {
    for (const TCommand& c : Commands)
        if (words.value(0) == QLatin1String(c.name) &&
            (!*c.sub || words.value(1) == QLatin1String(c.sub)))
            return &c;
    return nullptr;
}

// The second words of a command family such as "table", or none for another name.
QStringList FamilyWords(const QString& name) {
    QStringList subs;
    for (const TCommand& c : Commands)
        if (name == QLatin1String(c.name) && *c.sub)
            subs << QLatin1String(c.sub);
    return subs;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Drawing the plot needs fonts, so a GUI application, which never shows a window
    // here: offscreen whatever the desktop. Every other command needs the core only.
    const bool draws = WaveCommands::DrawsPlot(arguments);
    if (draws)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> application =
        draws ? std::make_unique<QGuiApplication>(argc, argv)
              : std::make_unique<QCoreApplication>(argc, argv);
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
    const QCommandLineOption journalFile(
        QStringLiteral("journal"),
        QStringLiteral("Record every byte read from and written to the port in FILE."),
        QStringLiteral("FILE"));
    p.addOptions({port, pin, simulator, simArg, simProgram, json, verbose, timeout, retries, output,
                  blocks, lines, length, method, coins, seconds, journalFile});
    p.addPositionalArgument(QStringLiteral("command"),
                            QStringLiteral("info, table, image, capture, monitor, io or wave."));

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
        !ParseNumber(p, coins, 1, 100000, s.coins, error) ||
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
    if (args.isEmpty())
        return Usage(r, QStringLiteral("no command given"));
    const TCommand* command = FindCommand(args);
    if (!command) {
        const QStringList subs = FamilyWords(args[0]);
        if (!subs.isEmpty())
            return Usage(
                r, QStringLiteral("'%1' takes one of %2, got: %3")
                       .arg(args[0], subs.join(QStringLiteral(", ")), args.join(QLatin1Char(' '))));
        return Usage(r, QStringLiteral("unknown command '%1'").arg(args.join(QLatin1Char(' '))));
    }
    if (args.size() != command->words)
        return Usage(r, QStringLiteral("'%1' takes %2 word(s), got: %3")
                            .arg(args[0])
                            .arg(command->words)
                            .arg(args.join(QLatin1Char(' '))));

    TJob job(s, r, args, p.value(output), p.isSet(coins));
    if (command->check)
        if (const int code = command->check(job))
            return code;
    if (command->offline) {
        if (p.isSet(journalFile))
            return Usage(r, QStringLiteral("--journal records the serial line; '%1' uses none")
                                .arg(args.join(QLatin1Char(' '))));
        return command->offline(job);
    }

    if (p.isSet(port) == p.isSet(simulator))
        return Usage(r, QStringLiteral("give either --port DEVICE or --simulator"));
    TJournalWriter journal;
    if (p.isSet(journalFile) &&
        !journal.Open(p.value(journalFile), Journal::WriterText(QCoreApplication::arguments()),
                      error))
        return r.Fail(Exit::BadFile, error);
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
    if (journal.IsOpen())
        link.SetJournal(&journal);
    if (!link.Open(device, error))
        return r.Fail(Exit::Port, error);
    const int code = command->run(link, job);
    link.Close();
    // The job is done, but the record asked for is not whole.
    if (journal.Failed() && code == Exit::Ok)
        return r.Fail(Exit::BadFile,
                      QStringLiteral("the journal stopped: %1").arg(journal.Error()));
    return code;
}
