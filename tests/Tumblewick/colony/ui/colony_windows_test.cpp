// The colony's real widgets, driven offscreen: the wizard from the first step to a
// flea in the list and the store, its ways out, practice and unlocking in the detail
// pane, odd progression documents, the window's reuse and its place above the strip. Each view is also
// painted to a PNG under the test output folder for a look by eye.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cstdlib>
#include <filesystem>

#include "Tumblewick/colony/mac_custom_flea_store.h"
#include "Tumblewick/colony/mac_flea_levels.h"
#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/colony/ui/mac_colony_window.h"
#include "Tumblewick/colony/ui/mac_flea_detail_view.h"
#include "Tumblewick/colony/ui/mac_flea_preview_view.h"
#include "Tumblewick/colony/ui/mac_tech_node_card.h"
#include "Tumblewick/colony/ui/mac_wizard_dialog.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "platform/x11/above_strip_placement.h"

namespace tw {
namespace {

// Always the same sample name: index 0, "Zest".
class FirstChoice final : public RandomSource {
   public:
    double uniform(double lo, double) override { return lo; }
    std::int64_t uniformInt(std::int64_t lo, std::int64_t) override { return lo; }
};

void savePng(QWidget& widget, const std::string& name) {
    const char* base = std::getenv("TW_TEST_OUTPUT_DIR");
    const auto dir = std::filesystem::path(base != nullptr ? base : "test-output") / "colony";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(widget.grab().save(QString::fromStdString((dir / (name + ".png")).string())));
}

void pressEscape(QWidget& widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

// Runs what the event loop would: deferred deletes and the window's coalesced refresh.
void settle() {
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

class ColonyWindowsTest : public ::testing::Test {
   protected:
    void TearDown() override { MacFleaLevels::thresholds() = MacFleaLevels::builtInThresholds(); }

    MacCustomFlea addFlea(std::string name, std::string act, std::int64_t xp = 0) {
        auto flea = MacCustomFlea::create(std::move(name), 1, "topHat", std::move(act), clock);
        flea.xp = xp;
        store.add(flea);
        return flea;
    }

    testing::InMemoryDefaults defaults;
    testing::ManualClock clock;
    testing::ManualMainQueue queue;
    MacCustomFleaStore store{defaults, clock, queue};
    FirstChoice random;
    ProgressionSpec document = loadProgressionSpec();
};

TEST_F(ColonyWindowsTest, TheWizardMakesAFleaThatTheListAndTheStoreHold) {
    ASSERT_FALSE(document.acts.empty()) << "the shipped progression document was not found";
    MacColonyWindow window(store, document, random, clock);
    window.open();
    EXPECT_EQ(window.fleaList().count(), 0);
    EXPECT_TRUE(window.placeholder().isVisible());

    auto& wizard = window.presentWizard();
    EXPECT_EQ(wizard.windowModality(), Qt::WindowModal);
    EXPECT_EQ(wizard.nameField().text(), "Zest");
    EXPECT_TRUE(wizard.findMyActButton().isEnabled());
    ASSERT_GE(wizard.swatches().size(), 3u);
    EXPECT_TRUE(wizard.swatches()[0]->isChecked());
    wizard.swatches()[2]->click();
    wizard.hatChips()[2]->click();  // "crown"
    wizard.nameField().clear();
    EXPECT_FALSE(wizard.findMyActButton().isEnabled());
    wizard.randomizeButton().click();
    EXPECT_EQ(wizard.nameField().text(), "Zest");
    EXPECT_TRUE(wizard.swatches()[2]->isChecked());
    EXPECT_FALSE(wizard.swatches()[0]->isChecked());
    EXPECT_TRUE(wizard.hatChips()[2]->isChecked());
    wizard.nameField().setText("Zest & Co");
    savePng(wizard, "wizard-customise");

    wizard.findMyActButton().click();
    // "Charge straight ahead", "Launched like a projectile", "My humour": cannon, two to one.
    const int answers[] = {2, 2, 5};
    for (int question = 0; question < 3; ++question) {
        savePng(wizard, "wizard-question-" + std::to_string(question + 1));
        wizard.answerButtons()[static_cast<std::size_t>(answers[question])]->click();
    }
    EXPECT_EQ(wizard.model().revealedAct, "cannon");
    EXPECT_TRUE(wizard.welcomeButton().isVisible());
    EXPECT_EQ(wizard.welcomeButton().text(), "Welcome Zest && Co to the Circus");  // '&' kept, not a shortcut
    savePng(wizard, "wizard-reveal");
    EXPECT_TRUE(store.fleas().empty());

    wizard.welcomeButton().click();
    settle();
    EXPECT_EQ(window.wizard(), nullptr);
    ASSERT_EQ(store.fleas().size(), 1u);
    const auto& made = store.fleas().front();
    EXPECT_EQ(made.name, "Zest & Co");
    EXPECT_EQ(made.bodyColorIndex, 2);
    EXPECT_EQ(made.hatKind, "crown");
    EXPECT_EQ(made.discoveredAct, "cannon");
    EXPECT_EQ(made.xp, 0);
    EXPECT_EQ(made.createdAt, clock.now());
    EXPECT_TRUE(defaults.object(MacCustomFleaStore::key));  // saved by the store, not kept by the window
    ASSERT_EQ(window.fleaList().count(), 1);
    const auto* row = window.fleaList().item(0);
    EXPECT_EQ(row->data(MacColonyRowDelegate::nameRole).toString(), "Zest & Co");
    EXPECT_EQ(row->data(MacColonyRowDelegate::actRole).toString(), "The Human Cannonball");
    EXPECT_EQ(row->data(MacColonyRowDelegate::badgeRole).toString(), "Lv 1");
    EXPECT_FALSE(window.selectedFleaID());  // a new flea is listed, not chosen
    savePng(window, "colony-window");
}

TEST_F(ColonyWindowsTest, EscapeAndTheCloseButtonLeaveTheWizardWithoutAFlea) {
    ProgressionSpec noActs = document;
    noActs.acts.clear();
    ProgressionSpec otherActs = document;
    otherActs.acts.erase("cannon");
    struct Case {
        const char* what;
        const ProgressionSpec* spec;
        int answered;  // answers given before leaving; 3 reaches the reveal
        bool escape;   // else the window's close button
        bool revealShowsButton;
    };
    const std::vector<Case> cases = {
        {"escape while customising", &document, -1, true, false},
        {"close button in the quiz", &document, 1, false, false},
        {"escape at a reveal that could create", &document, 3, true, true},
        {"close button with no acts at all", &noActs, 3, false, false},
        {"escape when the revealed act is missing", &otherActs, 3, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MacColonyWindow window(store, *c.spec, random, clock);
        window.open();
        auto& wizard = window.presentWizard();
        if (c.answered >= 0) wizard.findMyActButton().click();
        for (int i = 0; i < c.answered; ++i) wizard.answerButtons()[2]->click();  // cannon
        if (c.answered == 3) {
            EXPECT_EQ(wizard.model().step, MacWizardModel::revealStep);
            EXPECT_EQ(wizard.welcomeButton().isVisible(), c.revealShowsButton);
            if (c.spec == &noActs) savePng(wizard, "wizard-reveal-missing-act");
        }
        if (c.escape) {
            pressEscape(wizard);
        } else {
            wizard.close();
        }
        settle();
        EXPECT_EQ(window.wizard(), nullptr);
        EXPECT_TRUE(store.fleas().empty());
        // A fresh wizard starts over.
        EXPECT_EQ(window.presentWizard().model().step, MacWizardModel::customizeStep);
        window.wizard()->close();
        settle();
    }
}

TEST_F(ColonyWindowsTest, PracticeAndUnlockingUpdateTheDetailInPlace) {
    const auto flea = addFlea("Bitty", "cannon", 12);
    MacColonyWindow window(store, document, random, clock);
    window.resize(900, 760);
    window.open();
    window.selectFlea(flea.id);
    auto* detail = window.detailView();
    ASSERT_NE(detail, nullptr);
    ASSERT_TRUE(detail->hasTechTree());
    const auto cards = detail->cards();
    ASSERT_EQ(cards.size(), 6u);
    auto state = [&](const char* id) { return detail->card(id)->state(); };
    EXPECT_EQ(state("cannon_extra_powder"), TechNodeState::unaffordable);  // 20 XP
    EXPECT_EQ(state("cannon_fireproof_suit"), TechNodeState::prerequisiteMissing);

    detail->practiceButton().click();
    settle();
    EXPECT_EQ(store.fleas()[0].xp, 22);
    EXPECT_EQ(detail->levelLabel().text(), "Level 2");
    EXPECT_EQ(detail->xpLabel().text(), "22 XP");
    EXPECT_EQ(window.fleaList().item(0)->data(MacColonyRowDelegate::badgeRole).toString(), "Lv 2");
    EXPECT_EQ(state("cannon_extra_powder"), TechNodeState::enabled);

    // Typing: XP for every flea with each key; the same cards just change state.
    for (int key = 0; key < 200; ++key) store.addXPToAll(1);
    settle();
    EXPECT_EQ(detail->xpLabel().text(), "222 XP");
    EXPECT_EQ(detail->cards(), cards);
    EXPECT_EQ(window.detailView(), detail);

    detail->card("cannon_extra_powder")->click();
    settle();
    EXPECT_EQ(store.fleas()[0].unlockedNodeIDs, std::vector<std::string>{"cannon_extra_powder"});
    EXPECT_EQ(state("cannon_extra_powder"), TechNodeState::unlocked);
    EXPECT_FALSE(detail->card("cannon_extra_powder")->isEnabled());
    EXPECT_EQ(state("cannon_fireproof_suit"), TechNodeState::enabled);
    EXPECT_EQ(state("cannon_afterglow"), TechNodeState::prerequisiteMissing);

    detail->card("cannon_fireproof_suit")->click();
    settle();
    EXPECT_EQ(store.fleas()[0].xp, 222 - 20 - 60);
    EXPECT_EQ(state("cannon_fireproof_suit"), TechNodeState::unlocked);
    EXPECT_EQ(state("cannon_afterglow"), TechNodeState::branchLocked);
    EXPECT_EQ(state("cannon_medal_of_daring"), TechNodeState::branchLocked);
    EXPECT_EQ(state("cannon_smoke_and_sparks"), TechNodeState::enabled);  // no branch: never locked
    // A locked card ignores a press.
    detail->card("cannon_afterglow")->click();
    settle();
    EXPECT_EQ(store.fleas()[0].unlockedNodeIDs.size(), 2u);
    EXPECT_EQ(detail->cards(), cards);
    // The tint of the unlocked suit reaches the preview.
    EXPECT_TRUE(detail->preview().look().effectFlags.tint);
    savePng(window, "detail-levelled-flea");
}

TEST_F(ColonyWindowsTest, UnusualDocumentsShowSomethingSensible) {
    ProgressionSpec odd;
    odd.bodyPalette = {{"Short", {0.9}, {0.1, 0.2}}};
    auto& act = odd.acts["cannon"];
    act.callingName = "Odd Cannon";
    ProgressionSpec::TechNode orphan;
    orphan.id = "orphan";
    orphan.title = "<b>Orphan</b>";
    orphan.tier = 2;
    orphan.branch = "alpha";
    orphan.prerequisites = {"nowhere"};
    ProgressionSpec::TechNode hidden = orphan;
    hidden.id = "tier-four";
    hidden.tier = 4;
    act.techTree = {orphan, hidden};
    MacFleaLevels::thresholds() = {};

    const auto known = addFlea("<i>Odd</i>", "cannon", 5000);
    const auto stranger = addFlea("Stranger", "strongman");
    MacColonyWindow window(store, odd, random, clock);
    window.resize(800, 600);
    window.open();
    EXPECT_EQ(window.fleaList().item(1)->data(MacColonyRowDelegate::actRole).toString(), "strongman");

    window.selectFlea(known.id);
    auto* detail = window.detailView();
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->nameLabel().textFormat(), Qt::PlainText);
    EXPECT_EQ(detail->nameLabel().text(), "<i>Odd</i>");
    EXPECT_EQ(detail->levelLabel().text(), "Level 1");
    EXPECT_EQ(detail->levelBar().value(), detail->levelBar().maximum());
    ASSERT_EQ(detail->cards().size(), 1u);  // the tier-4 node has no place
    EXPECT_EQ(detail->cards()[0]->state(), TechNodeState::prerequisiteMissing);
    // Palette lists too short for a colour fall back to the default flea's.
    EXPECT_EQ(detail->preview().look().bodyColor, Colors::flea);
    EXPECT_EQ(detail->preview().look().headColor, Colors::fleaLight);
    savePng(window, "detail-odd-document");

    window.selectFlea(stranger.id);
    ASSERT_NE(window.detailView(), nullptr);
    EXPECT_FALSE(window.detailView()->hasTechTree());

    // The wizard over a document with a short palette and no hats.
    auto& wizard = window.presentWizard();
    ASSERT_EQ(wizard.swatches().size(), 1u);
    EXPECT_EQ(wizard.swatches()[0]->color(), QColor::fromRgbF(0.18f, 0.09f, 0.06f));
    EXPECT_TRUE(wizard.hatChips().empty());
    wizard.close();
    settle();
}

TEST_F(ColonyWindowsTest, TheWindowIsReusedWhereItWasWithItsSelection) {
    const auto flea = addFlea("Dash", "cannon");
    MacColonyWindow window(store, document, random, clock);
    window.open();
    window.selectFlea(flea.id);
    window.move(window.pos() + QPoint(40, 30));
    const QPoint where = window.pos();
    const QSize size = window.size();
    window.close();
    EXPECT_FALSE(window.isVisible());
    store.addXP(3, flea.id);  // changes while hidden still arrive
    settle();

    window.open();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.pos(), where);
    EXPECT_EQ(window.size(), size);
    EXPECT_EQ(window.selectedFleaID(), flea.id);
    ASSERT_NE(window.detailView(), nullptr);
    EXPECT_EQ(window.detailView()->xpLabel().text(), "3 XP");
    // One wizard at a time.
    EXPECT_EQ(&window.presentWizard(), &window.presentWizard());
    window.wizard()->close();
    settle();
}

// Both windows open clear of the strip; shorter than their content, they scroll it,
// and the wizard keeps its button in sight.
TEST_F(ColonyWindowsTest, TheWindowAndTheWizardOpenAboveTheStrip) {
    for (const int stripTop : {520, 330}) {
        SCOPED_TRACE(stripTop);
        MacColonyWindow window(store, document, random, clock);
        window.open(stripTop);
        EXPECT_LT(window.frameGeometry().bottom(), stripTop);
        EXPECT_GE(window.joinButton().parentWidget()->height(), 400);  // not squeezed
        if (stripTop == 520) {
            const QPushButton& join = window.joinButton();
            EXPECT_LT(join.mapToGlobal(join.rect().bottomLeft()).y(), stripTop);
        }
        auto& wizard = window.presentWizard();
        EXPECT_LT(wizard.frameGeometry().bottom(), stripTop);
        const QPushButton& findMyAct = wizard.findMyActButton();
        EXPECT_TRUE(findMyAct.isVisible());
        EXPECT_TRUE(wizard.rect().contains(QRect(findMyAct.mapTo(&wizard, QPoint()), findMyAct.size())));
        savePng(wizard, "wizard-above-strip-" + std::to_string(stripTop));
        wizard.close();
        settle();
    }
}

// Within the width of the screen (800 pixels offscreen), and never narrower than its
// content where the screen has room: measured once laid out, as the colony lays its
// content out after handing it over; where the screen has no room, it scrolls sideways.
TEST_F(ColonyWindowsTest, AScrollingWindowIsAsWideAsItsContentOrScrollsItSideways) {
    MacColonyWindow colony(store, document, random, clock);
    colony.open();
    const QRect screen = colony.screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(colony.geometry()))
        << "at " << colony.geometry().x() << " " << colony.geometry().width();
    for (const int wide : {600, 1000}) {
        SCOPED_TRACE(wide);
        QWidget window;
        auto* content = new QWidget;
        setScrollingContent(window, content);
        auto* layout = new QVBoxLayout(content);
        auto* row = new QWidget(content);
        row->setMinimumWidth(wide);
        layout->addWidget(row);
        settle();
        const auto& scroll = *window.findChild<QScrollArea*>();
        const int needed =
            content->minimumSizeHint().width() + scroll.verticalScrollBar()->sizeHint().width();
        EXPECT_EQ(window.minimumWidth(), std::min(needed, screen.width() - 8));  // room for a frame
        window.show();
        settle();
        EXPECT_GE(content->width(), wide) << "not squeezed";
        EXPECT_EQ(scroll.horizontalScrollBar()->isVisible(), needed > screen.width()) << "scrolls sideways";
    }
}

// The controls menu's entry: one window for the process, on the shared store.
TEST(ColonySharedWindowTest, OpensTheOneWindowOfTheProcess) {
    // Kept for the process, like the shared window that holds on to the store.
    static testing::InMemoryDefaults defaults;
    static testing::ManualClock clock;
    static testing::ManualMainQueue queue;
    static MacCustomFleaStore store(defaults, clock, queue);
    MacCustomFleaStore::installShared(&store);
    openColonyWindow();
    auto& window = MacColonyWindow::shared();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Tumblewick Colony");
    window.close();
    openColonyWindow();
    EXPECT_EQ(&MacColonyWindow::shared(), &window);
    EXPECT_TRUE(window.isVisible());
    window.close();
}

}  // namespace
}  // namespace tw
