#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <string>

#include "../exports_test_support.h"
#include "platform/testing/recording_desktop.h"
#include "windows/exports/qt/tumblewick_share_card.h"

namespace tw {
namespace {

// Card coordinates have their origin at the bottom-left; the image's at the top-left.
QColor at(const QImage& card, double x, double cardY) {
    return card.pixelColor(static_cast<int>(x), TumblewickShareCard::height - 1 - static_cast<int>(cardY));
}

void expectColor(const QColor& actual, double r, double g, double b, const std::string& where) {
    EXPECT_NEAR(actual.redF(), r, 0.02) << where;
    EXPECT_NEAR(actual.greenF(), g, 0.02) << where;
    EXPECT_NEAR(actual.blueF(), b, 0.02) << where;
}

// Pixels in the rows [fromY, toY) of the card that are nearly white.
int whitePixels(const QImage& card, int fromY, int toY, int fromX = 0, int toX = TumblewickShareCard::width) {
    int count = 0;
    for (int y = fromY; y < toY; ++y) {
        for (int x = fromX; x < toX; ++x) {
            const QColor c = at(card, x, y);
            if (c.redF() > 0.8 && c.greenF() > 0.8 && c.blueF() > 0.8) ++count;
        }
    }
    return count;
}

TEST(ShareCardTest, BackgroundBuntingAndEmblemSitWhereTheLayoutPutsThem) {
    const QImage card = TumblewickShareCard::render(shareCardTexts({"Zing", "perform_signature", "Whee!"}));
    ASSERT_EQ(card.size(), QSize(1200, 630));
    card.save(QString::fromStdString((testing::scratchFolder("share-card") / "signature.png").string()));

    expectColor(at(card, 1, 628), 0.08, 0.04, 0.10, "top-left corner");
    expectColor(at(card, 1198, 1), 0.18, 0.06, 0.10, "bottom-right corner");
    // Pennant i is centred at (i + 0.5) * 1200 / 18 and hangs from y 28 down to its tip at y 6.
    const std::array<std::array<double, 3>, 4> colors = {
        {{0.95, 0.18, 0.20}, {0.95, 0.85, 0.20}, {0.20, 0.55, 0.85}, {0.95, 0.55, 0.20}}};
    for (int i = 0; i < 18; ++i) {
        const auto& c = colors[i % 4];
        expectColor(at(card, (i + 0.5) * 1200 / 18, 20), c[0], c[1], c[2], "pennant " + std::to_string(i));
    }
    // Between pennants, the gradient along the top-left to bottom-right diagonal.
    const double t = (66.0 * 1200 + 617.0 * 630) / (1200.0 * 1200 + 630.0 * 630);
    expectColor(at(card, 66, 12), 0.08 + 0.10 * t, 0.04 + 0.02 * t, 0.10, "gap between pennants");
    // The string: white at half alpha across the full width.
    EXPECT_GT(at(card, 600, 28).lightnessF(), 0.3);

    // The emblem's box ends 60 from the right edge, 50 below the top: colour, not grey.
    bool coloured = false;
    for (int y = 500; y < 580 && !coloured; ++y) {
        for (int x = 1060; x < 1140 && !coloured; ++x) {
            const QColor c = at(card, x, y);
            coloured = c.saturationF() > 0.5 && c.valueF() > 0.5;
        }
    }
    EXPECT_TRUE(coloured);
    EXPECT_EQ(whitePixels(card, 540, 630, 1140, 1200), 0);
}

TEST(ShareCardTest, ALongQuoteWrapsAndNothingOfItFallsBelowItsBox) {
    std::string line;
    for (int i = 0; i < 40; ++i) line += "tumbling ";
    const QImage card = TumblewickShareCard::render(shareCardTexts({"Nova", "diary", line}));
    card.save(QString::fromStdString((testing::scratchFolder("share-card-long") / "long.png").string()));
    // Several lines of the quote inside its box (y 220 to 460).
    EXPECT_GT(whitePixels(card, 380, 460), 500);
    EXPECT_GT(whitePixels(card, 230, 300), 500);
    // Between the box and the attribution line nothing is drawn.
    EXPECT_EQ(whitePixels(card, 168, 220), 0);
}

TEST(ShareCardTest, WritesAPngOnTheDesktopNamedBySecond) {
    const auto desktop = testing::scratchFolder("share-card-desktop");
    testing::RecordingDesktop recorder;
    const ShareCardMoment moment{"Tumblewick", "",
                                 "The troupe is quiet. Open the app and wind to wake them."};
    const Date now = testing::utcDecember7(23.5);
    const auto first =
        TumblewickShareCard::writeToDesktop(moment, now, testing::newYork(), desktop, recorder);
    const auto second =
        TumblewickShareCard::writeToDesktop(moment, now.adding(0.5), testing::newYork(), desktop, recorder);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, desktop / "Tumblewick-2026-12-07-183000.png");
    EXPECT_EQ(*second, *first);  // the same second: replaced
    EXPECT_EQ(QImage(QString::fromStdString(first->string())).size(), QSize(1200, 630));
    EXPECT_EQ(recorder.revealed.size(), 2u);
    EXPECT_EQ(
        TumblewickShareCard::writeToDesktop(moment, now, testing::newYork(), desktop / "gone", recorder),
        std::nullopt);
    EXPECT_EQ(recorder.revealed.size(), 2u);
}

}  // namespace
}  // namespace tw
