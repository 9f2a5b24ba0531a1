// Stamping small pictures and drawing rings by hand must give what the painter gives,
// and must leave alone what a clip or the target's edges keep out.
#include "platform/qt/direct_pixels.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/qt/qpainter_canvas.h"

namespace tw {
namespace {

// A picture with opaque, translucent and empty pixels.
QImage speckledPicture() {
    QImage picture(9, 7, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const int alpha = (x * 37 + y * 91) % 4 == 0 ? 0 : (x * 53 + y * 29) % 256;
            picture.setPixel(x, y, qPremultiply(qRgba((x * 40) % 256, (y * 70) % 256, 200, alpha)));
        }
    }
    return picture;
}

QImage backdrop() {
    QImage image(24, 20, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qPremultiply(qRgba(x * 10, 120, y * 12, (x + y) % 3 == 0 ? 0 : 60 + 9 * x)));
    }
    return image;
}

int worstChannelDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            for (const int shift : {0, 8, 16, 24}) {
                worst = std::max(worst, std::abs(static_cast<int>((a.pixel(x, y) >> shift) & 0xFF) -
                                                 static_cast<int>((b.pixel(x, y) >> shift) & 0xFF)));
            }
        }
    }
    return worst;
}

TEST(DirectPixels, BlendsAsThePainterDoesInsideAndAcrossTheEdges) {
    struct Case {
        QPoint at;
        double opacity;
    };
    const QImage picture = speckledPicture();
    for (const Case& c : {Case{{5, 6}, 1.0}, Case{{5, 6}, 0.5}, Case{{2, 3}, 0.2}, Case{{-4, -3}, 1.0},
                          Case{{19, 16}, 0.7}, Case{{30, 2}, 1.0}, Case{{4, 4}, 0.0}}) {
        QImage expected = backdrop();
        {
            QPainter painter(&expected);
            painter.setOpacity(c.opacity);
            painter.drawImage(c.at, picture);
        }
        QImage stamped = backdrop();
        stampOver(PixelTarget{reinterpret_cast<std::uint32_t*>(stamped.bits()), stamped.bytesPerLine(),
                              stamped.rect()},
                  *pixelPictureOf(picture), c.at, c.opacity);
        EXPECT_LE(worstChannelDifference(stamped, expected), 1)
            << c.at.x() << "," << c.at.y() << " " << c.opacity;
    }
}

// Through the canvas: a stamp at a sub-pixel place lands on the nearest whole pixel, only
// its inked part is blended (the clear margin adds nothing), and a clip still keeps it
// out where the painter would.
TEST(DirectPixels, CanvasStampsAtTheNearestPixelAndKeepsToTheClip) {
    const auto square = [](Canvas& c, Point at, double opacity) {
        c.setFillColor(Color::rgb(0.9, 0.5, 0.1, opacity));
        c.fillRect({at.x, at.y, 4, 4});
    };
    struct Case {
        Point origin;
        bool clipped;
    };
    for (const Case& c : {Case{{6.4, 5.6}, false}, Case{{6.4, 5.6}, true}, Case{{-2.2, 17.8}, false}}) {
        const auto paint = [&](QPainterCanvasCache* cache, Point origin) {
            QImage image = backdrop();
            QPainter painter(&image);
            QPainterCanvas canvas(painter, cache);
            if (c.clipped) canvas.clip(Path().addRect({0, 0, 8, 20}));
            canvas.drawCachedPicture(PictureKey(0x5C), Rect{-2, -1, 8, 7}, origin, 0.8, square);
            painter.end();
            return image;
        };
        QPainterCanvasCache cache;
        const QImage stamped = paint(&cache, c.origin);
        const QImage drawn = paint(nullptr, Point{std::round(c.origin.x), std::round(c.origin.y)});
        EXPECT_LE(worstChannelDifference(stamped, drawn), 2) << c.origin.x << " clipped " << c.clipped;
    }
}

// A ring or a line drawn by hand lies where the painter's smoothed stroke lies, holds the
// ink of its area (the painter's is a few per cent lighter, a little more for hairlines),
// and is cut off cleanly where it runs off the target.
TEST(DirectPixels, RingsAndLinesLieWhereThePaintersStrokesDo) {
    struct Case {
        const char* name;
        QPointF a, b;  // a ring's centre and (radius, 0), or a line's ends
        double width, alpha;
        double area;  // the stroke's area in pixels that falls on the target, 0 to skip
    };
    constexpr double pi = 3.14159265358979;
    const Case cases[] = {
        {"ring", {20.3, 18.7}, {12, 0}, 3, 1.0, 2 * pi * 12 * 3},
        {"hairline ring", {20, 20}, {10, 0}, 1, 0.6, 2 * pi * 10},
        {"small ring", {8, 9}, {4, 0}, 2.2, 0.8, 2 * pi * 4 * 2.2},
        {"ring off the edge", {30.5, 6.2}, {21.5, 0}, 1, 0.6, 0},
        {"ring around the target", {12, 10}, {40, 0}, 2, 1.0, 0},
        {"level line", {4.3, 10.6}, {40.2, 10.6}, 2, 1.0, 35.9 * 2},
        {"slanted line", {5, 30}, {38, 8}, 2, 0.7, std::hypot(33, 22) * 2},
        {"upright line off the edge", {46.5, -6}, {46.5, 20}, 3, 1.0, 0},
        {"short line", {10.2, 33.1}, {13.4, 35.6}, 1.5, 1.0, std::hypot(3.2, 2.5) * 1.5},
    };
    for (const Case& c : cases) {
        const bool ring = std::string(c.name).find("ring") != std::string::npos;
        const QColor color = QColor::fromRgbF(0.9f, 0.6f, 0.2f, static_cast<float>(c.alpha));
        QImage expected(48, 40, QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        {
            QPainter painter(&expected);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(color, c.width, Qt::SolidLine, Qt::FlatCap));
            if (ring) {
                painter.drawEllipse(c.a, c.b.x(), c.b.x());
            } else {
                painter.drawLine(c.a, c.b);
            }
        }
        QImage drawn(48, 40, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        const PixelTarget target{reinterpret_cast<std::uint32_t*>(drawn.bits()), drawn.bytesPerLine(),
                                 drawn.rect()};
        if (ring) {
            strokeRing(target, c.a, c.b.x(), c.width, qPremultiply(color.rgba()));
        } else {
            strokeSegment(target, c.a, c.b, c.width, qPremultiply(color.rgba()));
        }
        double ink = 0, painterInk = 0;
        int worst = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                ink += qAlpha(drawn.pixel(x, y)) / 255.0;
                painterInk += qAlpha(expected.pixel(x, y)) / 255.0;
                worst = std::max(worst, std::abs(qAlpha(expected.pixel(x, y)) - qAlpha(drawn.pixel(x, y))));
            }
        }
        if (c.area > 0) {
            EXPECT_NEAR(ink, c.area * c.alpha, 0.03 * c.area * c.alpha) << c.name;
        }
        EXPECT_NEAR(ink, painterInk, 0.2 * painterInk) << c.name;
        EXPECT_LE(worst, 96) << c.name;  // no pixel is more than a little over a third apart
    }
}

// Shapes far off, of absurd size or with places that are not numbers draw nothing on
// the target and return at once.
TEST(DirectPixels, FarOffOrBrokenShapesLeaveTheTargetAlone) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        bool ring;
        QPointF a, b;
        double width;
    };
    const Case cases[] = {
        {"ring far away", true, {1e12, -1e12}, {5, 0}, 2},
        {"ring of no number", true, {nan, 3}, {5, 0}, 2},
        {"endless ring", true, {10, 10}, {inf, 0}, 2},
        {"ring around everything", true, {10, 10}, {1e15, 0}, 2},
        {"line far away", false, {-1e12, 5e11}, {-2e12, 9e11}, 3},
        {"line of no number", false, {nan, 1}, {4, 4}, 2},
        {"endless line", false, {0, 0}, {inf, 5}, 2},
    };
    for (const Case& c : cases) {
        QImage image(24, 16, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        const PixelTarget target{reinterpret_cast<std::uint32_t*>(image.bits()), image.bytesPerLine(),
                                 image.rect()};
        if (c.ring) {
            strokeRing(target, c.a, c.b.x(), c.width, 0xFFFF0000);
        } else {
            strokeSegment(target, c.a, c.b, c.width, 0xFFFF0000);
        }
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) inked += qAlpha(image.pixel(x, y)) > 0;
        }
        EXPECT_EQ(inked, 0) << c.name;
    }
}

}  // namespace
}  // namespace tw
