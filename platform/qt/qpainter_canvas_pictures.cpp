// Stamping cached pictures: rendered once at the device's density, then blended by hand
// (small ones) or drawn by the painter (the rest) wherever they are asked for.
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/qt/direct_pixels.h"
#include "platform/qt/qpainter_canvas.h"
#include "platform/qt/qpainter_canvas_caches.h"

namespace tw {
namespace {

// Rounded half up, inline: the library's rounding is a call, and this runs for every stamp.
int nearestPixel(double v) {
    const double up = std::clamp(v, -1e9, 1e9) + 0.5;
    const auto truncated = static_cast<int>(up);
    return truncated - (up < truncated ? 1 : 0);
}

// The size a picture that scales with its size is rendered at: the next step at or
// above it on a ladder of 2^(1/8) (a ninth apart). Stamped scaled down to the size
// asked for, what does not scale with it (a shadow's offset of a few points) lands
// within a few tenths of a pixel of where drawing at that size puts it. Zero where the
// size is no number the ladder holds: rendered as asked.
double renderedSize(double size) {
    if (!(size > 0) || !(size < 1e6)) return 0;
    constexpr double stepsPerDoubling = 8;
    return std::exp2(std::ceil(std::log2(size) * stepsPerDoubling) / stepsPerDoubling);
}

// Qt hands a filtered fill of more than 95 spans (up to three a row where the edges are
// smoothed) to its thread pool, and waking the pool costs far more than the fill: a tall
// picture is drawn a band of rows at a time, each clipped out of the whole picture so that
// filtering reads across the seams and the result is the same pixels.
void drawFilteredInBands(QPainter& painter, const QRectF& target, const QImage& image) {
    constexpr int kRowsPerBand = 24;
    const QTransform& device = painter.deviceTransform();
    const QRectF onDevice = device.mapRect(target);
    const int top = static_cast<int>(std::floor(onDevice.top()));
    const int bottom = static_cast<int>(std::ceil(onDevice.bottom()));
    if (bottom - top <= kRowsPerBand || device.type() > QTransform::TxScale) {
        painter.drawImage(target, image);
        return;
    }
    const QTransform toLogical = device.inverted();
    for (int y = top; y < bottom; y += kRowsPerBand) {
        const QRectF band(onDevice.left() - 1, y, onDevice.width() + 2, std::min(kRowsPerBand, bottom - y));
        painter.save();
        painter.setClipRect(toLogical.mapRect(band), Qt::IntersectClip);
        painter.drawImage(target, image);
        painter.restore();
    }
}

}  // namespace

const QPainterCanvas::Placement& QPainterCanvas::placement() {
    if (placement_) return *placement_;
    Placement place;
    const QTransform& world = painter_.worldTransform();
    place.plainScale = world.type() <= QTransform::TxScale && world.m11() > 0 && world.m11() == world.m22();
    place.worldScale = world.m11();
    const QTransform& device = painter_.deviceTransform();
    place.direct = pixels_ && !painter_.hasClipping() &&
                   painter_.compositionMode() == QPainter::CompositionMode_SourceOver &&
                   device.type() <= QTransform::TxScale && device.m11() > 0 && device.m11() == device.m22();
    place.deviceScale = device.m11();
    place.deviceOffset = QPointF(device.dx(), device.dy());
    place.opacity = painter_.opacity();
    return placement_.emplace(place);
}

void QPainterCanvas::drawCachedPicture(const PictureKey& key, Rect bounds, Point origin, double opacity,
                                       const PicturePainter& draw) {
    const Placement& place = placement();
    if (cache_ == nullptr || !place.plainScale || hasShadow())
        return Canvas::drawCachedPicture(key, bounds, origin, opacity, draw);
    if (!(opacity > 0)) return;  // nothing would show
    // Rendered at the device's pixel density, so stamping is a plain (sub-pixel) blit.
    const double ratio = pixelRatio_;
    const double scale = place.worldScale * ratio;
    // A picture that scales with its size is kept at a step of a ladder of sizes: drawn
    // now magnified to the step, later stamped shrunk to whatever size is asked for.
    PictureKey kept = key;
    kept.scalesWith = renderedSize(key.scalesWith);
    const double magnify = kept.scalesWith > 0 ? kept.scalesWith / key.scalesWith : 1;
    const int width = static_cast<int>(std::ceil(bounds.width * scale * magnify));
    const int height = static_cast<int>(std::ceil(bounds.height * scale * magnify));
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        return Canvas::drawCachedPicture(key, bounds, origin, opacity, draw);
    }
    std::optional<QPainterCanvasCache::Impl::Picture> fresh;
    const auto& found =
        cache_->impl_->picture(QPainterCanvasCache::Impl::pictureKey(kept, scale), fresh, [&](auto& made) {
            made.image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
            made.image.fill(Qt::transparent);
            made.bounds =
                Rect{bounds.x * magnify, bounds.y * magnify, bounds.width * magnify, bounds.height * magnify};
            QPainter p(&made.image);
            p.scale(scale * magnify, scale * magnify);
            p.translate(-bounds.x, -bounds.y);
            QPainterCanvas canvas(p, cache_);
            draw(canvas, Point{0, 0}, 1.0);
        });
    const QImage& image = found.image;
    const double previousOpacity = place.opacity;
    if (magnify != 1) {  // shrunk about the anchor, filtered
        const double shrink = 1 / magnify;
        const Rect& at = found.bounds;
        if (opacity < 1) painter_.setOpacity(previousOpacity * opacity);
        if (!painter_.testRenderHint(QPainter::SmoothPixmapTransform))
            painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
        drawFilteredInBands(painter_,
                            QRectF(origin.x + at.x * shrink, origin.y + at.y * shrink,
                                   image.width() / scale * shrink, image.height() / scale * shrink),
                            image);
        if (opacity < 1) painter_.setOpacity(previousOpacity);
        return;
    }
    const Rect& at = found.bounds;
    // A small picture (a particle, a sparkle) is blended by hand at the nearest whole
    // pixel, less than half a pixel from where filtering would put it.
    if (found.pixels && place.direct && place.deviceScale == scale) {
        const QPointF corner = place.toDevice({origin.x + at.x, origin.y + at.y});
        stampOver(*pixels_, *found.pixels, QPoint(nearestPixel(corner.x()), nearestPixel(corner.y())),
                  previousOpacity * opacity);
        return;
    }
    const QTransform& transform = painter_.worldTransform();
    const bool fading = opacity < 1;  // most stamps are opaque: the painter's state is left alone
    if (fading) painter_.setOpacity(previousOpacity * opacity);
    // Sub-pixel places need filtering; whole-pixel ones (the backdrop) are a plain copy.
    // The hint touches only the drawing of images: it is left as the last stamp set it.
    const QPointF corner = transform.map(QPointF(origin.x + at.x, origin.y + at.y)) * ratio;
    const bool whole = corner.x() == std::round(corner.x()) && corner.y() == std::round(corner.y());
    if (painter_.testRenderHint(QPainter::SmoothPixmapTransform) == whole)
        painter_.setRenderHint(QPainter::SmoothPixmapTransform, !whole);
    // Filtering would blur across the tiles' edges: only a whole-pixel stamp goes by tiles.
    if (scale == 1 && !(found.tiled && whole)) {
        painter_.drawImage(QPointF(origin.x + at.x, origin.y + at.y), image);  // no scaling to work out
    } else if (!found.tiled || !whole) {
        painter_.drawImage(
            QRectF(origin.x + at.x, origin.y + at.y, image.width() / scale, image.height() / scale), image);
    }
    for (const QRect& run : whole ? found.inked : std::vector<QRect>{}) {
        painter_.drawImage(QRectF(origin.x + at.x + run.x() / scale, origin.y + at.y + run.y() / scale,
                                  run.width() / scale, run.height() / scale),
                           image, run);
    }
    if (fading) painter_.setOpacity(previousOpacity);
}

}  // namespace tw
