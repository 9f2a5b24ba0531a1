#include "windows/companions/drag_down_chip_row.h"

#include <algorithm>
#include <numeric>

namespace tw {

std::vector<int> dragDownChipWidths(const std::vector<int>& natural, int rowWidth) {
    const int fitting =
        std::max(0, (rowWidth + dragDownChipSpacing) / (dragDownChipMinWidth + dragDownChipSpacing));
    std::vector<int> widths;
    for (std::size_t i = 0; i < natural.size() && widths.size() < static_cast<std::size_t>(fitting); ++i)
        widths.push_back(std::clamp(natural[i], dragDownChipMinWidth, dragDownChipMaxWidth));
    if (widths.empty()) return widths;

    const int room = rowWidth - dragDownChipSpacing * static_cast<int>(widths.size() - 1);
    if (std::accumulate(widths.begin(), widths.end(), 0) <= room) return widths;
    // The widest chips are cut to one common width, the largest that fits: taken from
    // the narrowest up, each chip either keeps its width or shares what is left.
    std::vector<int> ascending = widths;
    std::sort(ascending.begin(), ascending.end());
    int left = room;
    int cap = dragDownChipMinWidth;
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        const int share = left / static_cast<int>(ascending.size() - i);
        if (ascending[i] > share) {
            cap = share;
            break;
        }
        left -= ascending[i];
    }
    for (int& width : widths) width = std::min(width, cap);
    return widths;
}

}  // namespace tw
