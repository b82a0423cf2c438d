#include "Plot.h"
#include "PlotMath.h"
#include "SurfaceView.h"
#include "WavePlot.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>

#include <memory>

class TstWavePlot : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void partsStandWhereTheDesignPutsThem_data();
    void partsStandWhereTheDesignPutsThem();
    void selectorsOfferTwentyChannels();
    void pickedOrTypedChannelRedrawsTheStrip_data();
    void pickedOrTypedChannelRedrawsTheStrip();
    void pointerAndPressReachThePlot();

private:
    // A record as capture files it, through the requests the store and capture use.
    void Capture(int value);
    std::unique_ptr<TWaveStore> Store;
    std::unique_ptr<TWavePlot> Panel;
};

void TstWavePlot::init() {
    Store = std::make_unique<TWaveStore>();
    Panel = std::make_unique<TWavePlot>(*Store);
}

void TstWavePlot::cleanup() {
    Panel.reset();
    Store.reset();
}

void TstWavePlot::Capture(int value) {
    TPlotRequests& requests = *Panel;
    const int n = Store->RecordCount;
    for (int c = 0; c < TWaveStore::Channels; ++c)
        std::fill_n(Store->WaveSamples[static_cast<size_t>(c)][static_cast<size_t>(n)].begin(), 299,
                    value + 10 * c);
    requests.AddLargeLayer(n);
    requests.RaiseOverlayLayers();
    for (int j = 0; j < TPlot::StripCount; ++j) {
        requests.AddStripLayer(j, n);
        requests.DrawStripRecord(j, n, n - 1);
    }
    Store->CurrentRecord = n;
    Store->RecordCount = n + 1;
}

void TstWavePlot::partsStandWhereTheDesignPutsThem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    for (int i = 0; i < TPlot::StripCount; ++i)
        QTest::addRow("strip %d", i)
            << QStringLiteral("Strip%1").arg(i) << QRect(50, 71 * i, 900, 70);
    QTest::newRow("large plot") << "LargePlot" << QRect(50, 432, 900, 231);
    QTest::newRow("scale strip") << "Image321" << QRect(50, 668, 920, 25);
}

void TstWavePlot::partsStandWhereTheDesignPutsThem() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QCOMPARE(Panel->size(), QSize(977, 697));
    QCOMPARE(Panel->frameShadow(), QFrame::Sunken);
    const auto* view = Panel->findChild<TSurfaceView*>(name);
    QVERIFY(view);
    QCOMPARE(view->geometry(), geometry);
}

void TstWavePlot::selectorsOfferTwentyChannels() {
    for (int i = 0; i < TPlot::StripCount; ++i) {
        QComboBox* selector = Panel->ChannelSelectors[static_cast<size_t>(i)];
        QCOMPARE(selector->count(), 20);
        QCOMPARE(selector->itemText(19), QStringLiteral("ch19"));
        QCOMPARE(selector->currentIndex(), i);
        QCOMPARE(selector->geometry().topLeft(), QPoint(1, 71 * i + 4));
        QCOMPARE(selector->width(), 48);
    }
    QCOMPARE(Panel->ChannelCaption->geometry().topLeft(), QPoint(2, 432));
    QCOMPARE(Panel->ChannelCaption->width(), 45);
    QCOMPARE(Panel->ChannelCaption->text(), QString());
    for (QToolButton* b :
         {Panel->SUpLineUp, Panel->SUpLineDown, Panel->SDownLineUp, Panel->SDownLineDown})
        QVERIFY(b->isHidden());
}

void TstWavePlot::pickedOrTypedChannelRedrawsTheStrip_data() {
    QTest::addColumn<bool>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    QTest::newRow("ch3 picked") << false << "ch3" << 3;
    QTest::newRow("ch3 typed") << true << "ch3" << 3;
    QTest::newRow("typed text naming no entry") << true << "c" << -1;
}

void TstWavePlot::pickedOrTypedChannelRedrawsTheStrip() {
    QFETCH(bool, typed);
    QFETCH(QString, text);
    QFETCH(int, index);
    Capture(100);
    Capture(150);
    QComboBox* selector = Panel->ChannelSelectors[0];
    if (typed) {
        selector->lineEdit()->clear();
        QTest::keyClicks(selector->lineEdit(), text);
    } else {
        selector->setCurrentIndex(index);
    }
    TPlot& plot = Panel->Plot();
    QCOMPARE(plot.SelectorIndex(0), index);
    QCOMPARE(plot.SelectorText(0), text);
    // Channel 3 is 30 above channel 0: the newest record's row moves up with it.
    const QImage strip = plot.Strip(0).Composite();
    const int row3 = 69 - static_cast<int>(PlotMath::TraceHeight(PlotMath::TTraceKind::Strip, 180));
    const uint32_t expected = index == 3 ? PlotMath::HighlightColour : PlotMath::PlotBackground;
    QCOMPARE(reinterpret_cast<const uint32_t*>(strip.constScanLine(row3))[450], expected);
}

void TstWavePlot::pointerAndPressReachThePlot() {
    Capture(100);
    TSurfaceView* strip4 = Panel->StripViews[4];
    QMouseEvent move(QEvent::MouseMove, QPointF(301, 20), QPointF(301, 20), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(strip4, &move);
    QCOMPARE(Panel->Plot().CursorSample, 100);
    QTest::mouseClick(strip4, Qt::RightButton, {}, QPoint(10, 10)); // any button
    QCOMPARE(Store->SelectedChannel, 4);
    QCOMPARE(Panel->ChannelCaption->text(), QStringLiteral("ch4"));
    // What the view paints is the surface's composite.
    const QImage shown = strip4->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shown, Panel->Plot().Strip(4).Composite());
}

QTEST_MAIN(TstWavePlot)
#include "tst_wave_plot.moc"
