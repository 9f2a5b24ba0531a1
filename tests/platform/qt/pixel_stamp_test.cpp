// Stamping small pictures by hand must give what the painter gives, and must leave
// alone what a clip or the target's edges keep out.
#include "platform/qt/pixel_stamp.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

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

TEST(PixelStamp, BlendsAsThePainterDoesInsideAndAcrossTheEdges) {
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
                  picture, c.at, c.opacity);
        EXPECT_LE(worstChannelDifference(stamped, expected), 1)
            << c.at.x() << "," << c.at.y() << " " << c.opacity;
    }
}

// Through the canvas: a stamp at a sub-pixel place lands on the nearest whole pixel, and
// a clip still keeps it out where the painter would.
TEST(PixelStamp, CanvasStampsAtTheNearestPixelAndKeepsToTheClip) {
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
            canvas.drawCachedPicture(PictureKey(0x5C), Rect{0, 0, 4, 4}, origin, 0.8, square);
            painter.end();
            return image;
        };
        QPainterCanvasCache cache;
        const QImage stamped = paint(&cache, c.origin);
        const QImage drawn = paint(nullptr, Point{std::round(c.origin.x), std::round(c.origin.y)});
        EXPECT_LE(worstChannelDifference(stamped, drawn), 2) << c.origin.x << " clipped " << c.clipped;
    }
}

}  // namespace
}  // namespace tw
