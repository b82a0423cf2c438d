// Measures krv2sim from outside, as the tool sees it: the byte rate of paced output
// against the 960 bytes/s of 9600 baud 8N1, and the CPU it takes idle and streaming.
// Run by hand (not a test): ./bench_sim [idle seconds, default 10]
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// One krv2sim child with its serial end opened raw.
class Sim {
public:
    explicit Sim(std::vector<std::string> args) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), KRV2SIM_PATH);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid, KRV2SIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) {
            pid = -1;
            ::close(out[0]);
            return;
        }
        std::string path;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            path += c;
        ::close(out[0]);
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios tio{};
            ::tcgetattr(fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
    }
    ~Sim() {
        if (fd >= 0)
            ::close(fd);
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;

    bool ok() const { return fd >= 0; }
    pid_t id() const { return pid; }

    void send(const std::vector<uint8_t>& bytes) const {
        if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            std::perror("write");
    }

    // Reads `count` bytes (or until `limit`); notes the time of the first and last.
    size_t receive(size_t count, double limit, Clock::time_point& first, Clock::time_point& last,
                   size_t* reads = nullptr) const {
        size_t got = 0;
        const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(limit));
        std::array<uint8_t, 4096> buffer{};
        while (got < count && Clock::now() < end) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(fd, buffer.data(), std::min(buffer.size(), count - got));
            if (n <= 0)
                continue;
            if (got == 0)
                first = Clock::now();
            last = Clock::now();
            got += static_cast<size_t>(n);
            if (reads)
                ++*reads;
        }
        return got;
    }

private:
    pid_t pid = -1;
    int fd = -1;
};

// utime + stime of a process, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks.
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

const std::vector<uint8_t> readTable{0x90, 0x05, 0x80, 0x55, 0x6A};
constexpr double lineRate = 960.0; // 9600 baud, ten bits a byte

void pacedTables() {
    Sim sim({"--seed", "1"});
    if (!sim.ok())
        return;
    Clock::time_point first;
    Clock::time_point last;

    // Twenty requests at once: the replies leave back to back, so first to last
    // byte is pure line time.
    std::vector<uint8_t> burst;
    for (int i = 0; i < 20; ++i)
        burst.insert(burst.end(), readTable.begin(), readTable.end());
    sim.send(burst);
    const size_t got = sim.receive(20 * 73, 10, first, last);
    const double rate = static_cast<double>(got - 1) / seconds(last - first);
    std::printf("paced, 20 tables in one burst: %zu bytes, %.1f bytes/s (%.2f%% of %g)\n", got,
                rate, 100 * rate / lineRate, lineRate);

    // One request at a time, as the tool asks: includes the turnaround.
    double total = 0;
    size_t bytes = 0;
    size_t reads = 0;
    for (int i = 0; i < 20; ++i) {
        const auto asked = Clock::now();
        sim.send(readTable);
        bytes += sim.receive(73, 5, first, last, &reads);
        total += seconds(last - asked);
    }
    std::printf("paced, 20 tables one by one: %zu bytes, %.1f bytes/s request to last byte, "
                "%.1f reads per table, %.1f ms per table\n",
                bytes, static_cast<double>(bytes) / total, static_cast<double>(reads) / 20.0,
                1000 * total / 20);
}

void pacedWaves() {
    Sim sim({"--seed", "1", "--coin-interval", "1"});
    if (!sim.ok())
        return;
    const double cpuBefore = cpuSeconds(sim.id());
    sim.send({0x55, 0xA3});
    Clock::time_point first;
    Clock::time_point last;
    const size_t want = 3 * 6 * 308;
    const size_t got = sim.receive(want, 15, first, last);
    const double rate = static_cast<double>(got - 1) / seconds(last - first);
    const double cpu = cpuSeconds(sim.id()) - cpuBefore;
    std::printf("paced wave stream: %zu bytes in %.2f s, %.1f bytes/s (%.2f%% of %g), "
                "CPU %.2f%% while streaming\n",
                got, seconds(last - first), rate, 100 * rate / lineRate, lineRate,
                100 * cpu / seconds(last - first));
}

void idleCpu(double span) {
    Sim sim({"--seed", "1"});
    if (!sim.ok())
        return;
    // Answer one request first, so the sim has been through its loop once.
    Clock::time_point first;
    Clock::time_point last;
    sim.send(readTable);
    sim.receive(73, 5, first, last);
    const double before = cpuSeconds(sim.id());
    const auto start = Clock::now();
    ::usleep(static_cast<useconds_t>(span * 1e6));
    const double used = cpuSeconds(sim.id()) - before;
    const double elapsed = seconds(Clock::now() - start);
    std::printf("idle: %.3f s CPU in %.1f s (%.3f%%)\n", used, elapsed, 100 * used / elapsed);
}

} // namespace

int main(int argc, char** argv) {
    const double span = argc > 1 ? std::atof(argv[1]) : 10.0;
    pacedTables();
    pacedWaves();
    idleCpu(span > 0 ? span : 10.0);
    return 0;
}
