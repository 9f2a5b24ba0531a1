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
    const int width = static_cast<int>(std::ceil(bounds.width * scale));
    const int height = static_cast<int>(std::ceil(bounds.height * scale));
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        return Canvas::drawCachedPicture(key, bounds, origin, opacity, draw);
    }
    std::optional<QPainterCanvasCache::Impl::Picture> fresh;
    const auto& found =
        cache_->impl_->picture(QPainterCanvasCache::Impl::pictureKey(key, scale), fresh, [&](auto& made) {
            made.image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
            made.image.fill(Qt::transparent);
            made.bounds = bounds;
            QPainter p(&made.image);
            p.scale(scale, scale);
            p.translate(-bounds.x, -bounds.y);
            QPainterCanvas canvas(p, cache_);
            draw(canvas, Point{0, 0}, 1.0);
        });
    const QImage& image = found.image;
    const Rect& at = found.bounds;
    const double previousOpacity = place.opacity;
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
