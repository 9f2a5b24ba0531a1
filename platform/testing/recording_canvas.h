#pragma once
// A canvas that records every call, with the colours, line width and shadow in force
// at the time, so tests can check geometry without pixels.
#include <string>
#include <vector>

#include "platform/canvas.h"

namespace tw {

struct RecordedOp {
    enum class Kind {
        save,
        restore,
        translate,
        rotate,
        scale,
        clip,
        fillRect,
        fillEllipse,
        strokeEllipse,
        fillPath,
        strokePath,
        clearRect,
        linearGradient,
        radialGradient,
        text,
    };

    Kind kind = Kind::save;
    Rect rect;             // fillRect, fillEllipse, strokeEllipse, clearRect
    Path path;             // fillPath, strokePath, clip, gradients
    Color color;           // fill colour for fills, stroke colour for strokes, text colour
    double lineWidth = 0;  // in force for strokes
    std::optional<Shadow> shadow;
    double dx = 0;     // translate, scale (sx)
    double dy = 0;     // translate, scale (sy)
    double angle = 0;  // rotate
    std::string text;
    Point point;        // text top-left, gradient start or centre
    Point end;          // gradient end
    double radius = 0;  // radial gradient
    TextStyle textStyle;
    std::vector<GradientStop> stops;

    bool isDrawing() const;
};

class RecordingCanvas final : public Canvas {
   public:
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
    void clearRect(Rect rect) override;
    void fillLinearGradient(const Path& path, Point start, Point end,
                            const std::vector<GradientStop>& stops) override;
    void fillRadialGradient(const Path& path, Point centre, double radius,
                            const std::vector<GradientStop>& stops) override;
    void drawText(const std::string& text, Point topLeft, const TextStyle& style) override;
    // Deterministic stand-in for real metrics: 0.6 em per code point, 1.2 em high.
    Size measureText(const std::string& text, const Font& font) override;

    const std::vector<RecordedOp>& ops() const { return ops_; }
    // Only the operations that put paint on the canvas, in order.
    std::vector<RecordedOp> drawingOps() const;
    void clear() { ops_.clear(); }
    // save() calls not yet matched by restore().
    int saveDepth() const { return static_cast<int>(stack_.size()); }

   private:
    struct State {
        Color fill{0, 0, 0, 1};
        Color stroke{0, 0, 0, 1};
        double lineWidth = 1;
        std::optional<Shadow> shadow;
    };

    RecordedOp& record(RecordedOp::Kind kind);

    State state_;
    std::vector<State> stack_;
    std::vector<RecordedOp> ops_;
};

}  // namespace tw
