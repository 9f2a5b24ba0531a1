// The colony windows' palette: every text and mark they draw reads on what is behind it.
#include "Tumblewick/colony/ui/colony_style.h"

#include <gtest/gtest.h>

#include <QWidget>

#include "platform/testing/contrast.h"

namespace tw {
namespace {

Color colour(const QColor& c) { return Color::rgb(c.redF(), c.greenF(), c.blueF(), c.alphaF()); }

TEST(ColonyStyle, TextAndMarksReachFourAndAHalfToOneOnTheirBackgrounds) {
    QWidget window;
    window.setPalette(ColonyStyle::palette());
    const auto tone = [&](Tone t, double opacity = 1) {
        return colour(ColonyStyle::toneColor({t, opacity}, window));
    };
    const auto role = [&](QPalette::ColorRole r) { return colour(window.palette().color(r)); };
    const Color windowBack = role(QPalette::Window);
    const Color list = role(QPalette::Base);
    const Color selected = role(QPalette::Highlight);
    const Color unlockedCard = testing::over(tone(Tone::yellow, 0.1), windowBack);
    const Color quietCard = testing::over(tone(Tone::grey, 0.05), windowBack);
    const auto badge = [&](Color row) { return testing::over(tone(Tone::yellow, 0.15), row); };
    Color rowSecondary = role(QPalette::Text);
    rowSecondary.alpha = 0.6;
    Color selectedSecondary = role(QPalette::HighlightedText);
    selectedSecondary.alpha = 0.6;
    struct Case {
        const char* what;
        Color ink;
        Color background;
    };
    const Case cases[] = {
        {"title", tone(Tone::primary), windowBack},
        {"caption", tone(Tone::secondary), windowBack},
        {"level", tone(Tone::yellow), windowBack},
        {"committed branch", tone(Tone::yellow), windowBack},
        {"locked title", tone(Tone::grey), quietCard},
        {"node title", tone(Tone::primary), quietCard},
        {"node description", tone(Tone::secondary), quietCard},
        {"node cost", tone(Tone::yellow), quietCard},
        {"unlocked title and seal", tone(Tone::yellow), unlockedCard},
        {"unlocked description", tone(Tone::secondary), unlockedCard},
        {"flea name", role(QPalette::Text), list},
        {"flea act", rowSecondary, list},
        {"level badge", tone(Tone::yellow), badge(list)},
        {"chosen flea name", role(QPalette::HighlightedText), selected},
        {"chosen flea act", selectedSecondary, selected},
        {"chosen level badge", tone(Tone::yellow), badge(selected)},
        {"button", role(QPalette::ButtonText), role(QPalette::Button)},
    };
    for (const Case& c : cases) EXPECT_GE(testing::contrastRatio(c.ink, c.background), 4.5) << c.what;
}

}  // namespace
}  // namespace tw
