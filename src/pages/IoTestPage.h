// The "I/O Test" page: polls the board's sensors every two seconds while "Test Mode"
// runs, shows the twelve items of each report with their limit colours, switches the
// board's solenoids, LEDs and credit meter, and reads the replies of mode 5.
#pragma once

#include "PageHost.h"
#include "SensorReport.h"

#include <QColor>
#include <QWidget>

#include <array>

class QLabel;
class QPushButton;
class QTimer;
class TMemo;

class TIoTestPage : public QWidget, public TModeReader, public TTxLog {
public:
    static const QColor Within;  // black
    static const QColor Outside; // red

    // `timer1` is the window's poll timer; its tick sends the poll.
    TIoTestPage(TPageHost& host, QTimer& timer1, QWidget* parent = nullptr);

    std::span<const int> ReadModes() const override;
    void ReadDelivery(int mode, std::span<const uint8_t> bytes) override;
    void LogTx(TLogTarget target, std::span<const uint8_t> frame) override;
    // One complete sensor report (23 bytes).
    void OnReply(int mode, std::span<const uint8_t> reply);

    // Showing the page: the stopped state, "Sol1 Control" captioned "OFF ".
    void ShowStopped();

    void BitBtn9Click();  // Test Mode
    void BitBtn10Click(); // Stop
    void BitBtn7Click();  // Sol 1
    void BitBtn8Click();  // Sol 2
    void BitBtn4Click();  // Sol 3
    void BitBtn5Click();  // Sol1 Control
    void BitBtn6Click();  // Credit/Meter
    void BitBtn3Click();  // LED Green
    void BitBtn2Click();  // LED Red
    void BitBtn1Click();  // LED Orange
    void Button10Click(); // Clear

    // The font colour a value label shows now.
    QColor ValueColour(int item) const;

    QPushButton* BitBtn9 = nullptr;
    QPushButton* BitBtn10 = nullptr;
    QPushButton* BitBtn7 = nullptr;
    QPushButton* BitBtn8 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QPushButton* BitBtn6 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    // The value labels in report order: Label31, Label33, Label35, Label37, Label39,
    // Label41, Label43, Label44, Label50, Label51 (readings), Label47 (DIP switch),
    // Label49 (inhibit).
    std::array<QLabel*, SensorItemCount> ValueLabels{};
    QLabel* Label59 = nullptr; // SEN3's reference, hidden
    TMemo* Memo4 = nullptr;
    QPushButton* Button10 = nullptr;

    // The value "Sol1 Control" last commanded (true for 0x01).
    bool Sol1State = true;

private:
    void BuildSensorTable();
    void SetPolling(bool polling);
    void SendOutput(uint8_t code, uint8_t value);

    TPageHost& host;
    QTimer& Timer1;
};
