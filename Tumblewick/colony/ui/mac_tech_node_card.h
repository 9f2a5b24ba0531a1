#pragma once
// One tech-tree node as a pressable card: title and state symbol, up to two lines of
// description, and the cost until it is unlocked. Only an enabled card takes a press.
#include <QAbstractButton>

#include "Tumblewick/colony/progression_spec.h"
#include "Tumblewick/colony/ui/mac_tech_tree_model.h"

namespace tw {

class MacTechNodeCard final : public QAbstractButton {
    Q_OBJECT
   public:
    MacTechNodeCard(ProgressionSpec::TechNode node, QWidget* parent = nullptr);

    const ProgressionSpec::TechNode& node() const { return node_; }
    TechNodeState state() const { return state_; }
    // Repaints only when the state changes.
    void setState(TechNodeState state);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

   protected:
    void paintEvent(QPaintEvent* event) override;

   private:
    // The description broken into at most two lines for this text width.
    QStringList descriptionLines(int textWidth) const;

    ProgressionSpec::TechNode node_;
    QString title_;
    QString description_;
    QString cost_;
    TechNodeState state_ = TechNodeState::prerequisiteMissing;
};

}  // namespace tw
