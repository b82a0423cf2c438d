// The "Get_Wave" page: captures the waveforms the board streams for every coin into
// the wave store, browses and deletes its records, and saves and loads .bwv files with
// the records' labels. The store, the labels, the capture and the plot live elsewhere;
// this page wires its buttons, boxes and labels to them, and opens the analysis window.
#pragma once

#include "AnalysisSource.h"
#include "PageHost.h"
#include "PlotRequests.h"
#include "WaveCapture.h"
#include "WaveLabels.h"
#include "WaveRollover.h"
#include "WaveStore.h"

#include <QDateTime>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TWaveCheckBar;
class TAnalysisWindow;
class TWavePlot;

class TWavePage : public QWidget, public TModeReader, public TAnalysisSource {
public:
    static constexpr int ValueRows = 20;
    static constexpr int FirstValueSample = 250;

    TWavePage(TPageHost& host, TWaveStore& store, TWaveLabels& labels, TWaveCapture& capture,
              QWidget* parent = nullptr);

    // Where the store and capture send their plot requests (nothing is drawn until set).
    void SetPlot(TPlotRequests& requests) { plot = &requests; }

    // The reader of mode 6: one delivery.
    void ReadWavePackets(std::span<const uint8_t> bytes);
    std::span<const int> ReadModes() const override;
    void ReadDelivery(int mode, std::span<const uint8_t> bytes) override;
    // Makes the twenty value boxes and their captions anew, blank: every visit.
    void CreateValueRows();

    void btnNewClick();
    void btnDelOneClick();
    void Button4Click(); // Next
    void Button5Click(); // Last
    void BtnSaveClick();
    void BtnOpenClick();  // Load
    void Button12Click(); // Load one
    void btnNextClick();  // single-record view: next
    void Button14Click(); // single-record view: last
    void Button8Click();  // Start
    void RadioGroup1Click(int index);
    // "keep every coin": ticked, it asks once where the numbered files go.
    void KeepEveryCoinClick(bool checked);
    void BtnAnalysisClick();

    // TAnalysisSource: what the analysis window reads and starts.
    const TWaveStore& Store() const override { return store; }
    const TWaveLabels& Labels() const override { return labels; }
    TPlot& Plot() override;
    bool SetLabel(int record, const TRecordLabel& label) override;
    void ShowRecord(int record) override;
    void StartLabelRun(const TRecordLabel& label, int count) override;
    void StopLabelRun() override;
    bool LabelRunActive() const override { return labelRun && !labelRun->Done() && runActive; }
    QString LabelRunProgress() const override;

    // Made with the first click on "Analysis…".
    TAnalysisWindow* Analysis = nullptr;

    // The save and open dialogs (SaveD, OpenD); tests answer them. Each returns the
    // chosen name, empty when cancelled.
    std::function<QString(const QString& proposed)> SaveD;
    std::function<QString()> OpenD;
    // The local date and time the save dialog's proposed name comes from.
    std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };
    // A monotonic time in milliseconds: capture tells a quiet line by it.
    std::function<int64_t()> Ticks;

    QFrame* Panel1 = nullptr;  // the plot stands here
    QLabel* Label2 = nullptr;  // record count
    QLabel* Label6 = nullptr;  // current record
    QLabel* Label28 = nullptr; // length
    QLabel* Label4 = nullptr;  // single-record view: record shown, hidden
    QPushButton* btnNew = nullptr;
    QPushButton* btnDelOne = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* BtnSave = nullptr;
    QPushButton* BtnOpen = nullptr;
    QPushButton* Button12 = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* Button14 = nullptr;
    QPushButton* Button8 = nullptr;
    QGroupBox* RadioGroup1 = nullptr;
    std::array<QRadioButton*, 4> MethodItems{};
    std::array<QLabel*, ValueRows> ValueBoxes{};
    std::array<QLabel*, ValueRows> ValueCaptions{};
    // Packets the reader dropped and records it abandoned since New.
    QLabel* DroppedLabel = nullptr;
    QLabel* AbandonedLabel = nullptr;
    // PASS or FAIL of every record that closes, under the plot.
    TWaveCheckBar* CheckBar = nullptr;
    // Ticked: a full store goes to NAME-001.bwv, NAME-002.bwv, ... and is emptied, and
    // capture goes on. KeepEveryCoinFile names the file the next full store goes to.
    QCheckBox* KeepEveryCoin = nullptr;
    QLabel* KeepEveryCoinFile = nullptr;
    QPushButton* BtnAnalysis = nullptr; // "Analysis…"
    // Under the plot: the label run's progress ("10c genuine 23/40").
    QLabel* LabelRunLabel = nullptr;
    // Single-record view: the label of the record shown.
    QLabel* RecordLabel = nullptr;

private:
    bool Confirm(const QString& text);
    // Empties the store when it holds records and the user agrees; false when refused.
    bool ConfirmReplace();
    bool ReadFile(const QString& name, QByteArray& block);
    void ShowValues(const std::array<int32_t, TWaveStore::Samples>& channel0);
    void ShowValueText(const QString& text);
    void ShowCurrentLabels();
    void SetButtonsForView(bool single);
    void ShowCaptureCounts();
    void CreateKeepEveryCoin();
    void ShowKeepEveryCoin();
    bool RollOver(TWaveStore& full, TPlotRequests& requests);
    bool ReadLabelledFile(const QString& name, QByteArray& block, TWaveLabels& read,
                          QString& warning);
    void ShowRecordLabel();
    void ShowLabelRun();
    // Tell the analysis window: records or labels changed / the current record moved.
    void RecordsChanged();
    void CurrentMoved();

    TPageHost& host;
    TWaveStore& store;
    TWaveLabels& labels;
    TWaveCapture& capture;
    TWavePlot* wavePlot = nullptr;
    std::optional<TLabelRun> labelRun;
    bool runActive = false; // stopped by the user before its count
    TNoPlot noPlot;
    TPlotRequests* plot = &noPlot;
    QButtonGroup* methodGroup = nullptr;
    std::unique_ptr<TWaveRollover> rollover; // while "keep every coin" is ticked
};
