#pragma once
// What a QPainterCanvasCache holds: the stores of text layouts, stamped pictures, blurred
// shadows, pens and brushes, their keys and their budgets. Only the canvas reaches in.
#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QRect>
#include <QStaticText>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/lru_byte_cache.h"
#include "platform/qt/direct_pixels.h"
#include "platform/qt/qpainter_canvas.h"

namespace tw {

struct QPainterCanvas::TextLayout {
    QFont font;
    // Glyph outlines, the line box's top-left at (0, 0); made only for outlined or
    // shadowed text, since outlining a colour-glyph font spoils its colour drawing.
    std::optional<QPainterPath> path;
    double ascent = 0;
    Size size;  // advance and line height
    QStaticText staticText;
};

struct QPainterCanvasCache::Impl {
    // Each kind is kept within a budget of bytes, the least recently used going first: a
    // frame's working set is far smaller, so the budgets only bound a long, busy session.
    static constexpr std::size_t pictureBudget = std::size_t{12} << 20;
    static constexpr std::size_t shadowBudget = std::size_t{4} << 20;
    static constexpr std::size_t textBudget = std::size_t{2} << 20;
    static constexpr std::size_t inkBudget = std::size_t{64} << 10;
    // Pictures up to this many pixels a side are blended by hand; larger ones (captions,
    // bubbles, the backdrop) go through the painter, which filters sub-pixel places.
    static constexpr int directStampSide = 64;
    // What a pen or brush costs besides its handle, roughly.
    static constexpr std::size_t inkBytes = 128;

    // A layout's bytes, counting room for its glyph outlines, made on first outlined use.
    static std::size_t textBytes(const std::string& text) { return 512 + 1024 * text.size(); }

    struct Picture {
        QImage image;
        Rect bounds;  // as the first drawing under the key gave them
        // For a wide picture, the runs of its tiles that hold any ink (in image pixels):
        // a strip-wide backdrop is mostly empty, and blending empty pixels costs as much
        // as blending drawn ones. A small picture is stamped whole.
        bool tiled = false;
        std::vector<QRect> inked;
        // A small picture (a particle, a sparkle) as stamping by hand reads it; it shares
        // the image's pixels, which every copy of the picture keeps alive.
        std::optional<PixelPicture> pixels;
    };

    // The kept pen of `color` and `width`, made by `make` the first time.
    const QPen& pen(const QColor& color, double width, QPen (*make)(const QColor&, double));
    const QBrush& brush(const QColor& color);

    // The kept layout of `text` in `font`, or null; either way the key is left in textKey
    // for keepText.
    QPainterCanvas::TextLayout* findText(const std::string& text, const Font& font, double pixelsPerPoint,
                                         double dpi);
    // Keeps a copy of a layout just made under the key findText left; null when it alone
    // would exceed the budget, and `layout` is then still whole to draw from.
    QPainterCanvas::TextLayout* keepText(const std::string& text, const QPainterCanvas::TextLayout& layout);

    // A blurred shadow is kept by its shape's outline relative to `corner` (to half a
    // pixel: the blur hides less) and its colour at full strength. At full strength every
    // colour covers alike, so the shape's colours are not part of the key: captions of one
    // text and size in different colours share one blur.
    static std::uint64_t shadowKey(double blur, const QColor& opaqueColor, const QPainterPath& deviceShape,
                                   QPointF corner, bool solidFill, const std::optional<QPen>& strokePen);
    // The shadow under `key`, rendered into `fresh` when missing; `fresh` stands in when it
    // is larger than the whole budget.
    template <typename Render>
    const QImage& shadow(std::uint64_t key, QImage& fresh, Render render) {
        if (const QImage* found = shadows.find(key)) return *found;
        ++shadowRenders;
        fresh = render();
        return keepShadow(key, fresh);
    }

    // A picture is kept by its own key and the scale it was rendered at.
    static std::uint64_t pictureKey(const PictureKey& key, double scale);
    // The picture under `key`; when missing, `render` fills in the image and bounds of
    // `fresh` (made only then), which stands in when it is larger than the whole budget.
    template <typename Render>
    const Picture& picture(std::uint64_t key, std::optional<Picture>& fresh, Render render) {
        Recent& recent = recentPictures[(key ^ (key >> 29)) % recentPictures.size()];
        if (recent.handle && recent.key == key) return pictures.use(*recent.handle);
        if (const auto found = pictures.findHandle(key)) {
            recent = Recent{key, found};
            return pictures.use(*found);
        }
        render(fresh.emplace());
        return keepPicture(key, *fresh);
    }
    // Forgets the shortcuts to pictures, whenever a picture may have been evicted.
    void forgetRecentPictures() { recentPictures.fill(Recent{}); }

    LruByteCache<std::string, QPainterCanvas::TextLayout> texts{textBudget};
    LruByteCache<std::uint64_t, Picture> pictures{pictureBudget};
    LruByteCache<std::uint64_t, QImage> shadows{shadowBudget};
    // Pens and brushes by colour (and width): setting a kept one only shares it, where
    // making one each time would allocate thousands a second.
    LruByteCache<std::uint64_t, QPen> pens{inkBudget};
    LruByteCache<std::uint64_t, QBrush> brushes{inkBudget};
    // The pictures last found, by key: a frame stamps a few dozen pictures thousands of
    // times, and this spares most stamps the walk through the map and its list.
    struct Recent {
        std::uint64_t key = 0;
        std::optional<LruByteCache<std::uint64_t, Picture>::Handle> handle;
    };
    std::array<Recent, 1024> recentPictures{};
    std::string textKey;  // reused, so looking a layout up allocates nothing
    // Unused this long, an entry is forgotten; checked this often (milliseconds).
    static constexpr std::uint64_t unusedForgottenAfter = 20000;
    static constexpr std::uint64_t sweepEvery = 5000;
    // Freeing less than this is not worth handing back.
    static constexpr std::size_t trimAbove = std::size_t{256} << 10;
    std::uint64_t lastSweep = 0;
    std::size_t pictureRenders = 0;
    std::size_t shadowRenders = 0;
    std::size_t textLayouts = 0;

   private:
    const QImage& keepShadow(std::uint64_t key, const QImage& fresh);
    const Picture& keepPicture(std::uint64_t key, Picture& fresh);
};

}  // namespace tw
