// krv2sim: a simulated KRV2 board on a pseudo-terminal, for working on the tool
// without the hardware. Prints the serial end's path, then serves it until stopped.
#include "Journal.h"
#include "Options.h"
#include "PseudoTerminal.h"
#include "Replay.h"
#include "Simulator.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <random>
#include <unistd.h>

using namespace krv2sim;

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) {
    stopSignal = signal;
}

class MonotonicClock {
public:
    Micros now() const {
        return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - start);
    }

private:
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// Puts the due bytes into the pseudo-terminal. Its buffer (some 16 KiB) fills when
// the tool has the port closed. Paced, the bytes that do not fit are lost, as on a
// wire nobody listens to. Unpaced there is no line to lose them on: they wait
// (up to a limit) until the reader makes room, so a fast test misses nothing.
class LineWriter {
public:
    LineWriter(int masterFd, bool keepUnwritten, bool logging)
        : fd(masterFd), keep(keepUnwritten), verbose(logging) {}

    void write(const Bytes& bytes) {
        backlog.insert(backlog.end(), bytes.begin(), bytes.end());
        flush();
    }
    bool waiting() const { return !backlog.empty(); }

    void flush() {
        size_t done = 0;
        while (done < backlog.size()) {
            const ssize_t n = ::write(fd, backlog.data() + done, backlog.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                full = false;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (verbose && !keep && !full)
                    std::fprintf(stderr,
                                 "krv2sim: nobody reads the serial end (%s); output is lost\n",
                                 n < 0 ? std::strerror(errno) : "write returned 0");
                full = true;
                break;
            }
        }
        backlog.erase(backlog.begin(), backlog.begin() + static_cast<std::ptrdiff_t>(done));
        const size_t limit = keep ? backlogLimit : 0;
        if (backlog.size() > limit)
            backlog.erase(backlog.begin(),
                          backlog.begin() + static_cast<std::ptrdiff_t>(backlog.size() - limit));
    }

private:
    static constexpr size_t backlogLimit = 1 << 20;
    int fd;
    bool keep;
    bool verbose;
    bool full = false;
    Bytes backlog;
};

timespec toTimespec(Micros wait) {
    const auto us = std::max<int64_t>(0, wait.count());
    return timespec{static_cast<time_t>(us / 1'000'000), static_cast<long>(us % 1'000'000) * 1000};
}

// The journal to replay, read once through before the serial end is offered: a bad
// line is refused then, not halfway through a run. Says where a cut journal ends.
bool checkJournal(const std::string& path, std::string& error) {
    QFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    TJournalReader reader(file, QString::fromLocal8Bit(path.c_str()));
    QString why;
    if (!reader.ReadHeader(why)) {
        error = why.toStdString();
        return false;
    }
    TJournalEvent event;
    for (;;) {
        const TJournalReader::TStep step = reader.Next(event, why);
        if (step == TJournalReader::TStep::Bad) {
            error = why.toStdString();
            return false;
        }
        if (step == TJournalReader::TStep::End)
            break;
    }
    if (!reader.CutNote().isEmpty())
        std::fprintf(stderr, "krv2sim: %s\n", qPrintable(reader.CutNote()));
    return true;
}

// Plays the board's side of a checked journal until stopped; the tool's bytes only
// pace it. After the last event the line stays open and quiet.
int playJournal(const Options& options, int fd, const sigset_t& waitMask) {
    QFile file(QString::fromLocal8Bit(options.replay.c_str()));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "krv2sim: %s: %s\n", options.replay.c_str(),
                     qPrintable(file.errorString()));
        return 1;
    }
    TJournalReader reader(file, file.fileName());
    QString why;
    reader.ReadHeader(why);
    const auto source = [&reader](ReplayEvent& out) {
        TJournalEvent event;
        QString error;
        if (reader.Next(event, error) != TJournalReader::TStep::Event)
            return false;
        out.at = Micros(event.TimeUs);
        out.fromBoard = event.Direction == TJournalDirection::Rx;
        out.bytes = std::move(event.Bytes);
        return true;
    };
    MonotonicClock clock;
    Replayer replay(source, options.speed, clock.now());
    // Nothing of a recorded run may be lost while the tool has the port closed.
    LineWriter line(fd, true, options.verbose);
    std::array<uint8_t, 4096> buffer{};
    bool toldEnd = false;
    while (!stopSignal) {
        const Bytes due = replay.takeDue(clock.now());
        if (!due.empty() || line.waiting())
            line.write(due);
        if (replay.finished() && !toldEnd && options.verbose) {
            std::fprintf(stderr, "krv2sim: the journal has been played to its end\n");
            toldEnd = true;
        }
        timespec timeout{};
        const timespec* wait = nullptr;
        if (const auto wake = replay.nextWake()) {
            timeout = toTimespec(*wake - clock.now());
            wait = &timeout;
        }
        pollfd pfd{fd, static_cast<short>(POLLIN | (line.waiting() ? POLLOUT : 0)), 0};
        const int ready = ::ppoll(&pfd, 1, wait, &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "krv2sim: ppoll: %s\n", std::strerror(errno));
            return 1;
        }
        if (pfd.revents & POLLOUT)
            line.flush();
        if (pfd.revents & POLLIN) {
            for (;;) {
                const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n <= 0)
                    break;
                replay.received(static_cast<size_t>(n), clock.now());
            }
        } else if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            std::fprintf(stderr, "krv2sim: the pseudo-terminal hung up\n");
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    if (!parseOptions(args, options, error)) {
        std::fprintf(stderr, "krv2sim: %s\nTry 'krv2sim --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    if (!options.replay.empty() && !checkJournal(options.replay, error)) {
        std::fprintf(stderr, "krv2sim: %s\n", error.c_str());
        return 2;
    }
    if (!options.seedGiven) {
        std::random_device entropy;
        options.sim.board.seed = (uint64_t{entropy()} << 32) | entropy();
    }

    // The stop signals are only let in while waiting in ppoll, so one never falls
    // between checking the flag and going to sleep.
    sigset_t stopSet;
    sigset_t waitMask;
    sigemptyset(&stopSet);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSet, s);
    sigprocmask(SIG_BLOCK, &stopSet, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    PseudoTerminal pty;
    if (!pty.open(error)) {
        std::fprintf(stderr, "krv2sim: %s\n", error.c_str());
        return 1;
    }
    // The link first: once the path is printed, everything is ready to be used.
    LinkGuard link;
    if (!options.link.empty() && !link.make(options.link, pty.serialPath(), error)) {
        std::fprintf(stderr, "krv2sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", pty.serialPath().c_str());
    std::fflush(stdout);

    if (!options.replay.empty())
        return playJournal(options, pty.fd(), waitMask);

    const bool verbose = options.verbose;
    Simulator::LogSink log;
    if (verbose) {
        log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
        std::fprintf(stderr, "krv2sim: serial end %s, seed %llu, %s\n", pty.serialPath().c_str(),
                     static_cast<unsigned long long>(options.sim.board.seed),
                     options.sim.baud > 0 ? "paced at 9600 baud" : "unpaced");
    }
    Simulator sim(options.sim, log);
    MonotonicClock clock;
    LineWriter line(pty.fd(), options.sim.baud <= 0, verbose);
    std::array<uint8_t, 4096> buffer{};

    while (!stopSignal) {
        sim.advance(clock.now());
        const Bytes due = sim.takeDue(clock.now());
        if (!due.empty() || line.waiting())
            line.write(due);

        // Sleep until the next byte, coin or stalled-request deadline; with none of
        // them pending, until the tool sends something.
        timespec timeout{};
        const timespec* wait = nullptr;
        if (const auto wake = sim.nextWake()) {
            timeout = toTimespec(*wake - clock.now());
            wait = &timeout;
        }
        pollfd pfd{pty.fd(), static_cast<short>(POLLIN | (line.waiting() ? POLLOUT : 0)), 0};
        const int ready = ::ppoll(&pfd, 1, wait, &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "krv2sim: ppoll: %s\n", std::strerror(errno));
            return 1;
        }
        if (pfd.revents & POLLOUT)
            line.flush();
        if (pfd.revents & POLLIN) {
            for (;;) {
                const ssize_t n = ::read(pty.fd(), buffer.data(), buffer.size());
                if (n <= 0)
                    break;
                sim.receive(std::span(buffer.data(), static_cast<size_t>(n)), clock.now());
            }
        } else if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Cannot happen while we hold the serial end; do not spin if it does.
            std::fprintf(stderr, "krv2sim: the pseudo-terminal hung up\n");
            return 1;
        }
    }
    if (verbose)
        std::fprintf(stderr, "krv2sim: stopping on signal %d\n", static_cast<int>(stopSignal));
    return 0;
}
