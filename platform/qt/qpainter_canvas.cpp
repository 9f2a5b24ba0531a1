#include "platform/qt/qpainter_canvas.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <numbers>

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

void gaussianishBlur(QImage& image, int radius) {
    if (radius <= 0) return;
    // Three box passes approximate a Gaussian; alpha-premultiplied so all channels blur alike.
    const int w = image.width();
    const int h = image.height();
    std::vector<std::uint32_t> buffer(static_cast<std::size_t>(std::max(w, h)));
    auto pass = [&](bool horizontal) {
        const int lines = horizontal ? h : w;
        const int length = horizontal ? w : h;
        for (int line = 0; line < lines; ++line) {
            auto pixel = [&](int i) -> std::uint32_t& {
                auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(horizontal ? line : i));
                return row[horizontal ? i : line];
            };
            for (int i = 0; i < length; ++i) buffer[static_cast<std::size_t>(i)] = pixel(i);
            long sum[4] = {0, 0, 0, 0};
            const int window = 2 * radius + 1;
            auto add = [&](int i, int sign) {
                if (i < 0 || i >= length) return;
                const std::uint32_t v = buffer[static_cast<std::size_t>(i)];
                for (int ch = 0; ch < 4; ++ch) sum[ch] += sign * static_cast<long>((v >> (8 * ch)) & 0xFF);
            };
            for (int i = -radius; i < radius; ++i) add(i, 1);
            for (int i = 0; i < length; ++i) {
                add(i + radius, 1);
                std::uint32_t out = 0;
                for (int ch = 0; ch < 4; ++ch) {
                    out |= static_cast<std::uint32_t>(sum[ch] / window) << (8 * ch);
                }
                pixel(i) = out;
                add(i - radius, -1);
            }
        }
    };
    for (int k = 0; k < 3; ++k) {
        pass(true);
        pass(false);
    }
}

}  // namespace

QPainterCanvas::QPainterCanvas(QPainter& painter) : painter_(painter) {
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
}

void QPainterCanvas::translate(double dx, double dy) { painter_.translate(dx, dy); }
void QPainterCanvas::rotate(double radians) { painter_.rotate(radians * kDegrees); }
void QPainterCanvas::scale(double sx, double sy) { painter_.scale(sx, sy); }

void QPainterCanvas::clip(const Path& path) {
    painter_.setClipPath(toQPainterPath(path), painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
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

QPen QPainterCanvas::pen() const {
    QPen p(qcolor(state_.stroke));
    p.setWidthF(std::max(state_.lineWidth, 0.0));
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::MiterJoin);
    p.setMiterLimit(10);
    return p;
}

QFont QPainterCanvas::qfont(const Font& font) const {
    QFont f = QFontDatabase::systemFont(font.family == FontFamily::monospaced ? QFontDatabase::FixedFont
                                                                              : QFontDatabase::GeneralFont);
    // Points of the drawing are device-independent pixels, whatever the device's DPI.
    const double dpi = painter_.device() != nullptr ? painter_.device()->logicalDpiY() : 72.0;
    f.setPointSizeF(std::max(font.size, 0.5) * 72.0 / (dpi > 0 ? dpi : 72.0));
    switch (font.weight) {
        case FontWeight::regular:
            f.setWeight(QFont::Normal);
            break;
        case FontWeight::medium:
            f.setWeight(QFont::Medium);
            break;
        case FontWeight::semibold:
            f.setWeight(QFont::DemiBold);
            break;
        case FontWeight::bold:
            f.setWeight(QFont::Bold);
            break;
        case FontWeight::heavy:
            f.setWeight(QFont::Black);
            break;
    }
    return f;
}

void QPainterCanvas::paintShadow(const QPainterPath& shape, const QBrush& brush,
                                 const std::optional<QPen>& strokePen) {
    const Shadow& shadow = *state_.shadow;
    const QTransform transform = painter_.worldTransform();
    QRectF device = transform.map(shape).boundingRect();
    if (strokePen) {
        const double grow = strokePen->widthF() * 2 + 2;
        device.adjust(-grow, -grow, grow, grow);
    }
    const int blur = static_cast<int>(std::ceil(std::max(shadow.blur, 0.0)));
    device.adjust(-2 * blur - 1, -2 * blur - 1, 2 * blur + 1, 2 * blur + 1);
    const QRect area = device.toAlignedRect();
    if (area.isEmpty() || area.width() > 8192 || area.height() > 8192) return;

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
        p.fillRect(QRect(QPoint(0, 0), area.size()), qcolor(shadow.color));
    }
    gaussianishBlur(image, std::max(1, blur / 2));
    painter_.save();
    painter_.resetTransform();
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
    painter_.setBrush(qcolor(state_.fill));
    painter_.drawEllipse(qrect(bounds));
}

void QPainterCanvas::strokeEllipse(Rect bounds) {
    if (hasShadow()) return strokePath(Path().addEllipse(bounds));
    painter_.setPen(pen());
    painter_.setBrush(Qt::NoBrush);
    painter_.drawEllipse(qrect(bounds));
}

void QPainterCanvas::fillPath(const Path& path) {
    paint(toQPainterPath(path), QBrush(qcolor(state_.fill)), std::nullopt);
}

void QPainterCanvas::strokePath(const Path& path) { paint(toQPainterPath(path), QBrush(), pen()); }

void QPainterCanvas::strokeLine(Point from, Point to) {
    if (hasShadow()) return strokePath(Path::line(from, to));
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

void QPainterCanvas::drawText(const std::string& text, Point topLeft, const TextStyle& style) {
    // The glyph outlines must use the device's resolution, as the size and the metrics do;
    // a plain QFont would be laid out at the screen's.
    const QFont font =
        painter_.device() != nullptr ? QFont(qfont(style.font), painter_.device()) : qfont(style.font);
    const QFontMetricsF metrics(font, painter_.device());
    QPainterPath shape;
    shape.setFillRule(Qt::WindingFill);
    shape.addText(QPointF(topLeft.x, topLeft.y + metrics.ascent()), font, QString::fromStdString(text));
    std::optional<QPen> outline;
    if (style.outlineColor && style.outlineWidth > 0) {
        QPen p(qcolor(*style.outlineColor));
        p.setWidthF(style.outlineWidth);
        p.setJoinStyle(Qt::MiterJoin);
        p.setCapStyle(Qt::FlatCap);
        outline = p;
    }
    paint(shape, QBrush(qcolor(style.color)), outline);
}

Size QPainterCanvas::measureText(const std::string& text, const Font& font) {
    const QFontMetricsF metrics(qfont(font), painter_.device());
    return Size{metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
}

}  // namespace tw
