#include "Form1.h"

#include "BinaryPage.h"
#include "IoTestPage.h"
#include "Messages.h"
#include "Modes.h"
#include "ParameterPage.h"
#include "PortNames.h"
#include "ProtocolTestPage.h"
#include "WavePage.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>

#include <chrono>
#include <thread>
#include <utility>

TPortComboBox::TPortComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= 8; ++n)
        addItem(QStringLiteral("COM%1").arg(n));
    setCurrentIndex(-1);
    setEditText(QStringLiteral("COM1"));
    RefreshTooltips();
}

void TPortComboBox::RefreshTooltips() {
    for (int i = 0; i < count(); ++i) {
        const TPortEntry entry = PortNames::Resolve(itemText(i));
        const QString tip =
            entry.device.isEmpty()
                ? QStringLiteral("No serial port is present for %1").arg(itemText(i))
            : entry.description.isEmpty()
                ? entry.device
                : QStringLiteral("%1 (%2)").arg(entry.device, entry.description);
        setItemData(i, tip, Qt::ToolTipRole);
    }
}

void TPortComboBox::showPopup() {
    // Adapters come and go: look again each time the list opens.
    RefreshTooltips();
    QComboBox::showPopup();
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    resize(1197, 854);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(false);
    auto* content = new QWidget;
    content->setFixedSize(1177, 793);
    scroll->setWidget(content);
    setCentralWidget(scroll);

    ComboBox1 = new TPortComboBox(content);
    ComboBox1->setGeometry(8, 8, 65, 21);
    Button2 = new QPushButton(QStringLiteral("Open Port"), content);
    Button2->setGeometry(80, 8, 73, 25);
    Button3 = new QPushButton(QStringLiteral("End Port"), content);
    Button3->setGeometry(160, 8, 73, 25);
    Button3->setEnabled(false);
    Button1 = new QPushButton(QStringLiteral("Quit"), content);
    Button1->setGeometry(1000, 8, 145, 25);
    CreateJournalBox(content);

    PageControl1 = new QTabWidget(content);
    PageControl1->setGeometry(8, 40, 1161, 745);
    TabSheet1 = new TParameterPage(*this);
    TabSheet2 = new TProtocolTestPage(*this);
    TabSheet3 = new TIoTestPage(*this, Timer1);
    TabSheet4 = new TWavePage(*this, *WaveStore, WaveLabels, WaveCapture);
    TabSheet5 = new TBinaryPage(*this, TimerRead, TimerWrite);
    PageControl1->addTab(TabSheet1, QStringLiteral("Parameter Setting"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Protocol Test"));
    PageControl1->addTab(TabSheet3, QStringLiteral("I/O Test"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Get_Wave"));
    PageControl1->addTab(TabSheet5, QStringLiteral("R/W Binary"));
    PageControl1->setCurrentIndex(0);
    PageControl1->setEnabled(false);

    for (TModeReader* page :
         std::initializer_list<TModeReader*>{TabSheet1, TabSheet2, TabSheet3, TabSheet4, TabSheet5})
        for (const int mode : page->ReadModes())
            readers.at(static_cast<size_t>(mode)) = page;
    const auto logs = [this](TLogTarget target, TTxLog* page) {
        txLogs[static_cast<size_t>(target)] = page;
    };
    logs(TLogTarget::Parameters, TabSheet1);
    logs(TLogTarget::ProtocolTx, TabSheet2);
    logs(TLogTarget::ProtocolRx, TabSheet2);
    logs(TLogTarget::IoTest, TabSheet3);
    logs(TLogTarget::Binary, TabSheet5);

    for (QTimer* timer : {&Timer1, &TimerRead, &TimerWrite}) {
        timer->setInterval(2000);
        timer->stop();
    }

    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageControl1Change);
    connect(&Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    FormCreate();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

TForm1::~TForm1() {
    // Close the component in use so the port is released before the window's
    // children go.
    if (Comm1)
        Comm1->SetPortOpen(false);
}

void TForm1::FormCreate() {
    operationMode = Mode::ParameterTable;
    setWindowTitle(TitleText);
    TabSheet5->GroupBox1->hide();
}

int TForm1::SelectedPortIndex() const {
    const int index = ComboBox1->currentIndex();
    // A typed text that is not the chosen entry counts as no selection.
    if (index < 0 || ComboBox1->currentText() != ComboBox1->itemText(index))
        return -1;
    return index;
}

void TForm1::CommOpenFailed(const QString& port, const QString& reason) {
    OpenSucceeded = false;
    Messages::Show(this, {QStringLiteral("Error opening serial port"), QString(),
                          QStringLiteral("%1: %2").arg(port, reason), false});
}

void TForm1::Button2Click() {
    ReleaseComponent();
    auto* comm = new TComm(this, this);
    Comm1 = comm;
    if (!comm->PortOpen()) {
        comm->SetPortOpen(true);
        if (OpenSucceeded) {
            comm->SetRThreshold(1);
            comm->OnReceiveData = [this](QObject* sender) { ReceiveHandler(sender); };
            comm->OnPortLost = [this](QObject* sender, const QString& reason) {
                PortLost(sender, reason);
            };
            comm->OnWriteStalled = [this](QObject* sender, const QString& reason) {
                PortStalled(sender, reason);
            };
            const int selected = SelectedPortIndex();
            PortStatusText = selected >= 0 && selected <= 3
                                 ? QStringLiteral(" COM%1 : ").arg(selected + 1)
                                 : QString();
            PortStatusText += QStringLiteral("- 9600,N,8,1");
            setWindowTitle(TitleText + PortStatusText);
            PortOpened = true;
            PageControl1->setEnabled(true);
            Button3->setEnabled(true);
            Button2->setEnabled(false);
        }
    }
    OpenSucceeded = true;
}

void TForm1::ReleaseComponent() {
    TComm* previous = std::exchange(Comm1, nullptr);
    if (!previous)
        return;
    // Every page change comes here; kept, each component's 8 KB buffers would add up.
    // It may be the one whose poll tick is running (a page changed from within its
    // handlers), so it goes once control is back in the event loop; closed, with its
    // timer stopped, nothing calls it before then.
    previous->SetPortOpen(false);
    previous->deleteLater();
}

void TForm1::Button3Click() {
    if (!PortOpened)
        return;
    if (Comm1)
        Comm1->SetPortOpen(false);
    PortOpened = false;
    setWindowTitle(TitleText);
    PageControl1->setEnabled(false);
    Button2->setEnabled(true);
    Button3->setEnabled(false);
}

void TForm1::Button1Click() {
    close();
}

void TForm1::PortLost(QObject* Sender, const QString& reason) {
    EndPortAndTell(Sender, QStringLiteral("The serial port was lost."),
                   reason + QStringLiteral("\nPress Open Port once the device is back."));
}

void TForm1::PortStalled(QObject* Sender, const QString& reason) {
    EndPortAndTell(Sender, QStringLiteral("The serial port takes no data."),
                   reason + QStringLiteral("\nWhat was still to be sent was dropped. Press Open "
                                           "Port once the device takes data again."));
}

void TForm1::EndPortAndTell(QObject* Sender, const QString& text, const QString& detail) {
    if (Sender != Comm1 || !PortOpened)
        return;
    // The reason names the device already.
    const QString port = Comm1->PortName();
    Button3Click();
    // Told after the poll tick that found the fault has finished.
    QMetaObject::invokeMethod(
        this,
        [this, text, detail = QStringLiteral("%1: %2").arg(port, detail)] {
            Messages::Show(this, {text, QString(), detail, false});
        },
        Qt::QueuedConnection);
}

QList<TComm*> TForm1::Components() const {
    return findChildren<TComm*>(QString(), Qt::FindDirectChildrenOnly);
}

void TForm1::PageControl1Change(int index) {
    const auto reopen = [this] {
        Button3Click();
        Button2Click();
    };
    // A page's periodic requests belong to it: left running behind another page they
    // would set their mode under that page's replies.
    const int left = std::exchange(shownPage, index);
    if (left == 2)
        Timer1.stop();
    if (left == 4)
        TabSheet5->StopTransfers();
    switch (index) {
    case 3: // Get_Wave
        reopen();
        TabSheet4->CreateValueRows();
        operationMode = Mode::Wave;
        Timer1.stop();
        break;
    case 0: // Parameter Setting: armed for a table the board sends unasked
        operationMode = Mode::ParameterTable;
        reopen();
        Timer1.stop();
        break;
    case 1: // Protocol Test
        reopen();
        Timer1.stop();
        TabSheet2->CreateStatusLabels();
        break;
    case 2: // I/O Test
        reopen();
        Timer1.stop();
        operationMode = Mode::Idle;
        TabSheet3->ShowStopped();
        break;
    default: // R/W Binary keeps port, mode and poll as they are
        break;
    }
}

void TForm1::SendFrame(int payloadLength, uint8_t command, TLogTarget logTarget, bool withEnd) {
    // After a write that timed out nothing more goes out, and nothing more is logged
    // as sent, until the poll has closed the port and told the user.
    if (!PortOpened || (Comm1 && Comm1->WriteStalled()))
        return;
    const int length = BuildFrame(frameBuffer, payloadLength, command, withEnd);
    if (length == 0)
        return; // cannot be framed: nothing is sent rather than a corrupt frame
    const std::span<const uint8_t> frame(frameBuffer.data(), static_cast<size_t>(length));
    const auto target = static_cast<size_t>(logTarget);
    if (TTxLog* log = target < txLogs.size() ? txLogs[target] : nullptr)
        log->LogTx(logTarget, frame);
    size_t sent = 0;
    while (sent < frame.size() && WriteByte(static_cast<char>(frame[sent])))
        ++sent;
    // One event in the journal: the frame as far as it went out.
    WriteJournal(TJournalDirection::Tx, frame.first(sent));
}

void TForm1::SendFrameEtx(int payloadLength, uint8_t command, TLogTarget logTarget) {
    SendFrame(payloadLength, command, logTarget, true);
}

void TForm1::SendFrameNoEtx(int payloadLength, uint8_t command, TLogTarget logTarget) {
    SendFrame(payloadLength, command, logTarget, false);
}

bool TForm1::OutputChar(char c) {
    if (!WriteByte(c))
        return false;
    const auto byte = static_cast<uint8_t>(c);
    WriteJournal(TJournalDirection::Tx, std::span(&byte, 1));
    return true;
}

bool TForm1::WriteByte(char c) {
    return Comm1 && Comm1->OutputChar(c);
}

void TForm1::ShowFirmwareVersion(const QString& version) {
    setWindowTitle(TitleText + QStringLiteral(" - ") + version + QLatin1Char(' ') + PortStatusText);
}

void TForm1::BlockingWait(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void TForm1::ReceiveHandler(QObject* /*Sender*/) {
    if (!Comm1)
        return;
    const uint64_t reads = Comm1->ReadCount();
    const QByteArray received = Comm1->Input();
    // Input hands back the previous data when the read brought nothing new (more
    // than the read buffer waited and was purged, or the read failed): never
    // process those bytes twice.
    if (Comm1->ReadCount() == reads)
        return;
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(received.constData()),
                                         static_cast<size_t>(received.size()));
    WriteJournal(TJournalDirection::Rx, bytes);
    TabSheet5->LogDelivery(bytes);
    // A mode with no reader: the bytes are only logged.
    if (operationMode >= 0 && operationMode < static_cast<int>(readers.size()))
        if (TModeReader* reader = readers[static_cast<size_t>(operationMode)])
            reader->ReadDelivery(operationMode, bytes);
}

void TForm1::Timer1Timer() {
    SendRequest(*this, Request::SensorPoll, 0, TLogTarget::IoTest);
}
