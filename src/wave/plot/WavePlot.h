// The plot panel of the Get_Wave page (Panel1): six channel strips with their channel
// selectors, ChannelCaption, the large plot and the scale strip Image321, drawing the
// records of the wave store as the store and capture request.
#pragma once

#include "Plot.h"
#include "PlotRequests.h"

#include <QFrame>

#include <array>
#include <memory>

class QComboBox;
class QLabel;
class QToolButton;
class TSurfaceView;
struct TWaveStore;

class TWavePlot final : public QFrame, public TPlotRequests {
public:
    explicit TWavePlot(TWaveStore& store, QWidget* parent = nullptr);
    ~TWavePlot() override;

    void AddStripLayer(int strip, int record) override { Model->AddStripLayer(strip, record); }
    void AddLargeLayer(int record) override { Model->AddLargeLayer(record); }
    void DrawStripRecord(int strip, int record, int previous) override {
        Model->DrawStripRecord(strip, record, previous);
    }
    void DrawLargeRecord(int strip, int record, int previous) override {
        Model->DrawLargeRecord(strip, record, previous);
    }
    void FreeStripLayer(int strip, int record) override { Model->FreeStripLayer(strip, record); }
    void FreeLargeLayer(int record) override { Model->FreeLargeLayer(record); }
    void ClearStripLayer(int strip, int record) override { Model->ClearStripLayer(strip, record); }
    void ClearLargeLayer(int record) override { Model->ClearLargeLayer(record); }
    void RaiseStripLayer(int strip, int record) override { Model->RaiseStripLayer(strip, record); }
    void RaiseLargeLayer(int record) override { Model->RaiseLargeLayer(record); }
    void RaiseTopLayer(int strip) override { Model->RaiseTopLayer(strip); }
    void RaiseOverlayLayers() override { Model->RaiseOverlayLayers(); }
    void SetChannelCaption(const QString& text) override { Model->SetChannelCaption(text); }

    TPlot& Plot() { return *Model; }

    std::array<QComboBox*, TPlot::StripCount> ChannelSelectors{};
    std::array<TSurfaceView*, TPlot::StripCount> StripViews{};
    TSurfaceView* LargeView = nullptr;
    TSurfaceView* Image321 = nullptr;
    QLabel* ChannelCaption = nullptr;
    // Threshold buttons of the design: never shown, bound to nothing.
    QToolButton* SUpLineUp = nullptr;
    QToolButton* SUpLineDown = nullptr;
    QToolButton* SDownLineUp = nullptr;
    QToolButton* SDownLineDown = nullptr;

private:
    std::unique_ptr<TPlot> Model;
};
