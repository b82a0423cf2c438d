#include "Comm.h"

#include "PortNames.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr uint32_t driverQueueSize = 8192;
constexpr int pollIntervalMs = 10;
constexpr int listedPorts = 8; // the window's port list holds COM1..COM8

QString FromSystem(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TComm::TComm(TCommOwner* windowOwner, QObject* parent, std::unique_ptr<TCommBackend> backend)
    : QObject(parent), port(backend ? std::move(backend) : makeSystemCommBackend()),
      owner(windowOwner) {
    timer.setInterval(pollIntervalMs);
    connect(&timer, &QTimer::timeout, this, &TComm::ProcTimer);
    connect(&readyNotifier, &QSocketNotifier::activated, this, &TComm::PortReady);
    if (owner) {
        const int index = owner->SelectedPortIndex();
        if (index >= 0 && index < listedPorts)
            commPort = static_cast<TComPortNumber>(index);
    }
}

// The backend closes a port that is still open when it is destroyed, so a component
// dropped while open cannot keep the device (and its exclusive lock) busy.
TComm::~TComm() = default;

void TComm::SetPortOpen(bool open) {
    timer.stop();
    if (!open)
        CloseComm();
    else if (!opened)
        OpenComm();
    else
        ResumePolling(); // already open: keep polling rather than go silent
}

bool TComm::OpenComm() {
    const QString name = PortName();
    const TPortEntry entry = PortNames::Resolve(name);
    if (entry.device.isEmpty()) {
        if (owner)
            owner->CommOpenFailed(name,
                                  QStringLiteral("no serial port is present for %1").arg(name));
        return false;
    }
    std::string error;
    if (!port->open(QFile::encodeName(entry.device).toStdString(), error)) {
        if (owner)
            owner->CommOpenFailed(name, FromSystem(error));
        return false;
    }
    deviceName = entry.device;
    lostPending = false;
    lostReason.clear();
    stallPending = false;
    stallReason.clear();

    port->setupQueues(driverQueueSize, driverQueueSize); // a refusal is not fatal
    port->purge(purgeTxAbort | purgeRxAbort | purgeTxClear | purgeRxClear);
    if (!_SetCommState()) {
        // A port left at a rate we did not ask for would talk past the board while
        // BaudRate reports ours: treat it as not opened.
        const QString reason = FromSystem(port->lastError());
        port->close();
        if (owner)
            owner->CommOpenFailed(name, reason);
        return false;
    }
    SetDTRStatus(true);
    SetRTSStatus(rtsState);
    opened = true;
    quietTicks = 0;
    if (const int descriptor = port->readyDescriptor(); descriptor >= 0)
        readyNotifier.setSocket(descriptor); // left disabled until the port is quiet
    timer.start();
    return true;
}

void TComm::CloseComm() {
    readyNotifier.setEnabled(false);
    if (!HasHandle())
        return;
    port->close();
    opened = false;
    lostPending = false;
    stallPending = false;
}

bool TComm::_SetCommState() {
    // Fields we do not name (DTR mode, XON/XOFF limits, DSR flow...) keep the driver's
    // values; if it cannot report them the defaults stand in.
    TLineSettings settings;
    port->getState(settings);

    settings.baudRate = baudRate;
    settings.binary = true;
    settings.parity = parity;
    parityInUse = parity != None;
    settings.parityInUse = parityInUse;
    switch (hwHandShaking) {
    case hhNone:
        settings.rtsControl = 0;
        break;
    case hhNoneRTSON:
        settings.rtsControl = 1;
        break;
    case hhRTSCTS:
        settings.rtsControl = 2;
        settings.ctsOutFlow = true;
        break;
    }
    if (swHandShaking == shXonXoff) {
        settings.xonXoffOut = true;
        settings.xonXoffIn = true;
    }
    settings.byteSize = static_cast<uint8_t>(dataBits + 5);
    settings.stopBits = stopBits;

    return port->setState(settings);
}

template <typename T> void TComm::ChangeSetting(T& field, T value) {
    if (field == value)
        return;
    const T previous = field;
    field = value;
    if (HasHandle() && !_SetCommState()) {
        // Refused while open: keep reporting, and applying, the settings in effect.
        field = previous;
        _SetCommState();
    }
}

void TComm::SetCommPort(TComPortNumber value) {
    if (commPort != value)
        commPort = value;
}

void TComm::SetBaudRate(TBaudRate rate) {
    ChangeSetting(baudRate, rate);
}
void TComm::SetHwHandShaking(THwHandShaking value) {
    ChangeSetting(hwHandShaking, value);
}
void TComm::SetSwHandShaking(TSwHandShaking value) {
    ChangeSetting(swHandShaking, value);
}
void TComm::SetDataBits(TDataBits value) {
    ChangeSetting(dataBits, value);
}
void TComm::SetParity(TParity value) {
    ChangeSetting(parity, value);
}
void TComm::SetStopBits(TStopBits value) {
    ChangeSetting(stopBits, value);
}

void TComm::SetRThreshold(int32_t threshold) {
    rThreshold = threshold;
}

void TComm::SetDTRStatus(bool on) {
    dtrState = on;
    if (HasHandle())
        port->escape(on ? escSetDtr : escClrDtr);
}

void TComm::SetRTSStatus(bool on) {
    rtsState = on;
    if (HasHandle())
        port->escape(on ? escSetRts : escClrRts);
}

void TComm::SetInDataCount(uint32_t count) {
    if (count == 0 && HasHandle())
        port->purge(purgeRxClear);
}

uint32_t TComm::ReadInDataCount() {
    if (!HasHandle())
        return 0;
    uint32_t waiting = 0;
    // Querying clears the driver's error flags, so keep them for CommError.
    if (port->clearError(commError, waiting) == TIoResult::gone)
        NoteLost();
    return waiting;
}

QByteArray TComm::ReadInputData() {
    ReadProcess();
    return inputText;
}

const std::vector<uint8_t>& TComm::ReadInputByte() {
    ReadProcess();
    return inputBytes;
}

void TComm::ReadProcess() {
    if (!HasHandle())
        return;
    uint32_t waiting = 0;
    if (port->clearError(commError, waiting) == TIoResult::gone)
        NoteLost(); // what arrived before the hang-up is still read below
    if (waiting == 0)
        return;
    if (waiting > readBuffer.size()) {
        // More than the read buffer holds: the data is stale beyond use, drop it all.
        port->purge(purgeRxClear);
        return;
    }
    uint32_t count = inputLen > 0 ? static_cast<uint32_t>(inputLen) : waiting;
    count = std::min<uint32_t>(count, readBuffer.size()); // an InputLen past the buffer
    uint32_t got = 0;
    const TIoResult result = port->read(readBuffer.data(), count, got);
    if (result == TIoResult::gone)
        NoteLost();
    if (result != TIoResult::ok || got == 0)
        return;
    inputText =
        QByteArray(reinterpret_cast<const char*>(readBuffer.data()), static_cast<qsizetype>(got));
    inputBytes.assign(readBuffer.begin(), readBuffer.begin() + got);
    ++readCount;
}

void TComm::GetModemState() {
    uint32_t lines = 0;
    if (!port->modemStatus(lines))
        return; // e.g. a pseudo-terminal has no modem lines: change nothing

    const auto follow = [this, lines](bool& holding, uint32_t driverBit, uint32_t maskBit) {
        const bool on = (lines & driverBit) != 0;
        if (on && !holding) {
            modemMask += maskBit;
            holding = true;
        } else if (!on && holding) {
            modemMask -= maskBit;
            holding = false;
        }
    };
    follow(cdHolding, msRlsdOn, evRLSD);
    follow(dsrHolding, msDsrOn, evDSR);
    follow(riHolding, msRingOn, evRING);
    follow(ctsHolding, msCtsOn, evCTS);
}

void TComm::ProcTimer() {
    if (!HasHandle())
        return;
    // Handlers and the message processing below may run anything the window does,
    // including deleting this component; look before touching members again.
    const QPointer<TComm> self(this);
    // The window catches up on its messages after each handler that ran. A quiet
    // tick raises nothing and goes straight back to the event loop, which processes
    // the same messages: three extra passes of it were most of an idle tick's cost.
    bool handlerRan = false;
    const auto processMessages = [&handlerRan] {
        if (std::exchange(handlerRan, false))
            QCoreApplication::processEvents();
    };

    uint32_t waiting = 0;
    if (port->clearError(commError, waiting) == TIoResult::gone)
        NoteLost();
    if (waiting > 0)
        ResumePolling(); // bytes flow (this tick may have been run by hand while asleep)
    else
        ++quietTicks;
    if (rThreshold > 0 && waiting >= static_cast<uint32_t>(rThreshold)) {
        handlerRan = static_cast<bool>(OnReceiveData);
        ReceiveData(); // the handler reads the data itself, through Input
    }
    if (!self)
        return;
    if (!HasHandle())
        return; // closed from within the handler (End Port, a page change)
    if (lostPending) {
        // Whatever arrived before the hang-up has been handed over; stop here
        // instead of reporting the dead port on every tick.
        const QString reason = lostReason;
        PortLost(reason);
        return;
    }
    if (stallPending) {
        PortStalled();
        return;
    }

    GetModemState();
    processMessages();
    if (!self)
        return;
    if (modemMask != 0) {
        handlerRan = static_cast<bool>(OnModemStateChange);
        ModemStateChange(modemMask);
    }
    if (!self)
        return;
    processMessages();
    if (!self)
        return;
    if (commError != 0) {
        handlerRan = static_cast<bool>(OnReceiveError);
        ReceiveError(commError);
    }
    if (!self)
        return;
    processMessages();
    if (self)
        WaitWhenQuiet();
}

void TComm::WaitWhenQuiet() {
    // Line errors come with bytes and a hang-up makes the descriptor readable, so only
    // the modem lines need the poll. A fault found meanwhile (by a write, or a count
    // that met the hang-up) started the count again: its tick comes first. An error
    // handler may have closed the port.
    if (quietTicks < quietTicksBeforeWait || !readyNotifier.isValid() || !HasHandle() ||
        OnModemStateChange)
        return;
    timer.stop();
    readyNotifier.setEnabled(true);
}

void TComm::ResumePolling() {
    quietTicks = 0;
    readyNotifier.setEnabled(false);
    if (HasHandle() && !timer.isActive())
        timer.start();
}

void TComm::PortReady() {
    // The first byte after a quiet spell goes to its handler now rather than at the
    // next tick; the bytes after it come with the poll's grouping, as they flow.
    ResumePolling();
    ProcTimer();
}

void TComm::NoteLost() {
    if (lostPending)
        return;
    lostPending = true;
    lostReason = FromSystem(port->lastError());
    ResumePolling(); // the next tick reports it
}

void TComm::PortLost(const QString& reason) {
    timer.stop();
    const bool wasOpen = opened;
    CloseComm();
    lostPending = false;
    lostReason.clear();
    // The owner may have closed the port itself in the meantime; then there is
    // nothing left to report.
    if (const TLostEvent handler = OnPortLost; wasOpen && handler)
        handler(this, reason);
}

void TComm::PortStalled() {
    timer.stop();
    const bool wasOpen = opened;
    const QString reason = stallReason;
    CloseComm();
    stallReason.clear();
    if (const TLostEvent handler = OnWriteStalled; wasOpen && handler)
        handler(this, reason);
}

// Handlers are called through a copy here and above: a handler may release this
// component (a page change replaces it), which must not destroy the function that is
// still running.
void TComm::ReceiveData() {
    if (const TNotifyEvent handler = OnReceiveData)
        handler(this);
}

void TComm::ReceiveError(uint32_t mask) {
    if (const TMaskEvent handler = OnReceiveError)
        handler(this, mask);
}

void TComm::ModemStateChange(uint32_t mask) {
    if (const TMaskEvent handler = OnModemStateChange)
        handler(this, mask);
}

bool TComm::WriteResult(TIoResult result) {
    // A write expects a reply, and a write that failed has a tick to report it.
    ResumePolling();
    if (result == TIoResult::gone) {
        NoteLost();
    } else if (result == TIoResult::stalled && !stallPending) {
        stallPending = true;
        stallReason = FromSystem(port->lastError());
        // What the driver still holds is the head of a frame the board will never
        // see whole; drop it rather than let it out once the line moves again.
        port->purge(purgeTxAbort | purgeTxClear);
    }
    return result == TIoResult::ok;
}

bool TComm::OutputChar(char c) {
    if (!HasHandle() || stallPending)
        return false;
    const auto byte = static_cast<uint8_t>(c);
    return WriteResult(port->write(&byte, 1));
}

bool TComm::OutputString(const QByteArray& s) {
    if (!HasHandle() || stallPending)
        return false;
    return WriteResult(port->write(reinterpret_cast<const uint8_t*>(s.constData()),
                                   static_cast<uint32_t>(s.size())));
}

bool TComm::OutputStringchar(const char* s) {
    if (!HasHandle() || stallPending)
        return false;
    const size_t length = s ? std::strlen(s) : 0;
    return WriteResult(
        port->write(reinterpret_cast<const uint8_t*>(s), static_cast<uint32_t>(length)));
}

bool TComm::OutputByte(const std::vector<uint8_t>& bytes) {
    if (!HasHandle() || stallPending)
        return false;
    for (const uint8_t byte : bytes) {
        // The rest of a frame after a byte that did not go out is of no use.
        if (!WriteResult(port->write(&byte, 1)))
            return false;
    }
    return true;
}

QString TComm::PortName() const {
    return QStringLiteral("COM%1").arg(int(commPort) + 1);
}
