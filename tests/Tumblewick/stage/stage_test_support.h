#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "Tumblewick/stage/energy_system.h"
#include "Tumblewick/stage/random_source.h"
#include "platform/testing/recording_canvas.h"

namespace tw::testing {

// Answers with queued values (then the low end of the range), so a test decides
// every draw.
class ScriptedRandom final : public RandomSource {
   public:
    std::deque<double> uniforms;
    std::deque<std::int64_t> ints;
    double uniform(double lo, double) override {
        if (uniforms.empty()) return lo;
        const double v = uniforms.front();
        uniforms.pop_front();
        return v;
    }
    std::int64_t uniformInt(std::int64_t lo, std::int64_t) override {
        if (ints.empty()) return lo;
        const auto v = ints.front();
        ints.pop_front();
        return v;
    }
};

class RecordingXPSink final : public CustomFleaXPSink {
   public:
    std::vector<std::int64_t> awards;
    void addXPToAll(std::int64_t amount) override { awards.push_back(amount); }
};

inline void expectRect(const Rect& actual, const Rect& expected, double tolerance = 1e-9) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.width, expected.width, tolerance);
    EXPECT_NEAR(actual.height, expected.height, tolerance);
}

inline void expectPoint(const Point& actual, const Point& expected, double tolerance = 1e-9) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
}

// The two end points of a stroked line.
inline std::pair<Point, Point> lineOf(const RecordedOp& op) {
    const auto& e = op.path.elements();
    EXPECT_EQ(e.size(), 2u);
    return {e.at(0).points.at(0), e.at(1).points.at(0)};
}

}  // namespace tw::testing
