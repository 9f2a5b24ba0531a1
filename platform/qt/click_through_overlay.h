#pragma once
// A window that floats above everything, is never focused or activated, and lets
// every press through to what lies below it (toasts, the drag-down log). The desktop
// input hub also reads these flags to tell such windows from our clickable ones.
class QWidget;

namespace tw {

void makeClickThroughOverlay(QWidget& window);

}  // namespace tw
