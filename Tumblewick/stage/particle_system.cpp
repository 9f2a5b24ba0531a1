#include "Tumblewick/stage/particle_system.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "Tumblewick/stage/colors.h"

namespace tw {
namespace {

// Emission angles span 0...6.283, not quite a full turn.
constexpr double kMaxAngle = 6.283;
constexpr const char* kStar = "s";
constexpr const char* kRect = "r";
constexpr const char* kDot = "c";

template <std::size_t N>
Color pick(RandomSource& random, const std::array<Color, N>& colors) {
    return colors[static_cast<std::size_t>(random.uniformInt(0, static_cast<std::int64_t>(N) - 1))];
}

}  // namespace

void ParticleSystem::sparkle(double x, double y, int count) {
    static constexpr std::array<Color, 2> colors = {Colors::gold, Color::rgb(1.0, 0.97, 0.86)};
    for (int i = 0; i < count; ++i) {
        const double a = random_->uniform(0, kMaxAngle);
        const double v = random_->uniform(20, 50);
        const double px = x + random_->uniform(-3, 3);
        const double py = y + random_->uniform(-3, 3);
        const double life = random_->uniform(0.4, 0.8);
        const double maxLife = random_->uniform(0.4, 0.8);
        const double size = random_->uniform(1.5, 3.0);
        const Color color = pick(*random_, colors);
        particles.emplace_back(Particle{px, py, std::cos(a) * v, std::sin(a) * v - 25, life, maxLife, color, size, kStar});
    }
}

void ParticleSystem::confetti(double x, double y, int count) {
    for (int i = 0; i < count; ++i) {
        const double a = random_->uniform(0, kMaxAngle);
        const double v = random_->uniform(40, 100);
        const double life = random_->uniform(1.0, 1.8);
        const double maxLife = random_->uniform(1.0, 1.8);
        const double size = random_->uniform(2.5, 5.0);
        const Color color = pick(*random_, Colors::bunting);
        particles.emplace_back(Particle{x, y, std::cos(a) * v, std::sin(a) * v - 50, life, maxLife, color, size, kRect});
    }
}

void ParticleSystem::clickBurst(double x, double y, int count) {
    static constexpr std::array<Color, 8> colors = {
        Colors::gold,       Colors::systemOrange, Colors::systemWhite, Colors::bunting[0],
        Colors::bunting[1], Colors::bunting[2],   Colors::bunting[3],  Colors::bunting[4],
    };
    static const std::array<std::string, 3> shapes = {kStar, kRect, kDot};
    for (int i = 0; i < count; ++i) {
        const double a = random_->uniform(0, kMaxAngle);
        const double v = random_->uniform(50, 140);
        const double life = random_->uniform(0.6, 1.2);
        const double maxLife = random_->uniform(0.6, 1.2);
        const double size = random_->uniform(2.0, 5.0);
        const Color color = pick(*random_, colors);
        const std::string& shape = shapes[static_cast<std::size_t>(random_->uniformInt(0, 2))];
        particles.emplace_back(Particle{x, y, std::cos(a) * v, std::sin(a) * v - 60, life, maxLife, color, size, shape});
    }
}

void ParticleSystem::update(double dt) {
    std::vector<Particle> next;
    next.reserve(particles.size());
    for (const auto& p : particles) {
        const double life = p.life - dt;
        if (life <= 0) continue;
        Particle q = p;
        q.x = p.x + dt * p.vx;
        q.y = p.y + dt * p.vy;
        q.vx = p.vx * 0.97;
        q.vy = p.vy + 80 * dt;
        q.life = life;
        next.push_back(std::move(q));
    }
    particles = std::move(next);
}

void ParticleSystem::draw(Canvas& c) const {
    for (const auto& p : particles) {
        const double t = p.life / p.maxLife;
        const double s = p.size * std::max(t, 0.3);
        // `!(s >= 0.4)` also skips a particle whose maxLife is 0 (t not a number).
        if (!(s >= 0.4)) continue;
        const Color color = p.color.withAlpha(t);
        c.setFillColor(color);
        c.setStrokeColor(color);
        if (p.shape == "s") {
            c.setLineWidth(2);
            c.strokeLine({p.x - s, p.y}, {p.x + s, p.y});
            c.strokeLine({p.x, p.y - s}, {p.x, p.y + s});
            const double d = 0.7 * s;
            c.strokeLine({p.x - d, p.y - d}, {p.x + d, p.y + d});
            c.strokeLine({p.x - d, p.y + d}, {p.x + d, p.y - d});
        } else if (p.shape == "r") {
            c.fillRect(Rect{p.x - s, p.y - 0.6 * s, 2 * s, 1.2 * s});
        } else {
            c.fillCircle({p.x, p.y}, s);
        }
    }
}

}  // namespace tw
