#include "platform/qt/shadow_blur.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tw {

void blurShadow(QImage& image, int radius, const QColor& color) {
    if (radius <= 0) return;
    // Three box passes each way approximate a Gaussian.
    const int w = image.width();
    const int h = image.height();
    std::vector<int> alpha(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) alpha[static_cast<std::size_t>(y * w + x)] = qAlpha(row[x]);
    }
    std::vector<int> line(static_cast<std::size_t>(std::max(w, h)));
    const int window = 2 * radius + 1;
    auto pass = [&](bool horizontal) {
        const int lines = horizontal ? h : w;
        const int length = horizontal ? w : h;
        const int step = horizontal ? 1 : w;
        for (int l = 0; l < lines; ++l) {
            int* first = alpha.data() + (horizontal ? l * w : l);
            for (int i = 0; i < length; ++i) line[static_cast<std::size_t>(i)] = first[i * step];
            auto at = [&](int i) { return i < 0 || i >= length ? 0 : line[static_cast<std::size_t>(i)]; };
            int sum = 0;
            for (int i = -radius; i < radius; ++i) sum += at(i);
            for (int i = 0; i < length; ++i) {
                sum += at(i + radius);
                first[i * step] = sum / window;
                sum -= at(i - radius);
            }
        }
    };
    for (int k = 0; k < 3; ++k) {
        pass(true);
        pass(false);
    }
    const int r = color.red();
    const int g = color.green();
    const int b = color.blue();
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = alpha[static_cast<std::size_t>(y * w + x)];
            row[x] = qRgba(r * a / 255, g * a / 255, b * a / 255, a);
        }
    }
}

}  // namespace tw
