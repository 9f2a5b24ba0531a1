#pragma once
// Blurring a shadow image in place. A shadow is one colour at varying coverage, so only
// its alpha is blurred and the colour channels follow from it: a quarter of the work of
// blurring all four.
#include <QColor>
#include <QImage>

namespace tw {

// Approximates a Gaussian of about `radius` pixels; `image` holds coverage of
// `color` as premultiplied ARGB32, and still does after. A radius of zero or less
// leaves it alone.
void blurShadow(QImage& image, int radius, const QColor& color);

}  // namespace tw
