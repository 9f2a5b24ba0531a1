#include "platform/qt/direct_pixels.h"

#include <QPaintEngine>
#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tw {
namespace {

// Each of the four 8-bit channels of `x` times `a`/255, rounded as Qt rounds it.
inline std::uint32_t byteMul(std::uint32_t x, std::uint32_t a) {
    std::uint32_t t = (x & 0xff00ffU) * a;
    t = ((t + ((t >> 8) & 0xff00ffU) + 0x800080U) >> 8) & 0xff00ffU;
    x = ((x >> 8) & 0xff00ffU) * a;
    x = (x + ((x >> 8) & 0xff00ffU) + 0x800080U) & 0xff00ff00U;
    return x | t;
}

// One pixel: `source` times `alpha`/255, over `target`. A transparent pixel (kept times
// 255) and an opaque one (times 0) come out right from the same sum, without a branch.
inline std::uint32_t over(std::uint32_t source, std::uint32_t target, std::uint32_t alpha) {
    const std::uint32_t s = alpha == 255 ? source : byteMul(source, alpha);
    return s + byteMul(target, 255 - (s >> 24));
}

#if defined(__SSE2__)
// byteMul on four pixels at once, each channel in a 16-bit lane; `factor` holds each
// pixel's multiplier in both of its 16-bit halves.
inline __m128i byteMul4(__m128i x, __m128i factor) {
    const __m128i low = _mm_set1_epi32(0x00ff00ff);
    const __m128i half = _mm_set1_epi16(0x80);
    __m128i rb = _mm_mullo_epi16(_mm_and_si128(x, low), factor);
    __m128i ag = _mm_mullo_epi16(_mm_srli_epi16(x, 8), factor);
    rb = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(rb, _mm_srli_epi16(rb, 8)), half), 8);
    ag = _mm_add_epi16(_mm_add_epi16(ag, _mm_srli_epi16(ag, 8)), half);
    return _mm_or_si128(rb, _mm_andnot_si128(low, ag));
}

// Four pixels of `source`, faded by `alpha` when `Faded`, over `target`.
template <bool Faded>
inline __m128i over4(__m128i source, __m128i target, __m128i alpha) {
    const __m128i full = _mm_set1_epi16(255);
    const __m128i s = Faded ? byteMul4(source, alpha) : source;
    __m128i a = _mm_srli_epi32(s, 24);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
    return _mm_add_epi32(s, byteMul4(target, _mm_sub_epi16(full, a)));
}
#endif

// One row of `count` pixels; a stamp at full opacity (`Faded` false) skips the fading.
template <bool Faded>
void overRow(const std::uint32_t* from, std::uint32_t* to, int count, std::uint32_t alpha) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i factor = _mm_set1_epi16(static_cast<short>(alpha));
    const auto opaque = _mm_set1_epi32(static_cast<int>(0xff000000U));
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        // Four clear pixels (the gaps of a star, a circle's corners) leave the target alone;
        // four opaque ones at full opacity (a gear's body) replace it.
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(s, _mm_setzero_si128())) == 0xFFFF) continue;
        if (!Faded && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(s, opaque), s)) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), s);
            continue;
        }
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(to + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), over4<Faded>(s, d, factor));
    }
    // A short end (most rows of a particle are shorter than eight pixels) goes through
    // the same step, loaded and stored in the widths it has.
    if (const int rest = count - i; rest > 0) {
        const auto load = [rest](const std::uint32_t* p) {
            if (rest == 1) return _mm_cvtsi32_si128(static_cast<int>(p[0]));
            const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
            if (rest == 2) return two;
            return _mm_unpacklo_epi64(two, _mm_cvtsi32_si128(static_cast<int>(p[2])));
        };
        const __m128i blended = over4<Faded>(load(from + i), load(to + i), factor);
        if (rest == 1) {
            to[i] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(blended));
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(to + i), blended);
            if (rest == 3)
                to[i + 2] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(blended, 8)));
        }
    }
#else
    for (; i < count; ++i) to[i] = over(from[i], to[i], alpha);
#endif
}

// A pixel index from a coordinate, held within any image's reach first: a far-off (or
// not-a-number) place given to a drawing must not overflow the conversion.
inline int pixelIndex(double v) { return static_cast<int>(std::isnan(v) ? 0.0 : std::clamp(v, -1e8, 1e8)); }

// How much of the pixel-wide span centred on `at` lies within [low, high].
inline double overlap(double at, double low, double high) {
    return std::max(0.0, std::min(at + 0.5, high) - std::max(at - 0.5, low));
}

// Blends `color` times `covered` (0...1) over one pixel.
inline void cover(std::uint32_t& pixel, QRgb color, double covered) {
    pixel = over(color, pixel, static_cast<std::uint32_t>(std::min(covered, 1.0) * 255 + 0.5));
}

// Narrows [from, to], the x of a row's pixel centres, to those for which
// `slope`·x + `offset` lies in [low, high]; an empty result has `from` past `to`.
void narrow(double slope, double offset, double low, double high, double& from, double& to) {
    if (std::abs(slope) < 1e-12) {
        if (offset < low || offset > high) to = from - 1;
        return;
    }
    double a = (low - offset) / slope;
    double b = (high - offset) / slope;
    if (a > b) std::swap(a, b);
    from = std::max(from, a);
    to = std::min(to, b);
}

}  // namespace

std::optional<PixelTarget> pixelTargetOf(QPainter& painter) {
    QPaintEngine* engine = painter.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster) return std::nullopt;
    QPaintDevice* device = engine->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image) return std::nullopt;
    auto* image = static_cast<QImage*>(device);
    if (image->format() != QImage::Format_ARGB32_Premultiplied) return std::nullopt;
    QRect area = image->rect();
    const QRegion systemClip = engine->systemClip();
    if (!systemClip.isEmpty()) {
        if (systemClip.rectCount() != 1) return std::nullopt;
        area &= systemClip.boundingRect();
    }
    // The painter already holds the image's pixels for itself; asking for them through
    // the const accessor can never make the image copy them away from under it.
    return PixelTarget{reinterpret_cast<std::uint32_t*>(const_cast<uchar*>(image->constBits())),
                       image->bytesPerLine(), area};
}

std::optional<PixelPicture> pixelPictureOf(const QImage& image) {
    if (image.format() != QImage::Format_ARGB32_Premultiplied) return std::nullopt;
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] == 0) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return PixelPicture{reinterpret_cast<const std::uint32_t*>(image.constBits()), image.bytesPerLine(),
                        right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom))};
}

void stampOver(const PixelTarget& target, const PixelPicture& picture, QPoint at, double opacity) {
    if (!(opacity > 0) || picture.ink.isEmpty()) return;
    const auto alpha = static_cast<std::uint32_t>(std::min(opacity, 1.0) * 255 + 0.5);
    // The covered rows and columns, in plain integers: this runs thousands of times a frame.
    const QRect& ink = picture.ink;
    const QRect& area = target.area;
    const int left = std::max(at.x() + ink.x(), area.x());
    const int top = std::max(at.y() + ink.y(), area.y());
    const int right = std::min(at.x() + ink.x() + ink.width(), area.x() + area.width());
    const int bottom = std::min(at.y() + ink.y() + ink.height(), area.y() + area.height());
    if (alpha == 0 || left >= right || top >= bottom) return;
    const auto* fromRows = reinterpret_cast<const uchar*>(picture.bits);
    const auto blend = alpha == 255 ? &overRow<false> : &overRow<true>;
    for (int y = top; y < bottom; ++y) {
        blend(reinterpret_cast<const std::uint32_t*>(fromRows + (y - at.y()) * picture.bytesPerLine) +
                  (left - at.x()),
              target.row(y) + left, right - left, alpha);
    }
}

void strokeRing(const PixelTarget& target, QPointF centre, double radius, double width,
                QRgb premultipliedColor) {
    if (!(radius > 0) || !(width > 0) || premultipliedColor == 0) return;
    if (!std::isfinite(centre.x()) || !std::isfinite(centre.y()) || !std::isfinite(radius + width)) return;
    const double half = width / 2;
    const double outer = radius + half + 0.5;  // beyond this no pixel is touched
    const double inner = radius - half - 0.5;  // within this neither
    const QRect& area = target.area;
    const int top = std::max(pixelIndex(std::floor(centre.y() - outer)), area.y());
    const int bottom = std::min(pixelIndex(std::ceil(centre.y() + outer)), area.y() + area.height());
    // One run of pixels of a row: each is covered by the overlap of the band with the
    // pixel's span across the circle.
    const auto run = [&](std::uint32_t* row, double dy, int from, int to) {
        from = std::max(from, area.x());
        to = std::min(to, area.x() + area.width());
        for (int x = from; x < to; ++x) {
            const double dx = x + 0.5 - centre.x();
            const double d = std::sqrt(dx * dx + dy * dy);
            const double covered = overlap(d, radius - half, radius + half);
            if (covered > 0) cover(row[x], premultipliedColor, covered);
        }
    };
    for (int y = top; y < bottom; ++y) {
        const double dy = y + 0.5 - centre.y();
        if (std::abs(dy) >= outer) continue;
        std::uint32_t* row = target.row(y);
        const double across = std::sqrt(outer * outer - dy * dy);
        const int left = pixelIndex(std::floor(centre.x() - across));
        const int right = pixelIndex(std::ceil(centre.x() + across));
        if (inner > 0 && std::abs(dy) < inner) {
            // The row crosses the hole: two runs, one each side.
            const double hole = std::sqrt(inner * inner - dy * dy);
            run(row, dy, left, pixelIndex(std::ceil(centre.x() - hole)));
            run(row, dy, pixelIndex(std::floor(centre.x() + hole)), right);
        } else {
            run(row, dy, left, right);
        }
    }
}

void strokeSegment(const PixelTarget& target, QPointF from, QPointF to, double width,
                   QRgb premultipliedColor) {
    const double dx = to.x() - from.x();
    const double dy = to.y() - from.y();
    const double length = std::hypot(dx, dy);
    if (!(length > 0) || !(width > 0) || !std::isfinite(length) || premultipliedColor == 0) return;
    const double ux = dx / length, uy = dy / length;  // along the line
    const double nx = -uy, ny = ux;                   // across it
    const double half = width / 2;
    // A pixel's centre within this of the line's edge may still be touched by it.
    constexpr double reach = 0.71;
    const QRect& area = target.area;
    const double spanX = std::abs(nx) * half, spanY = std::abs(ny) * half;
    const int top = std::max(pixelIndex(std::floor(std::min(from.y(), to.y()) - spanY - 1)), area.y());
    const int bottom =
        std::min(pixelIndex(std::ceil(std::max(from.y(), to.y()) + spanY + 1)), area.y() + area.height());
    const double left = std::max(std::floor(std::min(from.x(), to.x()) - spanX - 1), double(area.x()));
    const double right =
        std::min(std::ceil(std::max(from.x(), to.x()) + spanX + 1), double(area.x() + area.width()));
    for (int y = top; y < bottom; ++y) {
        const double py = y + 0.5 - from.y();
        // The centres x + 0.5 near enough across and along the line.
        double first = left + 0.5, last = right - 0.5;
        narrow(nx, ny * py - nx * from.x(), -half - reach, half + reach, first, last);
        narrow(ux, uy * py - ux * from.x(), -reach, length + reach, first, last);
        if (first > last) continue;
        std::uint32_t* row = target.row(y);
        const int begin = std::max(pixelIndex(std::floor(first - 0.5)), area.x());
        const int end = std::min(pixelIndex(std::ceil(last - 0.5)) + 1, area.x() + area.width());
        for (int x = begin; x < end; ++x) {
            const double px = x + 0.5 - from.x();
            const double covered =
                overlap(nx * px + ny * py, -half, half) * overlap(ux * px + uy * py, 0, length);
            if (covered > 0) cover(row[x], premultipliedColor, covered);
        }
    }
}

}  // namespace tw
