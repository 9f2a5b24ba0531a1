// Where the strip and its close button go, and what the close button does.
#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QMouseEvent>
#include <QPainter>
#include <filesystem>

#include "Tumblewick/shell/strip_geometry.h"
#include "Tumblewick/shell/transparent_window.h"

namespace tw {
namespace {

TEST(StripGeometry, SitsAboveTheScreenBottomAtFullWidthAndScales) {
    struct Case {
        Rect screen;  // top-left origin
        double scale;
        StripGeometry expected;
    };
    const Case cases[] = {
        // 1512 points wide at 1.25: 1512 x 187.5 at 100 above the bottom; a 27.5 button.
        {{0, 0, 1512, 982}, 1.25, {{0, 982 - 100 - 187.5, 1512, 187.5}, {1474.5, 7.5, 27.5, 27.5}, 20}},
        {{0, 0, 1920, 1080}, 1.0, {{0, 850, 1920, 150}, {1888, 6, 22, 22}, 16}},
        // A primary screen that is not at the origin keeps its own offset.
        {{1920, 200, 1280, 800},
         1.4,
         {{1920, 200 + 800 - 112 - 210, 1280, 210}, {1280 - 30.8 - 10, 8.4, 30.8, 30.8}, 22.4}},
    };
    for (const Case& c : cases) {
        const StripGeometry g = stripGeometry(c.screen, c.scale);
        EXPECT_DOUBLE_EQ(g.window.x, c.expected.window.x);
        EXPECT_DOUBLE_EQ(g.window.y, c.expected.window.y);
        EXPECT_DOUBLE_EQ(g.window.width, c.expected.window.width);
        EXPECT_DOUBLE_EQ(g.window.height, c.expected.window.height);
        EXPECT_NEAR(g.closeButton.x, c.expected.closeButton.x, 1e-9);
        EXPECT_NEAR(g.closeButton.y, c.expected.closeButton.y, 1e-9);
        EXPECT_NEAR(g.closeButton.width, c.expected.closeButton.width, 1e-9);
        EXPECT_NEAR(g.closeButtonFontSize, c.expected.closeButtonFontSize, 1e-9);
    }
}

// At every scale the strip keeps its offset from the screen's bottom and the button its
// margin from the strip's right edge to the pixel, and the "×" grows with the scale.
TEST(TransparentWindow, EdgesAndTheButtonsFontFollowTheScaleToThePixel) {
    struct Case {
        Rect screen;
        double scale;
        int bottomOffset;
        int fontPixels;
    };
    const Case cases[] = {
        {{0, 0, 1920, 1080}, 1.0, 80, 16},  {{0, 0, 1366, 768}, 1.1, 88, 18},
        {{0, 0, 1512, 982}, 1.25, 100, 20}, {{0, 0, 1920, 1080}, 1.25, 100, 20},
        {{0, 0, 1366, 768}, 1.4, 112, 22},  {{1920, 200, 1280, 800}, 1.8, 144, 29},
    };
    for (const Case& c : cases) {
        TransparentWindow window(stripGeometry(c.screen, c.scale));
        const QRect strip = window.geometry();
        EXPECT_EQ(int(c.screen.y + c.screen.height) - (strip.y() + strip.height()), c.bottomOffset)
            << c.scale;
        QPushButton& button = window.closeButton();
        button.ensurePolished();
        EXPECT_EQ(strip.width() - (button.x() + button.width()), 10) << c.scale;
        EXPECT_EQ(QFontInfo(button.font()).pixelSize(), c.fontPixels) << c.scale;
        EXPECT_TRUE(button.font().bold()) << c.scale;
    }
}

TEST(TransparentWindow, NeverTakesFocusAndItsCloseButtonQuitsOrOpensTheMenu) {
    TransparentWindow window(stripGeometry({0, 0, 1920, 1080}, 1.0));
    EXPECT_EQ(window.geometry(), QRect(0, 850, 1920, 150));
    EXPECT_TRUE(window.windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window.testAttribute(Qt::WA_TranslucentBackground));

    int quits = 0, menus = 0;
    window.onCloseButton([&] { ++quits; }, [&](QWidget&) { ++menus; });
    struct Press {
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        int quits, menus;
    };
    const Press presses[] = {{Qt::LeftButton, Qt::NoModifier, 1, 0},
                             {Qt::RightButton, Qt::NoModifier, 1, 1},
                             {Qt::LeftButton, Qt::ControlModifier, 1, 2},
                             {Qt::MiddleButton, Qt::NoModifier, 1, 2}};
    QPushButton& button = window.closeButton();
    for (const Press& p : presses) {
        const QPointF centre(button.width() / 2.0, button.height() / 2.0);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, button.mapToGlobal(centre), p.button,
                            Qt::NoButton, p.modifiers);
        QApplication::sendEvent(&button, &release);
        EXPECT_EQ(quits, p.quits);
        EXPECT_EQ(menus, p.menus);
    }

    // How the strip's close button looks, for a person to check.
    if (const char* out = std::getenv("TW_TEST_OUTPUT_DIR")) {
        std::filesystem::create_directories(out);
        QImage image(200, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        button.render(&image, QPoint(160, 6));
        image.save(QString::fromStdString((std::filesystem::path(out) / "strip_close_button.png").string()));
    }
}

// A close request from the window manager quits as the × does, after its event is
// done with, and the strip stays up meanwhile; the app's own closing on quit is not
// refused, or the quit would be called off.
TEST(TransparentWindow, AWindowManagerCloseQuitsAndTheAppsOwnCloseGoesThrough) {
    TransparentWindow window(stripGeometry({0, 0, 1920, 1080}, 1.0));
    int quits = 0;
    window.onCloseButton([&] { ++quits; }, [](QWidget&) {});
    window.show();

    QCloseEvent request;
    QSpontaneKeyEvent::setSpontaneous(&request);  // as it comes from the window system
    QApplication::instance()->notify(&window, &request);
    EXPECT_FALSE(request.isAccepted());
    EXPECT_EQ(quits, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(window.isVisible());

    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(quits, 1);
}

// The close button is drawn once and stamped on every later frame: each stamp must
// look as the button's style sheet and font draw it.
TEST(TransparentWindow, CloseButtonStampsWhatItsStyleSheetDraws) {
    TransparentWindow window(stripGeometry({0, 0, 1920, 1080}, 2.0));
    QPushButton& stamped = window.closeButton();
    QPushButton plain(stamped.text());
    plain.setFont(stamped.font());
    plain.setStyleSheet(stamped.styleSheet());
    plain.resize(stamped.size());
    const auto look = [](QWidget& button) {
        QImage image(button.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        button.render(&image);
        return image;
    };
    const QImage expected = look(plain);
    EXPECT_EQ(look(stamped), expected);
    EXPECT_EQ(look(stamped), expected);
    stamped.setStyleSheet(stamped.styleSheet() + " QPushButton { background: rgb(0, 0, 138); }");
    plain.setStyleSheet(stamped.styleSheet());
    EXPECT_EQ(look(stamped), look(plain));
}

}  // namespace
}  // namespace tw
