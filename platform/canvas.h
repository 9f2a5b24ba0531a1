#pragma once
// Immediate-mode drawing surface. Drawing code is written against this interface so
// a recording canvas can check geometry in tests and QPainter paints it for real.
//
// Conventions: y grows downward; lengths in device-independent pixels (points);
// angles in radians; filled paths use the non-zero winding rule; strokes have flat
// caps and miter joins; text is placed by the top-left corner of its line box.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/function_ref.h"

namespace tw {

struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static constexpr Color rgb(double r, double g, double b, double a = 1.0) { return Color{r, g, b, a}; }
    static constexpr Color white(double level, double a = 1.0) { return Color{level, level, level, a}; }
    constexpr Color withAlpha(double a) const { return Color{red, green, blue, a}; }

    friend bool operator==(const Color&, const Color&) = default;
};

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Origin is the top-left corner.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

enum class ArcDirection {
    increasingAngle,  // visually clockwise when y grows downward
    decreasingAngle,
};

// A path as a list of elements, kept as given so tests can read them back.
class Path {
   public:
    enum class Kind { moveTo, lineTo, curveTo, arc, ellipse, rect, close };

    struct Element {
        Kind kind = Kind::moveTo;
        // moveTo/lineTo: points[0]; curveTo: control 1, control 2, end;
        // arc: points[0] is the centre; ellipse/rect: bounds.
        std::vector<Point> points;
        Rect bounds;
        double radius = 0;
        double startAngle = 0;  // point(θ) = centre + radius·(cos θ, sin θ)
        double endAngle = 0;
        ArcDirection direction = ArcDirection::increasingAngle;
        friend bool operator==(const Element&, const Element&) = default;
    };

    Path& moveTo(Point p) { return add(point(Kind::moveTo, {p})); }
    Path& lineTo(Point p) { return add(point(Kind::lineTo, {p})); }
    Path& curveTo(Point control1, Point control2, Point end) {
        return add(point(Kind::curveTo, {control1, control2, end}));
    }
    // Joins the current point to the arc's start with a line (or starts there on an empty path).
    Path& arc(Point centre, double radius, double startAngle, double endAngle, ArcDirection direction) {
        Element e = point(Kind::arc, {centre});
        e.radius = radius;
        e.startAngle = startAngle;
        e.endAngle = endAngle;
        e.direction = direction;
        return add(std::move(e));
    }
    // A closed subpath inscribed in bounds.
    Path& addEllipse(Rect bounds) { return add(box(Kind::ellipse, bounds)); }
    // A closed subpath.
    Path& addRect(Rect bounds) { return add(box(Kind::rect, bounds)); }
    Path& close() { return add(point(Kind::close, {})); }

    static Path line(Point from, Point to) { return Path().moveTo(from).lineTo(to); }
    // Closed; the corner radius is cut to half the shorter side.
    static Path roundedRect(Rect r, double radius) {
        constexpr double halfPi = 1.5707963267948966;
        const double k = std::max(0.0, std::min({radius, r.width / 2, r.height / 2}));
        Path path;
        path.moveTo({r.x + k, r.y});
        path.arc({r.x + r.width - k, r.y + k}, k, -halfPi, 0, ArcDirection::increasingAngle);
        path.arc({r.x + r.width - k, r.y + r.height - k}, k, 0, halfPi, ArcDirection::increasingAngle);
        path.arc({r.x + k, r.y + r.height - k}, k, halfPi, 2 * halfPi, ArcDirection::increasingAngle);
        path.arc({r.x + k, r.y + k}, k, 2 * halfPi, 3 * halfPi, ArcDirection::increasingAngle);
        return path.close();
    }
    // Closed; empty for no points.
    static Path polygon(const std::vector<Point>& points) {
        Path path;
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (i == 0) {
                path.moveTo(points[i]);
            } else {
                path.lineTo(points[i]);
            }
        }
        if (!points.empty()) path.close();
        return path;
    }

    const std::vector<Element>& elements() const { return elements_; }
    bool empty() const { return elements_.empty(); }

    friend bool operator==(const Path&, const Path&) = default;

   private:
    static Element point(Kind kind, std::vector<Point> points) {
        Element e;
        e.kind = kind;
        e.points = std::move(points);
        return e;
    }
    static Element box(Kind kind, Rect bounds) {
        Element e;
        e.kind = kind;
        e.bounds = bounds;
        return e;
    }
    Path& add(Element element) {
        elements_.push_back(std::move(element));
        return *this;
    }

    std::vector<Element> elements_;
};

enum class FontFamily { system, monospaced };
enum class FontWeight { light, regular, medium, semibold, bold, heavy };

struct Font {
    FontFamily family = FontFamily::system;
    double size = 12;  // points; one point is one device-independent pixel
    FontWeight weight = FontWeight::regular;
    friend bool operator==(const Font&, const Font&) = default;
};

struct TextStyle {
    Font font;
    Color color;
    // Outline drawn together with the fill (the fill stays visible inside it).
    std::optional<Color> outlineColor;
    double outlineWidth = 0;
    friend bool operator==(const TextStyle&, const TextStyle&) = default;
};

// Offsets and blur are in device space, unaffected by translate/rotate/scale.
struct Shadow {
    double dx = 0;
    double dy = 0;
    double blur = 0;
    Color color;
    friend bool operator==(const Shadow&, const Shadow&) = default;
};

struct GradientStop {
    double location = 0;  // 0...1
    Color color;
    friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

// Names a cached picture: `identity` stands for all that it shows but up to four
// lengths in points (a bar's height, a font's size), which are kept apart so that a
// caching canvas can treat lengths it cannot tell apart on screen as equal.
struct PictureKey {
    std::uint64_t identity = 0;
    std::array<double, 4> lengths{};
    // When above zero: the picture grows and shrinks about its anchor with this one size
    // (a caption with its type size), but for a few points of fixed size (a shadow's
    // offset). A caching canvas may stamp a rendering made a few percent larger, scaled
    // down, instead of rendering anew for every size it is asked for.
    double scalesWith = 0;

    PictureKey(std::uint64_t identity = 0) : identity(identity) {}  // NOLINT: a plain name is a key
    PictureKey(std::uint64_t identity, std::initializer_list<double> shapedBy) : identity(identity) {
        std::copy_n(shapedBy.begin(), std::min(shapedBy.size(), lengths.size()), lengths.begin());
    }
    friend bool operator==(const PictureKey&, const PictureKey&) = default;
};

class Canvas {
   public:
    virtual ~Canvas() = default;

    // Graphics state: colours, line width, shadow, transform and clip.
    virtual void save() = 0;
    virtual void restore() = 0;
    virtual void translate(double dx, double dy) = 0;
    virtual void rotate(double radians) = 0;
    virtual void scale(double sx, double sy) = 0;
    virtual void clip(const Path& path) = 0;

    virtual void setFillColor(Color color) = 0;
    virtual void setStrokeColor(Color color) = 0;
    virtual void setLineWidth(double width) = 0;
    virtual void setShadow(std::optional<Shadow> shadow) = 0;

    // Shapes, filled or stroked with the current colours and line width.
    virtual void fillRect(Rect rect) = 0;
    virtual void fillEllipse(Rect bounds) = 0;
    virtual void strokeEllipse(Rect bounds) = 0;
    virtual void fillPath(const Path& path) = 0;
    virtual void strokePath(const Path& path) = 0;
    virtual void clearRect(Rect rect) = 0;  // to fully transparent

    // Gradient fills of a path; stops are in order of location.
    virtual void fillLinearGradient(const Path& path, Point start, Point end,
                                    const std::vector<GradientStop>& stops) = 0;
    virtual void fillRadialGradient(const Path& path, Point centre, double radius,
                                    const std::vector<GradientStop>& stops) = 0;

    // Text: one line, its line box's top-left corner at `topLeft`.
    virtual void drawText(const std::string& text, Point topLeft, const TextStyle& style) = 0;
    virtual Size measureText(const std::string& text, const Font& font) = 0;

    // A small picture that looks the same every time it is drawn (a particle, a fixed
    // backdrop), named by `key`: equal keys promise equal pictures. `draw` paints it with
    // its anchor at the given point and its colours' alpha scaled by the given opacity;
    // it is called, if at all, before this returns. `bounds` is its extent around the
    // anchor. A caching canvas renders it once at full opacity and stamps that image at
    // `origin` with `opacity`; this default paints it.
    using PicturePainter = FunctionRef<void(Canvas& context, Point origin, double opacity)>;
    virtual void drawCachedPicture(const PictureKey& key, Rect bounds, Point origin, double opacity,
                                   const PicturePainter& draw) {
        (void)key;
        (void)bounds;
        draw(*this, origin, opacity);
    }

    // Conveniences built on the operations above (a canvas may draw lines faster).
    virtual void strokeLine(Point from, Point to) { strokePath(Path::line(from, to)); }
    void fillCircle(Point centre, double radius) {
        fillEllipse(Rect{centre.x - radius, centre.y - radius, 2 * radius, 2 * radius});
    }
    void strokeCircle(Point centre, double radius) {
        strokeEllipse(Rect{centre.x - radius, centre.y - radius, 2 * radius, 2 * radius});
    }
};

}  // namespace tw
