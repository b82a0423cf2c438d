// Test stand-in for the main window: keeps the mode and reply assembly, and records
// every byte a page puts on the wire and every wait it makes.
#pragma once

#include "PageHost.h"

#include <QByteArray>
#include <QList>
#include <QString>

class TFakeHost : public TPageHost {
public:
    int OperationMode() const override { return mode; }
    void SetOperationMode(int m) override { mode = m; }
    TFrameBuffer& FrameBuffer() override { return buffer; }
    void SendFrameEtx(int n, uint8_t command, TLogTarget logTarget) override {
        Send(n, command, static_cast<int>(logTarget), true);
    }
    void SendFrameNoEtx(int n, uint8_t command, TLogTarget logTarget) override {
        Send(n, command, static_cast<int>(logTarget), false);
    }
    bool OutputChar(char c) override {
        if (takesBytes >= 0 && wire.size() >= takesBytes)
            return false; // a port that stopped taking data
        wire.append(c);
        modeAtWrite.append(mode);
        return true;
    }
    TReplyAssembly& ReplyAssembly() override { return reply; }
    void ShowFirmwareVersion(const QString& version) override { shownVersion = version; }
    void BlockingWait(int ms) override { waited += ms; }

    int mode = 0;
    TFrameBuffer buffer{};
    TReplyAssembly reply;
    QByteArray wire;
    QList<int> modeAtWrite; // the operation mode in force when each byte went out
    QList<int> logTargets;
    QString shownVersion;
    int waited = 0;
    qsizetype takesBytes = -1; // bytes the port takes before it stalls; -1: all

private:
    void Send(int n, uint8_t command, int logTarget, bool withEnd) {
        const int length = BuildFrame(buffer, n, command, withEnd);
        logTargets.append(logTarget);
        for (int i = 0; i < length; ++i)
            OutputChar(static_cast<char>(buffer[static_cast<size_t>(i)]));
    }
};
