#include "windows/inner_life/canvas_widget.h"

#include <QPainter>

namespace tw {

CanvasWidget::CanvasWidget(Painter painter, QWidget* parent)
    : QWidget(parent), painter_(std::move(painter)) {}

void CanvasWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterCanvas canvas(painter, &cache_);
    painter_(canvas, Size{static_cast<double>(width()), static_cast<double>(height())});
}

}  // namespace tw
