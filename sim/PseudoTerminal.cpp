#include "PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace krv2sim {

namespace {
std::string systemError(const char* call) {
    return std::string(call) + ": " + std::strerror(errno);
}
} // namespace

PseudoTerminal::~PseudoTerminal() {
    if (serialHold >= 0)
        ::close(serialHold);
    if (master >= 0)
        ::close(master);
}

bool PseudoTerminal::open(std::string& error) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = systemError("posix_openpt");
        return false;
    }
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        error = systemError("grantpt/unlockpt");
        return false;
    }
    const char* name = ::ptsname(master);
    if (!name) {
        error = systemError("ptsname");
        return false;
    }
    path = name;
    // While any handle on the serial end is open the master never sees a hang-up,
    // so the tool may close and reopen the port as often as it likes.
    serialHold = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (serialHold < 0) {
        error = systemError("open serial end");
        return false;
    }
    // Raw: no echo of the tool's requests, no line editing, no CR/LF mangling.
    termios tio{};
    if (::tcgetattr(serialHold, &tio) != 0) {
        error = systemError("tcgetattr");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(serialHold, TCSANOW, &tio) != 0) {
        error = systemError("tcsetattr");
        return false;
    }
    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = systemError("fcntl O_NONBLOCK");
        return false;
    }
    return true;
}

LinkGuard::~LinkGuard() {
    if (link.empty())
        return;
    char buffer[4096];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n >= 0 && std::string(buffer, static_cast<size_t>(n)) == target)
        ::unlink(link.c_str());
}

bool LinkGuard::make(const std::string& at, const std::string& to, std::string& error) {
    struct stat st {};
    // Replace a stale link from an earlier run, never a real file.
    if (::lstat(at.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = at + " exists and is not a symlink";
            return false;
        }
        ::unlink(at.c_str());
    }
    if (::symlink(to.c_str(), at.c_str()) != 0) {
        error = systemError(("symlink " + at).c_str());
        return false;
    }
    link = at;
    target = to;
    return true;
}

} // namespace krv2sim
