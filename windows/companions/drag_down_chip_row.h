#pragma once
// How the drag-down log's chips share its row: each at its own width between the
// narrowest and widest a chip may be, as many as fit, narrowed alike when need be, so
// the row never outgrows the screen it spans.
#include <vector>

namespace tw {

inline constexpr int dragDownChipMinWidth = 180;
inline constexpr int dragDownChipMaxWidth = 280;
inline constexpr int dragDownChipSpacing = 8;

// The widths of the chips shown in a row `rowWidth` wide, left to right, for chips whose
// text wants `natural` widths (newest first). As many chips as fit at the narrowest
// width are shown; when their widths do not fit as they are, the widest give way first,
// none below the narrowest.
std::vector<int> dragDownChipWidths(const std::vector<int>& natural, int rowWidth);

}  // namespace tw
