#include <gtest/gtest.h>

#include "platform/testing/recording_canvas.h"
#include "windows/inner_life/activity_chart.h"
#include "windows/inner_life/mood_bars.h"

namespace tw {
namespace {

using Kind = RecordedOp::Kind;

TEST(InnerLifeDrawingTest, MoodBarsGrowFromTheirFootWithClampedValues) {
    RecordingCanvas canvas;
    // Confidence, nerves, joy, pride as stored; drawn as confidence, joy, pride, nerves.
    drawMoodBars(canvas, {288, 60}, MoodDimensions{.confidence = 0.5, .nerves = 1.2, .joy = 0, .pride = -1});
    const auto ops = canvas.drawingOps();
    const Color track = Color::white(1, 0.1);
    struct Expected {
        double centre;
        std::optional<Rect> bar;
        Color color;
        const char* value;
    };
    const Expected slots[] = {{36, Rect{28, 26, 16, 18}, Color::rgb(0.4, 0.85, 0.95, 0.85), "50"},
                              {108, std::nullopt, {}, "0"},
                              {180, std::nullopt, {}, "0"},
                              {252, Rect{244, 8, 16, 36}, Color::rgb(0.95, 0.32, 0.36, 0.85), "100"}};
    std::size_t at = 0;
    for (const Expected& slot : slots) {
        SCOPED_TRACE(slot.value);
        ASSERT_LT(at, ops.size());
        EXPECT_EQ(ops[at].rect, (Rect{slot.centre - 8, 8, 16, 36}));
        EXPECT_EQ(ops[at++].color, track);
        if (slot.bar) {
            EXPECT_EQ(ops[at].rect, *slot.bar);
            EXPECT_EQ(ops[at++].color, slot.color);
        }
        ASSERT_EQ(ops[at].kind, Kind::text);
        EXPECT_EQ(ops[at].text, slot.value);
        EXPECT_DOUBLE_EQ(ops[at].point.x + canvas.measureText(slot.value, ops[at].textStyle.font).width / 2,
                         slot.centre);
        EXPECT_DOUBLE_EQ(ops[at].point.y + canvas.measureText(slot.value, ops[at].textStyle.font).height, 58);
        ++at;
    }
    EXPECT_EQ(at, ops.size());
    EXPECT_EQ(moodBars({})[1].color, Color::rgb(1, 1, 0, 0.85)) << "joy is pure yellow";
    EXPECT_EQ(moodBars({})[2].color, Color::rgb(0.96, 0.78, 0.2, 0.85));
}

TEST(InnerLifeDrawingTest, ActivityChartScalesBarsToTheBusiestMinute) {
    struct Case {
        std::vector<std::int64_t> buckets;
        std::vector<Rect> fills;  // the ground first, then the bars
        bool caption;
    };
    const Case cases[] = {
        {{}, {}, false},
        {{0, 0, 0, 0}, {{0, 0, 40, 60}}, false},
        {{0, 0, 3, 1}, {{0, 0, 40, 60}, {21, 0, 8, 60}, {31, 40, 8, 20}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.buckets.size());
        RecordingCanvas canvas;
        drawActivityChart(canvas, {40, 60}, c.buckets);
        std::vector<Rect> fills;
        std::vector<RecordedOp> texts;
        for (const RecordedOp& op : canvas.drawingOps()) {
            if (op.kind == Kind::fillRect) fills.push_back(op.rect);
            if (op.kind == Kind::fillRect && fills.size() > 1) {
                EXPECT_EQ(op.color, Color::rgb(1, 1, 0, 0.6));
            }
            if (op.kind == Kind::text) texts.push_back(op);
        }
        EXPECT_EQ(fills, c.fills);
        ASSERT_EQ(texts.size(), c.caption ? 1u : 0u);
        if (c.caption) {
            EXPECT_EQ(texts[0].text, "  \u2191 activity over last 60 min");
            EXPECT_EQ(texts[0].point.x, 4);
            EXPECT_EQ(texts[0].color, Color::white(1, 0.4));
        }
    }
}

}  // namespace
}  // namespace tw
