#include "Tumblewick/stage/cannon_act.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/flea_figure.h"
#include "Tumblewick/stage/picture_key.h"

namespace tw {

// The barrel points right and up at 55°: its mouth is 22 points from the pivot, its
// end 26, the seated flea 10, and the launch speed 280 points per second.
void CannonAct::fire() {
    if (state != "ready") return;
    fleaX = x + 30 + 12.618681599723013;
    fleaY = y - 12 - 18.02134497435782;
    fleaVX = 160.6014021782929;
    fleaVY = -229.3625724009177;
    state = "fly";
    flash = 1;
    for (auto& q : queuePositions) q = std::max(q - 15, 0.0);
}

void CannonAct::update(double dt, double energy) {
    phase += 3 * dt;
    flash = std::max(flash - 5 * dt, 0.0);
    if (state == "fly") {
        fleaX += dt * fleaVX;
        fleaY += dt * fleaVY;
        fleaVY += 190 * dt;
        if (fleaY > y + 10) {
            state = "ready";
            for (std::size_t i = 0; i < queuePositions.size(); ++i) {
                queuePositions[i] = 10 + 15 * static_cast<double>(i);
            }
        }
    }
    if (state == "ready" && energy > 0.1) {
        for (auto& q : queuePositions) {
            if (q > 0) q = std::max(q - 8 * energy * dt, 0.0);
        }
        if (energy > 0.5 && !queuePositions.empty() && queuePositions[0] < 1 &&
            random_->uniform(0, 1) < dt * energy) {
            fire();
        }
    }
}

void CannonAct::draw(Canvas& c, ParticleSystem&) {
    const double px = x + 30;
    const double py = y - 12;
    const double mx = px + 14.912987345127197;
    const double my = py - 21.297953151513788;
    const double netX = x + width - 20;
    const double netTop = y - 25;

    // The net and the cannon stand still: one picture each, stamped.
    c.drawCachedPicture(
        0xCA77E7ULL, Rect{-21, -3, 42, 29}, {netX, netTop}, 1.0, [](Canvas& p, Point at, double) {
            p.setStrokeColor(Colors::platform);
            p.setLineWidth(2);
            p.strokeLine({at.x, at.y + 25}, {at.x, at.y});
            p.setStrokeColor(Colors::rope);
            p.setLineWidth(3);
            Path net;
            net.moveTo({at.x - 17.5, at.y});
            for (int k = 0; k <= 8; ++k)
                net.lineTo({at.x - 17.5 + 4.375 * k, at.y + 4 * std::sin(k * std::numbers::pi / 8)});
            p.strokePath(net);
        });
    c.drawCachedPicture(0xCA770ULL, Rect{-12, -28, 42, 44}, {px, py}, 1.0, [&](Canvas& p, Point at, double) {
        p.setStrokeColor(Colors::cannon);
        p.setLineWidth(10);
        p.strokeLine(at, {at.x + (mx - px), at.y + (my - py)});
        p.setFillColor(Colors::cannon);
        p.fillEllipse(Rect{at.x - 10, at.y, 20, 14});
        p.setFillColor(Colors::wheel);
        p.fillEllipse(Rect{at.x - 7, at.y + 4, 14, 10});
    });

    if (flash > 0) {
        c.setFillColor(Colors::systemOrange.withAlpha(flash));
        c.fillCircle({mx, my}, 18 * flash);
    }

    if (state == "fly") {
        drawActFleaMac(c, "cannon", fleaX, fleaY, 1, 3 * phase, 0.8, false);
    } else {
        drawActFleaMac(c, "cannon", px + 5.7357643635104605, py - 8.191520442889917, 1, phase, 0.7, false);
    }

    // The waiting line is always plain fleas, never a custom one.
    for (std::size_t i = 0; i < queuePositions.size(); ++i) {
        const double q = queuePositions[i];
        if (q > 0) drawFlea(c, x + q, y - 8, 1, phase + static_cast<double>(i), 0.65, false);
    }
}

}  // namespace tw
