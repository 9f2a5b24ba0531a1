// The QPainter canvas's picture and text caches: when a picture is rendered anew and
// when stamped, stamps that match drawing directly, and colour glyphs kept.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/gear.h"
#include "platform/qt/qpainter_canvas.h"

namespace tw {
namespace {

// A picture's lengths name it only to half a device pixel: a length that moves less
// reuses the picture, one that moves more (or the same at a larger scale) renders anew.
TEST(PictureKeys, LengthsAreToldApartToHalfADevicePixel) {
    struct Case {
        double scale;
        double first, second;
        std::size_t renders;
    };
    for (const Case& c :
         {Case{1, 10.0, 10.2, 1}, Case{1, 10.0, 10.3, 2}, Case{2, 10.0, 10.2, 2}, Case{1, 4, 4, 1}}) {
        QPainterCanvasCache cache;
        QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        QPainterCanvas canvas(painter, &cache);
        canvas.scale(c.scale, c.scale);
        for (const double length : {c.first, c.second}) {
            canvas.drawCachedPicture(PictureKey(0xBA5, {length}), Rect{0, 0, 2, 16}, {1, 1}, 1.0,
                                     [&](Canvas& p, Point at, double) {
                                         p.fillRect({at.x, at.y, 2, length});
                                     });
        }
        EXPECT_EQ(cache.pictureRenders(), c.renders) << c.scale << " " << c.second;
    }
}

// A picture that scales with its size (a shrinking caption) is rendered once per step
// of a ladder a ninth apart and stamped shrunk to each size asked for, covering what
// drawing it at that size covers.
TEST(PictureKeys, APictureThatScalesWithItsSizeIsStampedFromALadderStep) {
    struct Case {
        std::vector<double> sizes;  // the last is compared with drawing it directly
        std::size_t renders;
    };
    // Steps of 2^(k/8): 29.34 holds 28 and 29; 32 holds 30 to 32; 128 holds 120 to 128, a
    // picture taller than one band of a tall stamp.
    for (const Case& c : {Case{{30, 30.5, 31.9}, 1}, Case{{29, 28.2}, 1}, Case{{30, 29}, 2},
                          Case{{32, 16}, 2}, Case{{128, 121.3}, 1}}) {
        const auto paint = [&](QPainterCanvasCache* cache) {
            QImage image(520, 140, QImage::Format_ARGB32_Premultiplied);
            for (const double size : c.sizes) {
                image.fill(Qt::transparent);
                QPainter painter(&image);
                QPainterCanvas canvas(painter, cache);
                PictureKey key(0xCA9);
                key.scalesWith = size;
                canvas.drawCachedPicture(key, Rect{0, 0, 4 * size, size}, {5.25, 3.5}, 1.0,
                                         [&](Canvas& p, Point at, double) {
                                             p.setFillColor(Colors::gold);
                                             p.fillRect({at.x, at.y, 4 * size, size});
                                         });
            }
            return image;
        };
        QPainterCanvasCache cache;
        const QImage stamped = paint(&cache);
        EXPECT_EQ(cache.pictureRenders(), c.renders) << c.sizes.back();
        const QImage drawn = paint(nullptr);
        double stampedInk = 0, drawnInk = 0;
        int far = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                stampedInk += qAlpha(stamped.pixel(x, y));
                drawnInk += qAlpha(drawn.pixel(x, y));
                far += std::abs(qAlpha(stamped.pixel(x, y)) - qAlpha(drawn.pixel(x, y))) > 160;
            }
        }
        EXPECT_NEAR(stampedInk, drawnInk, drawnInk * 0.02) << c.sizes.back();
        EXPECT_EQ(far, 0) << c.sizes.back();
    }
}

// A text too long for the whole text cache is still drawn, from its own layout.
TEST(TextLayouts, ATextLargerThanTheCacheIsStillDrawn) {
    for (const std::size_t length : {std::size_t{8}, std::size_t{40000}}) {
        QPainterCanvasCache cache;
        QImage image(200, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            QPainterCanvas canvas(painter, &cache);
            TextStyle style;
            style.font = Font{FontFamily::system, 20, FontWeight::bold};
            style.color = Color::white(1.0, 1.0);
            canvas.drawText(std::string(length, 'W'), {2, 2}, style);
        }
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) inked += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        EXPECT_GT(inked, 50) << length << " characters";
    }
}

// What no frame drew for a while is forgotten; what frames keep drawing stays.
TEST(PictureKeys, PicturesUnusedForAWhileAreForgotten) {
    QPainterCanvasCache cache;
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    const auto frame = [&](double seconds, std::initializer_list<std::uint64_t> keys) {
        cache.beginFrame(seconds);
        QPainter painter(&image);
        QPainterCanvas canvas(painter, &cache);
        for (const std::uint64_t key : keys) {
            canvas.drawCachedPicture(key, Rect{0, 0, 4, 4}, {1, 1}, 1.0, [](Canvas& p, Point at, double) {
                p.fillRect({at.x, at.y, 4, 4});
            });
        }
    };
    frame(100, {1, 2});
    for (double t = 101; t < 160; t += 1) frame(t, {1});
    frame(160, {1, 2});
    EXPECT_EQ(cache.pictureRenders(), 3u);  // 2 was drawn again after a minute away
}

// A picture pushed out of the cache by larger ones within one frame is rendered anew
// when stamped again, not stamped from what it held.
TEST(PictureKeys, APictureEvictedWithinAFrameIsRenderedAgain) {
    QPainterCanvasCache cache;
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    cache.beginFrame(1);
    QPainter painter(&image);
    QPainterCanvas canvas(painter, &cache);
    const auto stamp = [&](std::uint64_t key, double width, double height) {
        canvas.drawCachedPicture(key, Rect{0, 0, width, height}, {0, 0}, 1.0,
                                 [=](Canvas& p, Point at, double) {
                                     p.setFillColor(Colors::gold);
                                     p.fillRect({at.x, at.y, width, height});
                                 });
    };
    stamp(1, 8, 8);
    stamp(1, 8, 8);
    for (std::uint64_t big = 2; big < 6; ++big) stamp(big, 2000, 500);  // 4 MB each
    stamp(1, 8, 8);
    painter.end();
    EXPECT_EQ(cache.pictureRenders(), 6u);
    EXPECT_EQ(image.pixelColor(4, 4).rgb(),
              QColor::fromRgbF(Colors::gold.red, Colors::gold.green, Colors::gold.blue).rgb());
}

// A strip-wide picture at a whole-pixel place is stamped only where it has ink, at any
// scale pixel for pixel what drawing it gives.
TEST(WidePicture, StampedByItsInkedTilesAsDrawn) {
    const auto draw = [](Canvas& c, Point at, double) {
        c.setFillColor(Colors::tentRed);
        c.fillPath(Path::polygon({{at.x + 10, at.y + 2}, {at.x + 70, at.y + 2}, {at.x + 40, at.y + 30}}));
        c.setStrokeColor(Colors::rope);
        c.setLineWidth(1);
        c.strokeLine({at.x, at.y + 5}, {at.x + 1000, at.y + 5});
        c.setFillColor(Colors::gold);
        c.fillEllipse({at.x + 930, at.y + 20, 9, 9});
    };
    for (const auto& [origin, scale] :
         {std::pair{Point{0, 0}, 1.0}, {Point{3, 2}, 1.0}, {Point{2, 2}, 1.5}}) {
        const auto paint = [&](QPainterCanvasCache* cache) {
            QImage image(1600, 60, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            QPainterCanvas canvas(painter, cache);
            canvas.scale(scale, scale);
            canvas.drawCachedPicture(PictureKey(0x71DE), Rect{0, 0, 1001, 32}, origin, 1.0, draw);
            return image;
        };
        QPainterCanvasCache cache;
        const QImage stamped = paint(&cache);
        ASSERT_EQ(cache.pictureRenders(), 1u);
        const QImage drawn = paint(nullptr);
        int worst = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                const QRgb a = stamped.pixel(x, y);
                const QRgb b = drawn.pixel(x, y);
                for (const int shift : {0, 8, 16, 24})
                    worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
            }
        }
        EXPECT_LE(worst, 2) << origin.x << " " << scale;
    }
}

// A gear is stamped from pictures, pixel for pixel what drawing it gives; turned by a
// whole tooth it looks the same, so a turning gear cycles through a few pictures.
TEST(GearPicture, GearsAreStampedFromAFewPicturesPerTooth) {
    const auto paint = [](QPainterCanvasCache* cache, const std::function<void(Canvas&)>& draw) {
        QImage image(80, 80, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QPainterCanvas canvas(painter, cache);
        draw(canvas);
        return image;
    };
    QPainterCanvasCache cache;
    Gear gear{.x = 40, .y = 40, .radius = 20, .teeth = 8, .angle = 10};
    QImage stamped;
    for (int frame = 0; frame < 3; ++frame) stamped = paint(&cache, [&](Canvas& c) { gear.draw(c); });
    EXPECT_EQ(cache.pictureRenders(), 1u);
    const QImage drawn = paint(nullptr, [&](Canvas& c) { gear.drawAt(c, {gear.x, gear.y}); });
    int worst = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 80; ++x) {
            const QRgb a = stamped.pixel(x, y);
            const QRgb b = drawn.pixel(x, y);
            for (const int shift : {0, 8, 16, 24})
                worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
        }
    }
    EXPECT_LE(worst, 2);

    // Ten turns at full energy: a tooth's turn moves the rim 15.7 points, at most one
    // picture per half pixel of it.
    for (int frame = 0; frame < 600; ++frame) {
        gear.update(1 / 60.0, 1);
        paint(&cache, [&](Canvas& c) { gear.draw(c); });
    }
    EXPECT_LE(cache.pictureRenders(), 1u + 33u);
}

// Flea lines and the refusal pill carry colour emoji: plain text keeps their colours,
// also after outlined text in the same font has been drawn.
TEST(QPainterCanvasEmoji, PlainTextKeepsColourGlyphsAfterOutlinedText) {
    QImage image(240, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainterCanvasCache cache;
    {
        QPainter painter(&image);
        QPainterCanvas canvas(painter, &cache);
        TextStyle outlined;
        outlined.font = Font{FontFamily::system, 14, FontWeight::regular};
        outlined.outlineColor = Color::white(0);
        outlined.outlineWidth = 1;
        canvas.drawText("✨🤲", {120, 5}, outlined);
        canvas.clearRect({0, 0, 240, 40});
        TextStyle plain;
        plain.font = outlined.font;
        canvas.drawText("✨🤲", {5, 5}, plain);
    }
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < 120; ++x) {
            const QColor c = image.pixelColor(x, y);
            coloured += c.alpha() > 0 && std::abs(c.red() - c.blue()) > 60 ? 1 : 0;
        }
    }
    EXPECT_GT(coloured, 40);
}

}  // namespace
}  // namespace tw
