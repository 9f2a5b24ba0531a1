#include "platform/qt/qt_desktop.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QWindow>
#include <vector>

#include "platform/log.h"
#include "platform/qt/sound_output.h"

#ifdef TW_HAVE_QTDBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

#ifdef TW_HAVE_CANBERRA
#include <canberra.h>
#endif

namespace tw {

namespace {

// Paths go to other programs as file: URIs, which carry any bytes of a name unchanged.
QString uriOf(const std::filesystem::path& path) { return QString::fromLatin1(fileUri(path)); }

void openFolder(const std::filesystem::path& file) {
    if (!QProcess::startDetached("xdg-open", {uriOf(file.parent_path())})) {
        log::warning("Cannot show " + file.string() + ": no file manager answered and xdg-open failed");
    }
}

// While installed, the first click inside `window` lets it take the focus and
// activates it; a click on one of its buttons still answers at once.
class FocusOnClick final : public QObject {
   public:
    explicit FocusOnClick(QWidget& window) : window_(window) { qApp->installEventFilter(this); }
    ~FocusOnClick() override { qApp->removeEventFilter(this); }
    FocusOnClick(const FocusOnClick&) = delete;
    FocusOnClick& operator=(const FocusOnClick&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        QWindow* handle = window_.windowHandle();
        if (widget == nullptr || widget->window() != &window_ || handle == nullptr) return false;
        if (handle->flags().testFlag(Qt::WindowDoesNotAcceptFocus)) {
            // On the window itself: the widget would hide and show again to change its flags.
            handle->setFlag(Qt::WindowDoesNotAcceptFocus, false);
            window_.activateWindow();
        }
        return false;
    }

   private:
    QWidget& window_;
};

}  // namespace

// One canberra context for the process, made on first use; none when nothing could play
// a sound.
struct QtDesktop::Sound {
#ifdef TW_HAVE_CANBERRA
    ca_context* context = nullptr;
    bool tried = false;
    ~Sound() {
        if (context != nullptr) ca_context_destroy(context);
    }
    ca_context* get() {
        if (!tried) {
            tried = true;
            if (!soundOutputAvailable(SoundOutputPlaces::ofThisProcess())) {
                log::info("No sound device or sound server: chimes stay silent.");
            } else if (ca_context_create(&context) != CA_SUCCESS) {
                context = nullptr;
            }
        }
        return context;
    }
#endif
};

QtDesktop::QtDesktop(QObject* parent) : QObject(parent), sound_(std::make_unique<Sound>()) {}

QtDesktop::~QtDesktop() = default;

void QtDesktop::revealFile(const std::filesystem::path& file) {
#ifdef TW_HAVE_QTDBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call =
            QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                           "org.freedesktop.FileManager1", "ShowItems");
        call << QStringList{uriOf(file)} << QString();
        // Asynchronous: a slow or absent file manager never holds up the main thread.
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [file](QDBusPendingCallWatcher* finished) {
            if (finished->isError()) openFolder(file);
            finished->deleteLater();
        });
        return;
    }
#endif
    openFolder(file);
}

void QtDesktop::playSound(const std::string& name) {
#ifdef TW_HAVE_CANBERRA
    if (ca_context* context = sound_->get()) {
        // A sound missing from the theme just fails: the chime is skipped silently.
        ca_context_play(context, 0, CA_PROP_EVENT_ID, name.c_str(), nullptr);
    }
#else
    (void)name;
#endif
}

std::size_t QtDesktop::runAlert(const DesktopAlert& alert) {
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(alert.message));
    // The informative text may quote what fleas said: plain text, never markup.
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    if (auto* label = box.findChild<QLabel*>("qt_msgbox_informativelabel")) {
        label->setTextFormat(Qt::PlainText);
    } else {
        box.setInformativeText({});
        box.setText(QString::fromStdString(alert.message + "\n\n" + alert.informativeText));
    }
    std::vector<QPushButton*> buttons;
    for (const std::string& title : alert.buttons) {
        buttons.push_back(box.addButton(QString::fromStdString(title),
                                        buttons.empty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    }
    if (!buttons.empty()) box.setDefaultButton(buttons.front());
    // It opens while the user may be typing elsewhere: those keys must not press its
    // default button. A modal window is activated as it maps, so it refuses the focus
    // until the user clicks it.
    box.setAttribute(Qt::WA_ShowWithoutActivating);
    box.setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    const FocusOnClick focusOnClick(box);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return i;
    }
    return buttons.empty() ? 0 : buttons.size() - 1;  // closed without a choice: the last, "cancel" button
}

}  // namespace tw
