// A small program with the real input hub and two stage views' input routers (the
// strip and the tray popover), for the desktop input test under Xvfb. It writes what
// it has counted to a state file the test script polls.
// With --plain-window it is just another application's window to type into.
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>
#include <cstring>
#include <string>
#include <vector>

#include "Tumblewick/stage/hotkey_dispatcher.h"
#include "Tumblewick/stage/stage_input_router.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/x11/desktop_input.h"

namespace {

class LetterWindow final : public QWindow {
   public:
    std::string letters;  // the letters that reached the window

   protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
            letters += char('A' + (event->key() - Qt::Key_A));
    }
};

class CountingXP final : public tw::CustomFleaXPSink {
   public:
    std::int64_t total = 0;
    void addXPToAll(std::int64_t amount) override { total += amount; }
};

class Actions final : public tw::HotkeyActions {
   public:
    std::string calls;
    void toggleRecentThoughts() override { add("thoughts"); }
    void toggleWatchPanel() override { add("watch"); }
    void toggleDragDownLog() override { add("log"); }
    void toggleDialogueInspector() override { add("inspector"); }
    std::optional<std::filesystem::path> writeChapterToDesktop() override {
        add("chapter");
        return std::nullopt;
    }
    std::optional<std::filesystem::path> writeShareCardToDesktop() override {
        add("card");
        return std::nullopt;
    }

   private:
    void add(const char* call) { calls += (calls.empty() ? "" : ",") + std::string(call); }
};

// Where each press landed, as the hub says.
class Tally final : public tw::InputSubscriber {
   public:
    explicit Tally(tw::InputMonitor& monitor) : subscription_(monitor.subscribe(*this)) {}
    int localKeys = 0, globalKeys = 0, localClicks = 0, globalClicks = 0;
    bool keyDown(const tw::KeyPress& press) override {
        ++(press.origin == tw::InputOrigin::local ? localKeys : globalKeys);
        return false;
    }
    void mouseDown(const tw::MousePress& press) override {
        ++(press.origin == tw::InputOrigin::local ? localClicks : globalClicks);
    }

   private:
    tw::InputMonitor::Subscription subscription_;
};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    LetterWindow window;
    window.resize(300, 200);
    if (argc > 1 && std::strcmp(argv[1], "--plain-window") == 0) {
        window.setTitle("tw-other");
        window.setPosition(400, 0);
        window.show();
        return QGuiApplication::exec();
    }
    if (argc < 2) return 2;
    const QString statePath = QString::fromLocal8Bit(argv[1]);

    tw::QtMainQueue queue;
    auto& input = tw::DesktopInput::shared();
    CountingXP stripXP, popoverXP;
    tw::EnergySystem strip(stripXP), popover(popoverXP);
    tw::StageInputRouter stripRouter(input.monitor(), strip, queue);
    tw::StageInputRouter popoverRouter(input.monitor(), popover, queue);
    Actions actions;
    tw::HotkeyDispatcher hotkeys(input.monitor(), actions, queue);
    Tally tally(input.monitor());

    window.setTitle("tw-input-probe");
    window.setPosition(0, 0);
    window.show();

    QByteArray written;
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        const std::string state = "global_input=" + std::string(input.globalInputAvailable() ? "yes" : "no") +
                                  " strip_keys=" + std::to_string(strip.newKeys) +
                                  " strip_xp=" + std::to_string(stripXP.total) +
                                  " popover_keys=" + std::to_string(popover.newKeys) +
                                  " popover_xp=" + std::to_string(popoverXP.total) +
                                  " global_keys=" + std::to_string(tally.globalKeys) +
                                  " local_keys=" + std::to_string(tally.localKeys) +
                                  " global_clicks=" + std::to_string(tally.globalClicks) +
                                  " local_clicks=" + std::to_string(tally.localClicks) +
                                  " hotkeys=" + actions.calls + " window_letters=" + window.letters + "\n";
        if (written == state.c_str()) return;
        written = state.c_str();
        QFile file(statePath + ".tmp");
        if (file.open(QIODevice::WriteOnly)) {
            file.write(written);
            file.close();
            QFile::remove(statePath);
            file.rename(statePath);
        }
    });
    report.start(20);
    return QGuiApplication::exec();
}
