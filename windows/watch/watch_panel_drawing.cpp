#include "windows/watch/watch_panel_drawing.h"

#include <algorithm>
#include <map>

#include "platform/unicode.h"
#include "windows/inner_life/mood_bars.h"

namespace tw::watch {
namespace {

constexpr Color yellow = Color::rgb(1, 1, 0);
constexpr Color white = Color::white(1);
constexpr double nameKern = 1.5;

TextStyle style(double size, FontWeight weight, Color color) {
    TextStyle text;
    text.font = Font{FontFamily::system, size, weight};
    text.color = color;
    return text;
}

double flipY(const Frame& frame, double y) { return frame.size.height - y; }

// Centres a line on `at` (y upward): at the point less half its measured size.
void drawCentred(Canvas& canvas, const Frame& frame, const std::string& text, Point at,
                 const TextStyle& style) {
    const Size size = canvas.measureText(text, style.font);
    canvas.drawText(text, {at.x - size.width / 2, flipY(frame, at.y) - size.height / 2}, style);
}

// Letter-spaced text: each grapheme drawn on its own, `kern` points after each.
void drawCentredKerned(Canvas& canvas, const Frame& frame, const std::string& text, Point at,
                       const TextStyle& style, double kern) {
    std::vector<std::string> graphemes;
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii) {
        // The common case (every resident's name), without a break iterator each frame.
        for (char c : text) graphemes.emplace_back(1, c);
    } else {
        std::size_t taken = 0;
        const std::size_t count = unicode::graphemeCount(text);
        for (std::size_t n = 1; n <= count; ++n) {
            std::string prefix = unicode::graphemePrefix(text, n);
            graphemes.push_back(prefix.substr(taken));
            taken = prefix.size();
        }
    }
    double width = 0;
    double height = 0;
    std::vector<double> widths;
    for (const auto& g : graphemes) {
        const Size size = canvas.measureText(g, style.font);
        widths.push_back(size.width);
        width += size.width + kern;
        height = std::max(height, size.height);
    }
    double x = at.x - width / 2;
    const double top = flipY(frame, at.y) - height / 2;
    for (std::size_t i = 0; i < graphemes.size(); ++i) {
        canvas.drawText(graphemes[i], {x, top}, style);
        x += widths[i] + kern;
    }
}

// Rectangles given by their bottom-left corner, y upward.
void fillUp(Canvas& canvas, const Frame& frame, Rect r) {
    canvas.fillRect({r.x, flipY(frame, r.y) - r.height, r.width, r.height});
}

void drawBackdrop(Canvas& canvas, const Frame& frame) {
    const Size size = frame.size;
    // The same picture every frame at one size, so a caching canvas renders it once.
    const auto key = 0x57A7C4B6ull ^ (static_cast<std::uint64_t>(size.width) << 32) ^
                     static_cast<std::uint64_t>(size.height);
    const Rect bounds{0, 0, size.width, size.height};
    canvas.drawCachedPicture(key, bounds, {0, 0}, 1.0, [size](Canvas& context, Point origin, double opacity) {
        const Rect area{origin.x, origin.y, size.width, size.height};
        context.fillLinearGradient(Path().addRect(area), {origin.x, origin.y},
                                   {origin.x, origin.y + size.height},
                                   {{0, Color::white(0.06, opacity)}, {1, Color::white(0, opacity)}});
    });
}

}  // namespace

const std::vector<Sparkle>& processSparkles() {
    static const std::vector<Sparkle> field = [] {
        std::random_device device;
        std::mt19937_64 random((static_cast<std::uint64_t>(device()) << 32) ^ device());
        return makeSparkles(random);
    }();
    return field;
}

void drawFrame(Canvas& canvas, const Frame& frame, const Scene& scene, const std::vector<Sparkle>& sparkles) {
    const double w = frame.size.width;
    const double h = frame.size.height;
    const double t = frame.t;
    drawBackdrop(canvas, frame);

    const Point d = drift(t);
    drawCentred(canvas, frame, title, {w / 2 + d.x, h - 80 + d.y},
                style(32, FontWeight::light, white.withAlpha(0.55)));
    drawCentred(canvas, frame, tagLine, {w / 2 + d.x, h - 120 + d.y},
                style(13, FontWeight::regular, yellow.withAlpha(0.45)));
    drawMoodGrid(canvas, frame, scene, {w / 2 + d.x, h / 2 + 80 + d.y});
    drawSubtitle(canvas, frame, scene, {w / 2 + d.x, h / 2 - 40 + d.y});

    for (const Sparkle& s : sparkles) {
        canvas.setFillColor(white.withAlpha(sparkleAlpha(t, s.phase)));
        canvas.fillEllipse({s.x * w - 1, flipY(frame, s.y * h) - 1, 2, 2});
    }
    if (frame.hintAlpha > 0)
        drawCentred(canvas, frame, hint, {w / 2, 60},
                    style(14, FontWeight::regular, white.withAlpha(frame.hintAlpha * 0.5)));
}

void drawMoodGrid(Canvas& canvas, const Frame& frame, const Scene& scene, Point centre) {
    std::map<std::string, const FleaAgentScheduler::DiagnosticEntry*> byFlea;
    for (const auto& entry : scene.diagnostics) byFlea.try_emplace(entry.flea_id, &entry);
    const double cy = centre.y;

    for (std::size_t i = 0; i < residentsListed.size(); ++i) {
        const std::string name(residentsListed[i]);
        const double x = columnCentre(centre.x, i);
        const bool attended = scene.attendedFleaID == name;
        drawCentred(canvas, frame, name, {x, cy + 56},
                    style(13, FontWeight::semibold, white.withAlpha(attended ? 0.95 : 0.7)));
        if (attended) {
            const TextStyle mark = style(12, FontWeight::regular, white);
            const Size size = canvas.measureText(attendedMark, mark.font);
            canvas.drawText(attendedMark, {x + 32, flipY(frame, cy + 50) - size.height / 2}, mark);
        }

        const auto found = byFlea.find(name);
        const auto* entry = found == byFlea.end() ? nullptr : found->second;
        const auto bars = moodBars(entry ? entry->mood : MoodDimensions{});
        for (std::size_t j = 0; j < bars.size(); ++j) {
            const double left = x - 32 + 18 * static_cast<double>(j);
            canvas.setFillColor(white.withAlpha(0.12));
            fillUp(canvas, frame, {left, cy - 4, 8, barHeight});
            const double filled = moodBarHeight(bars[j].value);
            if (filled > 0) {
                canvas.setFillColor(bars[j].color);
                fillUp(canvas, frame, {left, cy - 4, 8, filled});
            }
        }
        drawCentred(canvas, frame, entry ? lastActionText(entry->recent_intent_actions) : noAction,
                    {x, cy - 24}, style(9, FontWeight::regular, white.withAlpha(0.5)));
    }
}

void drawSubtitle(Canvas& canvas, const Frame& frame, const Scene& scene, Point centre) {
    const auto shown = subtitleAt(scene.recentLines.size(), frame.t);
    if (!shown) {
        drawCentred(canvas, frame, quietLine, centre, style(18, FontWeight::light, white.withAlpha(0.45)));
        return;
    }
    const auto& entry = scene.recentLines[shown->index];
    drawCentredKerned(canvas, frame, unicode::uppercased(entry.fleaName), {centre.x, centre.y + 40},
                      style(14, FontWeight::semibold, yellow.withAlpha(shown->alpha * 0.65)), nameKern);
    drawCentred(canvas, frame, entry.line, centre,
                style(26, FontWeight::light, white.withAlpha(shown->alpha * 0.85)));
}

}  // namespace tw::watch
