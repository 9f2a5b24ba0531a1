#include "Tumblewick/shell/controls_menu_builder.h"

namespace tw {
namespace {

// A menu reads '&' as the mark of the key pressed while it is open: the item's key is
// marked so (at its first letter in the title), any other '&' kept as text, and the
// key shown after the tab. A shortcut bound to the action would not reach an open menu.
QString menuText(const ControlMenuItem& item) {
    QString text = QString::fromStdString(item.title).replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (item.key == 0) return text;
    const QChar key = QChar::fromLatin1(item.key).toUpper();
    const qsizetype at = text.indexOf(key, 0, Qt::CaseInsensitive);
    if (at >= 0) text.insert(at, QLatin1Char('&'));
    return text + QLatin1Char('\t') + key;
}

}  // namespace

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
        QAction* action = menu.addAction(menuText(item));
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
        QObject::connect(action, &QAction::triggered, &menu, [item, chosen] { chosen(item); });
    }
}

}  // namespace tw
