#include "AnalysisWindow.h"

#include "AnalysisPlot.h"
#include "PlotPicture.h"
#include "PlotSvg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace {
QTableView* MakeTable(QWidget* parent, QAbstractItemModel* model) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(18);
    view->horizontalHeader()->setDefaultSectionSize(64);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every caption readable: the twenty are what the columns are compared by.
    const QFontMetrics metrics(view->horizontalHeader()->font());
    for (int c = 0; c < model->columnCount(); ++c)
        view->setColumnWidth(c, std::max(48, metrics.horizontalAdvance(
                                                 model->headerData(c, Qt::Horizontal).toString()) +
                                                 24));
    return view;
}
} // namespace

TAnalysisWindow::TAnalysisWindow(TAnalysisSource& source, QWidget* parent)
    : QWidget(parent, Qt::Window), Source(source) {
    setWindowTitle(QStringLiteral("Wave analysis"));
    resize(1120, 720);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Group:"), this));
    GroupBox = new QComboBox(this);
    GroupBox->setMinimumContentsLength(14);
    GroupBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    top->addWidget(GroupBox);
    EnvelopeCheck = new QCheckBox(QStringLiteral("Envelope on the plot"), this);
    top->addWidget(EnvelopeCheck);
    OutlierCheck = new QCheckBox(QStringLiteral("Outliers on the plot"), this);
    top->addWidget(OutlierCheck);
    top->addStretch();
    CsvLayoutBox = new QComboBox(this);
    CsvLayoutBox->addItems(
        {QStringLiteral("values"), QStringLiteral("samples"), QStringLiteral("stats")});
    top->addWidget(CsvLayoutBox);
    CsvButton = new QPushButton(QStringLiteral("Export CSV…"), this);
    PngButton = new QPushButton(QStringLiteral("Plot as PNG…"), this);
    SvgButton = new QPushButton(QStringLiteral("Plot as SVG…"), this);
    for (QPushButton* b : {CsvButton, PngButton, SvgButton})
        top->addWidget(b);

    auto* run = new QHBoxLayout;
    run->addWidget(new QLabel(QStringLiteral("Label the next"), this));
    RunCount = new QSpinBox(this);
    RunCount->setRange(1, TWaveStore::WaveMaxRecords);
    RunCount->setValue(20);
    run->addWidget(RunCount);
    run->addWidget(new QLabel(QStringLiteral("coins as"), this));
    RunKind = new QLineEdit(this);
    RunKind->setPlaceholderText(QStringLiteral("kind, e.g. 10c"));
    RunKind->setMaxLength(TWaveLabels::MaxKindBytes / 4); // any UTF-8 text fits the file
    run->addWidget(RunKind);
    run->addWidget(new QLabel(QStringLiteral("/"), this));
    RunClass = new QComboBox(this);
    for (const TCoinClass c : {TCoinClass::Genuine, TCoinClass::Fake, TCoinClass::Unknown})
        RunClass->addItem(ClassName(c));
    run->addWidget(RunClass);
    RunStart = new QPushButton(QStringLiteral("Start"), this);
    RunStop = new QPushButton(QStringLiteral("Stop"), this);
    run->addWidget(RunStart);
    run->addWidget(RunStop);
    RunProgress = new QLabel(this);
    run->addWidget(RunProgress, 1);

    Measurements = new TMeasurementModel(this);
    Measurements->OnEdit = [this](int record, const TRecordLabel& label) {
        if (const QString problem = TWaveLabels::Problem(label); !problem.isEmpty()) {
            ShowError(QStringLiteral("Record %1: %2.").arg(record).arg(problem));
            return false;
        }
        return Source.SetLabel(record, label);
    };
    SortedMeasurements = new QSortFilterProxyModel(this);
    SortedMeasurements->setSourceModel(Measurements);
    SortedMeasurements->setSortRole(TMeasurementModel::SortRole);
    MeasurementView = MakeTable(this, SortedMeasurements);
    MeasurementView->setSortingEnabled(true);
    MeasurementView->sortByColumn(TMeasurementModel::ColRecord, Qt::AscendingOrder);
    MeasurementView->setItemDelegateForColumn(TMeasurementModel::ColClass,
                                              new TClassDelegate(MeasurementView));
    MeasurementView->setEditTriggers(QAbstractItemView::DoubleClicked |
                                     QAbstractItemView::EditKeyPressed |
                                     QAbstractItemView::AnyKeyPressed);
    MeasurementView->setColumnWidth(TMeasurementModel::ColNote, 120);
    MeasurementView->setColumnWidth(TMeasurementModel::ColKind, 72);
    MeasurementView->setColumnWidth(TMeasurementModel::ColClass, 76);

    Statistics = new TStatsModel(this);
    StatsView = MakeTable(this, Statistics);
    StatsView->setSelectionMode(QAbstractItemView::NoSelection);
    StatsView->setColumnWidth(0, 110);
    // The value columns under the measurement table's, so they read as one sheet.
    for (int m = 0; m < WaveCaptions::ValueCount; ++m)
        StatsView->setColumnWidth(
            2 + m, MeasurementView->columnWidth(TMeasurementModel::FirstValueColumn + m));

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(MeasurementView);
    split->addWidget(StatsView);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    StatusLine = new QLabel(this);
    StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(run);
    layout->addWidget(split, 1);
    layout->addWidget(StatusLine);

    SaveDialog = [this](const QString& title, const QString& proposed, const QString& filter) {
        return QFileDialog::getSaveFileName(this, title, proposed, filter);
    };
    ShowError = [this](const QString& text) {
        StatusLine->setText(text);
        QMessageBox::warning(this, QString(), text);
    };

    recomputeTimer.setSingleShot(true);
    recomputeTimer.setInterval(RecomputeDelayMs);
    connect(&recomputeTimer, &QTimer::timeout, this, &TAnalysisWindow::Recompute);
    connect(MeasurementView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { RowPicked(current); });
    connect(GroupBox, &QComboBox::currentIndexChanged, this, [this] { ShowPlotAnalysis(); });
    connect(EnvelopeCheck, &QCheckBox::toggled, this, [this] { ShowPlotAnalysis(); });
    connect(OutlierCheck, &QCheckBox::toggled, this, [this] { ShowPlotAnalysis(); });
    connect(CsvButton, &QPushButton::clicked, this, &TAnalysisWindow::ExportCsv);
    connect(PngButton, &QPushButton::clicked, this, &TAnalysisWindow::ExportPng);
    connect(SvgButton, &QPushButton::clicked, this, &TAnalysisWindow::ExportSvg);
    connect(RunStart, &QPushButton::clicked, this, &TAnalysisWindow::StartRun);
    connect(RunStop, &QPushButton::clicked, this, [this] { Source.StopLabelRun(); });

    Recompute();
    LabelRunChanged();
}

TAnalysisWindow::~TAnalysisWindow() {
    // The models go before the views: a current row lost on the way is no pick.
    disconnect(MeasurementView->selectionModel(), nullptr, this, nullptr);
}

void TAnalysisWindow::SourceChanged() {
    if (!recomputeTimer.isActive())
        recomputeTimer.start();
}

void TAnalysisWindow::CurrentChanged() {
    const TWaveStore& store = Source.Store();
    Measurements->SetCurrent(store.SingleRecordView ? store.BrowseIndex : store.CurrentRecord);
    SelectCurrentRow();
}

void TAnalysisWindow::LabelRunChanged() {
    const bool active = Source.LabelRunActive();
    RunStart->setEnabled(!active);
    RunStop->setEnabled(active);
    RunProgress->setText(Source.LabelRunProgress());
}

void TAnalysisWindow::Recompute() {
    recomputeTimer.stop();
    const TWaveStore& store = Source.Store();
    table = std::make_unique<TWaveTable>(store, Source.Labels());
    analysis = Analyse(*table, TGrouping::Label);
    const int current = store.SingleRecordView ? store.BrowseIndex : store.CurrentRecord;
    Measurements->Update(table->Rows(), analysis.Outliers, current);
    Statistics->Update(analysis.Groups, analysis.Stats);
    RefreshGroups();
    ShowPlotAnalysis();
    int flagged = 0;
    for (const TOutlier& o : analysis.Outliers)
        flagged += o.Flagged ? 1 : 0;
    const size_t counted = analysis.Groups.empty() ? 0 : analysis.Groups[0].Rows.size();
    StatusLine->setText(QStringLiteral("%1 records, %2 in the statistics, %3 label groups; %4 "
                                       "flagged as outliers (score above %5)")
                            .arg(table->Rows().size())
                            .arg(counted)
                            .arg(analysis.Groups.empty() ? 0 : analysis.Groups.size() - 1)
                            .arg(flagged)
                            .arg(WaveStats::OutlierThreshold));
}

// Keeps the group picked by name while groups come and go; "all" when it went.
void TAnalysisWindow::RefreshGroups() {
    const QString chosen = GroupBox->currentText();
    QStringList names;
    for (const TGroup& g : analysis.Groups)
        names << g.Name;
    QStringList shown;
    for (int i = 0; i < GroupBox->count(); ++i)
        shown << GroupBox->itemText(i);
    if (names == shown)
        return;
    const QSignalBlocker quiet(GroupBox);
    GroupBox->clear();
    GroupBox->addItems(names);
    GroupBox->setCurrentIndex(std::max(0, static_cast<int>(names.indexOf(chosen))));
}

void TAnalysisWindow::ShowPlotAnalysis() {
    TPlot& plot = Source.Plot();
    const int group = GroupBox->currentIndex();
    if (EnvelopeCheck->isChecked() && group >= 0 &&
        group < static_cast<int>(analysis.Envelopes.size()))
        plot.ShowBand(AnalysisPlot::BandOf(analysis.Envelopes[static_cast<size_t>(group)]));
    else if (plot.BandShown())
        plot.HideBand();
    plot.ShowOutliers(OutlierCheck->isChecked() && table
                          ? AnalysisPlot::FlaggedSlots(*table, analysis.Outliers)
                          : std::array<bool, TWaveStore::WaveMaxRecords>{});
}

void TAnalysisWindow::RowPicked(const QModelIndex& current) {
    if (picking || !current.isValid())
        return;
    const int record = Measurements->RecordAt(SortedMeasurements->mapToSource(current).row());
    if (record >= 0)
        Source.ShowRecord(record);
}

void TAnalysisWindow::SelectCurrentRow() {
    const TWaveStore& store = Source.Store();
    const int record = store.SingleRecordView ? store.BrowseIndex : store.CurrentRecord;
    const int row = Measurements->RowOf(record);
    const QModelIndex current = MeasurementView->currentIndex();
    if (row < 0 || (current.isValid() && SortedMeasurements->mapToSource(current).row() == row))
        return;
    // The column stays, so typing goes on into the cell the user was editing.
    const int column = current.isValid() ? current.column() : 0;
    const QModelIndex at = SortedMeasurements->mapFromSource(Measurements->index(row, column));
    picking = true;
    MeasurementView->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
    picking = false;
}

void TAnalysisWindow::StartRun() {
    const TRecordLabel label{RunKind->text().trimmed(),
                             ClassFromName(RunClass->currentText()).value_or(TCoinClass::Unknown),
                             false, QString()};
    if (const QString problem = TWaveLabels::Problem(label); !problem.isEmpty()) {
        ShowError(QStringLiteral("The kind cannot be kept: %1.").arg(problem));
        return;
    }
    Source.StartLabelRun(label, RunCount->value());
}

QString TAnalysisWindow::AskFile(const QString& title, const QString& proposed,
                                 const QString& filter) {
    return SaveDialog(title, proposed, filter);
}

void TAnalysisWindow::Written(const QString& path) {
    StatusLine->setText(QStringLiteral("Written: %1").arg(QDir::toNativeSeparators(path)));
}

void TAnalysisWindow::ExportCsv() {
    const QString layoutName = CsvLayoutBox->currentText();
    const auto layout = WaveCsv::LayoutFromName(layoutName);
    if (!layout)
        return;
    Recompute(); // exactly what the store holds now
    const QString path = AskFile(QStringLiteral("Export CSV"), layoutName + QStringLiteral(".csv"),
                                 QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!WaveCsv::WriteWhole(path, WaveCsv::Build(*table, *layout), error))
        ShowError(error);
    else
        Written(path);
}

void TAnalysisWindow::ExportPng() {
    const QString path = AskFile(QStringLiteral("Plot as PNG"), QStringLiteral("plot.png"),
                                 QStringLiteral("PNG images (*.png)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!PlotPicture::SavePng(path, PlotPicture::Raster(Source.Plot()), error))
        ShowError(error);
    else
        Written(path);
}

void TAnalysisWindow::ExportSvg() {
    const QString path = AskFile(QStringLiteral("Plot as SVG"), QStringLiteral("plot.svg"),
                                 QStringLiteral("SVG images (*.svg)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!PlotSvg::Save(path, Source.Plot(), error))
        ShowError(error);
    else
        Written(path);
}
