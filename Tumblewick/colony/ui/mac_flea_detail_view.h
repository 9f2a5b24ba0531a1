#pragma once
// The colony window's right-hand pane for one flea: header, live preview, level bar,
// practice button and the act's tech tree. Built once per chosen flea; every store
// change updates it in place through refresh() (the tree's cards are never rebuilt
// while the flea's act stays the same).
#include <QScrollArea>
#include <optional>
#include <vector>

#include "Tumblewick/colony/mac_custom_flea.h"
#include "Tumblewick/colony/progression_spec.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QGridLayout;
class QVBoxLayout;

namespace tw {

class MacCustomFleaStore;
class MacFleaPreviewView;
class MacTechNodeCard;

// Tier-1 cards in as many columns of at least 180 points as fit.
class MacAdaptiveCardGrid final : public QWidget {
    Q_OBJECT
   public:
    explicit MacAdaptiveCardGrid(QWidget* parent = nullptr);
    void addCard(QWidget* card);
    int columns() const { return columns_; }

   protected:
    void resizeEvent(QResizeEvent* event) override;

   private:
    void relayout(int columns);
    QGridLayout* grid_;
    std::vector<QWidget*> cards_;
    int columns_ = 0;
};

class MacFleaDetailView final : public QScrollArea {
    Q_OBJECT
   public:
    // `spec` must outlive the view (the colony window owns it).
    MacFleaDetailView(MacCustomFlea flea, const std::optional<ProgressionSpec>& spec,
                      MacCustomFleaStore& store, QWidget* parent = nullptr);

    // Reads the live flea from the store and updates every text, the bar, the preview
    // and the cards' states.
    void refresh();

    const MacCustomFlea& flea() const { return flea_; }
    // The widgets, for the window's tests.
    QLabel& nameLabel() const { return *name_; }
    QLabel& levelLabel() const { return *level_; }
    QLabel& xpLabel() const { return *xp_; }
    QProgressBar& levelBar() const { return *bar_; }
    QPushButton& practiceButton() const { return *practice_; }
    MacFleaPreviewView& preview() const { return *preview_; }
    const std::vector<MacTechNodeCard*>& cards() const { return cards_; }
    MacTechNodeCard* card(const std::string& nodeID) const;
    bool hasTechTree() const { return techTree_ != nullptr; }

   private:
    const MacCustomFlea& current() const;
    void buildTechTree(const ProgressionSpec::ActSpec& act);
    void clearTechTree();

    MacCustomFlea flea_;
    const std::optional<ProgressionSpec>& spec_;
    MacCustomFleaStore& store_;
    std::string builtForAct_;

    QVBoxLayout* stack_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* callingName_ = nullptr;
    MacFleaPreviewView* preview_ = nullptr;
    QLabel* level_ = nullptr;
    QLabel* xp_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* practice_ = nullptr;
    QWidget* techTree_ = nullptr;
    QLabel* alphaHeading_ = nullptr;
    QLabel* betaHeading_ = nullptr;
    std::vector<MacTechNodeCard*> cards_;
};

}  // namespace tw
