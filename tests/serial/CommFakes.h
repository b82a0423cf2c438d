// Stand-ins for what TComm talks to: a recording OS backend whose "device" the
// test plays through a shared TFakePort, and a window that only notes open failures.
#pragma once

#include "Comm.h"
#include "CommBackend.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <memory>

struct TFakePort {
    // What TComm asked for, one entry per call: "escape 5", "read 3", ...
    QStringList calls;
    QList<TLineSettings> applied;
    QByteArray written;

    bool openFails = false;
    std::string openError = "cannot open: refused";
    bool writeFails = false;
    bool writeStalls = false; // the port takes no data: every write times out
    int32_t refusedRate = 0;  // a bit rate the driver will not take
    bool modemFails = false;
    TLineSettings driver; // what the driver reports before any change
    QByteArray incoming;  // bytes waiting in the receive queue
    uint32_t errors = 0;  // reported by the next status query, then cleared
    uint32_t lines = 0;   // modem lines as GetCommModemStatus reports them
    bool hungUp = false;  // the device is gone; what waits can still be read
    bool open = false;
};

class TFakeBackend final : public TCommBackend {
public:
    explicit TFakeBackend(std::shared_ptr<TFakePort> port) : p(std::move(port)) {}

    bool open(const std::string& device, std::string& error) override {
        p->calls << QStringLiteral("open %1").arg(QString::fromStdString(device));
        if (p->openFails) {
            error = p->openError;
            return false;
        }
        p->open = true;
        return true;
    }
    bool isOpen() const override { return p->open; }
    void close() override {
        p->calls << QStringLiteral("close");
        p->open = false;
    }
    bool setupQueues(uint32_t inSize, uint32_t outSize) override {
        p->calls << QStringLiteral("setupQueues %1 %2").arg(inSize).arg(outSize);
        return true;
    }
    bool purge(uint32_t flags) override {
        p->calls << QStringLiteral("purge %1").arg(flags);
        if (flags & (purgeRxClear | purgeRxAbort))
            p->incoming.clear();
        return true;
    }
    bool getState(TLineSettings& settings) override {
        p->calls << QStringLiteral("getState");
        settings = p->driver;
        return true;
    }
    bool setState(const TLineSettings& settings) override {
        p->calls << QStringLiteral("setState");
        if (settings.baudRate == p->refusedRate)
            return false;
        p->applied << settings;
        p->driver = settings;
        return true;
    }
    bool escape(int code) override {
        p->calls << QStringLiteral("escape %1").arg(code);
        return true;
    }
    TIoResult clearError(uint32_t& errors, uint32_t& waiting) override {
        errors = std::exchange(p->errors, 0);
        waiting = static_cast<uint32_t>(p->incoming.size());
        return p->hungUp ? TIoResult::gone : TIoResult::ok;
    }
    bool modemStatus(uint32_t& lines) override {
        if (p->modemFails)
            return false;
        lines = p->lines;
        return true;
    }
    TIoResult read(uint8_t* buffer, uint32_t count, uint32_t& got) override {
        p->calls << QStringLiteral("read %1").arg(count);
        got = std::min<uint32_t>(count, static_cast<uint32_t>(p->incoming.size()));
        if (got == 0)
            return p->hungUp ? TIoResult::gone : TIoResult::ok;
        std::copy_n(p->incoming.constData(), got, reinterpret_cast<char*>(buffer));
        p->incoming.remove(0, got);
        return TIoResult::ok;
    }
    TIoResult write(const uint8_t* data, uint32_t count) override {
        p->calls << QStringLiteral("write %1").arg(count);
        if (p->hungUp)
            return TIoResult::gone;
        if (p->writeFails)
            return TIoResult::failed;
        if (p->writeStalls)
            return TIoResult::stalled;
        p->written.append(reinterpret_cast<const char*>(data), count);
        return TIoResult::ok;
    }
    std::string lastError() const override {
        if (p->hungUp)
            return "the device was disconnected";
        if (p->writeStalls)
            return "the port took no data";
        return "refused";
    }

private:
    std::shared_ptr<TFakePort> p;
};

class TFakeOwner final : public TCommOwner {
public:
    int selected = -1;
    QList<std::pair<QString, QString>> failures; // port, reason

    int SelectedPortIndex() const override { return selected; }
    void CommOpenFailed(const QString& port, const QString& reason) override {
        failures.append({port, reason});
    }
};
