#pragma once
// The tray item's ticket icon, with the last minute's decision count painted on it
// (a tray icon has no title to carry it).
#include <QIcon>
#include <QImage>
#include <QString>

namespace tw {

// One size of the icon; `badge` empty: the ticket alone.
QImage paintMenuBarIcon(int size, const QString& badge);
// The icon at the sizes trays ask for.
QIcon menuBarIcon(const QString& badge);

}  // namespace tw
