// The "Protocol Test" page: sends the board's basic commands, lights the
// Communication Monitor from the replies, counts coin results, and reads the
// replies of modes 3 (version), 4 (status and events), 7 (ID) and 8 (DIP switch).
#pragma once

#include "CoinTally.h"
#include "MonitorReplies.h"
#include "PageHost.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TMemo;

class TProtocolTestPage : public QWidget, public TModeReader, public TTxLog {
public:
    static const QColor Lime;
    static const QColor Yellow;
    static const QColor Aqua;

    TProtocolTestPage(TPageHost& host, QWidget* parent = nullptr);

    std::span<const int> ReadModes() const override;
    void ReadDelivery(int mode, std::span<const uint8_t> bytes) override;
    void LogTx(TLogTarget target, std::span<const uint8_t> frame) override;

    // Makes the fourteen sensor and coin labels anew: every visit starts with them off.
    void CreateStatusLabels();

    void SB_disClick();
    void SB_enClick();
    void SB_statusClick();
    void SB_VerClick();
    void SB_resetClick();
    void SpeedButton1Click(); // Get ID
    void SpeedButton2Click(); // Get DIPSW
    void Button11Click();     // Start the counting test
    void Button13Click();     // Clear the counters

    // The colour a monitor label shows now, and whether it counts as lit.
    QColor LabelColour(TMonitorLabel label) const;
    QLabel* MonitorLabel(TMonitorLabel label) const;
    static QColor OffColour();

    QToolButton* SB_dis = nullptr;
    QToolButton* SB_en = nullptr;
    QToolButton* SB_status = nullptr;
    QToolButton* SB_Ver = nullptr;
    QToolButton* SB_reset = nullptr;
    QPushButton* SpeedButton1 = nullptr;
    QLabel* Label81 = nullptr;
    QPushButton* SpeedButton2 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QFrame* Panel3 = nullptr;
    TMemo* Memo2 = nullptr;
    TMemo* Memo3 = nullptr;
    QPushButton* Button11 = nullptr;
    QPushButton* Button13 = nullptr;
    QLabel* Label45 = nullptr; // pass count
    QLabel* Label60 = nullptr; // no-pass count
    QLabel* Label61 = nullptr; // percentage
    QLabel* idling = nullptr;
    QLabel* accepting = nullptr;
    QLabel* disable = nullptr;
    QLabel* ack = nullptr;
    QLabel* nak = nullptr;
    QLabel* invalid = nullptr;
    std::array<QLabel*, 6> SensorErrorLabels{};
    std::array<QLabel*, 8> CoinLabels{};

    bool CoinCountEnabled = false;
    TCoinTally Tally;
    // The tally's counts under the names of the page's design.
    const int& PassCount = Tally.PassCount;
    const int& NoPassCount = Tally.NoPassCount;

private:
    void BuildMonitor();
    void SendSimple(const TRequest& request);
    void SetLit(QLabel* label, const QColor& colour);
    void AllOff();
    void ReadMonitor(std::span<const uint8_t> bytes);
    void ShowMonitorReply(std::span<const uint8_t> reply);
    void ReadText(int mode, std::span<const uint8_t> bytes);
    void ReadDip(std::span<const uint8_t> bytes);

    TPageHost& host;
};
