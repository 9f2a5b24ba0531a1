#pragma once
// The floor a stage frame is measured against in the same run: clearing a strip-sized
// translucent image through the canvas, and nothing else.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "platform/qt/qpainter_canvas.h"

namespace tw::bench {

inline void clearStripBaseline(benchmark::State& state, int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        QPainterCanvas canvas(painter);
        canvas.clearRect(Rect{0, 0, static_cast<double>(width), static_cast<double>(height)});
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

}  // namespace tw::bench
