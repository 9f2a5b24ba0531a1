#pragma once
// The Canvas realised with QPainter: non-zero fill rule, flat caps, miter joins,
// 1 point = 1 device-independent pixel, antialiased.
#include <QPainter>
#include <optional>
#include <vector>

#include "platform/canvas.h"

class QPainterPath;

namespace tw {

class QPainterCanvas final : public Canvas {
   public:
    // The painter must stay active for the canvas's lifetime.
    explicit QPainterCanvas(QPainter& painter);

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

    static QPainterPath toQPainterPath(const Path& path);

   private:
    struct State {
        Color fill{0, 0, 0, 1};
        Color stroke{0, 0, 0, 1};
        double lineWidth = 1;
        std::optional<Shadow> shadow;
    };

    QFont qfont(const Font& font) const;
    bool hasShadow() const;
    QPen pen() const;
    // Paints `shape` (in user space) filled with `brush` and, when set, stroked with `strokePen`,
    // first as its blurred shadow when a shadow is in force.
    void paint(const QPainterPath& shape, const QBrush& brush, const std::optional<QPen>& strokePen);
    void paintShadow(const QPainterPath& shape, const QBrush& brush, const std::optional<QPen>& strokePen);

    QPainter& painter_;
    State state_;
    std::vector<State> stack_;
};

}  // namespace tw
