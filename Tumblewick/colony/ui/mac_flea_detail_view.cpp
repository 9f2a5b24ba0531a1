#include "Tumblewick/colony/ui/mac_flea_detail_view.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <set>

#include "Tumblewick/colony/mac_custom_flea_store.h"
#include "Tumblewick/colony/ui/colony_style.h"
#include "Tumblewick/colony/ui/mac_flea_detail_model.h"
#include "Tumblewick/colony/ui/mac_flea_preview_view.h"
#include "Tumblewick/colony/ui/mac_tech_node_card.h"

namespace tw {

using ColonyStyle::TextRole;

namespace {

constexpr int minimumCardWidth = 180;
constexpr int cardSpacing = 10;

// Sets a label's text only when it differs, so an unchanged text costs no relayout.
void setText(QLabel& label, const std::string& text) {
    const QString value = ColonyStyle::qstr(text);
    if (label.text() != value) label.setText(value);
}

}  // namespace

MacAdaptiveCardGrid::MacAdaptiveCardGrid(QWidget* parent) : QWidget(parent), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(cardSpacing);
    grid_->setVerticalSpacing(cardSpacing);
}

void MacAdaptiveCardGrid::addCard(QWidget* card) {
    card->setParent(this);
    cards_.push_back(card);
    relayout(std::max(columns_, 1));
}

void MacAdaptiveCardGrid::resizeEvent(QResizeEvent* event) {
    const int fitting = std::max(1, (event->size().width() + cardSpacing) / (minimumCardWidth + cardSpacing));
    if (fitting != columns_) relayout(fitting);
    QWidget::resizeEvent(event);
}

void MacAdaptiveCardGrid::relayout(int columns) {
    for (auto* card : cards_) grid_->removeWidget(card);
    for (int c = 0; c < std::max(columns_, columns); ++c) grid_->setColumnStretch(c, c < columns ? 1 : 0);
    columns_ = columns;
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        const int index = static_cast<int>(i);
        grid_->addWidget(cards_[i], index / columns, index % columns, Qt::AlignTop);
    }
}

MacFleaDetailView::MacFleaDetailView(MacCustomFlea flea, const std::optional<ProgressionSpec>& spec,
                                     MacCustomFleaStore& store, QWidget* parent)
    : QScrollArea(parent), flea_(std::move(flea)), spec_(spec), store_(store) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    stack_ = new QVBoxLayout(content);
    stack_->setContentsMargins(24, 24, 24, 24);
    stack_->setSpacing(20);

    auto* header = new QVBoxLayout;
    header->setSpacing(4);
    name_ = ColonyStyle::plainLabel("", TextRole::largeTitle, content, true);
    name_->setWordWrap(true);
    // A long unbroken name is clipped rather than widening the pane.
    name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    header->addWidget(name_);
    callingName_ = ColonyStyle::plainLabel("", TextRole::title3, content);
    ColonyStyle::setTextColor(*callingName_, ColonyStyle::toneColor({Tone::secondary, 1}, *this));
    header->addWidget(callingName_);
    stack_->addLayout(header);

    preview_ = new MacFleaPreviewView(content);
    stack_->addWidget(preview_);

    auto* levelBox = new QVBoxLayout;
    levelBox->setSpacing(6);
    auto* levelRow = new QHBoxLayout;
    level_ = ColonyStyle::plainLabel("", TextRole::headline, content);
    ColonyStyle::setTextColor(*level_, ColonyStyle::yellow());
    xp_ = ColonyStyle::plainLabel("", TextRole::subheadline, content);
    ColonyStyle::setTextColor(*xp_, ColonyStyle::toneColor({Tone::secondary, 1}, *this));
    levelRow->addWidget(level_);
    levelRow->addStretch();
    levelRow->addWidget(xp_);
    levelBox->addLayout(levelRow);
    bar_ = new QProgressBar(content);
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    bar_->setFixedHeight(6);
    bar_->setStyleSheet(
        "QProgressBar { border: none; border-radius: 3px; background: rgba(142, 142, 147, 60); }"
        "QProgressBar::chunk { border-radius: 3px; background: rgb(255, 204, 0); }");
    levelBox->addWidget(bar_);
    stack_->addLayout(levelBox);

    practice_ = new QPushButton(content);
    practice_->setMinimumHeight(34);
    practice_->setDefault(true);
    // The id is copied: the store replaces its list while it works, and a reference into
    // that list would not survive the change.
    connect(practice_, &QPushButton::clicked, this, [this] {
        const Uuid id = current().id;
        store_.addXP(practiceXP, id);
    });
    stack_->addWidget(practice_, 0, Qt::AlignLeft);

    stack_->addStretch();
    setWidget(content);
    refresh();
}

const MacCustomFlea& MacFleaDetailView::current() const { return currentFlea(store_.fleas(), flea_); }

MacTechNodeCard* MacFleaDetailView::card(const std::string& nodeID) const {
    for (auto* each : cards_) {
        if (each->node().id == nodeID) return each;
    }
    return nullptr;
}

void MacFleaDetailView::clearTechTree() {
    if (techTree_ == nullptr) return;
    cards_.clear();
    delete techTree_;
    techTree_ = nullptr;
    alphaHeading_ = betaHeading_ = nullptr;
}

void MacFleaDetailView::buildTechTree(const ProgressionSpec::ActSpec& act) {
    auto* content = widget();
    techTree_ = new QWidget(content);
    auto* tree = new QVBoxLayout(techTree_);
    tree->setContentsMargins(0, 0, 0, 0);
    tree->setSpacing(16);
    const QColor secondary = ColonyStyle::toneColor({Tone::secondary, 1}, *this);

    auto* heading = ColonyStyle::plainLabel(techTreeHeading, TextRole::caption, techTree_, true);
    QFont tracked = heading->font();
    tracked.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    heading->setFont(tracked);
    ColonyStyle::setTextColor(*heading, secondary);
    tree->addWidget(heading);
    auto* tierOne = ColonyStyle::plainLabel(tierOneHeading, TextRole::caption, techTree_);
    ColonyStyle::setTextColor(*tierOne, secondary);
    tree->addWidget(tierOne);

    auto makeCard = [this](const ProgressionSpec::TechNode& node, QWidget* parent) {
        auto* card = new MacTechNodeCard(node, parent);
        connect(card, &QAbstractButton::clicked, this, [this, id = node.id] {
            const Uuid fleaID = current().id;
            if (spec_) store_.unlock(id, fleaID, *spec_);
        });
        cards_.push_back(card);
        return card;
    };

    const auto columns = splitTechTree(act.techTree);
    auto* grid = new MacAdaptiveCardGrid(techTree_);
    for (const auto& node : columns.tier1) grid->addCard(makeCard(node, grid));
    tree->addWidget(grid);

    auto* divider = new QFrame(techTree_);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    ColonyStyle::setTextColor(*divider, QColor(142, 142, 147, 80));
    tree->addWidget(divider);

    auto* branches = new QHBoxLayout;
    branches->setSpacing(16);
    auto branchColumn = [&](std::string_view title, const std::vector<ProgressionSpec::TechNode>& nodes) {
        auto* column = new QVBoxLayout;
        column->setSpacing(8);
        auto* label = ColonyStyle::plainLabel(title, TextRole::caption, techTree_, true);
        column->addWidget(label);
        for (const auto& node : nodes) column->addWidget(makeCard(node, techTree_));
        column->addStretch();
        branches->addLayout(column, 1);
        return label;
    };
    alphaHeading_ = branchColumn(alphaHeading, columns.alpha);
    betaHeading_ = branchColumn(betaHeading, columns.beta);
    tree->addLayout(branches);

    // Before the closing stretch.
    stack_->insertWidget(stack_->count() - 1, techTree_);
}

void MacFleaDetailView::refresh() {
    const MacCustomFlea& flea = current();
    const ProgressionSpec::ActSpec* act = spec_ ? actSpecFor(*spec_, flea.discoveredAct) : nullptr;

    setText(*name_, flea.name);
    callingName_->setVisible(act != nullptr);
    if (act != nullptr) setText(*callingName_, act->callingName);

    preview_->setLook(previewLookFor(flea, spec_));

    const LevelBar levelBar = levelBarFor(flea.xp);
    setText(*level_, levelBar.levelText);
    setText(*xp_, levelBar.xpText);
    bar_->setValue(static_cast<int>(std::lround(levelBar.fraction * bar_->maximum())));
    const QString practiceTitle = ColonyStyle::buttonText(
        practiceButtonTitle(ColonyStyle::elidedName(flea.name, practice_->font(), 280)));
    if (practice_->text() != practiceTitle) {
        practice_->setText(practiceTitle);
        ColonyStyle::padButton(*practice_);
    }

    // The tree is built once per act; a key press only changes the cards' states.
    const std::string actKey = act != nullptr ? flea.discoveredAct : std::string();
    if (act == nullptr || actKey != builtForAct_) {
        clearTechTree();
        builtForAct_.clear();
        if (act == nullptr) return;
        buildTechTree(*act);
        builtForAct_ = actKey;
    }
    const std::set<std::string> unlocked(flea.unlockedNodeIDs.begin(), flea.unlockedNodeIDs.end());
    const auto committed = store_.committedBranch(flea, act->techTree);
    for (auto* card : cards_) card->setState(techNodeState(card->node(), unlocked, committed, flea.xp));
    ColonyStyle::setTextColor(*alphaHeading_,
                              ColonyStyle::toneColor(branchHeadingTone(committed, alphaBranch), *this));
    ColonyStyle::setTextColor(*betaHeading_,
                              ColonyStyle::toneColor(branchHeadingTone(committed, betaBranch), *this));
}

}  // namespace tw
