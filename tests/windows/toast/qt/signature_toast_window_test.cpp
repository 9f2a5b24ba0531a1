#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QWindow>
#include <cstdlib>
#include <filesystem>

#include "agent/host/tumblewick_settings_panel.h"
#include "platform/settings_keys.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "platform/testing/recording_desktop.h"
#include "windows/toast/qt/qt_signature_toast_window.h"
#include "windows/toast/qt/signature_toast_installation.h"
#include "windows/toast/tumblewick_signature_toast.h"

namespace tw {
namespace {

TEST(SignatureToastWindowTest, TopCentreClickThroughAndNeverFocused) {
    QtSignatureToastWindow window;
    ASSERT_TRUE(window.ensureBuilt());
    SignatureToastView& view = *window.view();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(view.pos(), QPoint(screen.center().x() - 180, screen.top() + 56));
    EXPECT_EQ(view.size(), QSize(360, 72));
    EXPECT_TRUE(view.windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(view.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(view.testAttribute(Qt::WA_ShowWithoutActivating));
}

TEST(SignatureToastWindowTest, DrawsTheCardWithItsYellowRim) {
    QtSignatureToastWindow window;
    ASSERT_TRUE(window.ensureBuilt());
    window.setTexts(
        "ZING \u00B7 SIGNATURE MOVE",
        "A line far too long for the toast, so it has to be cut short with an ellipsis at its end.");
    const QImage image = window.view()->grab().toImage();
    const char* root = std::getenv("TW_TEST_OUTPUT_DIR");
    const auto folder = std::filesystem::path(root ? root : "/tmp") / "toast";
    std::filesystem::create_directories(folder);
    image.save(QString::fromStdString((folder / "signature_toast.png").string()));

    const double dpr = image.devicePixelRatio();
    const QColor middle = image.pixelColor(static_cast<int>(250 * dpr), static_cast<int>(64 * dpr));
    EXPECT_LT(middle.lightnessF(), 0.15);  // the dark face
    const QColor rim = image.pixelColor(static_cast<int>(180 * dpr), 0);
    EXPECT_GT(rim.redF(), rim.blueF() + 0.1);  // yellow, not grey
    const QColor corner = image.pixelColor(0, 0);
    EXPECT_LT(corner.alphaF(), 0.1);  // rounded away
}

// The toast's window as the app's user sees it: shown or not.
bool toastOnScreen() {
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (dynamic_cast<const SignatureToastView*>(widget) != nullptr && widget->isVisible()) return true;
    return false;
}

// Set up as the app does: while installed the toast shows its window and chimes as the
// setting says; once gone it only remembers the moment for the share card.
TEST(SignatureToastWindowTest, TheInstallationLendsTheSharedToastItsWindowAndChimeForItsLifetime) {
    testing::ManualMainQueue queue;
    testing::ManualClock clock;
    testing::InMemoryDefaults defaults;
    testing::RecordingDesktop desktop;
    auto surface = TumblewickSignatureToast::sharedSurface();
    {
        SignatureToastInstallation installation(TumblewickSignatureToast::shared(), queue, clock, defaults,
                                                desktop, windowFadingOn(QGuiApplication::platformName()));
        surface("Pip", "perform_signature", "Ta-da!");
        EXPECT_TRUE(toastOnScreen());
        defaults.setBool(settings::signatureChime.key, false);
        clock.advance(30);
        surface("Rex", "perform_signature", "Quietly.");
        EXPECT_EQ(desktop.sounds, std::vector<std::string>{TumblewickSignatureToast::chimeSound});
        queue.advance(6);
        EXPECT_FALSE(toastOnScreen());
        defaults.setBool(settings::signatureChime.key, true);
    }
    clock.advance(30);
    surface("Dot", "perform_signature", "Unseen.");
    EXPECT_EQ(TumblewickSignatureToast::shared().lastFlea(), "Dot");
    EXPECT_EQ(desktop.sounds.size(), 1u);
    EXPECT_FALSE(toastOnScreen());
}

// Qt's Wayland platform cannot set a window's opacity and warns on every try; there
// the toast fades by drawing itself fainter, and never asks its window for an opacity,
// which is watched too where the platform would not warn.
TEST(SignatureToastWindowTest, WithoutWindowOpacityItFadesByPaintingAndNeverAsksForOpacity) {
    EXPECT_EQ(windowFadingOn(u"xcb"), WindowFading::byWindowOpacity);
    for (const QString platform : {"wayland", "wayland-egl", "offscreen"})
        EXPECT_EQ(windowFadingOn(platform), WindowFading::withoutWindowOpacity) << platform.toStdString();

    static QStringList warnings;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            if (message.contains("opacity")) warnings << message;
        });
    QStringList asked;  // every opacity asked of the toast's window
    QObject watching;   // ends the watch with the test
    testing::ManualMainQueue queue;
    testing::ManualClock clock(Date{4e9});  // after the shared toast's earlier moments, on any clock
    testing::InMemoryDefaults defaults;
    testing::RecordingDesktop desktop;
    {
        SignatureToastInstallation installation(TumblewickSignatureToast::shared(), queue, clock, defaults,
                                                desktop, WindowFading::withoutWindowOpacity);
        TumblewickSignatureToast::sharedSurface()("Pip", "perform_signature", "Ta-da!");
        QWidget* view = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (dynamic_cast<SignatureToastView*>(widget) != nullptr) view = widget;
        ASSERT_NE(view, nullptr);
        ASSERT_NE(view->windowHandle(), nullptr);
        QObject::connect(view->windowHandle(), &QWindow::opacityChanged, &watching,
                         [&asked](qreal level) { asked << QString::number(level); });
        const auto faceAlpha = [&] {
            const QImage image = view->grab().toImage();
            const double dpr = image.devicePixelRatio();
            return image.pixelColor(static_cast<int>(250 * dpr), static_cast<int>(64 * dpr)).alphaF();
        };
        EXPECT_LT(faceAlpha(), 0.05);
        queue.advance(0.125);  // half way in
        EXPECT_NEAR(faceAlpha(), 0.47, 0.1);
        queue.advance(6);
        EXPECT_EQ(view->windowOpacity(), 1.0);
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(asked.isEmpty()) << asked.join(", ").toStdString();
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("; ").toStdString();
}

}  // namespace
}  // namespace tw
