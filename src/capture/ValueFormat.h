#pragma once

#include <string>

namespace duolo {

// The text of a number in the pages' value boxes, and in the graph view's position text (which is
// why it lives with the model's lowest layer): general notation with at most ten significant
// digits. With `minDecimals` 0 the fraction is cut off (12.7 reads 12, -2.5 reads -2); otherwise
// zeros are appended until at least `minDecimals` digits follow the decimal point (1 reads 1.0,
// 0.25 stays 0.25). In exponent notation the rules apply to the digits before the exponent, and a
// number too small to have a whole part reads 0.
std::string formatNumber(double value, int minDecimals);

} // namespace duolo
