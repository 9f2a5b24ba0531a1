// Paints the acts, hats and effects into PNG files for a look by eye, and checks the
// pixels: each figure where it belongs, in its own colours.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/stage/act_layout.h"
#include "Tumblewick/stage/cannon_act.h"
#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/custom_flea_looks.h"
#include "Tumblewick/stage/fire_breather_act.h"
#include "Tumblewick/stage/flea_figure.h"
#include "Tumblewick/stage/floating_text.h"
#include "Tumblewick/stage/gear.h"
#include "Tumblewick/stage/juggling_act.h"
#include "Tumblewick/stage/mac_custom_flea_by_act.h"
#include "Tumblewick/stage/shockwave.h"
#include "Tumblewick/stage/strong_flea_act.h"
#include "Tumblewick/stage/tightrope_act.h"
#include "Tumblewick/stage/trapeze_act.h"
#include "Tumblewick/stage/unicycle_act.h"
#include "platform/qt/qpainter_canvas.h"

namespace tw {
namespace {

std::filesystem::path outputDir() {
    const char* base = std::getenv("TW_TEST_OUTPUT_DIR");
    auto dir = std::filesystem::path(base != nullptr ? base : "test-output") / "stage";
    std::filesystem::create_directories(dir);
    return dir;
}

const QColor kBackdrop(250, 246, 236);

// Paints on a light backdrop (so translucent shapes read) and saves a PNG.
QImage render(int width, int height, double zoom, const std::string& name,
              const std::function<void(Canvas&)>& paint) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(kBackdrop);
    {
        QPainter painter(&image);
        QPainterCanvas canvas(painter);
        canvas.scale(zoom, zoom);
        paint(canvas);
    }
    EXPECT_TRUE(image.save(QString::fromStdString((outputDir() / (name + ".png")).string())));
    return image;
}

QColor qcolor(Color color) { return QColor::fromRgbF(color.red, color.green, color.blue); }

// Pixels inside `area` that hold `color`, give or take rounding.
int countColour(const QImage& image, Color color, QRect area) {
    const QColor want = qcolor(color);
    int count = 0;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor got = image.pixelColor(x, y);
            if (std::abs(got.red() - want.red()) <= 2 && std::abs(got.green() - want.green()) <= 2 &&
                std::abs(got.blue() - want.blue()) <= 2)
                ++count;
        }
    }
    return count;
}

// The first row inside `area`, from the top, where anything was painted; the row
// below the area when nothing was.
int topInk(const QImage& image, QRect area) {
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) != kBackdrop) return y;
    }
    return area.bottom() + 1;
}

class StageRenderTest : public ::testing::Test {
   protected:
    void SetUp() override {
        macCustomFleaByAct().clear();
        progressionSpec() = loadProgressionSpec();
    }
    void TearDown() override {
        macCustomFleaByAct().clear();
        progressionSpec().reset();
    }
    SeededRandomSource random{42};
    ParticleSystem particles{random};
};

TEST_F(StageRenderTest, EveryActAloneAndAllSevenOnTheStrip) {
    const double ground = 135;
    TightropeAct tightrope(20, ground, 110, random);
    tightrope.position = 0.4;
    TrapezeAct trapeze(60, ground, 90, random);
    trapeze.angle = 0.6;
    CannonAct cannon(10, ground, 200, random);
    cannon.fire();
    cannon.update(0.3, 0.5);
    StrongFleaAct strongman(80, ground);
    strongman.lift = 0.7;
    UnicycleAct unicycle(80, ground);
    unicycle.wheelAngle = 20;
    JugglingAct juggling(80, ground, random);
    juggling.phase = 1.3;
    juggling.throwBoost = 0.8;
    FireBreatherAct fire(10, ground, 180, random);
    fire.burst = 1;
    fire.phase = 0.4;

    // Each act shows its performer and a colour of its own rig.
    struct Solo {
        const char* name;
        CircusAct* act;
        Color rig;
    };
    const Solo solos[] = {
        {"tightrope", &tightrope, Colors::rope},
        {"trapeze", &trapeze, Colors::rope},
        {"cannon", &cannon, Colors::cannon},
        {"strongman", &strongman, Colors::systemGray},
        {"unicycle", &unicycle, Colors::wheel},
        {"juggling", &juggling, Colors::bunting[0]},
        {"firebreather", &fire, Color::rgb(1, 0.4, 0)},  // the torch's head
    };
    for (const auto& [name, act, rig] : solos) {
        SCOPED_TRACE(name);
        const QImage image = render(480, 300, 2, std::string("act_") + name, [&](Canvas& c) {
            act->draw(c, particles);
            particles.draw(c);
        });
        EXPECT_GT(countColour(image, Colors::flea, image.rect()), 20);
        EXPECT_GT(countColour(image, rig, image.rect()), 4);
    }

    // All seven along a 1920-point strip, placed as the stage view places them.
    const double u = 1920.0 / 9;
    const auto at = [](ActSlot slot) { return actSpan(slot, 1920); };
    TightropeAct t2(at(ActSlot::tightrope).x, ground, at(ActSlot::tightrope).width, random);
    TrapezeAct tr2(at(ActSlot::trapeze).x, ground, at(ActSlot::trapeze).width, random);
    CannonAct c2(at(ActSlot::cannon).x, ground, at(ActSlot::cannon).width, random);
    StrongFleaAct s2(at(ActSlot::strongman).x, ground);
    UnicycleAct u2(at(ActSlot::unicycle).x, ground);
    JugglingAct j2(at(ActSlot::juggling).x, ground, random);
    FireBreatherAct f2(at(ActSlot::firebreather).x, ground, at(ActSlot::firebreather).width, random);
    std::vector<CircusAct*> strip = {&t2, &tr2, &c2, &s2, &u2, &j2, &f2};
    j2.onClickNearby(1);
    f2.onClickNearby(1);
    for (int frame = 0; frame < 90; ++frame) {
        for (auto* act : strip) act->update(1.0 / 60, 0.8);
    }
    const QImage image = render(1920, 150, 1, "strip_all_acts", [&](Canvas& c) {
        for (auto* act : strip) act->draw(c, particles);
        particles.draw(c);
    });
    // Every performer stands by its own act: from a quarter slot before its origin to
    // one slot after, a stretch that holds no other act's performer.
    for (std::size_t slot = 0; slot < actPlaces.size(); ++slot) {
        const double x = at(static_cast<ActSlot>(slot)).x;
        SCOPED_TRACE(actPlaces[slot].act);
        const QRect stretch(static_cast<int>(x - u / 4), 0, static_cast<int>(1.25 * u), image.height());
        EXPECT_GT(countColour(image, Colors::flea, stretch), 10);
    }
}

TEST_F(StageRenderTest, FleaWithEveryHatAndEveryEffect) {
    const QImage hats = render(720, 140, 2, "flea_hats", [](Canvas& c) {
        int i = 0;
        drawFlea(c, 30, 40, 1, 0.2, 2.5, true);
        for (auto kind : allMacFleaHatKinds) {
            drawFlea(c, 90 + 50 * i, 40, i % 2 == 0 ? 1 : -1, 0.2, 2.5, false, std::nullopt, std::nullopt,
                     kind);
            ++i;
        }
    });
    // Fleas stand 50 points (100 pixels) apart; the one at 90 wears no hat. Every hat
    // rises above that bare head, and each has a main colour of its own there.
    const auto slot = [&hats](int x) { return QRect(2 * x - 50, 0, 100, 140).intersected(hats.rect()); };
    const int bareTop = topInk(hats, slot(90));
    ASSERT_LT(bareTop, hats.height());
    std::set<QRgb> mainColours;
    for (const int x : {30, 140, 190, 240, 290, 340}) {
        SCOPED_TRACE(x);
        const QRect aboveHead = slot(x).adjusted(0, 0, 0, bareTop - slot(x).height());
        EXPECT_LT(topInk(hats, aboveHead), bareTop);
        std::map<QRgb, int> counts;
        for (int y = aboveHead.top(); y <= aboveHead.bottom(); ++y) {
            for (int px = aboveHead.left(); px <= aboveHead.right(); ++px)
                if (hats.pixelColor(px, y) != kBackdrop) ++counts[hats.pixel(px, y)];
        }
        const auto main = std::max_element(counts.begin(), counts.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
        ASSERT_NE(main, counts.end());
        EXPECT_TRUE(mainColours.insert(main->first).second);
    }

    // One custom flea per act from the shipped document, each with one branch unlocked:
    // the branch shows, so each act's flea looks different in the two pictures.
    const auto& spec = *progressionSpec();
    const char* keys[] = {"tightrope", "trapeze",  "cannon",      "strongman",
                          "unicycle",  "juggling", "firebreather"};
    std::map<std::string, QImage> byBranch;
    for (const char* branch : {"alpha", "beta"}) {
        std::int64_t colour = 0;
        for (const char* key : keys) {
            MacCustomFlea flea;
            flea.discoveredAct = key;
            flea.hatKind = "topHat";
            flea.bodyColorIndex = colour++;
            for (const auto& node : spec.acts.at(key).techTree) {
                if (!node.branch || *node.branch == branch) flea.unlockedNodeIDs.push_back(node.id);
            }
            macCustomFleaByAct()[key] = flea;
        }
        byBranch[branch] = render(840, 140, 2, std::string("custom_fleas_") + branch, [&](Canvas& c) {
            int i = 0;
            for (const char* key : keys) drawActFleaMac(c, key, 40 + 60 * i++, 40, 1, 0.3, 2);
        });
    }
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(keys[i]);
        const QRect area = QRect(2 * (40 + 60 * i) - 60, 0, 120, 140).intersected(byBranch["alpha"].rect());
        int differing = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                differing += byBranch["alpha"].pixel(x, y) != byBranch["beta"].pixel(x, y) ? 1 : 0;
        }
        EXPECT_GT(differing, 100);
    }
}

TEST_F(StageRenderTest, EffectsAndProbes) {
    const auto image = render(400, 150, 1, "effects", [&](Canvas& c) {
        particles.clickBurst(60, 70);
        particles.sparkle(60, 70, 10);
        particles.confetti(60, 70, 15);
        particles.update(0.15);
        particles.draw(c);
        Shockwave{170, 75, 40}.draw(c);
        Gear{.x = 260, .y = 75, .radius = 30, .teeth = 12, .angle = 10}.draw(c);
        FloatingText{.x = 300, .y = 20, .text = "+18", .color = Colors::gold, .life = 1.0}.draw(c);
        // A large gold star for the fill-rule probe below.
        drawFleaDecorationsMac(c, 60, 120, 10, false, true, 0);
    });
    // Non-zero winding fills the pentagram's inner pentagon (below the white dot).
    const QColor inner = image.pixelColor(60, 120 + 10 + 7);
    EXPECT_GT(inner.red(), 230);
    EXPECT_GT(inner.green(), 190);
    EXPECT_LT(inner.blue(), 60);
    // The caption's top-left sits at (300, 20): ink below and right of it, none above.
    bool inkBelow = false;
    for (int y = 22; y < 50 && !inkBelow; ++y) {
        for (int x = 300; x < 360; ++x) inkBelow = inkBelow || image.pixelColor(x, y).blue() < 150;
    }
    EXPECT_TRUE(inkBelow);
    for (int x = 300; x < 360; ++x) EXPECT_GT(image.pixelColor(x, 12).blue(), 200);
}

// One point is one device-independent pixel whatever resolution the image reports: the
// glyphs must not be laid out at the screen's resolution instead of the image's.
TEST(QPainterCanvasText, KeepsItsSizeInImagesOfAnyResolution) {
    auto inkHeight = [](double dotsPerInch) {
        QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(static_cast<int>(dotsPerInch / 0.0254));
        image.setDotsPerMeterY(static_cast<int>(dotsPerInch / 0.0254));
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            QPainterCanvas canvas(painter);
            TextStyle style;
            style.font = Font{FontFamily::system, 40, FontWeight::bold};
            canvas.drawText("H", {10, 10}, style);
        }
        int top = -1;
        int bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qGray(image.pixel(x, y)) >= 128) continue;
                if (top < 0) top = y;
                bottom = y;
            }
        }
        return bottom - top;
    };
    const int atScreenResolution = inkHeight(96);
    EXPECT_GT(atScreenResolution, 20);  // a 40-point capital is about 29 pixels tall
    EXPECT_NEAR(inkHeight(192), atScreenResolution, 1);
    EXPECT_NEAR(inkHeight(72), atScreenResolution, 1);
}

}  // namespace
}  // namespace tw
