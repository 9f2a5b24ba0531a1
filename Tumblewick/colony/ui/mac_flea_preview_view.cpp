#include "Tumblewick/colony/ui/mac_flea_preview_view.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "platform/qt/qpainter_canvas.h"

namespace tw {

MacFleaPreviewView::MacFleaPreviewView(QWidget* parent) : QWidget(parent) {
    setFixedHeight(120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(static_cast<int>(std::lround(1000.0 / previewTicksPerSecond)));
    connect(&timer_, &QTimer::timeout, this, &MacFleaPreviewView::tick);
}

void MacFleaPreviewView::tick() {
    phase_ += previewPhaseStep;
    update();
}

// A hidden preview (a closed window, another flea chosen) costs nothing.
void MacFleaPreviewView::showEvent(QShowEvent* event) {
    timer_.start();
    QWidget::showEvent(event);
}

void MacFleaPreviewView::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

void MacFleaPreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath backdrop;
    backdrop.addRoundedRect(QRectF(rect()), 12, 12);
    painter.fillPath(backdrop, QColor::fromRgbF(0.12f, 0.12f, 0.12f));
    painter.setClipPath(backdrop);
    QPainterCanvas canvas(painter);
    paintFleaPreview(canvas, width(), height(), look_, phase_);
}

}  // namespace tw
