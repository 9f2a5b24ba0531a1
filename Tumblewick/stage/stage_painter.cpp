#include "Tumblewick/stage/stage_painter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/picture_key.h"
#include "Tumblewick/stage/stage_agent_overlays.h"
#include "Tumblewick/stage/tumblewick_stage.h"
#include "Tumblewick/stage/ui_fonts.h"
#include "Tumblewick/stage/update_notice.h"
#include "agent/host/tumblewick_settings_panel.h"
#include "platform/settings_keys.h"

namespace tw {
namespace {

constexpr const char* kBannerTitle = "~ TUMBLEWICK ~";

void paintGround(Canvas& c, const TumblewickStage& stage, double w, double h) {
    const bool flashing = stage.groundFlash > 0.05;
    c.setFillColor(flashing ? TumblewickStage::blendColor(Colors::groundTop, Colors::glow, stage.groundFlash)
                            : Colors::groundTop);
    c.fillRect({0, stage.groundY, w, 3});
    c.setFillColor(flashing ? TumblewickStage::blendColor(Colors::ground, Colors::gold, stage.groundFlash)
                            : Colors::ground);
    c.fillRect({0, stage.groundY + 3, w, h - stage.groundY - 3});
}

// A star and an audience flea are the same little picture every time: stamped, with
// a star's twinkle as its opacity.
void paintStars(Canvas& c, const TumblewickStage& stage, double w) {
    for (const auto& star : stage.ambientStars) {
        const double alpha = (std::sin(star.phase) + 1) * 0.35 + 0.25;
        c.drawCachedPicture(0x57A2ULL, Rect{-0.5, -0.5, 3, 3}, {star.x * w - 1, star.y * stage.groundY - 1},
                            alpha, [](Canvas& p, Point at, double opacity) {
                                p.setFillColor(Color::white(1.0, opacity));
                                p.fillEllipse({at.x, at.y, 2, 2});
                            });
    }
}

// Bunting, rope and the two tent tops: fixed for a width and scale.
void paintBackdrop(Canvas& c, double w, double s) {
    const double d = w / 20;
    for (int i = 0; i < 20; ++i) {
        const double x = d * 0.5 + d * i;
        if (x > w - 35 - 20) continue;
        c.setFillColor(Colors::bunting[static_cast<std::size_t>(i) % Colors::bunting.size()]);
        c.fillPath(Path::polygon({{x - 8 * s, 8 * s}, {x + 8 * s, 8 * s}, {x, 20 * s}}));
    }
    c.setStrokeColor(Colors::rope);
    c.setLineWidth(1);
    c.strokeLine({0, 8 * s}, {w, 8 * s});
    for (const double x0 : {45.0, w - 45 - 60 * s}) {
        for (int k = 0; k < 5; ++k) {
            c.setFillColor(k % 2 == 0 ? Colors::tentRed : Colors::tentStripe);
            c.fillPath(Path::polygon({{x0 + 12 * s * k, 22 * s},
                                      {x0 + 12 * s * (k + 1), 22 * s},
                                      {x0 + 12 * s * k + 6 * s, 57 * s}}));
        }
        c.setFillColor(Colors::gold);
        c.fillEllipse({x0 + 30 * s - 4 * s, 22 * s - 5 * s, 8 * s, 8 * s});
    }
}

struct BannerLayout {
    Rect box;
    Point textOrigin;
    Size textSize;  // the title's line box, which runs past the box's bottom
    Font font;
};

BannerLayout bannerLayout(Canvas& c, double w, double s) {
    const Font font = UIFonts::system(12, s);
    const Size text = c.measureText(kBannerTitle, font);
    const Point origin{(w - text.width) / 2, 24 * s};
    return {Rect{origin.x - 12, 24 * s - 9, text.width + 24, 18 * s}, origin, text, font};
}

void paintBanner(Canvas& c, const TumblewickStage& stage, double w, double s) {
    const BannerLayout layout = bannerLayout(c, w, s);
    if (stage.bannerGlow > 0) {
        // The glow's frame is a picture per line width, stamped with the glow as its
        // opacity: stroked afresh, a frame this size costs a wake of the toolkit's threads.
        const double width = std::max(3 * stage.bannerGlow, 1.0);
        const double margin = width / 2 + 1;
        const Rect box = layout.box;
        c.drawCachedPicture(PictureKey(pictureKey(4, {box.width, box.height}), {width}),
                            Rect{-margin, -margin, box.width + 2 * margin, box.height + 2 * margin},
                            {box.x, box.y}, stage.bannerGlow,
                            [box, width](Canvas& p, Point at, double alpha) {
                                p.setStrokeColor(Colors::glow.withAlpha(alpha));
                                p.setLineWidth(width);
                                p.strokePath(Path().addRect({at.x, at.y, box.width, box.height}));
                            });
    }
    // The box and its title never change: one cached picture around both (the title's
    // lower part hangs below the box).
    const double bottom =
        std::max(layout.box.y + layout.box.height, layout.textOrigin.y + layout.textSize.height);
    const Rect area{layout.box.x - 2, layout.box.y - 2, layout.box.width + 4, bottom - layout.box.y + 4};
    c.drawCachedPicture(
        pictureKey(2, {w, s}), Rect{-2, -2, area.width, area.height}, {layout.box.x, layout.box.y}, 1.0,
        [layout](Canvas& p, Point origin, double) {
            const double dx = origin.x - layout.box.x;
            const double dy = origin.y - layout.box.y;
            const Rect box{origin.x, origin.y, layout.box.width, layout.box.height};
            p.setFillColor(Colors::bannerBg);
            p.fillRect(box);
            p.setStrokeColor(Colors::gold);
            p.setLineWidth(2);
            p.strokePath(Path().addRect(box));
            TextStyle style;
            style.font = layout.font;
            style.color = Colors::bannerFg;
            p.drawText(kBannerTitle, {layout.textOrigin.x + dx, layout.textOrigin.y + dy}, style);
        });
}

void paintAudienceFlea(Canvas& c, Point at) {
    c.drawCachedPicture(0xA0D1ULL, Rect{-3.5, -5, 9, 8}, at, 1.0, [](Canvas& p, Point to, double) {
        p.setFillColor(Colors::flea);
        p.fillEllipse({to.x - 2.5, to.y - 2, 5, 4});
        p.setFillColor(Colors::fleaLight);
        p.fillEllipse({to.x + 1, to.y - 4, 3.5, 3.5});
    });
}

void paintAudience(Canvas& c, const TumblewickStage& stage, double w) {
    // An audience sitting still (no flea off its seat by a visible fraction of a pixel)
    // is one picture of the strip's width, stamped at whole pixels.
    bool seated = !stage.audienceGroups.empty();
    double top = stage.groundY;
    double bottom = 0;
    for (const auto& group : stage.audienceGroups) {
        for (const auto& flea : group.fleas) {
            seated = seated && std::abs(flea.jump) < 1.0 / 64;
            top = std::min(top, flea.y - 6);
            bottom = std::max(bottom, flea.y + 4);
        }
    }
    if (seated && bottom > top) {
        c.drawCachedPicture(pictureKey(0xA0D5, {w, stage.groundY, top, bottom}),
                            Rect{0, top, w, bottom - top}, {0, 0}, 1.0, [&](Canvas& p, Point at, double) {
                                for (const auto& group : stage.audienceGroups) {
                                    for (const auto& flea : group.fleas)
                                        paintAudienceFlea(p, {at.x + flea.x, at.y + flea.y});
                                }
                            });
        return;
    }
    for (const auto& group : stage.audienceGroups) {
        for (const auto& flea : group.fleas) paintAudienceFlea(c, {flea.x, flea.y - flea.jump});
    }
}

void paintGauge(Canvas& c, const TumblewickStage& stage, double w, double s) {
    const Rect frame{w - 110 * s, stage.groundY + 5 * s, 80 * s, 8 * s};
    // The empty gauge never changes: stamped; only its level is drawn each frame.
    c.drawCachedPicture(pictureKey(3, {s}), Rect{-1, -1, frame.width + 2, frame.height + 2},
                        {frame.x, frame.y}, 1.0, [&frame](Canvas& p, Point at, double) {
                            const Rect box{at.x, at.y, frame.width, frame.height};
                            p.setStrokeColor(Color::rgb(0.35, 0.23, 0.08));
                            p.setLineWidth(1);
                            p.strokePath(Path().addRect(box));
                            p.setFillColor(Color::rgb(0.16, 0.10, 0.03));
                            p.fillRect(box);
                        });
    const double e = stage.energy.normalized();
    if (e > 0) {
        c.setFillColor(e < 0.4   ? Color::rgb(0.27, 0.8, 0.27)
                       : e < 0.7 ? Color::rgb(1.0, 0.73, 0.0)
                                 : Color::rgb(1.0, 0.27, 0.27));
        c.fillRect({frame.x, frame.y, 80 * s * e, 8 * s});
    }
}

void paintUpdateNotice(Canvas& c, const TumblewickStage& stage, double w, double s, double mediaTime) {
    if (!stage.updateAvailableVersion) return;
    const double p = std::sin(2 * mediaTime);
    TextStyle style;
    style.font = UIFonts::system(9, s, FontWeight::medium);
    style.color =
        TumblewickStage::blendColor(Color::rgb(0.53, 0.4, 0.0), Colors::gold, (p + 1) * 0.5 * 0.4 + 0.6);
    const std::string text = updateNoticeText(*stage.updateAvailableVersion);
    const double tw = c.measureText(text, style.font).width;
    c.drawText(text, {w - 20 * s - tw, 8 * s}, style);
}

}  // namespace

void paintStage(Canvas& c, TumblewickStage& stage, Date now, double mediaTime, PaintTarget target) {
    const Size bounds = stage.bounds();
    const double w = bounds.width;
    const double h = bounds.height;
    const double s = stage.uiScale;
    const Defaults& defaults = stage.services().defaults;

    if (target == PaintTarget::holdsLastFrame) c.clearRect({0, 0, w, h});
    paintGround(c, stage, w, h);
    paintStars(c, stage, w);
    c.drawCachedPicture(pictureKey(1, {w, s}), Rect{0, 0, w, 58 * s}, {0, 0}, 1.0,
                        [w, s](Canvas& p, Point, double) { paintBackdrop(p, w, s); });
    paintBanner(c, stage, w, s);
    for (const auto& wave : stage.shockwaves) wave.draw(c);
    for (CircusAct* act : stage.acts()) act->draw(c, stage.particles);
    if (TumblewickSettingsPanel::boolFor(defaults, settings::showThoughts)) {
        drawAgentThoughtBubbles(c, stage, now);
    }
    drawAgentInitiativeIndicators(c, stage);
    drawAgentRefusalFlickers(c, stage, now);
    if (TumblewickSettingsPanel::boolFor(defaults, settings::showMoodBars)) {
        drawAgentMoodBars(c, stage);
    }
    if (const double e = stage.energy.normalized(); e > 0.75) drawEnergySparkleStorm(c, bounds, e, now);
    paintAudience(c, stage, w);
    for (const auto& gear : stage.gears) gear.draw(c);
    stage.particles.draw(c);
    for (const auto& floater : stage.floaters) floater.draw(c);
    paintGauge(c, stage, w, s);
    paintUpdateNotice(c, stage, w, s, mediaTime);
}

}  // namespace tw
