// The analysis window over a real Get_Wave page: a picked row redraws the plot as Last
// does, label edits reach the page, the window follows the store, the band and the
// outliers reach the plot, and what it exports is what the store and the screen hold.
#include "AnalysisTestData.h"
#include "AnalysisWindow.h"
#include "CsvReader.h"
#include "FakeHost.h"
#include "Messages.h"
#include "PlotMath.h"
#include "SurfaceView.h"
#include "WaveFile.h"
#include "WavePage.h"
#include "WavePlot.h"
#include "WaveTestData.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
// A page with its store, labels and capture, as the main window holds them.
struct TPageUnderTest {
    TFakeHost host;
    std::unique_ptr<TWaveStore> store = std::make_unique<TWaveStore>();
    TWaveLabels labels;
    TWaveCapture capture;
    std::unique_ptr<TWavePage> page = std::make_unique<TWavePage>(host, *store, labels, capture);

    TPageUnderTest() { page->CreateValueRows(); } // as opening the page does

    // Loads `path` as the user would.
    void Load(const QString& path) {
        page->OpenD = [path] { return path; };
        page->BtnOpenClick();
    }
    TAnalysisWindow& Window() {
        page->BtnAnalysisClick();
        return *page->Analysis;
    }
    TWavePlot& Plot() { return *static_cast<TWavePlot*>(page->Panel1); }
};

// Six coins alike and one whose coil sags far deeper: an outlier.
QString SevenCoins(const QTemporaryDir& dir) {
    TWaveStore store;
    for (int r = 0; r < 7; ++r)
        PutCoin(store, r, {40 + r % 2, r == 6 ? 150 : 60, 10 * r, r});
    store.RecordCount = 7;
    const QString path = dir.filePath(QStringLiteral("seven.bwv"));
    QString error;
    return WaveFile::Save(path, store, error) ? path : QString();
}

QString SameComposites(TWavePlot& a, TWavePlot& b) {
    for (int i = -1; i <= TPlot::StripCount; ++i) {
        TPixelSurface& x = i < 0 ? a.Plot().Large() : i == 6 ? a.Plot().Scale() : a.Plot().Strip(i);
        TPixelSurface& y = i < 0 ? b.Plot().Large() : i == 6 ? b.Plot().Scale() : b.Plot().Strip(i);
        if (x.Composite() != y.Composite())
            return QStringLiteral("surface %1 differs").arg(i);
    }
    return {};
}

QModelIndex Cell(TAnalysisWindow& w, int record, int column) {
    return w.Measurements->index(w.Measurements->RowOf(record), column);
}
} // namespace

class TstAnalysisWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void pickedRowRedrawsAsLastDoes_data();
    void pickedRowRedrawsAsLastDoes();
    void labelsEditedInTheTable();
    void followsTheStore();
    void bandAndOutliersOnThePlot();
    void exportsWhatTheStoreAndScreenHold();

private:
    QTemporaryDir dir;
    QString seven;
};

void TstAnalysisWindow::initTestCase() {
    Messages::SetHandler([](const TMessage&) { return QMessageBox::Ok; });
    seven = SevenCoins(dir);
    QVERIFY(!seven.isEmpty());
}

void TstAnalysisWindow::pickedRowRedrawsAsLastDoes_data() {
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<int>("row"); // the row of record 5, which one Last reaches from 6
    QTest::newRow("by record") << int(TMeasurementModel::ColRecord) << false << 5;
    // DROP1 CNT is 10 * record.
    QTest::newRow("by DROP1 CNT, falling") << int(TMeasurementModel::FirstValueColumn) << true << 1;
}

void TstAnalysisWindow::pickedRowRedrawsAsLastDoes() {
    QFETCH(int, sortColumn);
    QFETCH(bool, descending);
    QFETCH(int, row);
    TPageUnderTest picked, pressed;
    picked.Load(seven);
    pressed.Load(seven);
    TAnalysisWindow& w = picked.Window();
    w.MeasurementView->sortByColumn(sortColumn,
                                    descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    w.MeasurementView->setCurrentIndex(w.SortedMeasurements->index(row, 0));
    pressed.page->Button5Click();
    QCOMPARE(picked.store->CurrentRecord, 5);
    QCOMPARE(picked.store->PreviousRecord, 6);
    QCOMPARE(picked.page->Label6->text(), QStringLiteral("5"));
    QCOMPARE(picked.page->Label28->text(), pressed.page->Label28->text());
    QCOMPARE(picked.page->ValueBoxes[0]->text(), QStringLiteral("50"));
    QCOMPARE(SameComposites(picked.Plot(), pressed.Plot()), QString());
    // The window marks the current record; a move on the page moves the mark.
    pressed.Window();
    pressed.page->Button5Click();
    QCOMPARE(pressed.page->Analysis->Measurements
                 ->data(Cell(*pressed.page->Analysis, 4, 0), Qt::FontRole)
                 .value<QFont>()
                 .bold(),
             true);
}

void TstAnalysisWindow::labelsEditedInTheTable() {
    TPageUnderTest t;
    t.Load(seven);
    TAnalysisWindow& w = t.Window();
    QVERIFY(w.Measurements->setData(Cell(w, 2, TMeasurementModel::ColKind), " 10c ", Qt::EditRole));
    QVERIFY(w.Measurements->setData(Cell(w, 2, TMeasurementModel::ColClass), "fake", Qt::EditRole));
    QVERIFY(w.Measurements->setData(Cell(w, 3, TMeasurementModel::ColExcluded), Qt::Checked,
                                    Qt::CheckStateRole));
    QVERIFY(w.Measurements->setData(Cell(w, 3, TMeasurementModel::ColNote), "bent", Qt::EditRole));
    QCOMPARE(t.labels.At(2), (TRecordLabel{"10c", TCoinClass::Fake, false, QString()}));
    QCOMPARE(t.labels.At(3), (TRecordLabel{QString(), TCoinClass::Unknown, true, "bent"}));
    // Refused: no such class, and a kind longer than the file can keep.
    QString told;
    w.ShowError = [&](const QString& text) { told = text; };
    QVERIFY(
        !w.Measurements->setData(Cell(w, 2, TMeasurementModel::ColClass), "brass", Qt::EditRole));
    QVERIFY(!w.Measurements->setData(Cell(w, 2, TMeasurementModel::ColKind), QString(300, u'x'),
                                     Qt::EditRole));
    QVERIFY2(told.contains(QStringLiteral("255 bytes")), qPrintable(told));
    QCOMPARE(t.labels.At(2).Kind, QStringLiteral("10c"));
    w.Recompute();
    QCOMPARE(w.Analysis().Groups.size(), size_t{2});
    QCOMPARE(w.Analysis().Groups[1].Name, QStringLiteral("10c/fake"));
    QCOMPARE(w.Analysis().Groups[0].Rows.size(), size_t{6}); // record 3 excluded
    QCOMPARE(w.Statistics->rowCount(), 2 * TStatsModel::StatsPerGroup);
}

void TstAnalysisWindow::followsTheStore() {
    TPageUnderTest t;
    TAnalysisWindow& w = t.Window();
    QCOMPARE(w.Measurements->rowCount(), 0);
    int64_t now = 0;
    t.page->Ticks = [&] { return now += 10; };
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 6; ++c)
            t.page->ReadWavePackets(Span(Packet(c, SamplesFor(6 * r + c))));
    // A burst of coins is analysed once, shortly after.
    QCOMPARE(w.Measurements->rowCount(), 0);
    QTRY_COMPARE(w.Measurements->rowCount(), 3);
    t.page->btnDelOneClick();
    QTRY_COMPARE(w.Measurements->rowCount(), 2);
    t.page->btnNewClick();
    QTRY_COMPARE(w.Measurements->rowCount(), 0);
}

void TstAnalysisWindow::bandAndOutliersOnThePlot() {
    TPageUnderTest t;
    t.Load(seven);
    TAnalysisWindow& w = t.Window();
    TPlot& plot = t.Plot().Plot();
    QVERIFY(w.Analysis().Outliers[6].Flagged);
    for (int r = 0; r < 6; ++r)
        QVERIFY(!w.Analysis().Outliers[static_cast<size_t>(r)].Flagged);
    QVERIFY(w.Measurements->data(Cell(w, 6, 0), Qt::BackgroundRole).isValid());

    w.OutlierCheck->setChecked(true);
    QVERIFY(plot.OutlierShown(6));
    t.page->Button5Click(); // record 6 leaves the highlight for the outlier colour
    const auto count = [](const QImage& image, uint32_t colour) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == colour;
        return n;
    };
    QVERIFY(count(plot.Strip(0).Composite(), PlotMath::OutlierColour) > 0);

    w.EnvelopeCheck->setChecked(true);
    QVERIFY(plot.BandShown());
    for (int i = 0; i < TPlot::StripCount; ++i)
        QCOMPARE(plot.Strip(i).Stack().front(), plot.BandLayer(i));
    QCOMPARE(plot.Large().Stack().front(), plot.BandLayer(TPlot::LargeSurface));
    QVERIFY(count(plot.Strip(0).Composite(), PlotMath::BandColour) > 0);
    // The band of "all" reaches as deep as the odd coin's coil.
    const TEnvelope& all = w.Analysis().Envelopes[0];
    QCOMPARE(plot.ShownBand()->Lower[0][100], all.Min[0][100]);

    w.EnvelopeCheck->setChecked(false);
    w.OutlierCheck->setChecked(false);
    QVERIFY(!plot.BandShown());
    QVERIFY(!plot.OutlierShown(6));
    QCOMPARE(count(plot.Strip(0).Composite(), PlotMath::OutlierColour), 0);
}

void TstAnalysisWindow::exportsWhatTheStoreAndScreenHold() {
    TPageUnderTest t;
    t.Load(seven);
    TAnalysisWindow& w = t.Window();
    w.EnvelopeCheck->setChecked(true);
    t.page->resize(1200, 760);
    t.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(t.page.get()));
    QString answer;
    w.SaveDialog = [&](const QString&, const QString&, const QString&) { return answer; };
    QString told;
    w.ShowError = [&](const QString& text) { told = text; };

    answer = dir.filePath(QStringLiteral("values.csv"));
    w.CsvLayoutBox->setCurrentText(QStringLiteral("values"));
    w.ExportCsv();
    QFile csv(answer);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QList<QStringList> records;
    QVERIFY(ReadCsv(csv.readAll(), records));
    QCOMPARE(records.size(), 1 + 7);
    for (int r = 0; r < 7; ++r)
        for (int m = 0; m < 20; ++m)
            QCOMPARE(records[r + 1][5 + m].toInt(),
                     t.store->WaveSamples[0][static_cast<size_t>(r)][static_cast<size_t>(250 + m)]);

    // The PNG holds what the page's views show, in their places.
    answer = dir.filePath(QStringLiteral("plot.png"));
    w.ExportPng();
    const QImage png = QImage(answer).convertToFormat(QImage::Format_RGB32);
    for (TSurfaceView* view :
         {t.Plot().StripViews[0], t.Plot().StripViews[5], t.Plot().LargeView, t.Plot().Image321}) {
        const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(png.copy(QRect(view->pos(), view->size())), shown);
    }
    // Between the strips the panel shows, in the picture as on screen.
    const QImage panel = t.Plot().grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(png.copy(QRect(50, 70, 900, 1)), panel.copy(QRect(50, 70, 900, 1)));

    answer = dir.filePath(QStringLiteral("missing folder/plot.svg"));
    w.ExportSvg();
    QVERIFY2(told.contains(QStringLiteral("plot.svg")), qPrintable(told));
    QVERIFY(!QFile::exists(answer));
}

QTEST_MAIN(TstAnalysisWindow)
#include "tst_analysis_window.moc"
