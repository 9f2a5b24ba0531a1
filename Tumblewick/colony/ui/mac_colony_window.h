#pragma once
// The colony window: the user's fleas on the left with "Join the Circus" under them,
// the chosen flea's detail pane (or a placeholder) on the right. One window for the
// life of the process; closing only hides it.
#include <QListWidget>
#include <QStyledItemDelegate>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "Tumblewick/colony/progression_spec.h"
#include "Tumblewick/stage/random_source.h"
#include "platform/clock.h"
#include "platform/uuid.h"

class QPushButton;
class QLabel;
class QStackedWidget;

namespace tw {

class MacCustomFleaStore;
class MacFleaDetailView;
class MacWizardDialog;

// Paints one flea row: name, act label, and the yellow level badge.
class MacColonyRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
   public:
    enum Role { nameRole = Qt::UserRole + 1, actRole, badgeRole, idRole };
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class MacColonyWindow final : public QWidget {
    Q_OBJECT
   public:
    // Built on first use with the shared store and the process's progression document
    // (read now when nothing has read it yet).
    static MacColonyWindow& shared();

    MacColonyWindow(MacCustomFleaStore& store, ProgressionSpec spec, RandomSource& random, const Clock& clock,
                    QWidget* parent = nullptr);
    ~MacColonyWindow() override;

    // Shows the window and brings it to the front. The first time it is placed above
    // `stripTop`, the strip's top edge in screen coordinates, when given; the wizard
    // opens above the last edge given.
    void open(std::optional<int> stripTop = std::nullopt);
    // Presents a fresh wizard on this window; it returns at once.
    MacWizardDialog& presentWizard();

    // The widgets, for tests.
    QListWidget& fleaList() const { return *list_; }
    QPushButton& joinButton() const { return *join_; }
    MacFleaDetailView* detailView() const { return detail_; }
    QLabel& placeholder() const { return *placeholder_; }
    MacWizardDialog* wizard() const { return wizard_; }
    std::optional<Uuid> selectedFleaID() const { return selected_; }
    void selectFlea(const Uuid& id);
    // Runs a pending update now instead of on the next turn of the event loop.
    void flushPendingRefresh();

   private:
    void storeChanged();
    void refresh();
    void showSelection();

    MacCustomFleaStore& store_;
    std::optional<ProgressionSpec> spec_;  // always holds the document; optional for the effect resolver
    RandomSource& random_;
    const Clock& clock_;
    std::optional<Uuid> selected_;
    bool refreshPending_ = false;
    std::optional<int> stripTop_;
    std::uint64_t subscription_ = 0;  // the store's observer token

    QListWidget* list_ = nullptr;
    QPushButton* join_ = nullptr;
    QStackedWidget* detailStack_ = nullptr;
    QLabel* placeholder_ = nullptr;
    MacFleaDetailView* detail_ = nullptr;
    MacWizardDialog* wizard_ = nullptr;
};

// The controls menu's entry: MacColonyWindow::shared().open(stripTop).
void openColonyWindow(std::optional<int> stripTop = std::nullopt);

}  // namespace tw
