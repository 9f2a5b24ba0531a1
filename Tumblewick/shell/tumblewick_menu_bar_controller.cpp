#include "Tumblewick/shell/tumblewick_menu_bar_controller.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/shell/menu_bar/menu_bar_mode.h"
#include "Tumblewick/shell/menu_bar/menu_bar_status.h"
#include "Tumblewick/shell/menu_bar_icon.h"
#include "Tumblewick/shell/shell_hotkey_actions.h"
#include "Tumblewick/stage/qt/tumblewick_view.h"
#include "platform/x11/mac_key_code_table.h"

namespace tw {

TumblewickMenuBarController::TumblewickMenuBarController(double /*uiScale*/, Services services)
    : services_(std::move(services)),
      statusItem_(std::make_unique<QSystemTrayIcon>()),
      popover_(std::make_unique<MenuBarPopover>()),
      contextMenu_(std::make_unique<QMenu>()) {
    statusItem_->setIcon(menuBarIcon(QString()));
    statusItem_->setToolTip(QString::fromStdString(menuBarToolTip(0)));
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) togglePopover();
            });

    const auto refresh = lifetime_.guarded([this] { refreshActivityTitle(); });
    activityRefreshTimer_ = services_.mainQueue.repeat(menuBarActivityRefreshSeconds, refresh);
    services_.mainQueue.post(refresh);

    if (services_.makeStageView) {
        const QSize size(static_cast<int>(menuBarPopoverSize.width),
                         static_cast<int>(menuBarPopoverSize.height));
        circusView_ = services_.makeStageView(size, popoverXP_);
    }
    if (circusView_ != nullptr) {
        circusView_->stage().configureDeterministicMode(resolvedDeterministicMode(services_.defaults),
                                                        resolvedDeterministicSeed(services_.defaults), true);
        popover_->setContentView(circusView_);
    }

    contextMenu_->setTitle(QStringLiteral("Tumblewick"));
    contextItems_ = menuBarContextMenuItems(resolvedMenuBarModeEnabled(services_.defaults));
    fillMenu(*contextMenu_, contextItems_);
    contextMenu_->installEventFilter(this);
    connect(contextMenu_.get(), &QMenu::aboutToShow, this, [this] { menuWillOpen(); });
    // Attached rather than popped up by hand: trays that speak over D-Bus show only an
    // attached menu. A right click still leaves the popover as it was.
    statusItem_->setContextMenu(contextMenu_.get());
    statusItem_->show();
}

TumblewickMenuBarController::~TumblewickMenuBarController() {
    if (activityRefreshTimer_) services_.mainQueue.cancel(*activityRefreshTimer_);
    statusItem_->hide();
}

void TumblewickMenuBarController::fillMenu(QMenu& menu, const std::vector<MenuBarItem>& items) {
    for (const MenuBarItem& item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        if (item.submenu != MenuBarSubmenu::none) {
            QMenu* submenu = menu.addMenu(QString::fromStdString(item.title));
            (item.submenu == MenuBarSubmenu::spotlight ? spotlightSubmenu_ : innerLifeSubmenu_) = submenu;
            submenu->installEventFilter(this);  // the keys work while a submenu has them
            continue;
        }
        QString text = QString::fromStdString(item.title);
        // Only shown after the tab, never bound to the action: a shortcut would not reach
        // the open menu, and no mnemonic is marked, so a bare letter chooses nothing.
        if (item.hotkey) text += QLatin1Char('\t') + QString::fromStdString(hotkeyLabel(*item.hotkey));
        QAction* action = menu.addAction(text);
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
        if (item.action == MenuBarAction::toggleMenuBarMode) modeAction_ = action;
        connect(action, &QAction::triggered, this, [this, item] { perform(item); });
    }
}

bool TumblewickMenuBarController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<const QKeyEvent*>(event);
    const KeyPress press{translateXKey(key->nativeScanCode(), key->nativeVirtualKey()).macKeyCode,
                         key->modifiers().testFlag(Qt::MetaModifier),
                         key->modifiers().testFlag(Qt::ShiftModifier), InputOrigin::local};
    const std::optional<MenuBarItem> item = menuBarItemForKey(contextItems_, press);
    if (!item) return false;
    hideMenus();
    perform(*item);
    return true;
}

void TumblewickMenuBarController::hideMenus() {
    for (QMenu* menu : {innerLifeSubmenu_, spotlightSubmenu_, contextMenu_.get()}) {
        if (menu != nullptr) menu->hide();
    }
}

void TumblewickMenuBarController::perform(const MenuBarItem& item) {
    switch (item.action) {
        case MenuBarAction::togglePopover:
            return togglePopover();
        case MenuBarAction::openRecentThoughts:
            return openRecentThoughts();
        case MenuBarAction::exportChapter:
            return exportChapter();
        case MenuBarAction::saveShareCard:
            return saveShareCard();
        case MenuBarAction::openWatchPanel:
            return openWatchPanel();
        case MenuBarAction::openDragDown:
            return openDragDown();
        case MenuBarAction::openDialogueInspector:
            return openDialogueInspector();
        case MenuBarAction::openSettings:
            return openSettings();
        case MenuBarAction::openTroupeSettings:
            return openTroupeSettings();
        case MenuBarAction::toggleMenuBarMode:
            return toggleMenuBarMode();
        case MenuBarAction::quit:
            if (services_.quit) services_.quit();
            return;
        case MenuBarAction::spotlightFlea:
            return spotlightFlea(item);
        case MenuBarAction::showInnerLife:
            return showInnerLife(item);
        case MenuBarAction::none:
            return;
    }
}

void TumblewickMenuBarController::togglePopover() {
    if (popover_->isVisible()) {
        popover_->hide();
        return;
    }
    if (popover_->justClosed()) return;  // the click on the icon that closed it
    const QRect icon = statusItem_->geometry();
    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(icon.isValid() ? icon.center() : pointer);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 0, 0);
    const Point origin = menuBarPopoverOrigin(
        Rect{double(icon.x()), double(icon.y()), double(icon.width()), double(icon.height())},
        Point{double(pointer.x()), double(pointer.y())},
        Rect{double(area.x()), double(area.y()), double(area.width()), double(area.height())});
    popover_->move(static_cast<int>(origin.x), static_cast<int>(origin.y));
    popover_->show();
}

void TumblewickMenuBarController::toggleMenuBarMode() {
    const bool enabled = tw::toggleMenuBarMode(services_.defaults, services_.notifications);
    if (modeAction_ != nullptr) modeAction_->setText(QString::fromStdString(menuBarModeTitle(enabled)));
}

void TumblewickMenuBarController::later(std::function<void()> work) {
    services_.mainQueue.post(std::move(work));
}

void TumblewickMenuBarController::openRecentThoughts() {
    later([&c = services_.companions] { c.toggleRecentThoughts(); });
}
void TumblewickMenuBarController::exportChapter() {
    later([&c = services_.companions] { c.writeChapterToDesktop(); });
}
void TumblewickMenuBarController::saveShareCard() {
    later([&c = services_.companions] { c.writeShareCardToDesktop(); });
}
void TumblewickMenuBarController::openWatchPanel() {
    later([&c = services_.companions] { c.toggleWatchPanel(); });
}
void TumblewickMenuBarController::openDragDown() {
    later([&c = services_.companions] { c.toggleDragDownLog(); });
}
void TumblewickMenuBarController::openDialogueInspector() {
    later([&c = services_.companions] { c.toggleDialogueInspector(); });
}
void TumblewickMenuBarController::openSettings() {
    later([open = services_.toggleAgentSettings] { ShellHotkeyActions::run(open, "agent settings"); });
}
void TumblewickMenuBarController::openTroupeSettings() {
    later([open = services_.showTroupeWindow] { ShellHotkeyActions::run(open, "cross-device troupe"); });
}

void TumblewickMenuBarController::spotlightFlea(const MenuBarItem& item) {
    later([&host = services_.agentHost, choice = spotlightChoice(item)] { host.attendFlea(choice); });
}

void TumblewickMenuBarController::showInnerLife(const MenuBarItem& item) {
    const InnerLifeChoice choice = innerLifeChoice(item, customFleas());
    later([show = services_.showInnerLife, choice] {
        if (!show) return ShellHotkeyActions::run({}, "inner life");
        show(choice.fleaId, choice.displayName);
    });
}

void TumblewickMenuBarController::menuWillOpen() {
    const auto refill = [this](QMenu* menu, const std::vector<MenuBarItem>& items) {
        if (menu == nullptr) return;
        menu->clear();
        fillMenu(*menu, items);
    };
    const std::vector<MenuBarFlea> fleas = customFleas();
    refill(spotlightSubmenu_, spotlightSubmenuItems(services_.agentHost.attendedFleaID(), fleas));
    refill(innerLifeSubmenu_, innerLifeSubmenuItems(fleas));
    if (modeAction_ != nullptr)
        modeAction_->setText(
            QString::fromStdString(menuBarModeTitle(resolvedMenuBarModeEnabled(services_.defaults))));
}

void TumblewickMenuBarController::refreshActivityTitle() {
    const std::int64_t decisions =
        services_.decisionsInLast ? services_.decisionsInLast(menuBarActivityWindowSeconds) : 0;
    statusItem_->setToolTip(QString::fromStdString(menuBarToolTip(decisions)));
    const std::string badge = menuBarBadgeText(decisions);
    if (badge == shownBadge_) return;
    shownBadge_ = badge;
    statusItem_->setIcon(menuBarIcon(QString::fromStdString(badge)));
}

std::vector<MenuBarFlea> TumblewickMenuBarController::customFleas() const {
    std::vector<MenuBarFlea> fleas;
    for (const MacCustomFlea& flea : services_.customFleas.fleas())
        fleas.push_back({flea.id.uuidString(), flea.name});
    return fleas;
}

}  // namespace tw
