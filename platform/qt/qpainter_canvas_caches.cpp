#include "platform/qt/qpainter_canvas_caches.h"

#include <malloc.h>

#include <algorithm>
#include <bit>
#include <cmath>

namespace tw {
namespace {

std::uint64_t mixHash(std::uint64_t h, std::uint64_t v) {
    h ^= v + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2);
    return h * 0x100000001B3ULL;
}

std::uint64_t mixDouble(std::uint64_t h, double v) { return mixHash(h, std::bit_cast<std::uint64_t>(v)); }

std::uint64_t mixColor(std::uint64_t h, const QColor& c) { return mixHash(h, c.rgba64()); }

// Pens and brushes are kept by their colour to 8 bits a channel, what the strip's
// surface holds: a colour fading every frame reuses a few hundred at most instead of
// making one per frame.
std::uint64_t inkKey(const QColor& c) { return c.rgba(); }

// Cache keys hold lengths to half a device pixel: two lengths that round alike draw
// less than half a pixel apart, which nobody sees, and a length that changes a little
// every frame (a shrinking caption, a mood bar) reuses what it drew a moment ago.
std::uint64_t mixLength(std::uint64_t h, double points, double pixelsPerPoint) {
    const double halves = points * pixelsPerPoint * 2;
    if (!std::isfinite(halves)) return mixHash(h, 0x7FF8'0000'0000'0000ULL);
    // Rounded half away from zero, inline: this runs for every stamp.
    const double clamped = std::clamp(halves, -1e15, 1e15);
    return mixHash(
        h, static_cast<std::uint64_t>(static_cast<std::int64_t>(clamped + (clamped < 0 ? -0.5 : 0.5))));
}

// The runs of `tile`-sized tiles of `image` that hold any ink, row by row.
std::vector<QRect> inkedRuns(const QImage& image, QSize tile) {
    std::vector<QRect> runs;
    for (int top = 0; top < image.height(); top += tile.height()) {
        const int bottom = std::min(top + tile.height(), image.height());
        int runStart = -1;
        for (int left = 0; left < image.width(); left += tile.width()) {
            bool inked = false;
            const int right = std::min(left + tile.width(), image.width());
            for (int y = top; y < bottom && !inked; ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = left; x < right; ++x) {
                    if (qAlpha(row[x]) != 0) {
                        inked = true;
                        break;
                    }
                }
            }
            if (inked && runStart < 0) runStart = left;
            if (!inked && runStart >= 0) {
                runs.emplace_back(runStart, top, left - runStart, bottom - top);
                runStart = -1;
            }
        }
        if (runStart >= 0) runs.emplace_back(runStart, top, image.width() - runStart, bottom - top);
    }
    return runs;
}

}  // namespace

QPainterCanvasCache::QPainterCanvasCache() : impl_(std::make_unique<Impl>()) {}
QPainterCanvasCache::~QPainterCanvasCache() = default;
void QPainterCanvasCache::beginFrame(double seconds) {
    Impl& c = *impl_;
    const auto now = static_cast<std::uint64_t>(std::max(seconds, 0.0) * 1000);
    c.texts.setNow(now);
    c.pictures.setNow(now);
    c.shadows.setNow(now);
    c.pens.setNow(now);
    c.brushes.setNow(now);
    if (now < c.lastSweep + Impl::sweepEvery) return;
    c.lastSweep = now;
    if (now < Impl::unusedForgottenAfter) return;
    const std::uint64_t since = now - Impl::unusedForgottenAfter;
    const std::size_t freedPictures = c.pictures.forgetUnusedSince(since);
    if (freedPictures > 0) c.forgetRecentPictures();
    const std::size_t freed = c.texts.forgetUnusedSince(since) + freedPictures +
                              c.shadows.forgetUnusedSince(since) + c.pens.forgetUnusedSince(since) +
                              c.brushes.forgetUnusedSince(since);
    // Freed blocks stay with the allocator until asked back.
    if (freed > Impl::trimAbove) malloc_trim(0);
}

std::size_t QPainterCanvasCache::pictureRenders() const { return impl_->pictureRenders; }
std::size_t QPainterCanvasCache::shadowRenders() const { return impl_->shadowRenders; }
std::size_t QPainterCanvasCache::textLayouts() const { return impl_->textLayouts; }

const QPen& QPainterCanvasCache::Impl::pen(const QColor& color, double width,
                                           QPen (*make)(const QColor&, double)) {
    const std::uint64_t key = mixDouble(mixHash(0, inkKey(color)), width);
    if (const QPen* found = pens.find(key)) return *found;
    return *pens.insert(key, make(color, width), inkBytes);
}

const QBrush& QPainterCanvasCache::Impl::brush(const QColor& color) {
    const std::uint64_t key = inkKey(color);
    if (const QBrush* found = brushes.find(key)) return *found;
    return *brushes.insert(key, QBrush(color), inkBytes);
}

QPainterCanvas::TextLayout* QPainterCanvasCache::Impl::findText(const std::string& text, const Font& font,
                                                                double pixelsPerPoint, double dpi) {
    textKey.assign(text);
    textKey += '\x1f';
    // The font's fields as raw bytes: cheaper than formatting them on every draw.
    const std::uint64_t fields[] = {
        static_cast<std::uint64_t>(font.family), mixLength(0, font.size, pixelsPerPoint),
        static_cast<std::uint64_t>(font.weight), std::bit_cast<std::uint64_t>(dpi)};
    textKey.append(reinterpret_cast<const char*>(fields), sizeof fields);
    return texts.find(textKey);
}

QPainterCanvas::TextLayout* QPainterCanvasCache::Impl::keepText(const std::string& text,
                                                                const QPainterCanvas::TextLayout& layout) {
    ++textLayouts;
    // A copy (the layout's parts are shared, not duplicated): a layout larger than the
    // whole budget is not kept, and the caller then draws from its own.
    return texts.insert(textKey, layout, textBytes(text));
}

std::uint64_t QPainterCanvasCache::Impl::shadowKey(double blur, const QColor& opaqueColor,
                                                   const QPainterPath& deviceShape, QPointF corner,
                                                   bool solidFill, const std::optional<QPen>& strokePen) {
    std::uint64_t key = mixDouble(0, blur);
    key = mixColor(key, opaqueColor);
    for (int i = 0; i < deviceShape.elementCount(); ++i) {
        const auto e = deviceShape.elementAt(i);
        key = mixHash(key, static_cast<std::uint64_t>(e.type));
        key = mixHash(key, static_cast<std::uint64_t>(std::llround((e.x - corner.x()) * 2)));
        key = mixHash(key, static_cast<std::uint64_t>(std::llround((e.y - corner.y()) * 2)));
    }
    if (solidFill) key = mixHash(key, 1);
    if (strokePen) key = mixDouble(mixHash(key, 2), strokePen->widthF());
    return key;
}

const QImage& QPainterCanvasCache::Impl::keepShadow(std::uint64_t key, const QImage& fresh) {
    const auto bytes = static_cast<std::size_t>(fresh.sizeInBytes());
    const QImage* kept = shadows.insert(key, fresh, bytes);
    return kept != nullptr ? *kept : fresh;  // larger than the whole budget: used once
}

std::uint64_t QPainterCanvasCache::Impl::pictureKey(const PictureKey& key, double scale) {
    std::uint64_t fullKey = mixDouble(key.identity, scale);
    // Trailing lengths of zero are left out (most keys have one length, and this runs for
    // every stamp); the count of those mixed keeps {a, 0} apart from {0, a}.
    std::size_t used = key.lengths.size();
    while (used > 0 && key.lengths[used - 1] == 0) --used;
    for (std::size_t i = 0; i < used; ++i) fullKey = mixLength(fullKey, key.lengths[i], scale);
    if (key.scalesWith > 0) fullKey = mixDouble(fullKey, key.scalesWith);
    return mixHash(fullKey, used);
}

const QPainterCanvasCache::Impl::Picture& QPainterCanvasCache::Impl::keepPicture(std::uint64_t key,
                                                                                 Picture& fresh) {
    ++pictureRenders;
    fresh.tiled = fresh.image.width() >= 512;
    if (fresh.tiled) {
        fresh.inked = inkedRuns(fresh.image, QSize(64, 8));
    } else if (fresh.image.width() <= directStampSide && fresh.image.height() <= directStampSide) {
        fresh.pixels = pixelPictureOf(fresh.image);
    }
    const auto bytes =
        static_cast<std::size_t>(fresh.image.sizeInBytes()) + fresh.inked.size() * sizeof(QRect);
    const std::size_t before = pictures.size();
    const Picture* kept = pictures.insert(key, fresh, bytes);
    // An insert that did more than add (it evicted or replaced) may have taken any of them.
    if (pictures.size() != before + 1) forgetRecentPictures();
    return kept != nullptr ? *kept : fresh;  // larger than the whole budget: stamped once
}

}  // namespace tw
