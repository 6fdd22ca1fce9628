#include "capture/NumberText.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace duolo {
namespace {

// The power of ten of the leading non-zero digit of a decimal number (digits, an optional point
// and fraction, an optional exponent), saturated far beyond any double. from_chars leaves the
// value alone when it is out of range; this says which way: too large (0 or more) reads as
// infinity and too small as zero, as strtod gives them.
int64_t decimalExponent(std::string_view number)
{
    constexpr int64_t kSaturation = int64_t{1} << 40;
    const auto e = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, e);
    int64_t exponent = 0;
    if (e != std::string_view::npos) {
        size_t k = e + 1;
        const bool negative = k < number.size() && number[k] == '-';
        if (k < number.size() && (number[k] == '+' || number[k] == '-'))
            ++k;
        for (; k < number.size(); ++k)
            exponent = std::min(kSaturation, exponent * 10 + (number[k] - '0'));
        if (negative)
            exponent = -exponent;
    }
    const auto point = std::min(mantissa.find('.'), mantissa.size());
    const auto firstDigit = mantissa.find_first_not_of("0.");
    if (firstDigit == std::string_view::npos)
        return -kSaturation;  // zero itself is never out of range; be safe anyway
    // Digits before the point place it at (point - firstDigit - 1); after it, one less.
    const auto place = static_cast<int64_t>(point) - static_cast<int64_t>(firstDigit) - (firstDigit < point ? 1 : 0);
    return place + exponent;
}

} // namespace

double parseNumberPrefix(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const size_t start = i;
    auto digit = [&](size_t k) { return k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])); };

    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (digit(i)) { ++i; ++digits; }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (digit(i)) { ++i; ++digits; }
    }
    if (digits == 0)
        return 0.0;
    // An exponent counts only when digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t k = i + 1;
        if (k < text.size() && (text[k] == '+' || text[k] == '-'))
            ++k;
        if (digit(k)) {
            while (digit(k))
                ++k;
            i = k;
        }
    }

    // from_chars takes no leading '+'; it is locale-independent.
    size_t from = start;
    bool negative = false;
    if (text[from] == '+' || text[from] == '-') {
        negative = text[from] == '-';
        ++from;
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data() + from, text.data() + i, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = decimalExponent(text.substr(from, i - from)) >= 0 ? HUGE_VAL : 0.0;
    return negative ? -value : value;
}

std::string formatGeneral(double value, int significantDigits)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                                significantDigits);
    // Like printf's %.*g in the C locale, including the two-digit exponent.
    std::string text(buffer, result.ptr);
    return text;
}

} // namespace duolo
