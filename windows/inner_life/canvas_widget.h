#pragma once
// A widget whose whole picture is drawn through a Canvas by a plain function, so the
// drawing is tested on a recording canvas and the widget only hosts it.
#include <QWidget>
#include <functional>

#include "platform/canvas.h"
#include "platform/qt/qpainter_canvas.h"

namespace tw {

class CanvasWidget final : public QWidget {
   public:
    using Painter = std::function<void(Canvas& canvas, Size size)>;

    explicit CanvasWidget(Painter painter, QWidget* parent = nullptr);

   protected:
    void paintEvent(QPaintEvent* event) override;

   private:
    Painter painter_;
    QPainterCanvasCache cache_;  // captions and values are laid out once, not every repaint
};

}  // namespace tw
