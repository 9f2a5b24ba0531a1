#include "Tumblewick/shell/controls_menu_builder.h"

namespace tw {

void fillControlMenu(QMenu& menu, const std::vector<ControlMenuItem>& items,
                     const std::function<void(const ControlMenuItem&)>& chosen) {
    for (const ControlMenuItem& item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        if (!item.submenu.empty()) {
            QMenu* submenu = menu.addMenu(QString::fromStdString(item.title));
            fillControlMenu(*submenu, item.submenu, chosen);
            continue;
        }
        QAction* action = menu.addAction(QString::fromStdString(item.title));
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
        QObject::connect(action, &QAction::triggered, &menu, [item, chosen] { chosen(item); });
    }
}

}  // namespace tw
