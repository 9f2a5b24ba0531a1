#pragma once
// The settings panel: a small floating tool window where the user picks the display
// scale, the deterministic timeline and its seed, and the update check at start. It
// shows the values it is given and hands its controls' states back; what Save does is
// decided elsewhere. It opens centred where the strip leaves room for it, and its
// title-bar close only hides it, so it reopens as it was left.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "Tumblewick/shell/launch/settings_panel_model.h"
#include "platform/x11/above_strip_placement.h"

namespace tw {

class SettingsPanel final : public QWidget {
   public:
    struct Actions {
        std::function<void()> cancel;
        std::function<void()> save;
        std::function<void()> diagnostics;
    };

    // `stripTop`: where the strip is, which the panel opens clear of.
    SettingsPanel(const SettingsPanelValues& values, Actions actions, const StripTop& stripTop = {});

    SettingsPanelState state() const;
    // Shows the panel in front and gives it the keyboard.
    void present();

    QComboBox& scalePopup() { return *scalePopup_; }
    QCheckBox& deterministicCheckbox() { return *deterministicCheckbox_; }
    QLineEdit& seedField() { return *seedField_; }
    QCheckBox& updateCheckbox() { return *updateCheckbox_; }
    QPushButton& button(const QString& title);

   private:
    QComboBox* scalePopup_;
    QCheckBox* deterministicCheckbox_;
    QLineEdit* seedField_;
    QCheckBox* updateCheckbox_;
};

}  // namespace tw
