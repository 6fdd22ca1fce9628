#pragma once

#include <string>
#include <string_view>

namespace duolo {

// Locale-independent number conversions: a German locale must change neither parsing nor output.

// Reads the longest decimal-number prefix of `text` after leading white space (sign, digits,
// decimal point and fraction, exponent). Returns 0.0 when there is none.
double parseNumberPrefix(std::string_view text);

// General notation with at most `significantDigits` significant digits, like printf's %.10g.
std::string formatGeneral(double value, int significantDigits = 10);

} // namespace duolo
