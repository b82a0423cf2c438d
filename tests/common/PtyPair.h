// Test helper: a pseudo-terminal pair standing in for the serial cable. The test holds
// the master end and plays the board; the tool opens the slave path as its port.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

class TPtyPair {
public:
    TPtyPair() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slavePath = QString::fromLocal8Bit(ptsname(master));
        // The slave keeps the kernel's default (cooked) settings: opening the port
        // must make it raw itself.
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~TPtyPair() { CloseMaster(); }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    bool Ok() const { return master >= 0 && !slavePath.isEmpty(); }
    int Master() const { return master; }
    QString SlavePath() const { return slavePath; }

    bool Write(const QByteArray& bytes) {
        return ::write(master, bytes.constData(), static_cast<size_t>(bytes.size())) ==
               bytes.size();
    }

    // Reads what arrives within `ms` milliseconds, stopping early at `want` bytes.
    QByteArray Read(int ms, qsizetype want = -1) {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && (want < 0 || got.size() < want)) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
                continue;
            char buffer[512];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
        }
        return got;
    }

    // What waits at the master now, without waiting.
    QByteArray Take() {
        char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }

    void CloseMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

private:
    int master = -1;
    QString slavePath;
};
