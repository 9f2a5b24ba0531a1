#include "Tumblewick/stage/particle_system.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "Tumblewick/stage/colors.h"

namespace tw {
namespace {

// Emission angles span 0...6.283, not quite a full turn.
constexpr double kMaxAngle = 6.283;

// What sets one kind of burst apart; every kind draws its randoms in the same order:
// angle, speed, (position jitter), life, maxLife, size, colour, (shape).
struct BurstKind {
    double speedMin, speedMax;
    double lift;  // upward bias of the vertical velocity
    double lifeMin, lifeMax;
    double sizeMin, sizeMax;
    double jitter;  // half-width of the start position's scatter; 0 draws none
    std::span<const Color> colors;
    std::span<const std::string> shapes;  // one shape draws none
};

template <typename T>
const T& pick(RandomSource& random, std::span<const T> items) {
    return items[static_cast<std::size_t>(random.uniformInt(0, static_cast<std::int64_t>(items.size()) - 1))];
}

void emit(RandomSource& random, std::vector<Particle>& out, double x, double y, int count,
          const BurstKind& kind) {
    for (int i = 0; i < count; ++i) {
        const double a = random.uniform(0, kMaxAngle);
        const double v = random.uniform(kind.speedMin, kind.speedMax);
        double px = x;
        double py = y;
        if (kind.jitter > 0) {
            px += random.uniform(-kind.jitter, kind.jitter);
            py += random.uniform(-kind.jitter, kind.jitter);
        }
        const double life = random.uniform(kind.lifeMin, kind.lifeMax);
        const double maxLife = random.uniform(kind.lifeMin, kind.lifeMax);
        const double size = random.uniform(kind.sizeMin, kind.sizeMax);
        const Color color = pick(random, kind.colors);
        const std::string& shape = kind.shapes.size() == 1 ? kind.shapes[0] : pick(random, kind.shapes);
        out.push_back(Particle{px, py, std::cos(a) * v, std::sin(a) * v + kind.lift, life, maxLife, color,
                               size, shape});
    }
}

const std::array<std::string, 1> kStarOnly = {"s"};
const std::array<std::string, 1> kRectOnly = {"r"};
const std::array<std::string, 3> kAnyShape = {"s", "r", "c"};

}  // namespace

void ParticleSystem::sparkle(double x, double y, int count) {
    static constexpr std::array<Color, 2> colors = {Colors::gold, Color::rgb(1.0, 0.97, 0.86)};
    emit(*random_, particles, x, y, count, BurstKind{20, 50, -25, 0.4, 0.8, 1.5, 3.0, 3, colors, kStarOnly});
}

void ParticleSystem::confetti(double x, double y, int count) {
    emit(*random_, particles, x, y, count,
         BurstKind{40, 100, -50, 1.0, 1.8, 2.5, 5.0, 0, Colors::bunting, kRectOnly});
}

void ParticleSystem::clickBurst(double x, double y, int count) {
    static constexpr std::array<Color, 8> colors = {
        Colors::gold,       Colors::systemOrange, Colors::systemWhite, Colors::bunting[0],
        Colors::bunting[1], Colors::bunting[2],   Colors::bunting[3],  Colors::bunting[4],
    };
    emit(*random_, particles, x, y, count, BurstKind{50, 140, -60, 0.6, 1.2, 2.0, 5.0, 0, colors, kAnyShape});
}

void ParticleSystem::update(double dt) {
    for (auto& p : particles) {
        p.x += dt * p.vx;
        p.y += dt * p.vy;
        p.vx *= 0.97;
        p.vy += 80 * dt;
        p.life -= dt;
    }
    std::erase_if(particles, [](const Particle& p) { return p.life <= 0; });
}

// Particles come in few colours and shapes, so each (shape, size, colour) is one cached
// picture that a caching canvas stamps with the particle's fading opacity instead of
// stroking it anew; the canvas tells sizes apart only as far as they show.
void ParticleSystem::draw(Canvas& c) const {
    for (const auto& p : particles) {
        const double t = p.life / p.maxLife;
        const double s = p.size * std::max(t, 0.3);
        // `!(s >= 0.4)` also skips a particle whose maxLife is 0 (t not a number).
        if (!(s >= 0.4)) continue;
        // By its first letter: comparing whole strings, thousands of times a frame, costs more.
        const char first = p.shape.size() == 1 ? p.shape[0] : 'c';
        const char shape = first == 's' || first == 'r' ? first : 'c';
        const auto unit = [](double v) {
            return static_cast<std::uint64_t>(std::clamp(v, 0.0, 1.0) * 1023 + 0.5);
        };
        const std::uint64_t identity = (static_cast<std::uint64_t>(shape) << 56) ^ (unit(p.color.red) << 20) ^
                                       (unit(p.color.green) << 10) ^ unit(p.color.blue);
        const Color base = p.color;
        Rect bounds;
        if (shape == 's') {
            bounds = {-s - 1.5, -s - 1.5, 2 * s + 3, 2 * s + 3};
        } else if (shape == 'r') {
            bounds = {-s - 1, -0.6 * s - 1, 2 * s + 2, 1.2 * s + 2};
        } else {
            bounds = {-s - 1, -s - 1, 2 * s + 2, 2 * s + 2};
        }
        c.drawCachedPicture(PictureKey(identity, {s}), bounds, {p.x, p.y}, t,
                            [&](Canvas& to, Point o, double alpha) {
                                const Color color = base.withAlpha(alpha);
                                to.setFillColor(color);
                                to.setStrokeColor(color);
                                if (shape == 's') {
                                    to.setLineWidth(2);
                                    to.strokeLine({o.x - s, o.y}, {o.x + s, o.y});
                                    to.strokeLine({o.x, o.y - s}, {o.x, o.y + s});
                                    const double d = 0.7 * s;
                                    to.strokeLine({o.x - d, o.y - d}, {o.x + d, o.y + d});
                                    to.strokeLine({o.x - d, o.y + d}, {o.x + d, o.y - d});
                                } else if (shape == 'r') {
                                    to.fillRect(Rect{o.x - s, o.y - 0.6 * s, 2 * s, 1.2 * s});
                                } else {
                                    to.fillCircle({o.x, o.y}, s);
                                }
                            });
    }
}

}  // namespace tw
