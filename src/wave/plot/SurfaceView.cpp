#include "SurfaceView.h"

#include "PixelSurface.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

TSurfaceView::TSurfaceView(TPixelSurface& surface, QWidget* parent)
    : QWidget(parent), Surface(surface) {
    setFixedSize(surface.Width(), surface.Height());
    setMouseTracking(true); // the cursor follows the pointer without a button held
    setAttribute(Qt::WA_OpaquePaintEvent);
    Surface.OnChanged = [this](const QRect& rect) { update(rect); };
}

void TSurfaceView::paintEvent(QPaintEvent* event) {
    const QImage& image = Surface.Composite();
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& rect : event->region())
        painter.drawImage(rect, image, rect);
}

// Positions in surface pixels; a drag past the edge gives positions outside it.
void TSurfaceView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Surface.MouseMove(p.x(), p.y());
}

void TSurfaceView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Surface.MousePress(p.x(), p.y());
}
