// The "R/W Binary" page: writes a ".bin" memory image to the board line by line and
// verifies it by CRC, reads the board's memory into a ".bin" file (its group stays
// hidden), logs every frame in Memo5/Memo6 and every delivery in Memo7, and reads the
// replies of modes 38 to 40 and 137 to 140. The transfer itself is TMemoryImage.
#pragma once

#include "MemoryImage.h"
#include "PageHost.h"

#include <QWidget>

#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class TMemo;

class TBinaryPage : public QWidget, public TModeReader, public TTxLog {
public:
    // The window's repeat timers; the page runs their ticks.
    TBinaryPage(TPageHost& host, QTimer& timerRead, QTimer& timerWrite, QWidget* parent = nullptr);

    std::span<const int> ReadModes() const override;
    void ReadDelivery(int mode, std::span<const uint8_t> bytes) override;
    void LogTx(TLogTarget target, std::span<const uint8_t> frame) override;
    // Every delivery from the board, whatever the mode: one RX line in Memo7.
    void LogDelivery(std::span<const uint8_t> bytes);
    // One complete reply in one of the page's modes.
    void OnReply(int mode, std::span<const uint8_t> reply);

    void Button15Click(); // Read Start
    void Button22Click(); // Reading
    void Button21Click(); // Read Finish
    void Button16Click(); // Save Binary
    void Button17Click(); // Open Binary
    void Button20Click(); // Write Start
    void Button19Click(); // Writing
    void Button18Click(); // Write Finish
    void Button23Click(); // Verify
    void ClearClick();
    void TimerReadTimer();
    void TimerWriteTimer();
    // The page is left: its repeat timers stop and a transfer under way ends as its
    // Finish button would end it, with nothing sent.
    void StopTransfers();

    // The file dialogs; tests put their own answer here. An empty name cancels.
    std::function<QString(bool save)> ChooseFile;

    QGroupBox* GroupBox3 = nullptr; // "  Address Set  ", disabled
    QLineEdit* Edit5 = nullptr;     // first block
    QLineEdit* Edit6 = nullptr;     // last block
    QLineEdit* Edit7 = nullptr;     // first line
    QLineEdit* Edit8 = nullptr;     // last line
    QLineEdit* Edit3 = nullptr;     // line length L
    QGroupBox* GroupBox1 = nullptr; // "  Read Binary  ", hidden for the whole run
    QLineEdit* Edit1 = nullptr;     // shown only
    QPushButton* Button15 = nullptr;
    QPushButton* Button22 = nullptr;
    QPushButton* Button21 = nullptr;
    QPushButton* Button16 = nullptr;
    QGroupBox* GroupBox2 = nullptr; // "  Write Binary  "
    QLineEdit* Edit2 = nullptr;     // shown only
    QPushButton* Button17 = nullptr;
    QPushButton* Button20 = nullptr;
    QPushButton* Button19 = nullptr;
    QPushButton* Button18 = nullptr;
    QPushButton* Button23 = nullptr;
    QLabel* Label77 = nullptr;
    QLabel* Label78 = nullptr; // CRC of the write image at the last verification
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* ProgressLabel = nullptr; // the transfer's state in words
    TMemo* Memo5 = nullptr;          // TX lines in hex, ACK/NAK
    TMemo* Memo6 = nullptr;          // TX lines in decimal, ACK/NAK
    TMemo* Memo7 = nullptr;          // one RX line per receive event
    QPushButton* Clear = nullptr;

    TMemoryImage Image;

private:
    void BuildControls();
    bool ReadField(QLineEdit* edit, int& value);
    // L from Edit3, checked for `use`; false (and told) when it cannot be used.
    bool LineLength(TLineUse use, int& length);
    bool BuildAddressList();
    void SendSimple(const TRequest& request);
    bool SendLineRead();
    bool SendLineWrite();
    void ReadLineReply(std::span<const uint8_t> reply);
    void WriteLineReply(std::span<const uint8_t> reply);
    void AckReply(int mode, std::span<const uint8_t> reply);
    void VerifyReply(std::span<const uint8_t> reply);
    void InsertBoth(const QString& line);
    void Tell(const QString& text, const QString& caption = QString(),
              const QString& detail = QString());
    // A reader's box, shown once the delivery it came in has been read.
    void TellAfterDelivery(const QString& text);
    // Lines of the address set in the page's fields; -1 when they are not numbers.
    int AddressSetLines() const;
    void UpdateProgress();

    TPageHost& host;
    QTimer& TimerRead;
    QTimer& TimerWrite;
};
