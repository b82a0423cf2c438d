// Shows one plot surface and hands it the mouse: a thin widget over TPixelSurface.
#pragma once

#include <QWidget>

class TPixelSurface;

class TSurfaceView final : public QWidget {
public:
    TSurfaceView(TPixelSurface& surface, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    TPixelSurface& Surface;
};
