#pragma once
#include <string>

namespace tw {

// Text of a double the way the original tuning and texts print numbers:
// whole values keep ".0" ("18.0"), others the shortest text that reads back
// exactly ("0.1"), exponent form outside 1e-4 ..< 1e16 ("1e-05", "1e+16"),
// "nan", "inf", "-inf".
std::string formatDouble(double value);

}  // namespace tw
