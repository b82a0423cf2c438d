// The analysis window of the Get_Wave page: every record's measurements and label in a
// sortable table, the statistics of every label group, outliers, the envelope band on
// the page's plot, labelling while capturing, and export as CSV, PNG and SVG. Not
// modal; it follows the store as the page reports changes.
#pragma once

#include "AnalysisModels.h"
#include "AnalysisSource.h"
#include "WaveCsv.h"
#include "WaveStats.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSpinBox;
class QTableView;

class TAnalysisWindow final : public QWidget {
public:
    // Coalesces the page's reports: a burst of coins is analysed once.
    static constexpr int RecomputeDelayMs = 50;

    explicit TAnalysisWindow(TAnalysisSource& source, QWidget* parent = nullptr);
    ~TAnalysisWindow() override;

    // The page's reports. Records or labels changed: analysed again shortly.
    void SourceChanged();
    // The current record moved (Next, Last, a new coin, a row picked here).
    void CurrentChanged();
    // A label run started, advanced or stopped.
    void LabelRunChanged();

    // Analyses now, rather than after the delay.
    void Recompute();

    // Export, by the layout or format named; the file names come from the dialog.
    void ExportCsv();
    void ExportPng();
    void ExportSvg();

    // The save dialog (title, proposed name, filter); returns the name, empty when
    // cancelled. Tests answer it.
    std::function<QString(const QString&, const QString&, const QString&)> SaveDialog;
    // Shows what went wrong (or right): a line under the tables, and for failures a box.
    std::function<void(const QString&)> ShowError;

    const TAnalysis& Analysis() const { return analysis; }

    QTableView* MeasurementView = nullptr;
    QTableView* StatsView = nullptr;
    QComboBox* GroupBox = nullptr; // the group whose envelope the band shows
    QCheckBox* EnvelopeCheck = nullptr;
    QCheckBox* OutlierCheck = nullptr;
    QComboBox* CsvLayoutBox = nullptr;
    QPushButton* CsvButton = nullptr;
    QPushButton* PngButton = nullptr;
    QPushButton* SvgButton = nullptr;
    QSpinBox* RunCount = nullptr;
    QLineEdit* RunKind = nullptr;
    QComboBox* RunClass = nullptr;
    QPushButton* RunStart = nullptr;
    QPushButton* RunStop = nullptr;
    QLabel* RunProgress = nullptr;
    QLabel* StatusLine = nullptr;

    TMeasurementModel* Measurements = nullptr;
    TStatsModel* Statistics = nullptr;
    QSortFilterProxyModel* SortedMeasurements = nullptr;

private:
    void RowPicked(const QModelIndex& current);
    void SelectCurrentRow();
    void ShowPlotAnalysis();
    void RefreshGroups();
    void StartRun();
    QString AskFile(const QString& title, const QString& proposed, const QString& filter);
    void Written(const QString& path);

    TAnalysisSource& Source;
    TAnalysis analysis;
    std::unique_ptr<TWaveTable> table;
    QTimer recomputeTimer;
    bool picking = false; // a row selected by the window, not the user
};
