#pragma once
// Blends a small premultiplied picture straight into the pixels a raster painter draws
// on. Qt's drawImage spends a few hundred nanoseconds a call before it touches a pixel,
// and the stage stamps thousands of particles a frame of a few dozen pixels each.
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <optional>

namespace tw {

// Rows of premultiplied ARGB32 pixels, and the part of them a painter may touch.
struct PixelTarget {
    std::uint32_t* bits = nullptr;
    qsizetype bytesPerLine = 0;
    QRect area;
};

// The pixels `painter` draws on when it is a raster painter on a premultiplied ARGB32
// image (a widget's backing store or an image), limited to its system clip; none when
// that clip is not one rectangle or the painter draws any other way.
std::optional<PixelTarget> pixelTargetOf(QPainter& painter);

// Source-over of `picture` (premultiplied ARGB32) with its top-left pixel at `at`, its
// alpha scaled by `opacity` (0...1); what falls outside the target's area is left out.
void stampOver(const PixelTarget& target, const QImage& picture, QPoint at, double opacity);

}  // namespace tw
