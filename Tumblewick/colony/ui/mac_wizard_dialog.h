#pragma once
// The create-a-flea wizard: a window-modal dialog that walks through the customise
// step, three quiz questions and the reveal, then adds the flea to the store. Esc and
// the close button leave it at any step without making a flea.
#include <QAbstractButton>
#include <QDialog>
#include <vector>

#include "Tumblewick/colony/progression_spec.h"
#include "Tumblewick/colony/ui/mac_wizard_model.h"
#include "Tumblewick/stage/random_source.h"
#include "platform/clock.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace tw {

class MacCustomFleaStore;

// A round body-colour swatch, ringed in yellow when chosen.
class MacColorSwatch final : public QAbstractButton {
    Q_OBJECT
   public:
    MacColorSwatch(const QColor& color, QWidget* parent = nullptr);
    QColor color() const { return color_; }

   protected:
    void paintEvent(QPaintEvent* event) override;

   private:
    QColor color_;
};

// A hat's label on a rounded chip, yellow when chosen.
class MacHatChip final : public QAbstractButton {
    Q_OBJECT
   public:
    MacHatChip(const QString& label, QWidget* parent = nullptr);
    QSize sizeHint() const override;

   protected:
    void paintEvent(QPaintEvent* event) override;
};

class MacWizardDialog final : public QDialog {
    Q_OBJECT
   public:
    // The sample name is drawn from `random` when the dialog is made (once per
    // presentation: the window makes a fresh dialog each time).
    MacWizardDialog(const ProgressionSpec& spec, MacCustomFleaStore& store, RandomSource& random,
                    const Clock& clock, QWidget* parent = nullptr);

    const MacWizardModel& model() const { return model_; }

    // The widgets, for the window's tests.
    QLineEdit& nameField() const { return *nameField_; }
    QPushButton& randomizeButton() const { return *randomizeButton_; }
    QPushButton& findMyActButton() const { return *findMyActButton_; }
    const std::vector<MacColorSwatch*>& swatches() const { return swatches_; }
    const std::vector<MacHatChip*>& hatChips() const { return hatChips_; }
    const std::vector<QPushButton*>& answerButtons() const { return answerButtons_; }
    QPushButton& welcomeButton() const { return *welcomeButton_; }

   private:
    QWidget* buildCustomizePage();
    QWidget* buildQuizPage();
    QWidget* buildRevealPage();
    void showStep();
    void showPage(int index);
    void refreshChoices();
    void create();

    const ProgressionSpec& spec_;
    MacCustomFleaStore& store_;
    RandomSource& random_;
    const Clock& clock_;
    MacWizardModel model_;

    QStackedWidget* pages_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    QPushButton* randomizeButton_ = nullptr;
    QPushButton* findMyActButton_ = nullptr;
    std::vector<MacColorSwatch*> swatches_;
    std::vector<MacHatChip*> hatChips_;
    QLabel* questionCounter_ = nullptr;
    QLabel* questionText_ = nullptr;
    std::vector<QPushButton*> answerButtons_;
    QWidget* revealContent_ = nullptr;
    QLabel* revealEmoji_ = nullptr;
    QLabel* revealCallingName_ = nullptr;
    QPushButton* welcomeButton_ = nullptr;
    QLabel* revealMissing_ = nullptr;
};

}  // namespace tw
