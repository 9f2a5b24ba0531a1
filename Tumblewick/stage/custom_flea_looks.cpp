#include "Tumblewick/stage/custom_flea_looks.h"

#include <cmath>
#include <numbers>

#include "Tumblewick/stage/colors.h"

namespace tw {

namespace {
constexpr double pi = std::numbers::pi;
}

void drawTopHat(Canvas& c, double hx, double top, double s, Color hat, Color band) {
    c.setFillColor(hat);
    c.fillRect(Rect{hx - 3 * s, top - 7 * s, 6 * s, 7.5 * s});
    c.fillRect(Rect{hx - 5 * s, top - 0.5 * s, 10 * s, 2 * s});
    c.setFillColor(band);
    c.fillRect(Rect{hx - 3 * s, top - 2.5 * s, 6 * s, 2 * s});
}

void drawMacCustomHat(Canvas& c, MacFleaHatKind kind, double hx, double hy, double hr, double s) {
    const double top = hy - hr;
    switch (kind) {
        case MacFleaHatKind::none:
            return;
        case MacFleaHatKind::topHat:
            drawTopHat(c, hx, top, s, Color::rgb(0.05, 0.05, 0.08), Color::rgb(0.75, 0.12, 0.15));
            return;
        case MacFleaHatKind::crown:
            c.setFillColor(Colors::gold);
            c.fillRect(Rect{hx - 4 * s, top - 2 * s, 8 * s, 2 * s});
            c.fillPath(Path::polygon({{hx - 4 * s, top - 2 * s},
                                      {hx - 3 * s, top - 6 * s},
                                      {hx - 1.5 * s, top - 3 * s},
                                      {hx, top - 7 * s},
                                      {hx + 1.5 * s, top - 3 * s},
                                      {hx + 3 * s, top - 6 * s},
                                      {hx + 4 * s, top - 2 * s}}));
            c.setFillColor(Color::rgb(0.95, 0.15, 0.25));
            c.fillEllipse(Rect{hx - s, top - 6.5 * s, 2 * s, 2 * s});
            return;
        case MacFleaHatKind::bowler:
            c.setFillColor(Color::rgb(0.3, 0.18, 0.08));
            c.fillEllipse(Rect{hx - 3.5 * s, top - 5 * s, 7 * s, 5.5 * s});
            c.fillEllipse(Rect{hx - 5 * s, top - s, 10 * s, 1.8 * s});
            return;
        case MacFleaHatKind::propeller:
            c.setFillColor(Color::rgb(0.85, 0.2, 0.2));
            c.fillEllipse(Rect{hx - 3.5 * s, top - 4 * s, 7 * s, 5 * s});
            c.setFillColor(Color::rgb(0.2, 0.45, 0.85));
            c.fillRect(Rect{hx - 3.5 * s, top - 2 * s, 7 * s, 1.2 * s});
            c.setFillColor(Color::white(0.25));
            c.fillRect(Rect{hx - 0.4 * s, top - 6 * s, 0.8 * s, 2 * s});
            c.setFillColor(Color::white(0.85));
            c.fillEllipse(Rect{hx - 4 * s, top - 6.5 * s, 8 * s, 0.8 * s});
            return;
        case MacFleaHatKind::bandana:
            c.setFillColor(Color::rgb(0.8, 0.15, 0.2));
            c.fillPath(Path::polygon(
                {{hx - hr, hy - s}, {hx + hr, hy - s}, {hx + hr - s, top - s}, {hx - hr + s, top - s}}));
            c.fillEllipse(Rect{hx - hr - 1.5 * s, hy - 3 * s, 3 * s, 2 * s});
            return;
    }
}

void drawFleaAuraMac(Canvas& c, double x, double y, double scale, Color color, double phase) {
    const double pulse = 1 + 0.08 * std::sin(2 * phase);
    for (int i = 0; i < 3; ++i) {
        const double r = (14 + 5 * i) * scale * pulse;
        c.setFillColor(color.withAlpha(0.18 - 0.05 * i));
        c.fillEllipse(Rect{x - r, y - 0.65 * r, 2 * r, 1.3 * r});
    }
}

void drawFleaDecorationsMac(Canvas& c, double x, double y, double scale, bool sparkleTrail, bool goldAccents,
                            double phase) {
    if (sparkleTrail) {
        const double r = 11 * scale;
        const double cy = y - 2 * scale;
        for (int i = 0; i < 4; ++i) {
            const double theta = phase + i * pi / 2;
            const double px = x + r * std::cos(theta);
            const double py = cy + 0.5 * r * std::sin(theta);
            c.setFillColor(Colors::systemYellow.withAlpha(0.55 + 0.4 * std::sin(3 * phase + i)));
            c.fillEllipse(Rect{px - 1.2, py - 1.2, 2.4, 2.4});
        }
    }
    if (goldAccents) {
        const double cy = y + scale;
        const double outer = 2.2 * scale;
        std::vector<Point> vertices;
        for (int k = 0; k < 5; ++k) {
            const double a = -pi / 2 + k * 4 * pi / 5;
            vertices.push_back(Point{x + outer * std::cos(a), cy + outer * std::sin(a)});
        }
        // The pentagram's inner pentagon is filled too: the canvas fills non-zero.
        c.setFillColor(Colors::gold);
        c.fillPath(Path::polygon(vertices));
        c.setFillColor(Color::white(1.0, 0.9));
        c.fillEllipse(Rect{x - 0.6 * scale, cy - 0.6 * scale, 1.2 * scale, 1.2 * scale});
    }
}

void drawCostumeMac(Canvas& c, std::string_view act, double x, double y, double facing, double phase,
                    double s) {
    const double hx = x + 5 * facing * s;
    const double hy = y - 4 * s;
    const double hr = 4.5 * s;
    if (act == "tightrope") {
        const double px = x + 2 * facing * s;
        c.setStrokeColor(Colors::gold);
        c.setLineWidth(1.2 * s);
        c.strokeLine({px, y - 6 * s}, {px, y - 12 * s});
        const double cx = px + 3 * s * std::sin(1.5 * phase);
        // From π down to 0 passes through π/2, the larger-y side of the chord.
        c.setFillColor(Colors::tentRed.withAlpha(0.8));
        c.fillPath(Path().arc({cx, y - 12 * s}, 8 * s, pi, 0, ArcDirection::decreasingAngle).close());
    } else if (act == "strongman") {
        c.setFillColor(Colors::tentRed.withAlpha(0.9));
        c.fillRect(Rect{hx - 1.1 * hr, hy - 0.3 * hr, 2.2 * hr, 2 * s});
        c.setStrokeColor(Colors::tentRed.withAlpha(0.7));
        c.setLineWidth(1.2 * s);
        const double tailX = hx - 0.8 * facing * hr;
        c.strokeLine({tailX, hy - 0.3 * hr + 2 * s}, {tailX - 3 * facing * s, hy + 3 * s});
    } else if (act == "juggling") {
        const double cy = y - 2 * s;
        c.setFillColor(Colors::tentRed);
        c.fillPath(Path::polygon({{x, cy}, {x - 3 * s, cy - 1.8 * s}, {x - 3 * s, cy + 1.8 * s}}));
        c.fillPath(Path::polygon({{x, cy}, {x + 3 * s, cy - 1.8 * s}, {x + 3 * s, cy + 1.8 * s}}));
        c.setFillColor(Colors::gold);
        c.fillEllipse(Rect{x - 1.2 * s, cy - 1.2 * s, 2.4 * s, 2.4 * s});
    } else if (act == "firebreather") {
        const double base = hy - hr - s;
        c.setFillColor(Colors::gold);
        const double centres[3] = {hx - 3 * s, hx, hx + 3 * s};
        const double heights[3] = {3.5 * s, 5 * s, 3.5 * s};
        for (int k = 0; k < 3; ++k) {
            const double cx = centres[k];
            c.fillPath(Path::polygon({{cx - 1.5 * s, base}, {cx, base - heights[k]}, {cx + 1.5 * s, base}}));
        }
        c.fillRect(Rect{hx - 5 * s, base, 10 * s, 1.5 * s});
    } else if (act == "trapeze") {
        c.setFillColor(Colors::tentRed.withAlpha(0.7));
        c.fillEllipse(Rect{hx - (hr + s), hy - hr - 2 * s, 2 * (hr + s), 0.9 * hr});
    }
}

}  // namespace tw
