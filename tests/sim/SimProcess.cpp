#include "SimProcess.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

SimProcess::SimProcess(const QStringList& args) {
    process.start(QStringLiteral(KRV2SIM_PATH), args);
    // The first line of its output is the serial end, printed once it is usable.
    while (process.waitForStarted(5000) && !process.canReadLine() &&
           process.waitForReadyRead(5000)) {
    }
    path = QString::fromLocal8Bit(process.readLine()).trimmed();
}

SimProcess::~SimProcess() {
    if (running() && stop() < 0)
        process.kill();
    process.waitForFinished(3000);
}

int SimProcess::stop(int signal) {
    ::kill(static_cast<pid_t>(process.processId()), signal);
    if (!process.waitForFinished(5000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

SerialEnd::SerialEnd(const QString& path, bool makeRaw) {
    fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (fd >= 0 && makeRaw && ::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

SerialEnd::~SerialEnd() {
    if (fd >= 0)
        ::close(fd);
}

bool SerialEnd::send(const QByteArray& bytes) {
    return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

QByteArray SerialEnd::read(int count, int waitMs, int firstMs) {
    QByteArray got;
    reads = 0;
    const QDeadlineTimer limit(20000);
    while ((count < 0 || got.size() < count) && !limit.hasExpired()) {
        pollfd pfd{fd, POLLIN, 0};
        const int wait = got.isEmpty() && firstMs >= 0 ? firstMs : waitMs;
        const int ready = ::poll(&pfd, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[4096];
        const qsizetype want = count < 0 ? qsizetype(sizeof buffer) : count - got.size();
        const ssize_t n = ::read(fd, buffer, size_t(std::min(want, qsizetype(sizeof buffer))));
        if (n <= 0)
            break;
        got.append(buffer, n);
        ++reads;
    }
    return got;
}

quint16 referenceCrc(const QByteArray& bytes, quint16 crc) {
    for (char c : bytes)
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = ((quint8(c) >> bit) & 1) != (crc >> 15);
            crc = quint16(crc << 1) ^ (feedback ? 0x1021 : 0);
        }
    return crc;
}

QByteArray withSum(QByteArray frame) {
    quint8 sum = 0;
    for (char c : frame)
        sum = quint8(sum + quint8(c));
    return frame.append(char(sum));
}
