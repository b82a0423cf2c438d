// The "Parameter Setting" page: reads the board's nine coin channels into the
// channel rows and writes them back, and reads the replies of modes 1 and 2.
#pragma once

#include "PageHost.h"
#include "ParameterTable.h"

#include <QWidget>

#include <array>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class TDigitEdit;
class TMemo;

class TParameterPage : public QWidget, public TModeReader, public TTxLog {
public:
    TParameterPage(TPageHost& host, QWidget* parent = nullptr);

    std::span<const int> ReadModes() const override;
    void ReadDelivery(int mode, std::span<const uint8_t> bytes) override;
    void LogTx(TLogTarget target, std::span<const uint8_t> frame) override;

    void Button7Click(); // Read
    void Button6Click(); // Save
    void Button9Click(); // Clear

    QFrame* Panel2 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button9 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    TMemo* Memo1 = nullptr;
    std::array<QLabel*, ChannelCount> ChannelLabels{};
    std::array<TDigitEdit*, ChannelCount> ValueEdits{};
    std::array<QComboBox*, ChannelCount - 1> DisableBoxes{};
    std::array<QComboBox*, ChannelCount - 1> SorterBoxes{};
    std::array<QComboBox*, ChannelCount - 1> DipBoxes{};

    // Disable, sorter and DIP bytes of the ninth record as last read: the page has no
    // lists for them, so Save sends them back unchanged.
    std::array<uint8_t, 3> PulseRecordTail{};

private:
    void CreateChannelRows();
    void ShowTable(std::span<const uint8_t> table);

    TPageHost& host;
};
