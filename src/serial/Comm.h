// TComm: owns one serial port, configures it, writes bytes synchronously and polls
// it every 10 ms while bytes flow, raising OnReceiveData when enough received bytes
// wait; a quiet port is left to wake it. It does no framing: it hands over whatever
// bytes are waiting.
#pragma once

#include "CommBackend.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

enum TComPortNumber : uint8_t {
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4,
    pnCOM5,
    pnCOM6,
    pnCOM7,
    pnCOM8,
    pnCOM9,
    pnCOM10,
    pnCOM11,
    pnCOM12,
    pnCOM13,
    pnCOM14,
    pnCOM15,
    pnCOM16
};
enum THwHandShaking : uint8_t { hhNone, hhNoneRTSON, hhRTSCTS };
enum TSwHandShaking : uint8_t { shNone, shXonXoff };
enum TDataBits : uint8_t { DB5, DB6, DB7, DB8 };
enum TParity : uint8_t { None, Odd, Even, Mark, Space };
enum TStopBits : uint8_t { SB1, SB1_5, SB2 };
using TBaudRate = int32_t;

// Modem-line mask bits of CommEvent.
constexpr uint32_t evCTS = 0x0008;
constexpr uint32_t evDSR = 0x0010;
constexpr uint32_t evRLSD = 0x0020;
constexpr uint32_t evRING = 0x0100;

// What the component needs from the window that owns it.
class TCommOwner {
public:
    virtual ~TCommOwner() = default;
    // Index of the selected entry of the port list, -1 when none is selected.
    virtual int SelectedPortIndex() const = 0;
    // The port could not be opened: `port` is its COM name, `reason` the system's words.
    virtual void CommOpenFailed(const QString& port, const QString& reason) = 0;
};

class TComm : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TMaskEvent = std::function<void(QObject* Sender, uint32_t EventMask)>;
    using TLostEvent = std::function<void(QObject* Sender, const QString& Reason)>;

    // `backend` defaults to the system's; tests pass a recording one.
    explicit TComm(TCommOwner* owner, QObject* parent = nullptr,
                   std::unique_ptr<TCommBackend> backend = {});
    ~TComm() override;

    void SetPortOpen(bool open);
    bool PortOpen() const { return opened; }

    TComPortNumber CommPort() const { return commPort; }
    void SetCommPort(TComPortNumber port);
    TBaudRate BaudRate() const { return baudRate; }
    void SetBaudRate(TBaudRate rate);
    THwHandShaking GetHwHandShaking() const { return hwHandShaking; }
    void SetHwHandShaking(THwHandShaking value);
    TSwHandShaking GetSwHandShaking() const { return swHandShaking; }
    void SetSwHandShaking(TSwHandShaking value);
    TDataBits DataBits() const { return dataBits; }
    void SetDataBits(TDataBits value);
    TParity Parity() const { return parity; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return stopBits; }
    void SetStopBits(TStopBits value);

    uint32_t ReadCommEvent() const { return modemMask; }
    uint32_t ReadCommError() const { return commError; }
    int32_t InputLen() const { return inputLen; }
    void SetInputLen(int32_t len) { inputLen = len; }
    int32_t RThreshold() const { return rThreshold; }
    void SetRThreshold(int32_t threshold);

    bool ReadCDHolding() const { return cdHolding; }
    bool ReadDSRHolding() const { return dsrHolding; }
    bool ReadRIHolding() const { return riHolding; }
    bool ReadCTSHolding() const { return ctsHolding; }

    void SetDTRStatus(bool on);
    bool GetDTRStatus() const { return dtrState; }
    void SetRTSStatus(bool on);
    bool GetRTSStatus() const { return rtsState; }

    // 0 discards the receive queue; any other value does nothing.
    void SetInDataCount(uint32_t count);
    uint32_t ReadInDataCount();

    // Input: reads what waits, then returns the data of the last successful read
    // (the previous data again when nothing new waited). Zero bytes are kept.
    QByteArray Input() { return ReadInputData(); }
    QByteArray ReadInputData();
    const std::vector<uint8_t>& ReadInputByte();

    // Writes are synchronous. Once a write finds the port taking no data within its
    // time-out, every later write fails at once without writing, until the next tick
    // closes the port and raises OnWriteStalled.
    bool OutputChar(char c);
    bool OutputString(const QByteArray& s);
    bool OutputStringchar(const char* s);
    // One byte per write; stops at the first byte that fails.
    bool OutputByte(const std::vector<uint8_t>& bytes);
    bool WriteStalled() const { return stallPending; }

    // After quietTicksBeforeWait empty ticks since the last byte or write, the poll stops
    // and the component sleeps until the port turns readable or hangs up; the first such
    // event reads at once and polls again, as does any write (a reply is due, or a fault
    // for the next tick to report). Only where the system offers a descriptor to watch,
    // and never while OnModemStateChange is assigned: modem lines wake nobody. The line
    // flags (ReadCTSHolding...) are not refreshed while it sleeps.
    static constexpr int quietTicksBeforeWait = 10;
    bool IsWaitingForData() const { return !timer.isActive() && readyNotifier.isEnabled(); }

    // The COM name of CommPort ("COM1" for pnCOM1) and the device it maps to now.
    QString PortName() const;
    QString DeviceName() const { return deviceName; }
    // Counts successful reads, so a reader can tell new data from the previous data
    // that Input returns again when a read brought nothing (queue purged, read failed).
    uint64_t ReadCount() const { return readCount; }

    TNotifyEvent OnReceiveData;
    TMaskEvent OnReceiveError;
    // Keeps the 10 ms poll running; assigned while the port sleeps, it takes effect at
    // the next wake (bytes, a write or SetPortOpen(true)).
    TMaskEvent OnModemStateChange;
    // The device vanished while open; the component has already closed itself.
    // Raised once per loss.
    TLostEvent OnPortLost;
    // The port took no data within the write time-out; the component has already
    // closed itself and dropped what the driver still held. Raised once.
    TLostEvent OnWriteStalled;

    void ProcTimer();
    void ReceiveData();
    void ReceiveError(uint32_t mask);
    void ModemStateChange(uint32_t mask);
    void EventProcess() {}

private:
    bool OpenComm();
    void CloseComm();
    bool _SetCommState();
    void GetModemState();
    void ReadProcess();
    void PortLost(const QString& reason);
    void PortStalled();
    void NoteLost();
    bool WriteResult(TIoResult result);
    void PortReady();
    void ResumePolling();
    void WaitWhenQuiet();
    bool HasHandle() const { return port && port->isOpen(); }
    template <typename T> void ChangeSetting(T& field, T value);

    QTimer timer;
    std::array<uint8_t, 8192> readBuffer{};
    std::unique_ptr<TCommBackend> port;
    // Watches the port's descriptor while the poll sleeps. Declared after the port so
    // that it goes first: it must never watch a closed descriptor.
    QSocketNotifier readyNotifier{QSocketNotifier::Read};
    int quietTicks = 0; // ticks in a row that found nothing waiting
    TCommOwner* owner = nullptr;
    TComPortNumber commPort = pnCOM1;
    bool opened = false;
    TBaudRate baudRate = 9600;
    bool parityInUse = false;
    THwHandShaking hwHandShaking = hhNone;
    TSwHandShaking swHandShaking = shNone;
    TDataBits dataBits = DB8;
    TParity parity = None;
    TStopBits stopBits = SB1;
    int32_t inputLen = 0;
    int32_t rThreshold = 0;
    bool dtrState = false;
    bool rtsState = false;
    QByteArray inputText;
    std::vector<uint8_t> inputBytes;
    uint32_t modemMask = 0;
    uint32_t commError = 0;
    bool cdHolding = false;
    bool ctsHolding = false;
    bool dsrHolding = false;
    bool riHolding = false;
    QString deviceName;
    // A call found the device gone; the next tick closes the port and reports it.
    bool lostPending = false;
    QString lostReason;
    // A write timed out; later writes are refused until the next tick reports it.
    bool stallPending = false;
    QString stallReason;
    uint64_t readCount = 0;
};
