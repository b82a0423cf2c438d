// The main window. It owns every piece of the tool's state (the serial port in use,
// the operation mode, the frame buffer, the reply assembly, the pages), runs the
// port controls, and routes each delivery from the board to the reader of the
// current operation mode.
#pragma once

#include "Comm.h"
#include "Frame.h"
#include "Journal.h"
#include "Modes.h"
#include "PageHost.h"
#include "ReplyAssembly.h"
#include "WaveCapture.h"
#include "WaveLabels.h"
#include "WaveStore.h"

#include <QComboBox>
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QPushButton;
class QTabWidget;
class TBinaryPage;
class TIoTestPage;
class TMemo;
class TParameterPage;
class TProtocolTestPage;
class TWavePage;

// The port list; each entry's tooltip names the device it maps to when it opens.
class TPortComboBox : public QComboBox {
public:
    explicit TPortComboBox(QWidget* parent = nullptr);
    void RefreshTooltips();

protected:
    void showPopup() override;
};

class TForm1 : public QMainWindow, public TPageHost, public TCommOwner {
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    void Button2Click(); // Open Port
    void Button3Click(); // End Port
    void Button1Click(); // Quit
    void PageControl1Change(int index);
    void ReceiveHandler(QObject* Sender);
    void Timer1Timer();

    // TPageHost
    int OperationMode() const override { return operationMode; }
    void SetOperationMode(int mode) override { operationMode = mode; }
    TFrameBuffer& FrameBuffer() override { return frameBuffer; }
    void SendFrameEtx(int payloadLength, uint8_t command, TLogTarget logTarget) override;
    void SendFrameNoEtx(int payloadLength, uint8_t command, TLogTarget logTarget) override;
    bool OutputChar(char c) override;
    TReplyAssembly& ReplyAssembly() override { return reply; }
    void ShowFirmwareVersion(const QString& version) override;
    void BlockingWait(int milliseconds) override;

    // TCommOwner
    int SelectedPortIndex() const override;
    void CommOpenFailed(const QString& port, const QString& reason) override;

    TComm* Comm1 = nullptr;
    bool PortOpened = false;
    bool OpenSucceeded = true;
    const QString TitleText = QStringLiteral("DEVe Ruvod v1.10c ");
    QString PortStatusText;

    TPortComboBox* ComboBox1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    TParameterPage* TabSheet1 = nullptr;
    TProtocolTestPage* TabSheet2 = nullptr;
    TIoTestPage* TabSheet3 = nullptr;
    TWavePage* TabSheet4 = nullptr;
    TBinaryPage* TabSheet5 = nullptr;
    QTimer Timer1;
    QTimer TimerRead;
    QTimer TimerWrite;

    // The wave records (about 1.5 MB, allocated once with the window) and the capture
    // that fills them; both outlive every visit of the Get_Wave page.
    const std::unique_ptr<TWaveStore> WaveStore = std::make_unique<TWaveStore>();
    TWaveCapture WaveCapture;
    // What the technician knows about each record: kind, class, exclusion, note. Moves
    // with its record and is saved with the store.
    TWaveLabels WaveLabels;

    // The line journal: every delivery read and every write, as it happens, in `path`.
    // Start says why when the file cannot be made.
    bool StartJournal(const QString& path, QString& error);
    void StopJournal();
    void JournalBoxClick(bool checked);
    QCheckBox* JournalBox = nullptr;
    // Asks where the journal goes when the box is ticked; empty when cancelled.
    std::function<QString()> JournalD;

    // The serial components the window holds. Open Port releases the one it
    // replaces, so after the event loop has run this is at most Comm1.
    QList<TComm*> Components() const;

private:
    void FormCreate();
    void SendFrame(int payloadLength, uint8_t command, TLogTarget logTarget, bool withEnd);
    void PortLost(QObject* Sender, const QString& reason);
    void PortStalled(QObject* Sender, const QString& reason);
    // Ends the port and, once the poll tick is over, shows one box about why.
    void EndPortAndTell(QObject* Sender, const QString& text, const QString& detail);
    void ReleaseComponent();
    bool WriteByte(char c);
    void CreateJournalBox(QWidget* parent);
    void ShowJournal();
    void WriteJournal(TJournalDirection direction, std::span<const uint8_t> bytes);

    int operationMode = 0;
    // Who reads the deliveries of each operation mode, and whose memos show each log
    // target's TX lines; filled from the pages once.
    std::array<TModeReader*, Mode::WriteLine + 1> readers{};
    std::array<TTxLog*, 6> txLogs{};
    int shownPage = 0; // the page PageControl1 showed before its last change
    TFrameBuffer frameBuffer{};
    TReplyAssembly reply;
    std::unique_ptr<TJournalWriter> journal;
};
