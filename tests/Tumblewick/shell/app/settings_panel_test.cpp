// The settings panel's controls and buttons, and the controls menu as a real menu.
#include "Tumblewick/shell/settings_panel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <filesystem>

#include "Tumblewick/shell/controls_menu_builder.h"

namespace tw {
namespace {

void saveImage(QWidget& widget, const char* name) {
    const char* out = std::getenv("TW_TEST_OUTPUT_DIR");
    if (out == nullptr) return;
    std::filesystem::create_directories(out);
    widget.grab().save(QString::fromStdString((std::filesystem::path(out) / name).string()));
}

TEST(SettingsPanel, ShowsItsValuesFollowsTheTimelineSwitchAndHandsTheChoicesBack) {
    std::vector<std::string> pressed;
    // A strip that a panel centred on the screen would reach into, as on a small screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int stripTop = screen.center().y() + 100;
    SettingsPanel panel({3, false, "424242", false},
                        {[&] { pressed.push_back("cancel"); }, [&] { pressed.push_back("save"); },
                         [&] { pressed.push_back("diagnostics"); }},
                        [stripTop] { return std::optional(stripTop); });
    EXPECT_LT(panel.frameGeometry().bottom(), stripTop - 8);             // room for a frame's foot
    EXPECT_NEAR(panel.geometry().center().x(), screen.center().x(), 4);  // give or take a border
    EXPECT_EQ(panel.windowTitle(), "Tumblewick Settings");
    EXPECT_EQ(panel.size(), QSize(440, 290));
    EXPECT_TRUE(panel.windowFlags() & Qt::Tool);
    EXPECT_EQ(panel.button("Diagnostics").geometry(), QRect(308, 238, 100, 28));
    saveImage(panel, "settings_panel.png");

    EXPECT_FALSE(panel.seedField().isEnabled());
    panel.deterministicCheckbox().click();
    EXPECT_TRUE(panel.seedField().isEnabled());
    panel.seedField().setText(" 17 ");
    panel.updateCheckbox().click();
    const SettingsPanelState state = panel.state();
    EXPECT_EQ(state.scaleTitle, "125%");
    EXPECT_TRUE(state.deterministicMode);
    EXPECT_EQ(state.seedText, " 17 ");
    EXPECT_TRUE(state.checkForUpdates);
    panel.deterministicCheckbox().click();
    EXPECT_FALSE(panel.seedField().isEnabled());

    for (const char* title : {"Cancel", "Save", "Diagnostics"}) panel.button(title).click();
    EXPECT_EQ(pressed, (std::vector<std::string>{"cancel", "save", "diagnostics"}));

    // The title bar's close hides the panel and keeps it with its controls as left.
    panel.present();
    EXPECT_TRUE(panel.isVisible());
    panel.close();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(panel.testAttribute(Qt::WA_DeleteOnClose));
}

TEST(ControlsMenuBuilder, BuildsTheItemsAndReportsTheOneChosen) {
    QMenu menu(QStringLiteral("Controls"));
    std::vector<ControlAction> chosen;
    fillControlMenu(menu, controlMenuItems(1.25, 0, true),
                    [&](const ControlMenuItem& item) { chosen.push_back(item.action); });
    menu.adjustSize();
    saveImage(menu, "controls_menu.png");
    menu.actions()[2]->trigger();
    menu.actions()[3]->trigger();
    QMenu* scales = menu.actions()[5]->menu();
    ASSERT_NE(scales, nullptr);
    EXPECT_TRUE(scales->actions()[2]->isChecked());
    scales->adjustSize();
    saveImage(*scales, "controls_menu_display_scale.png");
    scales->actions()[5]->trigger();
    EXPECT_EQ(chosen,
              (std::vector<ControlAction>{ControlAction::openSettingsPanel, ControlAction::exportDiagnostics,
                                          ControlAction::selectDisplayScaleAuto}));

    // The colony's key, shown beside it, chooses it while the menu is open.
    EXPECT_EQ(menu.actions()[0]->text(), "&Colony (Create a Flea)...\tC");
    menu.popup({0, 0});
    QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, QStringLiteral("c"));
    QApplication::sendEvent(&menu, &press);
    EXPECT_EQ(chosen.back(), ControlAction::openColony);
}

}  // namespace
}  // namespace tw
