// The marks the dark companion windows draw in colours of their own choosing, the scroll
// bars' handles and the switches' ticks, read on what is behind them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QStyle>
#include <QStyleOptionButton>

#include "agent/host/tumblewick_settings_panel.h"
#include "platform/settings_keys.h"
#include "platform/testing/contrast.h"
#include "platform/testing/in_memory_defaults.h"
#include "windows/companions/agent_settings_window.h"
#include "windows/companions/companion_style.h"

namespace tw {
namespace {

Color colour(const QColor& c) { return Color::rgb(c.redF(), c.greenF(), c.blueF(), c.alphaF()); }

TEST(CompanionContrast, ScrollHandlesReadOnEveryPanelOverAnyDesktop) {
    // The panels' own opacities: recent thoughts, the inspector and inner life, the timeline.
    for (const double alpha : {0.92, 0.94, 1.0}) {
        for (const Color desktop : {Color::white(0), Color::white(1)}) {
            const Color panel = testing::over(colour(companion::panelBackground(alpha)), desktop);
            EXPECT_GE(testing::contrastRatio(colour(companion::scrollHandle()), panel), 4.5)
                << alpha << " over " << desktop.red;
        }
    }
}

// Drawn, not worked out: the brightest pixel of a ticked box against the box's fill.
TEST(CompanionContrast, TheAgentSettingsTicksStandOutOfTheirBoxes) {
    testing::InMemoryDefaults defaults;
    AgentSettingsWindow window(defaults, {});
    QCheckBox& box = *window.checkBox(settings::autoSpotlight.key);
    ASSERT_TRUE(box.isChecked());
    box.ensurePolished();
    box.resize(box.sizeHint());
    const QImage image = box.grab().toImage();
    QStyleOptionButton option;
    option.initFrom(&box);
    const QRect indicator = box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
    const QColor fill = image.pixelColor(indicator.left() + 2, indicator.bottom() - 2);
    QColor tick = fill;
    for (int y = indicator.top(); y <= indicator.bottom(); ++y)
        for (int x = indicator.left(); x <= indicator.right(); ++x)
            if (std::abs(image.pixelColor(x, y).lightness() - fill.lightness()) >
                std::abs(tick.lightness() - fill.lightness()))
                tick = image.pixelColor(x, y);
    EXPECT_GE(testing::contrastRatio(colour(tick), colour(fill)), 4.5)
        << tick.name().toStdString() << " on " << fill.name().toStdString();
}

}  // namespace
}  // namespace tw
