#include "platform/qt/qpainter_canvas.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStaticText>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "platform/qt/qpainter_canvas_caches.h"
#include "platform/qt/shadow_blur.h"

namespace tw {
namespace {

QColor qcolor(Color c) {
    auto unit = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
    return QColor::fromRgbF(static_cast<float>(unit(c.red)), static_cast<float>(unit(c.green)),
                            static_cast<float>(unit(c.blue)), static_cast<float>(unit(c.alpha)));
}

QRectF qrect(Rect r) { return QRectF(r.x, r.y, r.width, r.height); }

void setStops(QGradient& gradient, const std::vector<GradientStop>& stops) {
    for (const auto& s : stops) gradient.setColorAt(std::clamp(s.location, 0.0, 1.0), qcolor(s.color));
}

// Every stroke has flat caps and miter joins.
QPen makePen(const QColor& color, double width) {
    QPen p(color);
    p.setWidthF(width);
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::MiterJoin);
    p.setMiterLimit(10);
    return p;
}

constexpr double kDegrees = 180.0 / std::numbers::pi;

void addArc(QPainterPath& out, const Path::Element& e, bool hasCurrentPoint) {
    const Point c = e.points.empty() ? Point{} : e.points[0];
    const double r = e.radius;
    const QRectF box(c.x - r, c.y - r, 2 * r, 2 * r);
    constexpr double twoPi = 2 * std::numbers::pi;
    double sweep = 0;  // in our angles, positive = increasing
    if (e.direction == ArcDirection::increasingAngle) {
        sweep = e.endAngle - e.startAngle;
        while (sweep < 0) sweep += twoPi;
    } else {
        sweep = e.endAngle - e.startAngle;
        while (sweep > 0) sweep -= twoPi;
    }
    // Qt measures angles counter-clockwise on screen: the negative of ours.
    const double qtStart = -e.startAngle * kDegrees;
    const double qtSweep = -sweep * kDegrees;
    if (!hasCurrentPoint) out.arcMoveTo(box, qtStart);
    out.arcTo(box, qtStart, qtSweep);
}

}  // namespace

QPainterCanvas::QPainterCanvas(QPainter& painter, QPainterCanvasCache* cache)
    : painter_(painter),
      cache_(cache),
      pixelRatio_(painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0),
      pixels_(cache != nullptr ? pixelTargetOf(painter) : std::nullopt) {
    painter_.setRenderHint(QPainter::Antialiasing, true);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
}

void QPainterCanvas::save() {
    stack_.push_back(state_);
    painter_.save();
}

void QPainterCanvas::restore() {
    if (stack_.empty()) return;  // unbalanced restore: ignore rather than corrupt the painter
    state_ = stack_.back();
    stack_.pop_back();
    painter_.restore();
    placement_.reset();
}

void QPainterCanvas::translate(double dx, double dy) {
    painter_.translate(dx, dy);
    placement_.reset();
}
void QPainterCanvas::rotate(double radians) {
    painter_.rotate(radians * kDegrees);
    placement_.reset();
}
void QPainterCanvas::scale(double sx, double sy) {
    painter_.scale(sx, sy);
    placement_.reset();
}

void QPainterCanvas::clip(const Path& path) {
    painter_.setClipPath(toQPainterPath(path), painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    placement_.reset();
}

std::optional<double> QPainterCanvas::strokeWidthByHand() {
    const Placement& place = placement();
    const double width = state_.lineWidth * place.deviceScale;
    if (!place.direct || !(width >= 1)) return std::nullopt;
    return width;
}

QRgb QPainterCanvas::premultipliedStroke(double opacity) const {
    QColor color = qcolor(state_.stroke);
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return qPremultiply(color.rgba());
}

QPainterPath QPainterCanvas::toQPainterPath(const Path& path) {
    QPainterPath out;
    out.setFillRule(Qt::WindingFill);
    bool hasCurrent = false;
    for (const auto& e : path.elements()) {
        switch (e.kind) {
            case Path::Kind::moveTo:
                out.moveTo(e.points[0].x, e.points[0].y);
                hasCurrent = true;
                break;
            case Path::Kind::lineTo:
                if (hasCurrent) {
                    out.lineTo(e.points[0].x, e.points[0].y);
                } else {
                    out.moveTo(e.points[0].x, e.points[0].y);
                }
                hasCurrent = true;
                break;
            case Path::Kind::curveTo:
                if (!hasCurrent) out.moveTo(e.points[0].x, e.points[0].y);
                out.cubicTo(e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x,
                            e.points[2].y);
                hasCurrent = true;
                break;
            case Path::Kind::arc:
                addArc(out, e, hasCurrent);
                hasCurrent = true;
                break;
            case Path::Kind::ellipse:
                out.addEllipse(qrect(e.bounds));
                hasCurrent = false;
                break;
            case Path::Kind::rect:
                out.addRect(qrect(e.bounds));
                hasCurrent = false;
                break;
            case Path::Kind::close:
                out.closeSubpath();
                hasCurrent = false;
                break;
        }
    }
    return out;
}

const QPen& QPainterCanvas::keptPen(const QColor& color, double width) {
    if (cache_ == nullptr) return scratchPen_ = makePen(color, width);
    return cache_->impl_->pen(color, width, makePen);
}

const QBrush& QPainterCanvas::keptBrush(const QColor& color) {
    if (cache_ == nullptr) return scratchBrush_ = QBrush(color);
    return cache_->impl_->brush(color);
}

const QPen& QPainterCanvas::pen() { return keptPen(qcolor(state_.stroke), std::max(state_.lineWidth, 0.0)); }

double QPainterCanvas::pixelsPerPoint() const {
    const double ratio = pixelRatio_;
    const double scale = std::sqrt(std::abs(painter_.worldTransform().determinant()));
    return scale > 0 && std::isfinite(scale) ? scale * ratio : ratio;
}

QFont::Weight qtFontWeight(FontWeight weight) {
    switch (weight) {
        case FontWeight::light:
            return QFont::Light;
        case FontWeight::regular:
            break;
        case FontWeight::medium:
            return QFont::Medium;
        case FontWeight::semibold:
            return QFont::DemiBold;
        case FontWeight::bold:
            return QFont::Bold;
        case FontWeight::heavy:
            return QFont::Black;
    }
    return QFont::Normal;
}

QFont QPainterCanvas::qfont(const Font& font) const {
    QFont f = QFontDatabase::systemFont(font.family == FontFamily::monospaced ? QFontDatabase::FixedFont
                                                                              : QFontDatabase::GeneralFont);
    // Points of the drawing are device-independent pixels, whatever the device's DPI.
    const double dpi = painter_.device() != nullptr ? painter_.device()->logicalDpiY() : 72.0;
    f.setPointSizeF(std::max(font.size, 0.5) * 72.0 / (dpi > 0 ? dpi : 72.0));
    f.setWeight(qtFontWeight(font.weight));
    return f;
}

QImage QPainterCanvas::renderShadow(const QPainterPath& shape, const QBrush& brush,
                                    const std::optional<QPen>& strokePen, const QRect& area,
                                    const QTransform& transform, const QColor& shadowColor) const {
    const Shadow& shadow = *state_.shadow;
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.translate(-area.topLeft());
        p.setWorldTransform(transform, true);
        p.fillPath(shape, brush);
        if (strokePen) p.strokePath(shape, *strokePen);
        // The shadow takes the shape's coverage in the shadow colour.
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.resetTransform();
        p.fillRect(QRect(QPoint(0, 0), area.size()), shadowColor);
    }
    const int blur = static_cast<int>(std::ceil(std::max(shadow.blur, 0.0)));
    blurShadow(image, std::max(1, blur / 2), shadowColor);
    return image;
}

void QPainterCanvas::paintShadow(const QPainterPath& shape, const QBrush& brush,
                                 const std::optional<QPen>& strokePen) {
    const Shadow& shadow = *state_.shadow;
    const QTransform transform = painter_.worldTransform();
    const QPainterPath deviceShape = transform.map(shape);
    QRectF device = deviceShape.boundingRect();
    if (strokePen) {
        const double grow = strokePen->widthF() * 2 + 2;
        device.adjust(-grow, -grow, grow, grow);
    }
    const int blur = static_cast<int>(std::ceil(std::max(shadow.blur, 0.0)));
    device.adjust(-2 * blur - 1, -2 * blur - 1, 2 * blur + 1, 2 * blur + 1);
    const QRect area = device.toAlignedRect();
    if (area.isEmpty() || area.width() > 8192 || area.height() > 8192) return;

    const bool solid = brush.style() == Qt::SolidPattern || brush.style() == Qt::NoBrush;
    if (cache_ == nullptr || !solid) {
        const QImage image = renderShadow(shape, brush, strokePen, area, transform, qcolor(shadow.color));
        painter_.save();
        painter_.resetTransform();
        painter_.drawImage(QPointF(area.left() + shadow.dx, area.top() + shadow.dy), image);
        painter_.restore();
        return;
    }

    // The blur is kept by the shape alone, at full strength; the current alphas become
    // the stamp's opacity, so a fading caption reuses one blur for its whole life.
    auto opaque = [](QColor c) {
        c.setAlphaF(1);
        return c;
    };
    const bool solidFill = brush.style() == Qt::SolidPattern;
    const std::uint64_t key = QPainterCanvasCache::Impl::shadowKey(
        shadow.blur, opaque(qcolor(shadow.color)), deviceShape, device.topLeft(), solidFill, strokePen);
    double strength = 0;
    QBrush shapeBrush = brush;
    std::optional<QPen> shapePen = strokePen;
    if (solidFill) {
        strength = std::max(strength, static_cast<double>(brush.color().alphaF()));
        shapeBrush.setColor(opaque(brush.color()));
    }
    if (strokePen) {
        strength = std::max(strength, static_cast<double>(strokePen->color().alphaF()));
        shapePen->setColor(opaque(strokePen->color()));
    }
    QImage fresh;
    const QImage& image = cache_->impl_->shadow(key, fresh, [&] {
        return renderShadow(shape, shapeBrush, shapePen, area, transform, opaque(qcolor(shadow.color)));
    });
    painter_.save();
    painter_.resetTransform();
    painter_.setOpacity(std::clamp(shadow.color.alpha * strength, 0.0, 1.0));
    painter_.drawImage(QPointF(area.left() + shadow.dx, area.top() + shadow.dy), image);
    painter_.restore();
}

bool QPainterCanvas::hasShadow() const { return state_.shadow && state_.shadow->color.alpha > 0; }

void QPainterCanvas::paint(const QPainterPath& shape, const QBrush& brush,
                           const std::optional<QPen>& strokePen) {
    if (hasShadow()) paintShadow(shape, brush, strokePen);
    if (brush.style() != Qt::NoBrush) painter_.fillPath(shape, brush);
    if (strokePen) {
        // The rasteriser's own stroker is much cheaper than an outline from strokePath().
        painter_.setPen(*strokePen);
        painter_.setBrush(Qt::NoBrush);
        painter_.drawPath(shape);
    }
}

// Rectangles, ellipses and lines without a shadow skip the path conversion: the
// stage paints thousands of them per frame.
void QPainterCanvas::fillRect(Rect rect) {
    if (hasShadow()) return fillPath(Path().addRect(rect));
    painter_.fillRect(qrect(rect), qcolor(state_.fill));
}

void QPainterCanvas::fillEllipse(Rect bounds) {
    if (hasShadow()) return fillPath(Path().addEllipse(bounds));
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(keptBrush(qcolor(state_.fill)));
    painter_.drawEllipse(qrect(bounds));
}

void QPainterCanvas::strokeEllipse(Rect bounds) {
    if (hasShadow()) return strokePath(Path().addEllipse(bounds));
    // A circle (a shockwave's ring) is drawn by hand where stamps are: see direct_pixels.h.
    if (const auto width = strokeWidthByHand(); width && bounds.width == bounds.height) {
        const double radius = bounds.width / 2;
        const Placement& place = placement();
        strokeRing(*pixels_, place.toDevice({bounds.x + radius, bounds.y + radius}),
                   radius * place.deviceScale, *width, premultipliedStroke(place.opacity));
        return;
    }
    painter_.setPen(pen());
    painter_.setBrush(Qt::NoBrush);
    painter_.drawEllipse(qrect(bounds));
}

void QPainterCanvas::fillPath(const Path& path) {
    paint(toQPainterPath(path), keptBrush(qcolor(state_.fill)), std::nullopt);
}

void QPainterCanvas::strokePath(const Path& path) { paint(toQPainterPath(path), QBrush(), pen()); }

void QPainterCanvas::strokeLine(Point from, Point to) {
    if (hasShadow()) return strokePath(Path::line(from, to));
    if (const auto width = strokeWidthByHand()) {
        const Placement& place = placement();
        strokeSegment(*pixels_, place.toDevice(from), place.toDevice(to), *width,
                      premultipliedStroke(place.opacity));
        return;
    }
    painter_.setPen(pen());
    painter_.drawLine(QPointF(from.x, from.y), QPointF(to.x, to.y));
}

void QPainterCanvas::clearRect(Rect rect) {
    painter_.save();
    painter_.setCompositionMode(QPainter::CompositionMode_Clear);
    painter_.fillRect(qrect(rect), Qt::transparent);
    painter_.restore();
}

void QPainterCanvas::fillLinearGradient(const Path& path, Point start, Point end,
                                        const std::vector<GradientStop>& stops) {
    QLinearGradient gradient(start.x, start.y, end.x, end.y);
    setStops(gradient, stops);
    paint(toQPainterPath(path), QBrush(gradient), std::nullopt);
}

void QPainterCanvas::fillRadialGradient(const Path& path, Point centre, double radius,
                                        const std::vector<GradientStop>& stops) {
    QRadialGradient gradient(centre.x, centre.y, std::max(radius, 0.0));
    setStops(gradient, stops);
    paint(toQPainterPath(path), QBrush(gradient), std::nullopt);
}

QPainterCanvas::TextLayout& QPainterCanvas::textLayout(const std::string& text, const Font& font,
                                                       TextLayout& scratch) {
    QPaintDevice* device = painter_.device();
    const double dpi = device != nullptr ? device->logicalDpiY() : 72.0;
    if (cache_ != nullptr) {
        if (TextLayout* found = cache_->impl_->findText(text, font, pixelsPerPoint(), dpi)) return *found;
    }
    // The glyph outlines must use the device's resolution, as the size and the metrics do;
    // a plain QFont would be laid out at the screen's.
    const QString qtext = QString::fromStdString(text);
    scratch.font = device != nullptr ? QFont(qfont(font), device) : qfont(font);
    const QFontMetricsF metrics(scratch.font, device);
    scratch.path.reset();
    scratch.ascent = metrics.ascent();
    const QFontMetricsF measure(qfont(font), device);
    scratch.size = Size{measure.horizontalAdvance(qtext), measure.height()};
    // Flea names and lines are never markup.
    scratch.staticText = QStaticText(qtext);
    scratch.staticText.setTextFormat(Qt::PlainText);
    if (cache_ == nullptr) return scratch;
    TextLayout* kept = cache_->impl_->keepText(text, scratch);
    return kept != nullptr ? *kept : scratch;
}

void QPainterCanvas::drawText(const std::string& text, Point topLeft, const TextStyle& style) {
    TextLayout scratch;
    TextLayout& layout = textLayout(text, style.font, scratch);
    const bool outlined = style.outlineColor && style.outlineWidth > 0;
    if (!outlined && !hasShadow()) {
        // Plain text goes through the painter's own text drawing: hinted, with colour
        // glyphs (emoji have no outlines to fill), and with its layout kept.
        painter_.setFont(layout.font);
        painter_.setPen(keptPen(qcolor(style.color), 1));
        painter_.drawStaticText(QPointF(topLeft.x, topLeft.y), layout.staticText);
        return;
    }
    std::optional<QPen> outline;
    if (outlined) outline = keptPen(qcolor(*style.outlineColor), style.outlineWidth);
    if (!layout.path) {
        // Outlines come from the font alone: letting a colour-glyph fallback font be
        // outlined would spoil its colour drawing for the rest of the process.
        QFont outlineFont = layout.font;
        outlineFont.setStyleStrategy(QFont::NoFontMerging);
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        path.addText(QPointF(0, layout.ascent), outlineFont, layout.staticText.text());
        layout.path = std::move(path);
    }
    paint(layout.path->translated(topLeft.x, topLeft.y), keptBrush(qcolor(style.color)), outline);
}

Size QPainterCanvas::measureText(const std::string& text, const Font& font) {
    TextLayout scratch;
    return textLayout(text, font, scratch).size;
}

}  // namespace tw
