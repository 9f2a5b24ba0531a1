#pragma once
// Drawing by hand straight into the pixels a raster painter draws on, for what the stage
// draws most often. Small pictures: Qt's drawImage spends a few hundred nanoseconds a
// call before it touches a pixel, and a frame stamps thousands of particles of a few
// dozen pixels each. Rings: Qt hands a smoothed stroke of more than a few dozen spans to
// its thread pool, and waking the pool costs far more than the ring. Short lines (a
// rope's pieces, a flea's limbs): Qt's stroker costs thousands of instructions a line
// before it reaches the few dozen pixels the line covers.
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

    std::uint32_t* row(int y) const {
        return reinterpret_cast<std::uint32_t*>(reinterpret_cast<uchar*>(bits) + y * bytesPerLine);
    }
};

// The pixels `painter` draws on when it is a raster painter on a premultiplied ARGB32
// image (a widget's backing store or an image), limited to its system clip; none when
// that clip is not one rectangle or the painter draws any other way.
std::optional<PixelTarget> pixelTargetOf(QPainter& painter);

// A small premultiplied ARGB32 picture as stamping reads it: its rows, and the box of its
// pixels that hold any ink (the clear margin kept around a shape for its smoothed edge
// adds nothing). The image it comes from must outlive it.
struct PixelPicture {
    const std::uint32_t* bits = nullptr;
    qsizetype bytesPerLine = 0;
    QRect ink;  // in the picture's pixels; empty when it is all clear
};

// None for an image of any other format.
std::optional<PixelPicture> pixelPictureOf(const QImage& image);

// Source-over of `picture` with its top-left pixel at `at`, its alpha scaled by
// `opacity` (0...1); what falls outside the target's area is left out.
void stampOver(const PixelTarget& target, const PixelPicture& picture, QPoint at, double opacity);

// Source-over of a smoothed ring in a premultiplied colour: the band of `width` centred on
// the circle of `radius` around `centre`, all in the target's pixels (a pixel's centre is
// at half-pixel coordinates). Each pixel is covered as far as the band overlaps it across
// the circle, which is what a smoothed stroke gives to within a small fraction of a pixel.
void strokeRing(const PixelTarget& target, QPointF centre, double radius, double width,
                QRgb premultipliedColor);

// Source-over of a smoothed line from `from` to `to` of `width` with flat ends, in a
// premultiplied colour, in the target's pixels. A pixel is covered as far as the line
// overlaps it across and along the line, which is what a smoothed stroke gives to within
// a small fraction of a pixel.
void strokeSegment(const PixelTarget& target, QPointF from, QPointF to, double width,
                   QRgb premultipliedColor);

}  // namespace tw
