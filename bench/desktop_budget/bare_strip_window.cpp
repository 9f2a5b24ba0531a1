// The toolkit's floor for the desktop budget: a bare borderless, translucent window of
// the strip's size that repaints all of itself at the strip's frame rate and does
// nothing else.
//   bare_strip_window [frames-per-second] [top]
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <cstdlib>

namespace {

class BareStrip final : public QWidget {
   public:
    explicit BareStrip(double framesPerSecond) : period_(1.0 / framesPerSecond) {
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
        setAttribute(Qt::WA_TranslucentBackground);
        setWindowTitle("Desktop budget floor");
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] {
            ++frame_;
            update();
            schedule();
        });
        clock_.start();
        schedule();
    }

   protected:
    void paintEvent(QPaintEvent*) override {
        // Something changes every frame, as on the strip, so no frame is a no-op.
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), QColor(20, 10, 40, 150 + static_cast<int>(frame_ % 60)));
    }

   private:
    // Aimed at absolute deadlines so that rounding to whole milliseconds never drifts.
    void schedule() {
        const double next = static_cast<double>(frame_ + 1) * period_;
        const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
        timer_.start(std::max(0, static_cast<int>(std::ceil((next - now) * 1000))));
    }

    double period_;
    QTimer timer_;
    QElapsedTimer clock_;
    long frame_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const double fps = argc > 1 ? std::atof(argv[1]) : 60.0;
    const int top = argc > 2 ? std::atoi(argv[2]) : 0;
    BareStrip strip(fps > 0 ? fps : 60.0);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    strip.setGeometry(screen.left(), top, screen.width(), 150);
    strip.show();
    return QApplication::exec();
}
