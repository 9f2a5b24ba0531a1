#include "Tumblewick/colony/ui/mac_colony_window.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "Tumblewick/colony/mac_custom_flea_store.h"
#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/colony/ui/colony_style.h"
#include "Tumblewick/colony/ui/mac_flea_detail_model.h"
#include "Tumblewick/colony/ui/mac_flea_detail_view.h"
#include "Tumblewick/colony/ui/mac_wizard_dialog.h"
#include "platform/x11/above_strip_placement.h"
#include "platform/x11/titled_window.h"

namespace tw {

using ColonyStyle::TextRole;

namespace {

constexpr int rowInset = 4;
constexpr int rowSideInset = 8;
constexpr QSize windowSize{800, 600};

// Centred in the space above the strip, shorter where that space is too low.
WantedPlace centredAboveStrip(std::optional<int> stripTop, QSize preferred) {
    return [stripTop, preferred](const QScreen& screen, const QMargins& frame) {
        const QRect available = screen.availableGeometry();
        return centredIn(spaceAboveStrip(available, stripTop.value_or(available.bottom() + 1)), preferred,
                         frame);
    };
}

}  // namespace

void MacColonyRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    QColor secondary = text;
    secondary.setAlphaF(0.6f);

    const QRect area = option.rect.adjusted(rowSideInset, rowInset, -rowSideInset, -rowInset);
    const QFont badgeFont = ColonyStyle::font(TextRole::caption, true);
    const QFontMetrics badgeMetrics(badgeFont);
    const QString badge = index.data(badgeRole).toString();
    const QSize badgeSize(badgeMetrics.horizontalAdvance(badge) + 12, badgeMetrics.height() + 4);
    const QRect badgeRect(area.right() - badgeSize.width() + 1, area.center().y() - badgeSize.height() / 2,
                          badgeSize.width(), badgeSize.height());
    QPainterPath capsule;
    capsule.addRoundedRect(QRectF(badgeRect), badgeRect.height() / 2.0, badgeRect.height() / 2.0);
    painter->fillPath(capsule, ColonyStyle::yellow(0.15));
    painter->setFont(badgeFont);
    painter->setPen(ColonyStyle::yellow());
    painter->drawText(badgeRect, Qt::AlignCenter, badge);

    const int textWidth = badgeRect.left() - area.left() - 8;
    const QFont nameFont = ColonyStyle::font(TextRole::headline);
    const QFont actFont = ColonyStyle::font(TextRole::caption);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics actMetrics(actFont);
    const int block = nameMetrics.height() + 2 + actMetrics.height();
    int y = area.center().y() - block / 2;
    painter->setFont(nameFont);
    painter->setPen(text);
    painter->drawText(QRect(area.left(), y, textWidth, nameMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(index.data(nameRole).toString(), Qt::ElideRight, textWidth));
    y += nameMetrics.height() + 2;
    painter->setFont(actFont);
    painter->setPen(secondary);
    painter->drawText(QRect(area.left(), y, textWidth, actMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      actMetrics.elidedText(index.data(actRole).toString(), Qt::ElideRight, textWidth));
    painter->restore();
}

QSize MacColonyRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    const QFontMetrics name(ColonyStyle::font(TextRole::headline));
    const QFontMetrics act(ColonyStyle::font(TextRole::caption));
    return {200, name.height() + 2 + act.height() + 2 * rowInset + 8};
}

MacColonyWindow& MacColonyWindow::shared() {
    static const SystemClock clock;
    // Lives for the process, like the store it shows.
    static auto* window = [] {
        if (!progressionSpec()) progressionSpec() = loadProgressionSpec();
        return new MacColonyWindow(MacCustomFleaStore::shared(), *progressionSpec(), systemRandomSource(),
                                   clock);
    }();
    return *window;
}

void openColonyWindow(std::optional<int> stripTop) { MacColonyWindow::shared().open(stripTop); }

MacColonyWindow::MacColonyWindow(MacCustomFleaStore& store, ProgressionSpec spec, RandomSource& random,
                                 const Clock& clock, QWidget* parent)
    : QWidget(parent), store_(store), spec_(std::move(spec)), random_(random), clock_(clock) {
    makeTitledWindow(*this, {.miniaturizable = true, .resizable = true});
    setPalette(ColonyStyle::palette());
    setWindowTitle(ColonyStyle::qstr(colonyWindowTitle));
    resize(windowSize);
    // Where the screen has less room above the strip, the window is shorter and this scrolls.
    auto* content = new QWidget;
    content->setMinimumSize(700, 400);
    setScrollingContent(*this, content);

    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, content);
    split->setChildrenCollapsible(false);
    layout->addWidget(split);

    auto* sidebar = new QWidget(split);
    auto* side = new QVBoxLayout(sidebar);
    side->setContentsMargins(12, 16, 12, 12);
    side->setSpacing(8);
    side->addWidget(ColonyStyle::plainLabel("Colony", TextRole::title2, sidebar, true));
    auto* heading = ColonyStyle::plainLabel(colonyListHeading, TextRole::caption, sidebar, true);
    ColonyStyle::setTextColor(*heading, ColonyStyle::toneColor({Tone::secondary, 1}, *this));
    side->addWidget(heading);
    list_ = new QListWidget(sidebar);
    list_->setItemDelegate(new MacColonyRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setUniformItemSizes(true);
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        const auto items = list_->selectedItems();
        if (items.isEmpty()) return;  // a selection is never cleared from the list
        if (auto id =
                Uuid::parse(items.front()->data(MacColonyRowDelegate::idRole).toString().toStdString())) {
            if (id != selected_) {
                selected_ = id;
                showSelection();
            }
        }
    });
    side->addWidget(list_, 1);
    join_ = new QPushButton(ColonyStyle::qstr(joinTheCircusTitle), sidebar);
    join_->setIcon(QIcon::fromTheme("list-add"));
    join_->setMinimumHeight(30);
    connect(join_, &QPushButton::clicked, this, [this] { presentWizard(); });
    side->addWidget(join_);
    sidebar->setMinimumWidth(220);

    detailStack_ = new QStackedWidget(split);
    placeholder_ = ColonyStyle::plainLabel(colonyPlaceholderText, TextRole::body, detailStack_);
    placeholder_->setAlignment(Qt::AlignCenter);
    ColonyStyle::setTextColor(*placeholder_, ColonyStyle::toneColor({Tone::secondary, 1}, *this));
    detailStack_->addWidget(placeholder_);
    split->addWidget(sidebar);
    split->addWidget(detailStack_);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({250, 550});

    subscription_ = store_.observeFleas([this](const std::vector<MacCustomFlea>&) { storeChanged(); });
    refresh();
}

MacColonyWindow::~MacColonyWindow() { store_.removeObserver(subscription_); }

void MacColonyWindow::open(std::optional<int> stripTop) {
    if (stripTop) stripTop_ = stripTop;
    if (needsPlacing(*this)) {
        placeClearOfStrip(
            *this, [this] { return stripTop_; }, centredAboveStrip(stripTop_, windowSize));
    }
    showRaised(*this);
    // In front of the floating panels too, whose title bars would cover its own.
    stackAboveShownPanels(*this);
    activateWindow();
}

MacWizardDialog& MacColonyWindow::presentWizard() {
    if (wizard_ != nullptr) return *wizard_;
    wizard_ = new MacWizardDialog(*spec_, store_, random_, clock_, this);
    wizard_->setAttribute(Qt::WA_DeleteOnClose);
    connect(wizard_, &QObject::destroyed, this, [this] { wizard_ = nullptr; });
    placeClearOfStrip(
        *wizard_, [this] { return stripTop_; }, centredAboveStrip(stripTop_, wizard_->size()));
    wizard_->open();
    return *wizard_;
}

void MacColonyWindow::selectFlea(const Uuid& id) {
    const QString key = ColonyStyle::qstr(id.uuidString());
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->data(MacColonyRowDelegate::idRole).toString() == key) {
            list_->setCurrentRow(row);
            return;
        }
    }
}

// Adding XP to every flea notifies once per flea; one update per turn of the event
// loop follows them all.
void MacColonyWindow::storeChanged() {
    if (refreshPending_) return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] { flushPendingRefresh(); });
}

void MacColonyWindow::flushPendingRefresh() {
    if (refreshPending_) refresh();
}

void MacColonyWindow::refresh() {
    refreshPending_ = false;
    const auto& fleas = store_.fleas();
    bool sameRows = list_->count() == static_cast<int>(fleas.size());
    for (int row = 0; sameRows && row < list_->count(); ++row) {
        sameRows = list_->item(row)->data(MacColonyRowDelegate::idRole).toString() ==
                   ColonyStyle::qstr(fleas[static_cast<std::size_t>(row)].id.uuidString());
    }
    if (!sameRows) {
        // Fleas came or went: new rows, the chosen flea still chosen.
        const QSignalBlocker blocker(list_);
        list_->clear();
        for (const auto& flea : fleas) {
            auto* item = new QListWidgetItem(list_);
            item->setData(MacColonyRowDelegate::idRole, ColonyStyle::qstr(flea.id.uuidString()));
            if (selected_ && flea.id == *selected_) item->setSelected(true);
        }
    }
    // XP changes reach only the rows whose texts changed.
    for (int row = 0; row < list_->count(); ++row) {
        const auto& flea = fleas[static_cast<std::size_t>(row)];
        auto* item = list_->item(row);
        auto set = [item](int role, const std::string& text) {
            const QString value = ColonyStyle::qstr(text);
            if (item->data(role).toString() != value) item->setData(role, value);
        };
        set(MacColonyRowDelegate::nameRole, flea.name);
        set(MacColonyRowDelegate::actRole, colonyRowActLabel(*spec_, flea));
        set(MacColonyRowDelegate::badgeRole, levelBadgeText(flea.xp));
        // Screen readers and tests read the row as text.
        set(Qt::AccessibleTextRole, flea.name);
    }
    if (detail_ != nullptr) detail_->refresh();
}

void MacColonyWindow::showSelection() {
    if (!selected_) return;
    const auto& fleas = store_.fleas();
    const auto found = std::find_if(fleas.begin(), fleas.end(),
                                    [this](const MacCustomFlea& flea) { return flea.id == *selected_; });
    if (found == fleas.end()) return;
    auto* next = new MacFleaDetailView(*found, spec_, store_, detailStack_);
    detailStack_->addWidget(next);
    detailStack_->setCurrentWidget(next);
    if (detail_ != nullptr) {
        detailStack_->removeWidget(detail_);
        detail_->deleteLater();
    }
    detail_ = next;
}

}  // namespace tw
