#pragma once
// The Canvas realised with QPainter: non-zero fill rule, flat caps, miter joins,
// 1 point = 1 device-independent pixel, antialiased.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "platform/canvas.h"
#include "platform/qt/direct_pixels.h"

class QPainterPath;

namespace tw {

// The Qt weight that draws `weight`; widgets that show canvas fonts use it too.
QFont::Weight qtFontWeight(FontWeight weight);

// What a canvas keeps from one frame to the next when it is given one: text layouts,
// stamped pictures, blurred shadows, pens and brushes, so a widget that repaints the same
// things every frame lays out, renders and blurs each only once. One per widget, main
// thread only; each kind is held within a budget of bytes.
class QPainterCanvasCache {
   public:
    QPainterCanvasCache();
    ~QPainterCanvasCache();
    QPainterCanvasCache(const QPainterCanvasCache&) = delete;
    QPainterCanvasCache& operator=(const QPainterCanvasCache&) = delete;

    // Called before each frame with the media time in seconds: what no frame has drawn
    // for a while is forgotten, and the memory it held is handed back to the system, so
    // a busy minute leaves nothing behind once the strip is at rest.
    void beginFrame(double seconds);

    // How often something had to be made afresh (tests and benchmarks).
    std::size_t pictureRenders() const;
    std::size_t shadowRenders() const;
    std::size_t textLayouts() const;

   private:
    friend class QPainterCanvas;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class QPainterCanvas final : public Canvas {
   public:
    // The painter (and the cache, when given) must outlive the canvas.
    explicit QPainterCanvas(QPainter& painter, QPainterCanvasCache* cache = nullptr);

    void save() override;
    void restore() override;
    void translate(double dx, double dy) override;
    void rotate(double radians) override;
    void scale(double sx, double sy) override;
    void clip(const Path& path) override;

    void setFillColor(Color color) override { state_.fill = color; }
    void setStrokeColor(Color color) override { state_.stroke = color; }
    void setLineWidth(double width) override { state_.lineWidth = width; }
    void setShadow(std::optional<Shadow> shadow) override { state_.shadow = shadow; }

    void fillRect(Rect rect) override;
    void fillEllipse(Rect bounds) override;
    void strokeEllipse(Rect bounds) override;
    void fillPath(const Path& path) override;
    void strokePath(const Path& path) override;
    void strokeLine(Point from, Point to) override;
    void clearRect(Rect rect) override;
    void fillLinearGradient(const Path& path, Point start, Point end,
                            const std::vector<GradientStop>& stops) override;
    void fillRadialGradient(const Path& path, Point centre, double radius,
                            const std::vector<GradientStop>& stops) override;
    void drawText(const std::string& text, Point topLeft, const TextStyle& style) override;
    Size measureText(const std::string& text, const Font& font) override;
    void drawCachedPicture(const PictureKey& key, Rect bounds, Point origin, double opacity,
                           const PicturePainter& draw) override;

    static QPainterPath toQPainterPath(const Path& path);

    struct TextLayout;  // one line of text laid out in one font (kept by the cache)

   private:
    struct State {
        Color fill{0, 0, 0, 1};
        Color stroke{0, 0, 0, 1};
        double lineWidth = 1;
        std::optional<Shadow> shadow;
    };

    QFont qfont(const Font& font) const;
    bool hasShadow() const;
    // The pen for the current stroke colour and width; pens and brushes come from the
    // cache when there is one.
    const QPen& pen();
    const QPen& keptPen(const QColor& color, double width);
    const QBrush& keptBrush(const QColor& color);
    // Device pixels per point under the current transform.
    double pixelsPerPoint() const;
    // Paints `shape` (in user space) filled with `brush` and, when set, stroked with `strokePen`,
    // first as its blurred shadow when a shadow is in force.
    void paint(const QPainterPath& shape, const QBrush& brush, const std::optional<QPen>& strokePen);
    void paintShadow(const QPainterPath& shape, const QBrush& brush, const std::optional<QPen>& strokePen);

    // The layout of `text` in `font`, from the cache or made into `scratch`.
    TextLayout& textLayout(const std::string& text, const Font& font, TextLayout& scratch);
    QImage renderShadow(const QPainterPath& shape, const QBrush& brush, const std::optional<QPen>& strokePen,
                        const QRect& area, const QTransform& transform, const QColor& shadowColor) const;

    QPainter& painter_;
    QPainterCanvasCache* cache_;
    double pixelRatio_;  // the device's, asked once: stamps need it thousands of times a frame
    std::optional<PixelTarget> pixels_;  // where small stamps may be blended directly
    // The painter's state as stamps need it, asked once until the transform or clip
    // changes: a frame stamps thousands of pictures between two changes.
    struct Placement {
        bool plainScale = false;  // the world transform only scales alike and moves
        double worldScale = 1;
        bool direct = false;  // stamps may be blended by hand into pixels_
        double deviceScale = 1;
        QPointF deviceOffset;
        QPointF toDevice(Point p) const {
            return {p.x * deviceScale + deviceOffset.x(), p.y * deviceScale + deviceOffset.y()};
        }
        double opacity = 1;
    };
    std::optional<Placement> placement_;
    const Placement& placement();
    // The stroke colour with `opacity` applied, premultiplied, for drawing by hand.
    QRgb premultipliedStroke(double opacity) const;
    // The stroke's width in device pixels when strokes can be drawn by hand here (see
    // direct_pixels.h); none when the painter must draw them.
    std::optional<double> strokeWidthByHand();
    State state_;
    std::vector<State> stack_;
    QPen scratchPen_;
    QBrush scratchBrush_;
};

}  // namespace tw
